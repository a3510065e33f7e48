// Reading and writing "./saves.qvr": the file access around the codec.
#include "app/SaveData.h"
#include "app/SaveFileFunctions.h"

#include "runtime/Runtime.h"

#include <windows.h>

#include <cstring>
#include <vector>

const char SaveFileName[] = "./saves.qvr";

const SaveFileFunctionTable Kernel32SaveFileFunctions = {ReadFile, WriteFile, SetEndOfFile, FlushFileBuffers};

SaveFileFunctionTable SaveFileFunctions = Kernel32SaveFileFunctions;

namespace {

// Other processes (the game) may read and write the file meanwhile.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The attributes the new file takes over from the old one. Read-only is not
// among them: a read-only save file is never replaced.
constexpr DWORD CarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Writing in place holds the old file in memory to put it back. The game's
// file is 149 bytes; a far larger one is not a save file to rewrite.
constexpr LONGLONG InPlaceSizeLimit = 1 << 20;

// What became of the temporary file that holds the new content.
enum class Installed {
    Yes,      // it is the save file now
    No,       // the save file is as it was; the temporary file is still there
    HeldOpen, // as No, but another program holds the file open, so it may be writable in place
};

// How writing in place ended.
enum class InPlace {
    Written,   // the file holds the new bytes
    Unchanged, // the file holds its old bytes
    Damaged,   // the old bytes could not be put back; the temporary copy holds them
};

// Reads up to bufferSize bytes of the file; false when it cannot be opened.
bool ReadSaveFile(uint8_t* buffer, DWORD bufferSize, DWORD& bytesRead) {
    HANDLE file = CreateFileA(SaveFileName, GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytesRead = 0;
    while (bytesRead < bufferSize) {
        DWORD chunk = 0;
        if (!ReadFile(file, buffer + bytesRead, bufferSize - bytesRead, &chunk, nullptr) || chunk == 0) break;
        bytesRead += chunk;
    }
    CloseHandle(file);
    return true;
}

// The save file may be replaced only when it could be opened for writing: a
// read-only file, or one that another process holds without write sharing,
// stays as it is. A missing file is fine; Save creates it.
bool SaveFileWritable() {
    DWORD attributes = GetFileAttributesA(SaveFileName);
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
    HANDLE file = CreateFileA(SaveFileName, GENERIC_WRITE, ShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// Writes the bytes over the whole of an existing file and flushes them to the
// disk. OPEN_EXISTING rather than CREATE_ALWAYS: the latter is refused for a
// file that has taken on the hidden or system attribute.
bool OverwriteFile(const char* path, const uint8_t* bytes, DWORD size) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD count = 0;
    bool written = (size == 0 || (WriteFile(file, bytes, size, &count, nullptr) && count == size)) &&
                   SetEndOfFile(file) && FlushFileBuffers(file);
    return CloseHandle(file) && written;
}

// Writes the bytes to a new temporary file beside the save file (on the same
// volume, so that it can take the save file's place) and flushes them to the
// disk. On failure no temporary file is left.
bool WriteTemporaryFile(const uint8_t* bytes, DWORD size, char (&path)[MAX_PATH]) {
    if (GetTempFileNameA(".", "qvr", 0, path) == 0) return false;
    if (OverwriteFile(path, bytes, size)) return true;
    DeleteFileA(path);
    return false;
}

bool FullPath(const char* path, char (&fullPath)[MAX_PATH]) {
    DWORD length = GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
    return length > 0 && length < MAX_PATH;
}

// A missing save file: the temporary file takes its name. A file that has
// appeared meanwhile belongs to the game and is not overwritten.
Installed MoveIntoPlace(const char* temporaryPath) {
    return MoveFileExA(temporaryPath, SaveFileName, MOVEFILE_WRITE_THROUGH) ? Installed::Yes : Installed::No;
}

// The replace needs delete access to the save file. A program holding it open
// without delete sharing, or a security descriptor that grants writing but not
// deleting, refuses that; writing in place needs neither.
bool RefusedForDeleteAccess(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// Asked before the replace rather than learnt from its failure, because a
// refused ReplaceFile may leave an empty file of its own behind in the folder
// (Wine's does, "rf*.tmp").
bool DeleteAccessRefused() {
    HANDLE file = CreateFileA(SaveFileName, DELETE, ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return RefusedForDeleteAccess(GetLastError());
    CloseHandle(file);
    return false;
}

// Puts the temporary file in the save file's place in one step. ReplaceFile
// keeps the save file's security descriptor, but it wants full paths (Wine
// refuses relative ones) and does not keep the attributes everywhere (Wine
// drops hidden), so the temporary file takes them on first.
Installed ReplaceSaveFile(const char* temporaryPath, DWORD attributes) {
    char savePath[MAX_PATH], replacementPath[MAX_PATH];
    if (!FullPath(SaveFileName, savePath) || !FullPath(temporaryPath, replacementPath)) return Installed::No;
    DWORD carried = attributes & CarriedAttributes;
    if (!SetFileAttributesA(replacementPath, carried ? carried : FILE_ATTRIBUTE_NORMAL)) return Installed::No;
    if (ReplaceFileA(savePath, replacementPath, nullptr, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr))
        return Installed::Yes;
    DWORD error = GetLastError();
    // Without a backup name a replace can fail after the old file is gone
    // (ERROR_UNABLE_TO_MOVE_REPLACEMENT); the new one then takes its name.
    if (GetFileAttributesA(SaveFileName) == INVALID_FILE_ATTRIBUTES) return MoveIntoPlace(temporaryPath);
    return RefusedForDeleteAccess(error) ? Installed::HeldOpen : Installed::No;
}

Installed InstallTemporaryFile(const char* temporaryPath) {
    DWORD attributes = GetFileAttributesA(SaveFileName);
    if (attributes == INVALID_FILE_ATTRIBUTES) return MoveIntoPlace(temporaryPath);
    if (DeleteAccessRefused()) return Installed::HeldOpen;
    return ReplaceSaveFile(temporaryPath, attributes);
}

bool Rewind(HANDLE file) {
    LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
}

// Reads up to size bytes from the start of the file; count tells how many.
bool ReadFromStart(HANDLE file, uint8_t* buffer, DWORD size, DWORD& count) {
    count = 0;
    if (!Rewind(file)) return false;
    while (count < size) {
        DWORD chunk = 0;
        if (!SaveFileFunctions.readFile(file, buffer + count, size - count, &chunk, nullptr)) return false;
        if (chunk == 0) break;
        count += chunk;
    }
    return true;
}

// Writes the bytes from the start of the file, ends the file after them and
// flushes it to the disk.
bool WriteFromStart(HANDLE file, const uint8_t* bytes, DWORD size) {
    DWORD count = 0;
    if (!Rewind(file)) return false;
    if (size != 0 && (!SaveFileFunctions.writeFile(file, bytes, size, &count, nullptr) || count != size))
        return false;
    return SaveFileFunctions.setEndOfFile(file) && SaveFileFunctions.flushFileBuffers(file);
}

// Whether the file, read back, holds exactly the new save file's bytes.
bool HoldsSaveBytes(HANDLE file, const uint8_t* bytes) {
    uint8_t readBack[SaveFileSize + 1]; // one more, to notice a file that did not end
    DWORD count = 0;
    return ReadFromStart(file, readBack, sizeof readBack, count) && count == SaveFileSize &&
           std::memcmp(readBack, bytes, SaveFileSize) == 0;
}

bool ReadWholeFile(HANDLE file, std::vector<uint8_t>& bytes) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart > InPlaceSizeLimit) return false;
    bytes.resize(size_t(size.QuadPart));
    DWORD count = 0;
    if (!ReadFromStart(file, bytes.data(), DWORD(bytes.size()), count)) return false;
    bytes.resize(count);
    return true;
}

// The old content goes to the temporary file before the first byte of the
// save file changes, so that it survives even if the tool dies midway.
InPlace RewriteKeepingCopy(HANDLE file, const uint8_t* bytes, const char* copyPath) {
    std::vector<uint8_t> original;
    if (!ReadWholeFile(file, original)) return InPlace::Unchanged;
    if (!OverwriteFile(copyPath, original.data(), DWORD(original.size()))) return InPlace::Unchanged;
    if (WriteFromStart(file, bytes, SaveFileSize) && HoldsSaveBytes(file, bytes)) return InPlace::Written;
    // The copy on disk and the one in memory are the same bytes; memory needs
    // no further file to be opened.
    if (WriteFromStart(file, original.data(), DWORD(original.size()))) return InPlace::Unchanged;
    return InPlace::Damaged;
}

// Writes the new bytes into the save file itself, through a handle that
// shares everything, so that it works beside a program that holds the file
// with write sharing. The temporary file, which held the new content for the
// replace, keeps the old content meanwhile.
bool WriteInPlace(const uint8_t* bytes, const char* temporaryPath) {
    HANDLE file = CreateFileA(SaveFileName, GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    InPlace result = InPlace::Unchanged;
    if (file != INVALID_HANDLE_VALUE) {
        result = RewriteKeepingCopy(file, bytes, temporaryPath);
        CloseHandle(file);
    }
    // Where the old bytes could not be put back, the copy is the only whole
    // version of the player's save left, so it stays.
    if (result != InPlace::Damaged) DeleteFileA(temporaryPath);
    return result == InPlace::Written;
}

} // namespace

void MakeSaveKeystream(int32_t seed, uint8_t* keystream) {
    SeedRandom(seed);
    for (int i = 0; i < SaveKeystreamLength; ++i) keystream[i] = uint8_t(RandomUpTo(255));
}

int32_t SaveData::Load() {
    SeedRandom(SaveFileSeed);
    uint8_t file[SaveFileSize];
    DWORD size = 0;
    if (!ReadSaveFile(file, sizeof file, size)) return 1;
    // A file without the magic draws no keystream and leaves the object as it was.
    if (!HasSaveMagic(file, size)) return 2;
    uint8_t keystream[SaveKeystreamLength];
    MakeSaveKeystream(SaveFileSeed, keystream);
    return DecodeSaveFile(file, size, keystream, *this);
}

// The game's file is never left damaged or half written: the new content goes
// to a temporary file that then replaces the save file in one step, or, where
// the game holds the file open, is written in place with the old bytes kept to
// put back.
bool SaveData::Save() {
    SeedRandom(SaveFileSeed);
    if (!SaveFileWritable()) return false;

    uint8_t keystream[SaveKeystreamLength];
    MakeSaveKeystream(SaveFileSeed, keystream);
    uint8_t file[SaveFileSize];
    EncodeSaveFile(*this, keystream, file);

    char temporaryPath[MAX_PATH];
    if (!WriteTemporaryFile(file, sizeof file, temporaryPath)) return false;
    switch (InstallTemporaryFile(temporaryPath)) {
    case Installed::Yes: return true;
    case Installed::HeldOpen: return WriteInPlace(file, temporaryPath);
    case Installed::No: break;
    }
    DeleteFileA(temporaryPath);
    return false;
}
