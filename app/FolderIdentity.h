// What tells one folder from another, as the file system reports it: the
// same for every spelling of the folder's path.
#pragma once

#include <cstdint>
#include <string>

struct FolderIdentity {
    // The volume's serial number and the folder's id on it, where the file
    // system gives them: the same whichever path reached the folder (another
    // case, a short 8.3 name, a junction, a substituted or mapped drive).
    bool idKnown = false;
    uint64_t volumeSerial = 0;
    uint64_t fileIdHigh = 0; // the upper half of a 128-bit id; 0 for a 64-bit index
    uint64_t fileIdLow = 0;
    // Where the id is not known (a network folder whose server gives none,
    // say): the folder's full path with its long names, as the system spells
    // it. The name derived from it folds case (see CopyLockName).
    std::wstring path;
};

// The identity of a folder, by a path in any spelling ("." is the working
// folder). The path is always filled where the system resolves it; the id
// where the folder can be opened and its file system gives one.
FolderIdentity ReadFolderIdentity(const wchar_t* folder);
