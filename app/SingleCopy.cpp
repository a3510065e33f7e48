#include "app/SingleCopy.h"

#include "app/CopyLockName.h"
#include "app/FolderIdentity.h"
#include "app/FrontWindow.h"

#include <string>

namespace {

// How long a copy that found its folder held waits for the holder to show a
// window: a player who starts the tool twice in quick succession starts the
// second copy while the first one's runtime is still looking for the pads.
constexpr DWORD HolderPatienceMs = 10000;
constexpr DWORD PollMs = 50;
// Claims made in all by a copy whose holders keep ending before they show
// anything: more than one only where copies start and end in a burst.
constexpr int ClaimAttempts = 3;

DWORD Since(DWORD start) {
    return GetTickCount() - start; // unsigned: right across the counter's wrap
}

// A section made by a copy running with other rights (elevated, say) may be
// denied to this one for writing, which CreateFileMappingW asks for; reading
// it may still be allowed. Either way the folder is held.
ClaimResult OpenDeniedSection(FolderClaim& claim, const std::wstring& name) {
    claim.section = OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str());
    if (claim.section != nullptr)
        claim.record = static_cast<CopyRecord*>(MapViewOfFile(claim.section, FILE_MAP_READ, 0, 0, sizeof(CopyRecord)));
    return ClaimResult::HeldElsewhere;
}

// Waits, until the deadline or the holder's end, for the holder's window and
// brings it to the front.
HolderFate WaitAndBringForward(DWORD holder, HANDLE process, DWORD start) {
    for (;;) {
        HWND window = PlayerWindowOf(holder);
        if (window != nullptr) {
            BringToFront(window);
            return HolderFate::Shown;
        }
        const DWORD waited = Since(start);
        if (waited >= HolderPatienceMs) return HolderFate::Silent;
        const DWORD pause = HolderPatienceMs - waited < PollMs ? HolderPatienceMs - waited : PollMs;
        if (process == nullptr)
            Sleep(pause);
        else if (WaitForSingleObject(process, pause) == WAIT_OBJECT_0)
            return HolderFate::Ended;
    }
}

} // namespace

ClaimResult ClaimGameFolder(FolderClaim& claim, const wchar_t* folder) {
    claim = FolderClaim{};
    const FolderIdentity identity = ReadFolderIdentity(folder);
    if (!identity.idKnown && identity.path.empty()) return ClaimResult::Unchecked; // nothing to tell it by
    const std::wstring name = CopyLockName(identity);
    // Made and found in one step, so that of two copies started at once
    // exactly one holds the folder. Only ERROR_ALREADY_EXISTS tells a found
    // section from a made one, so no earlier error may stand.
    SetLastError(ERROR_SUCCESS);
    claim.section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(CopyRecord), name.c_str());
    const DWORD error = GetLastError();
    if (claim.section == nullptr)
        return error == ERROR_ACCESS_DENIED ? OpenDeniedSection(claim, name) : ClaimResult::Unchecked;
    const bool held = error == ERROR_ALREADY_EXISTS;
    claim.record = static_cast<CopyRecord*>(
        MapViewOfFile(claim.section, held ? FILE_MAP_READ : FILE_MAP_WRITE, 0, 0, sizeof(CopyRecord)));
    if (held) return ClaimResult::HeldElsewhere;
    if (claim.record != nullptr) InterlockedExchange(&claim.record->processId, LONG(GetCurrentProcessId()));
    return ClaimResult::Claimed;
}

void ReleaseGameFolder(FolderClaim& claim) {
    if (claim.record != nullptr) UnmapViewOfFile(claim.record);
    if (claim.section != nullptr) CloseHandle(claim.section);
    claim = FolderClaim{};
}

// The holder writes its id right after making the section; a copy that
// opens it in between reads 0 for a moment. The view may be read-only, so
// the id is read plainly, not with an interlocked call, which would write.
DWORD HoldingCopyProcessId(const FolderClaim& claim, DWORD timeoutMs) {
    if (claim.record == nullptr) return 0;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD holder = DWORD(claim.record->processId);
        if (holder != 0 || Since(start) >= timeoutMs) return holder;
        Sleep(10);
    }
}

HolderFate ShowHoldingCopy(FolderClaim& claim) {
    const DWORD start = GetTickCount();
    const DWORD holder = HoldingCopyProcessId(claim, HolderPatienceMs);
    // Opened at once, before the section is let go: an open handle keeps the
    // id from passing to another process should the holder end meanwhile.
    // Null where this copy may not wait for the holder (it runs elevated,
    // say): then the deadline alone ends the wait.
    HANDLE process = holder != 0 ? OpenProcess(SYNCHRONIZE, FALSE, holder) : nullptr;
    ReleaseGameFolder(claim);
    HolderFate fate = HolderFate::Silent;
    if (holder != 0 && holder != GetCurrentProcessId()) fate = WaitAndBringForward(holder, process, start);
    if (process != nullptr) CloseHandle(process);
    return fate;
}

bool TakeGameFolder(FolderClaim& claim, const wchar_t* folder) {
    for (int attempt = 1;; ++attempt) {
        if (ClaimGameFolder(claim, folder) != ClaimResult::HeldElsewhere) return true;
        // Ended: it was closing as this copy started (its OK was just
        // pressed), or it failed before it showed anything. Its writes are
        // over, and the folder is free.
        if (ShowHoldingCopy(claim) != HolderFate::Ended || attempt == ClaimAttempts) return false;
    }
}
