// Reading and writing "./saves.qvr": the file access around the codec.
#include "app/SaveData.h"
#include "app/AnsweringPause.h"
#include "app/SaveFileFunctions.h"

#include "runtime/Runtime.h"

#include <windows.h>

#include <cstring>

const char SaveFileName[] = "./saves.qvr";

const SaveFileFunctionTable Kernel32SaveFileFunctions = {CreateFileW,      ReadFile,     WriteFile,
                                                         FlushFileBuffers, GetTickCount, PauseAnsweringMessages};

SaveFileFunctionTable SaveFileFunctions = Kernel32SaveFileFunctions;

void MakeSaveKeystream(int32_t seed, uint8_t* keystream) {
    SeedRandom(seed);
    for (int i = 0; i < SaveKeystreamLength; ++i) keystream[i] = uint8_t(RandomUpTo(255));
}

namespace {

// Other processes (the game) may read, write, rename or delete the file
// meanwhile.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A virus scanner, an indexer or a backup program may hold the file for a
// moment, without write sharing or with the bytes locked, and the game may
// be halfway through writing it (empty, short, not decoding): the load and
// the save wait that long for it, trying again every step.
constexpr DWORD HeldFileWaitMilliseconds = 2000;
constexpr DWORD HeldFileRetryMilliseconds = 50;

// How often a save writes its masks again where another writer (the game
// saving its whole file, another copy of the tool) put other masks back
// between the write and the read-back.
constexpr int SaveWriteRounds = 4;

constexpr size_t MaskSize = 4;

// The time a load or a save may wait for programs that hold the file, from
// its first try on.
class HeldFileDeadline {
public:
    HeldFileDeadline() : start_(SaveFileFunctions.tickCount()) {}
    bool Passed() const { return SaveFileFunctions.tickCount() - start_ >= HeldFileWaitMilliseconds; }

private:
    DWORD start_;
};

// Whether a call failed because another program holds the file: opened
// without the sharing we need, or the bytes locked (Windows refuses a read or
// write of a locked range and transfers nothing).
bool HeldByAnother(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Pauses a step while time is left; false: give up.
bool PauseUntil(const HeldFileDeadline& deadline) {
    if (deadline.Passed()) return false;
    SaveFileFunctions.pause(HeldFileRetryMilliseconds);
    return true;
}

// Pauses a step where the failure's error says another program holds the
// file and time is left; false: give up.
bool WaitForHolder(DWORD error, const HeldFileDeadline& deadline) {
    return HeldByAnother(error) && PauseUntil(deadline);
}

// The file by its relative name, in the working directory, or the per-user
// copy by its full path. The relative name is plain ASCII, so it means the
// same on every code page, whatever the folder's own name is written in.
HANDLE OpenSaveFile(const SaveFileLocation& location, DWORD access, const HeldFileDeadline& deadline) {
    const wchar_t* name = location.path[0] != L'\0' ? location.path : L"./saves.qvr";
    for (;;) {
        HANDLE file = SaveFileFunctions.createFileW(name, access, ShareAll, nullptr, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || !WaitForHolder(GetLastError(), deadline)) return file;
    }
}

// The file's length in bytes; false when it cannot be had.
bool FileLength(HANDLE file, uint64_t& length) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return false;
    length = uint64_t(size.QuadPart);
    return true;
}

// Whether the file still has the length it had: a file that another writer
// emptied or shortened meanwhile is being written anew.
bool KeptItsLength(HANDLE file, uint64_t length) {
    uint64_t now = 0;
    return FileLength(file, now) && now == length;
}

// Whether the bytes are a whole save file: the magic and a matching checksum.
bool Decodes(const uint8_t* file, size_t size, const uint8_t* keystream) {
    SaveData decoded;
    return DecodeSaveFile(file, size, keystream, decoded) == 0;
}

bool Seek(HANDLE file, size_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
}

// Reads up to size bytes from offset on; count tells how many the file held.
// false on a failed read, with the call's error.
bool ReadAt(HANDLE file, size_t offset, uint8_t* buffer, DWORD size, DWORD& count) {
    count = 0;
    if (!Seek(file, offset)) return false;
    while (count < size) {
        DWORD chunk = 0;
        if (!SaveFileFunctions.readFile(file, buffer + count, size - count, &chunk, nullptr)) return false;
        if (chunk == 0) break;
        count += chunk;
    }
    return true;
}

// Writes the bytes at offset in one call.
bool WriteAt(HANDLE file, size_t offset, const uint8_t* bytes, DWORD size) {
    DWORD count = 0;
    if (!Seek(file, offset)) return false;
    if (!SaveFileFunctions.writeFile(file, bytes, size, &count, nullptr)) return false;
    if (count == size) return true;
    SetLastError(ERROR_WRITE_FAULT);
    return false;
}

// Reads the file from its start, waiting for a program that has the bytes
// locked.
bool ReadFromStart(HANDLE file, uint8_t* buffer, DWORD size, DWORD& count, const HeldFileDeadline& deadline) {
    for (;;) {
        if (ReadAt(file, 0, buffer, size, count)) return true;
        if (!WaitForHolder(GetLastError(), deadline)) return false;
    }
}

// Puts back the masks that still hold what this save wrote, whole or torn by
// the failed write, as they were before it. A mask holding anything else was
// written by another writer since, and stays, as does every byte outside the
// masks. false when the file could not be read or written for it.
bool PutBackMasks(HANDLE file, const uint8_t* before, const uint8_t* ours) {
    uint8_t now[SaveMasksSize];
    DWORD count = 0;
    if (!ReadAt(file, SaveMasksOffset, now, sizeof now, count) || count != sizeof now) return false;
    bool wrote = false;
    for (size_t at = 0; at < SaveMasksSize; at += MaskSize) {
        if (std::memcmp(now + at, before + at, MaskSize) == 0) continue;
        bool onlyThisSave = true;
        for (size_t i = at; i < at + MaskSize; ++i) onlyThisSave &= now[i] == ours[i] || now[i] == before[i];
        if (!onlyThisSave) continue;
        if (!WriteAt(file, SaveMasksOffset + at, before + at, MaskSize)) return false;
        wrote = true;
    }
    return !wrote || SaveFileFunctions.flushFileBuffers(file);
}

// What one round of the save came to.
enum class SaveRound {
    Saved,       // the file read back decodes, has its length and holds this save's masks
    WrittenOver, // another writer put its own masks in between the write and the read-back
    Held,        // another program holds the file, or is halfway through writing it (the file does
                 // not decode, or was emptied or shortened): wait and go round again
    Failed,      // a write, the flush or the read-back failed; the masks are put back where they can be
};

// Ends a round whose write, flush or read-back failed: puts back what can be
// put back, and says so in the log where nothing could.
SaveRound FailedRound(HANDLE file, const uint8_t* before, const uint8_t* ours) {
    if (!PutBackMasks(file, before, ours)) LogWrite("セーブファイルのキー設定を元に戻せませんでした\n");
    return SaveRound::Failed;
}

// One round: the file as it is now, the bindings merged into it, only the
// masks' bytes written at their place in one call, flushed, and the whole
// file read back. Every other byte is the game's and is neither written nor
// put back, so what another writer writes meanwhile stays; the masks lie
// within the file's first disk sector, and no length changes.
SaveRound WriteRound(HANDLE file, const SaveData& bindings, const uint8_t* keystream) {
    uint64_t length = 0;
    if (!FileLength(file, length)) return SaveRound::Failed;
    uint8_t before[SaveFileSize];
    DWORD size = 0;
    if (!ReadAt(file, 0, before, sizeof before, size))
        return HeldByAnother(GetLastError()) ? SaveRound::Held : SaveRound::Failed;
    // A file that decoded at the load and does not now is most likely being
    // written by the game at this moment; one that never decodes is refused
    // once the wait is over.
    uint8_t merged[SaveFileSize];
    if (!MergeSaveBindings(before, size, keystream, bindings, merged)) return SaveRound::Held;
    // Emptied or shortened since it was read, the file is being written
    // anew: the masks written at their place would grow it, with zeros where
    // the magic belongs.
    if (!KeptItsLength(file, length)) return SaveRound::Held;
    const uint8_t* oldMasks = before + SaveMasksOffset;
    const uint8_t* ours = merged + SaveMasksOffset;
    if (!WriteAt(file, SaveMasksOffset, ours, SaveMasksSize)) {
        if (HeldByAnother(GetLastError())) return SaveRound::Held;
        return FailedRound(file, oldMasks, ours);
    }
    if (!SaveFileFunctions.flushFileBuffers(file)) return FailedRound(file, oldMasks, ours);
    // Saved only into a whole file: one that another writer emptied, cut
    // short or left halfway written meanwhile is gone round again once it
    // is whole, and the masks are looked for in that.
    uint8_t after[SaveFileSize];
    DWORD count = 0;
    if (!ReadAt(file, 0, after, sizeof after, count))
        return HeldByAnother(GetLastError()) ? SaveRound::Held : FailedRound(file, oldMasks, ours);
    if (!KeptItsLength(file, length) || !Decodes(after, count, keystream)) return SaveRound::Held;
    return std::memcmp(after + SaveMasksOffset, ours, SaveMasksSize) == 0 ? SaveRound::Saved : SaveRound::WrittenOver;
}

// Rounds until the masks read back are this save's, within the wait for a
// holder and a few rounds against writers that write over them.
bool WriteBindings(HANDLE file, const SaveData& bindings, const uint8_t* keystream, const HeldFileDeadline& deadline) {
    int writtenOver = 0;
    for (;;) {
        switch (WriteRound(file, bindings, keystream)) {
        case SaveRound::Saved:
            return true;
        case SaveRound::Failed:
            return false;
        case SaveRound::WrittenOver:
            if (++writtenOver == SaveWriteRounds) {
                LogWrite("セーブファイルのキー設定が他のプログラムに書き換えられました\n");
                return false;
            }
            break;
        case SaveRound::Held:
            if (!PauseUntil(deadline)) return false;
            break;
        }
    }
}

// A device or pipe that took the name is no save file to write into, and a
// read-only file stays as it is even where opening it for writing succeeded
// (Wine run by root opens it all the same).
bool WritableSaveFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
           !(information.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
}

// Whether a failed open found no file there: no such file, or no such folder.
bool NoSuchFile(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Reads the whole file, as far as the format goes, through a handle opened
// for reading only. 1: it cannot be opened (`missing` tells whether because
// there is no such file); 2: it cannot be read.
int32_t ReadSaveFile(const SaveFileLocation& location, uint8_t* bytes, DWORD& size, bool& missing,
                     const HeldFileDeadline& deadline) {
    HANDLE file = OpenSaveFile(location, GENERIC_READ, deadline);
    missing = file == INVALID_HANDLE_VALUE && NoSuchFile(GetLastError());
    if (file == INVALID_HANDLE_VALUE) return 1;
    bool read = ReadFromStart(file, bytes, SaveFileSize, size, deadline);
    CloseHandle(file);
    return read ? 0 : 2;
}

} // namespace

int32_t SaveData::Load() {
    SeedRandom(SaveFileSeed);
    LocateSaveFile(location_);
    located_ = true;
    const HeldFileDeadline deadline;
    uint8_t bytes[SaveFileSize];
    uint8_t keystream[SaveKeystreamLength];
    for (;;) {
        DWORD size = 0;
        const int32_t read = ReadSaveFile(location_, bytes, size, missing_, deadline);
        if (read != 0) return read;
        // A file that lacks the magic draws no keystream and leaves the
        // object as it was.
        const bool magic = HasSaveMagic(bytes, size);
        if (magic)
            MakeSaveKeystream(SaveFileSeed, keystream);
        else
            SeedRandom(SaveFileSeed);
        // A file that is empty, short of its checksum or does not decode is
        // most likely halfway through the game's write: it is read again
        // until it is whole, or the wait is over.
        SaveData decoded(*this);
        const int32_t result = magic ? DecodeSaveFile(bytes, size, keystream, decoded) : 2;
        if (result == 0 || !PauseUntil(deadline)) {
            if (magic) *this = decoded;
            return result;
        }
    }
}

// One handle, shared with whoever holds the file, from reading the file as it
// is to reading the masks back: no temporary file, no rename, no second name,
// and no moment at which the file is missing or half written.
bool SaveData::Save() {
    uint8_t keystream[SaveKeystreamLength];
    MakeSaveKeystream(SaveFileSeed, keystream);
    if (!located_) LocateSaveFile(location_);
    located_ = true;
    const HeldFileDeadline deadline;
    HANDLE file = OpenSaveFile(location_, GENERIC_READ | GENERIC_WRITE, deadline);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool written = WritableSaveFile(file) && WriteBindings(file, *this, keystream, deadline);
    CloseHandle(file);
    return written;
}
