// The virtual joypad: a game controller that a test plays from outside the
// program under test. The DirectInput server DLL (virtualjoypad.dll) serves
// it inside that program; the test writes the controller's state into a block
// of named shared memory, and the DLL's device reports it and counts its reads
// there, so the test can tell when the program has seen a state.
#pragma once

#include <windows.h>

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <dinput.h>

// Named in the session's local namespace, so the test and the program it
// starts share one block while tests of other sessions do not.
constexpr char VirtualJoypadMappingName[] = "Local\\OrvanneVirtualJoypad";

// What EnumDevices reports for the controller. The product name, which the
// tool's status line shows, is longer than the line, so that it is cut; a
// test may give the controller another (VirtualJoypadBlock::productName).
constexpr char VirtualJoypadInstanceName[] = "Orvanne Virtual Joypad";
constexpr char VirtualJoypadProductName[] = "Orvanne Virtual Joypad (end-to-end test controller)";
constexpr int VirtualJoypadButtonCount = 32;

// The class ids the DLL serves (the platform's DirectInput 7 and 8 objects).
constexpr char VirtualJoypadDirectInput7ClassId[] = "{25E609E0-B259-11CF-BFC7-444553540000}";
constexpr char VirtualJoypadDirectInput8ClassId[] = "{25E609E4-B259-11CF-BFC7-444553540000}";

// The shared block. The writer makes `sequence` odd, writes `state`, then
// makes it even again; a reader retries while it sees an odd value or a
// change during its copy, so it never returns half a state.
//
// The controller is attached while `detached` is 0, which a new block is, so
// a test that never unplugs it sees it attached. Detached, it is not
// enumerated and cannot be created, and the devices made of it fail as an
// unplugged controller's do. They stay dead when it is attached again: a
// plugged-in controller is a new device, which only a new enumeration finds.
struct VirtualJoypadBlock {
    volatile LONG sequence;      // even when `state` is whole; +2 per change
    DIJOYSTATE state;            // what GetDeviceState reports, axes as given
    volatile LONG readSequence;  // `sequence` of the state the latest read returned
    volatile LONG readCount;     // successful GetDeviceState calls so far
    volatile LONG devicesOpen;   // controller devices alive in the program
    volatile LONG acquired;      // of those, the ones acquired
    volatile LONG notifications; // events signalled for new data
    volatile LONG detached;      // 1 while the controller is unplugged
    volatile LONG attachments;   // times it was plugged back in; a device made before the latest is dead
    volatile LONG enumerations;  // EnumDevices calls that ask for game controllers
    volatile LONG failedReads;   // GetDeviceState calls refused because the controller is gone
    // The product name EnumDevices and GetDeviceInfo report, as the platform
    // keeps it, in UTF-16; empty: VirtualJoypadProductName. Written only
    // while the program makes no enumeration.
    wchar_t productName[MAX_PATH];
};

// Opens (or creates) the block; null on failure. The mapping handle is
// returned in `mapping` and closed by CloseVirtualJoypadBlock.
inline VirtualJoypadBlock* OpenVirtualJoypadBlock(HANDLE& mapping) {
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(VirtualJoypadBlock),
                                 VirtualJoypadMappingName);
    if (!mapping) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(VirtualJoypadBlock));
    if (!view) {
        CloseHandle(mapping);
        mapping = nullptr;
    }
    return static_cast<VirtualJoypadBlock*>(view);
}

inline void CloseVirtualJoypadBlock(VirtualJoypadBlock* block, HANDLE mapping) {
    if (block) UnmapViewOfFile(block);
    if (mapping) CloseHandle(mapping);
}

// The writer's side: replaces the whole state. Returns the new sequence.
inline LONG WriteVirtualJoypadState(VirtualJoypadBlock* block, const DIJOYSTATE& state) {
    InterlockedIncrement(&block->sequence);
    MemoryBarrier();
    CopyMemory(const_cast<DIJOYSTATE*>(&block->state), &state, sizeof state);
    MemoryBarrier();
    return InterlockedIncrement(&block->sequence);
}

// The reader's side: a whole state and the sequence it belongs to. A writer
// that died half way must not hang the program under test, so after many
// tries the reader takes what is there.
inline LONG ReadVirtualJoypadState(const VirtualJoypadBlock* block, DIJOYSTATE& state) {
    for (int attempt = 0;; ++attempt) {
        LONG before = block->sequence;
        MemoryBarrier();
        if ((before & 1) && attempt < 100000) {
            YieldProcessor();
            continue;
        }
        CopyMemory(&state, const_cast<const DIJOYSTATE*>(&block->state), sizeof state);
        MemoryBarrier();
        if (block->sequence == before || attempt >= 100000) return before & ~1;
    }
}
