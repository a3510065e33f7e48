// Which "saves.qvr" the tool edits: the one in the working folder, or the
// per-user copy that Windows keeps for a game under Program Files.
//
// From Windows Vista on, a 32-bit game without a manifest that runs without
// elevation is virtualised: its writes into Program Files, the Windows folder
// or ProgramData go to %LOCALAPPDATA%\VirtualStore\<the same path without the
// drive>, and from then on it reads that copy. The tool carries an asInvoker
// manifest and is not virtualised, so it looks for the copy itself.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t SavePathCapacity = 1024; // in wide characters, the terminator included

// The file the tool edits. An empty path is "./saves.qvr" in the working
// folder, opened by its relative name.
struct SaveFileLocation {
    wchar_t path[SavePathCapacity] = {};
};

// The folders that Windows virtualises, as the environment names them; the
// 64-bit Program Files too, which a 32-bit program sees as ProgramW6432.
constexpr int VirtualisedFolderCount = 5;
extern const wchar_t* const VirtualisedFolderVariables[VirtualisedFolderCount];

// The path of the per-user copy of the working folder's save file, a pure
// function: localAppData + "\VirtualStore" + the working folder without its
// drive + "\saves.qvr", where the working folder lies in or under one of the
// virtualised folders (each a full path with its drive, or empty), compared
// without regard to case. false, with path empty, where it does not, where
// localAppData is empty, or where the path does not fit in size characters.
bool VirtualStoreSavePath(const wchar_t* workingFolder, const wchar_t* const* virtualisedFolders, int folderCount,
                          const wchar_t* localAppData, wchar_t* path, size_t size);

// Which of the two files to edit, a pure function: the one the game wrote
// last, the per-user copy where both were written at the same time.
enum class SaveFileChoice {
    Original,    // no copy, or the copy is older
    CopyIsNewer, // the copy was written no earlier than the original
    CopyAlone,   // the original is missing
};
struct SaveFileState {
    bool exists;
    uint64_t lastWrite; // the file system's time stamp, in its own units
};
SaveFileChoice ChooseSaveFile(const SaveFileState& original, const SaveFileState& copy);

// Finds the file for a load or a save. On Windows XP, outside the virtualised
// folders and without LOCALAPPDATA the path stays empty and nothing is
// logged; otherwise the log says in one line which file was chosen and why.
void LocateSaveFile(SaveFileLocation& location);
