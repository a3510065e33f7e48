// The screen saver is kept off while any copy of the runtime runs, and the
// user's setting comes back when the last copy ends, however the copies
// overlap. Copies in host-window mode do not see each other's windows, so
// they meet in a small shared record instead: a named file mapping, guarded
// by a named mutex, that holds the setting found by the first copy and the
// list of copies holding the screen saver off.
#pragma once

#include <windows.h>

#include <cstdint>

// One copy of the runtime holding the screen saver off, named by its process
// id and creation time: the pair tells a live copy from a dead one even after
// the dead copy's id has been given to a new process.
struct ScreenSaverHolder {
    uint32_t processId;
    uint32_t createdLow;  // the process's creation time (FILETIME), low half
    uint32_t createdHigh; // and high half
};

constexpr int ScreenSaverHolderLimit = 64;

// The shared record. Fixed-width fields only, so that 32-bit and 64-bit
// copies of the runtime read the same bytes alike.
struct ScreenSaverRecord {
    int32_t originalActive;                            // the user's setting, found by the first holder
    int32_t holderCount;                               // entries of holders in use
    ScreenSaverHolder holders[ScreenSaverHolderLimit]; // the copies holding the screen saver off, oldest first
};

// What a copy's joining made of the record.
enum class HolderJoin {
    First,          // the record had no live holder: the joiner records the user's setting
    Joined,         // others hold it already; the setting they recorded stands
    AlreadyHolding, // the joiner was listed already (a start-up after one that never ended)
    Full,           // no room: the joiner is not listed
};

using HolderAliveFunction = bool (*)(const ScreenSaverHolder& holder);

// The record's rules, over plain data. Every change first drops the holders
// that died without ending, so that a crashed copy never keeps the record up;
// JoinHolders and LeaveHolders take a record that DropDeadHolders has checked.
void DropDeadHolders(ScreenSaverRecord& record, HolderAliveFunction alive);
HolderJoin JoinHolders(ScreenSaverRecord& record, const ScreenSaverHolder& self);
// Removes self; true when no holder remains, so that the user's setting is due back.
bool LeaveHolders(ScreenSaverRecord& record, const ScreenSaverHolder& self);

// A copy keeps the record's lock for a few reads and writes. One that keeps
// it longer is stuck, and the waiting copy goes on alone rather than hang
// with it.
constexpr DWORD ScreenSaverLockWaitLimitMs = 5000;

// The millisecond clock that wait is measured by: GetTickCount, or a test's
// clock that can pass the limit without waiting for it.
using ScreenSaverClockFunction = DWORD(WINAPI*)();
extern ScreenSaverClockFunction ScreenSaverLockClock;

// Switches the screen saver off for this copy (window start-up) and gives the
// setting back when this copy is the last holder (teardown, refused start).
// Each acts once: a second hold or a release without a hold does nothing,
// so the pair stays balanced.
void HoldScreenSaverOff();
void ReleaseScreenSaver();
