// Reading and writing "./saves.qvr": the file access around the codec.
#include "app/SaveData.h"

#include "runtime/Runtime.h"

#include <windows.h>

const char SaveFileName[] = "./saves.qvr";

namespace {

// Other processes (the game) may read and write the file meanwhile.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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
// read-only file, or one that another process holds without sharing, stays as
// it is. A missing file is fine; Save creates it.
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

// Writes the bytes to a new temporary file beside the save file and flushes
// them to the disk. On failure no temporary file is left.
bool WriteTemporaryFile(const uint8_t* bytes, DWORD size, char (&path)[MAX_PATH]) {
    if (GetTempFileNameA(".", "qvr", 0, path) == 0) return false;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = false;
    if (file != INVALID_HANDLE_VALUE) {
        DWORD count = 0;
        written = WriteFile(file, bytes, size, &count, nullptr) && count == size && FlushFileBuffers(file);
        written = CloseHandle(file) && written;
    }
    if (!written) DeleteFileA(path);
    return written;
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
// to a temporary file that then replaces the save file in one step.
bool SaveData::Save() {
    SeedRandom(SaveFileSeed);
    if (!SaveFileWritable()) return false;

    uint8_t keystream[SaveKeystreamLength];
    MakeSaveKeystream(SaveFileSeed, keystream);
    uint8_t file[SaveFileSize];
    EncodeSaveFile(*this, keystream, file);

    char temporaryPath[MAX_PATH];
    if (!WriteTemporaryFile(file, sizeof file, temporaryPath)) return false;
    if (!MoveFileExA(temporaryPath, SaveFileName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporaryPath);
        return false;
    }
    return true;
}
