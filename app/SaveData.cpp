// Reading and writing "./saves.qvr": the file access around the codec.
#include "app/SaveData.h"
#include "app/SaveFileFunctions.h"

#include "runtime/Runtime.h"

#include <windows.h>

#include <cstring>

const char SaveFileName[] = "./saves.qvr";

const SaveFileFunctionTable Kernel32SaveFileFunctions = {ReadFile, WriteFile, SetEndOfFile, FlushFileBuffers};

SaveFileFunctionTable SaveFileFunctions = Kernel32SaveFileFunctions;

namespace {

// Other processes (the game) may read, write, rename or delete the file
// meanwhile.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The file by its relative name, in the working directory. The name is plain
// ASCII, so it means the same on every code page, whatever the folder's own
// name is written in.
HANDLE OpenSaveFile(DWORD access) {
    return CreateFileA(SaveFileName, access, ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Reads up to bufferSize bytes of the file; false when it cannot be opened.
bool ReadSaveFile(uint8_t* buffer, DWORD bufferSize, DWORD& bytesRead) {
    HANDLE file = OpenSaveFile(GENERIC_READ);
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

// Writes the bytes at the start of the file in one call and flushes them to
// the disk. Whatever lies after them in the file stays.
bool WriteAtStart(HANDLE file, const uint8_t* bytes, DWORD size) {
    DWORD count = 0;
    return Rewind(file) && SaveFileFunctions.writeFile(file, bytes, size, &count, nullptr) && count == size &&
           SaveFileFunctions.flushFileBuffers(file);
}

// Whether the file's first bytes, read back, are exactly these.
bool StartsWith(HANDLE file, const uint8_t* bytes, DWORD size) {
    uint8_t readBack[SaveFileSize];
    DWORD count = 0;
    return ReadFromStart(file, readBack, size, count) && count == size && std::memcmp(readBack, bytes, size) == 0;
}

// Puts the file's first bytes back as they were before the save. A file that
// was shorter than the save's bytes also gets its old length back.
bool PutBack(HANDLE file, const uint8_t* original, DWORD originalSize) {
    if (originalSize > 0 && !WriteAtStart(file, original, originalSize)) return false;
    if (originalSize >= SaveFileSize) return true;
    LARGE_INTEGER end;
    end.QuadPart = originalSize;
    return SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SaveFileFunctions.setEndOfFile(file) &&
           SaveFileFunctions.flushFileBuffers(file);
}

// A device or pipe that took the name is no save file to write into, and a
// read-only file stays as it is even where opening it for writing succeeded
// (Wine run by root opens it all the same).
bool WritableSaveFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
           !(information.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
}

// The file as it is now, the bindings written into it, in place: the one
// write of the new bytes at offset 0, flushed and read back. In a file of the
// game's size nothing is allocated and only the masks' bytes change value, all
// within the first disk sector.
bool WriteBindings(HANDLE file, const SaveData& bindings, const uint8_t* keystream) {
    uint8_t original[SaveFileSize];
    DWORD originalSize = 0;
    if (!ReadFromStart(file, original, sizeof original, originalSize)) return false;
    uint8_t merged[SaveFileSize];
    if (!MergeSaveBindings(original, originalSize, keystream, bindings, merged)) return false;
    if (WriteAtStart(file, merged, sizeof merged) && StartsWith(file, merged, sizeof merged)) return true;
    PutBack(file, original, originalSize);
    return false;
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

// One handle, shared with whoever holds the file, from reading the file as it
// is to reading the new bytes back: no temporary file, no rename, no second
// name, and no moment at which the file is missing or half written.
bool SaveData::Save() {
    uint8_t keystream[SaveKeystreamLength];
    MakeSaveKeystream(SaveFileSeed, keystream);
    HANDLE file = OpenSaveFile(GENERIC_READ | GENERIC_WRITE);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool written = WritableSaveFile(file) && WriteBindings(file, *this, keystream);
    CloseHandle(file);
    return written;
}
