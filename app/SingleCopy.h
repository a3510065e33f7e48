// One copy of the tool per game folder. The copies started for one folder
// edit one save file, and each OK writes all eight bindings: a second copy
// would silently put back what the first had saved. So the first copy holds
// the folder through a named kernel object until it ends, and a copy started
// for the folder meanwhile brings the first one to the front and ends,
// writing nothing. Copies for different folders run side by side.
#pragma once

#include <windows.h>

// What the holder keeps in the named section: 32 bits in the 32-bit and the
// 64-bit program alike, which find each other in one folder too.
struct CopyRecord {
    volatile LONG processId; // the copy that holds the folder; 0 until it has written it
};

// This copy's claim on its game folder.
struct FolderClaim {
    HANDLE section = nullptr;     // the named section; the system removes it with the last handle, so a
                                  // copy that ends in any way, killed too, leaves no lock behind
    CopyRecord* record = nullptr; // the section mapped; null where the system could not map it
};

enum class ClaimResult {
    Claimed,       // this copy holds the folder
    HeldElsewhere, // another copy holds it; claim.record, where mapped, names that copy
    Unchecked,     // the system could not make or open the object: the copy runs, as it did before the check
};

// Claims the folder (a path in any spelling; "." is the working folder,
// where the save file is). The claim keeps the section open until
// ReleaseGameFolder, or until the process ends.
ClaimResult ClaimGameFolder(FolderClaim& claim, const wchar_t* folder);
void ReleaseGameFolder(FolderClaim& claim);

// The process id of the copy that holds the folder, for a claim that found it
// held: waits up to timeoutMs for that copy to write it; 0 where it did not.
DWORD HoldingCopyProcessId(const FolderClaim& claim, DWORD timeoutMs);

// What became of the holding copy that ShowHoldingCopy looked for.
enum class HolderFate {
    Shown,  // its dialog or box came to the front
    Ended,  // it ended before it showed anything: it was closing, or failed to start
    Silent, // it showed nothing in time, or this copy may not watch it (it runs elevated, say)
};

// What a copy that found the folder held does: it lets go of the section, so
// that it never keeps the folder held, and brings the holding copy's dialog,
// or the box it shows, to the front. A holder that is still starting has no
// window yet: it is given a few seconds to show one.
HolderFate ShowHoldingCopy(FolderClaim& claim);

// The check at start: claims the folder, true where this copy is to run (it
// holds the folder, or the system could not tell). Where another copy holds
// it, shows that copy and returns false: this copy ends, writing nothing. A
// holder that ends before it shows anything leaves the folder to this copy,
// which claims it again, a few times at most.
bool TakeGameFolder(FolderClaim& claim, const wchar_t* folder);
