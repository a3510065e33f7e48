// The screen saver hold shared by every running copy of the runtime.
//
// The record lists its holders by process rather than counting them. A copy
// that dies without its teardown (killed, or crashed) can never take back its
// share of a count, and the user's setting would then never return while the
// record lives; a listed holder that is no longer running is recognised and
// dropped by the next copy that touches the record. The record itself lives
// only while some copy has its mapping open, so once every copy is gone there
// is nothing left to be stale: the next copy starts a fresh one.
#include "runtime/window/ScreenSaver.h"

#include "runtime/window/Window.h"

#include <windows.h>

#include <cstring>

namespace {

// Named after the runtime's window class, the name all its copies share.
// Without a namespace prefix the names are the session's own, as the
// screen saver setting is.
constexpr const char RecordName[] = "D123987X.ScreenSaverRecord";
constexpr const char LockName[] = "D123987X.ScreenSaverLock";

bool SameHolder(const ScreenSaverHolder& a, const ScreenSaverHolder& b) {
    return a.processId == b.processId && a.createdLow == b.createdLow && a.createdHigh == b.createdHigh;
}

int FindHolder(const ScreenSaverRecord& record, const ScreenSaverHolder& holder) {
    for (int i = 0; i < record.holderCount; ++i) {
        if (SameHolder(record.holders[i], holder)) return i;
    }
    return -1;
}

// ---- The platform's side -------------------------------------------------------

int32_t CurrentScreenSaverSetting() {
    BOOL active = FALSE;
    // A setting that cannot be read is taken as on, the system's default.
    if (!SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) return 1;
    return active ? 1 : 0;
}

// Reading the setting back pushes the change through to the display. A
// display driver may queue it (Wine's X11 driver does), and a queued change
// is lost when the process ends straight after, as it does after a fatal stop.
void SetScreenSaverActive(int32_t active) {
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, UINT(active), nullptr, SPIF_SENDCHANGE);
    CurrentScreenSaverSetting();
}

// Systems without process times (Windows 95, 98, Me) leave the time at 0 and
// name a holder by its id alone.
ScreenSaverHolder HolderOf(HANDLE process, DWORD processId) {
    ScreenSaverHolder holder = {uint32_t(processId), 0, 0};
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return holder;
    holder.createdLow = created.dwLowDateTime;
    holder.createdHigh = created.dwHighDateTime;
    return holder;
}

ScreenSaverHolder ThisProcess() {
    return HolderOf(GetCurrentProcess(), GetCurrentProcessId());
}

// A process that may not be opened for lack of rights belongs to someone else
// and runs; one that cannot be opened otherwise is gone. A running process
// with the holder's id but another creation time took over a dead holder's id.
bool ProcessAlive(const ScreenSaverHolder& holder) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, DWORD(holder.processId));
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    bool same = SameHolder(HolderOf(process, DWORD(holder.processId)), holder);
    CloseHandle(process);
    return running && same;
}

// Waits for the lock, answering meanwhile the messages that other threads
// and processes send to this thread's windows. The copy holding the lock
// switches the setting with a change broadcast, which waits for the answer
// of every top-level window, this copy's own among them: a wait that
// answered nothing would hold both copies until it gave up, and this copy
// would then go on without the record. Posted messages stay queued for the
// message loop.
DWORD WaitAnsweringSentMessages(HANDLE lock) {
    DWORD started = ScreenSaverLockClock();
    for (;;) {
        // What was sent before the wait began is answered first: the wait
        // wakes only for messages that arrive during it.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DWORD waited = ScreenSaverLockClock() - started;
        DWORD left = waited < ScreenSaverLockWaitLimitMs ? ScreenSaverLockWaitLimitMs - waited : 0;
        DWORD wait = MsgWaitForMultipleObjects(1, &lock, FALSE, left, QS_SENDMESSAGE);
        if (wait != WAIT_OBJECT_0 + 1) return wait;
    }
}

// The named lock, or null when it cannot be had. An abandoned lock is taken
// over: its owner died between single writes, which leave the record whole.
HANDLE TakeRecordLock() {
    HANDLE lock = CreateMutexA(nullptr, FALSE, LockName);
    if (lock == nullptr) return nullptr;
    DWORD wait = WaitAnsweringSentMessages(lock);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return lock;
    CloseHandle(lock);
    return nullptr;
}

void GiveRecordLockBack(HANDLE lock) {
    if (lock == nullptr) return;
    ReleaseMutex(lock);
    CloseHandle(lock);
}

