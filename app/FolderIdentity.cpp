// A folder's identity from the system: its id where the file system gives
// one, its full long path in any case.
#include "app/FolderIdentity.h"

#include <windows.h>

namespace {

// GetFileInformationByHandleEx with FileIdInfo (class 18): the 128-bit ids
// of ReFS, whose 64-bit index is not unique; Windows 8 and later. Looked up
// at run time: Windows XP has neither the function nor the class.
constexpr int FileIdInfoClass = 18;
struct FileIdInfo {
    ULONGLONG volumeSerialNumber;
    BYTE fileId[16]; // little-endian
};
using InformationByHandleEx = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);

InformationByHandleEx InformationByHandleExFunction() {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) return nullptr;
    return reinterpret_cast<InformationByHandleEx>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "GetFileInformationByHandleEx")));
}

uint64_t LittleEndian64(const BYTE* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

bool ReadLongId(HANDLE folder, FolderIdentity& identity) {
    static const InformationByHandleEx informationByHandleEx = InformationByHandleExFunction();
    FileIdInfo info = {};
    if (informationByHandleEx == nullptr || !informationByHandleEx(folder, FileIdInfoClass, &info, sizeof info))
        return false;
    identity.volumeSerial = info.volumeSerialNumber;
    identity.fileIdLow = LittleEndian64(info.fileId);
    identity.fileIdHigh = LittleEndian64(info.fileId + 8);
    return identity.fileIdLow != 0 || identity.fileIdHigh != 0;
}

bool ReadIndex(HANDLE folder, FolderIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder, &info)) return false;
    identity.volumeSerial = info.dwVolumeSerialNumber;
    identity.fileIdHigh = 0;
    identity.fileIdLow = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return identity.fileIdLow != 0;
}

// Some network file systems give no id (0); then the path has to do.
void ReadId(const wchar_t* folder, FolderIdentity& identity) {
    // Attributes alone; FILE_FLAG_BACKUP_SEMANTICS opens a folder. Sharing
    // everything, so that the open hinders nobody.
    HANDLE handle = CreateFileW(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    identity.idKnown = ReadLongId(handle, identity) || ReadIndex(handle, identity);
    CloseHandle(handle);
    if (!identity.idKnown) identity.volumeSerial = identity.fileIdHigh = identity.fileIdLow = 0;
}

// A path through a call that reports the length it needs when the buffer is
// too small, as GetFullPathNameW and GetLongPathNameW do; empty on failure.
template <typename Call> std::wstring GrowingPath(Call call) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = call(&path[0], DWORD(path.size()));
        if (length == 0) return std::wstring();
        if (length < path.size()) return path.substr(0, length);
        path.assign(length, L'\0'); // the length needed, the terminator included
    }
    return std::wstring();
}

// The full path, "." and ".." resolved, with each short 8.3 name replaced by
// its long one; the full path alone where the long names cannot be read.
std::wstring ReadLongPath(const wchar_t* folder) {
    const std::wstring full =
        GrowingPath([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(folder, size, buffer, nullptr); });
    if (full.empty()) return full;
    const std::wstring longPath =
        GrowingPath([&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); });
    return longPath.empty() ? full : longPath;
}

} // namespace

FolderIdentity ReadFolderIdentity(const wchar_t* folder) {
    FolderIdentity identity;
    identity.path = ReadLongPath(folder);
    ReadId(folder, identity);
    return identity;
}