ScreenSaverRecord* MapRecord(HANDLE mapping) {
    return static_cast<ScreenSaverRecord*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ScreenSaverRecord)));
}

// Lists this copy in the shared record (a new mapping comes zeroed: no
// holders). Returns the mapping, which stays open while this copy is listed,
// or null when the record cannot be used or has no room.
HANDLE JoinRecord(int32_t settingFound) {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(ScreenSaverRecord), RecordName);
    if (mapping == nullptr) return nullptr;
    ScreenSaverRecord* record = MapRecord(mapping);
    HolderJoin join = HolderJoin::Full;
    if (record != nullptr) {
        DropDeadHolders(*record, ProcessAlive);
        join = JoinHolders(*record, ThisProcess());
        if (join == HolderJoin::First) record->originalActive = settingFound;
        UnmapViewOfFile(record);
    }
    if (join != HolderJoin::Full) return mapping;
    CloseHandle(mapping);
    return nullptr;
}

// Takes this copy off the record; the last holder gives the user's setting back.
void LeaveRecord(HANDLE mapping) {
    ScreenSaverRecord* record = MapRecord(mapping);
    if (record == nullptr) {
        SetScreenSaverActive(Window.ScreenSaverWasActive);
        return;
    }
    DropDeadHolders(*record, ProcessAlive);
    if (LeaveHolders(*record, ThisProcess())) SetScreenSaverActive(record->originalActive);
    UnmapViewOfFile(record);
}

} // namespace

ScreenSaverClockFunction ScreenSaverLockClock = GetTickCount;

// ---- The record's rules ----------------------------------------------------------

void DropDeadHolders(ScreenSaverRecord& record, HolderAliveFunction alive) {
    // Only a damaged record can hold a count out of range; its entries are still checked one by one.
    if (record.holderCount < 0) record.holderCount = 0;
    if (record.holderCount > ScreenSaverHolderLimit) record.holderCount = ScreenSaverHolderLimit;
    int kept = 0;
    for (int i = 0; i < record.holderCount; ++i) {
        if (alive(record.holders[i])) record.holders[kept++] = record.holders[i];
    }
    record.holderCount = kept;
}

HolderJoin JoinHolders(ScreenSaverRecord& record, const ScreenSaverHolder& self) {
    if (FindHolder(record, self) >= 0) return HolderJoin::AlreadyHolding;
    if (record.holderCount >= ScreenSaverHolderLimit) return HolderJoin::Full;
    record.holders[record.holderCount++] = self;
    return record.holderCount == 1 ? HolderJoin::First : HolderJoin::Joined;
}

bool LeaveHolders(ScreenSaverRecord& record, const ScreenSaverHolder& self) {
    int index = FindHolder(record, self);
    if (index >= 0) {
        std::memmove(&record.holders[index], &record.holders[index + 1],
                     sizeof(ScreenSaverHolder) * size_t(record.holderCount - index - 1));
        --record.holderCount;
    }
    return record.holderCount == 0;
}

// ---- Hold and release ------------------------------------------------------------

// The setting is read under the lock: read before it, it could be the "off"
// of a last holder that is just putting the user's setting back.
void HoldScreenSaverOff() {
    if (Window.ScreenSaverHeld == 1) return;
    HANDLE lock = TakeRecordLock();
    Window.ScreenSaverWasActive = CurrentScreenSaverSetting();
    if (lock != nullptr) Window.ScreenSaverMapping = JoinRecord(Window.ScreenSaverWasActive);
    SetScreenSaverActive(0);
    GiveRecordLockBack(lock);
    Window.ScreenSaverHeld = 1;
}

// A copy that is not in the record (no lock, no mapping, no room) puts back
// what it found itself, as a copy running alone would: the user's setting
// when it was first, the "off" of the others otherwise.
void ReleaseScreenSaver() {
    if (Window.ScreenSaverHeld != 1) return;
    Window.ScreenSaverHeld = 0;
    HANDLE lock = Window.ScreenSaverMapping != nullptr ? TakeRecordLock() : nullptr;
    if (lock != nullptr) LeaveRecord(Window.ScreenSaverMapping);
    else SetScreenSaverActive(Window.ScreenSaverWasActive);
    GiveRecordLockBack(lock);
    if (Window.ScreenSaverMapping != nullptr) CloseHandle(Window.ScreenSaverMapping);
    Window.ScreenSaverMapping = nullptr;
}
