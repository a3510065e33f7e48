// Finding the save file the game last wrote: the working folder's, or the
// per-user copy that Windows keeps for a game under Program Files.
#include "app/SaveFileLocation.h"
#include "app/SaveFileLocationFunctions.h"

#include "runtime/Runtime.h"

#include <cstdio>
#include <cwchar>

namespace {

// Windows Vista is the first to virtualise a program's file writes.
bool WindowsVistaOrLater() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
}

// A full path on a drive: "X:\...".
bool OnADrive(const wchar_t* path) {
    return path[0] != L'\0' && path[1] == L':' && path[2] == L'\\';
}

// The length of a path without the backslashes it ends with, a drive's root
// keeping its own ("C:\").
size_t TrimmedLength(const wchar_t* path) {
    size_t length = std::wcslen(path);
    while (length > 3 && path[length - 1] == L'\\') --length;
    return length;
}

// Whether the path is the folder or lies under it: the same drive and the
// same names, in any case.
bool InFolder(const wchar_t* path, const wchar_t* folder) {
    if (!OnADrive(folder)) return false;
    const size_t length = TrimmedLength(folder);
    if (std::wcslen(path) < length) return false;
    if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, path, int(length), folder, int(length)) != CSTR_EQUAL)
        return false;
    return path[length] == L'\0' || path[length] == L'\\' || folder[length - 1] == L'\\';
}

// Appends count characters of text to path[size] at `at`; false when they
// do not fit with the terminator.
bool Append(wchar_t* path, size_t size, size_t& at, const wchar_t* text, size_t count) {
    if (at + count >= size) return false;
    std::wmemcpy(path + at, text, count);
    at += count;
    path[at] = L'\0';
    return true;
}

bool Append(wchar_t* path, size_t size, size_t& at, const wchar_t* text) {
    return Append(path, size, at, text, std::wcslen(text));
}

SaveFileState StateOf(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {false, 0};
    return {true, uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime};
}

// One environment value, empty where it is not set or too long.
void ReadEnvironment(const wchar_t* name, wchar_t* value, DWORD size) {
    DWORD length = SaveFileLocationFunctions.getEnvironmentVariableW(name, value, size);
    if (length == 0 || length >= size) value[0] = L'\0';
}

// The log's line: the chosen file and why, in the ANSI code page (a
// character it lacks shows as '?').
void LogChoice(const wchar_t* path, SaveFileChoice choice) {
    static const char* const reasons[] = {
        "ユーザーごとのコピーのほうが古いか、ないため",
        "ユーザーごとのコピーのほうが新しいため",
        "ゲームのフォルダにはなく、ユーザーごとのコピーだけがあるため",
    };
    char ansiPath[SavePathCapacity * 2];
    if (!WideCharToMultiByte(CP_ACP, 0, path, -1, ansiPath, int(sizeof ansiPath), nullptr, nullptr)) ansiPath[0] = '\0';
    char line[sizeof ansiPath + 256];
    std::snprintf(line, sizeof line, "セーブファイル %s を使います（%s）\n", ansiPath, reasons[int(choice)]);
    LogWrite(line);
}

} // namespace

const wchar_t* const VirtualisedFolderVariables[VirtualisedFolderCount] = {
    L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"SystemRoot", L"ProgramData",
};

const SaveFileLocationFunctionTable Kernel32SaveFileLocationFunctions = {GetEnvironmentVariableW, GetCurrentDirectoryW,
                                                                         WindowsVistaOrLater};

SaveFileLocationFunctionTable SaveFileLocationFunctions = Kernel32SaveFileLocationFunctions;

bool VirtualStoreSavePath(const wchar_t* workingFolder, const wchar_t* const* virtualisedFolders, int folderCount,
                          const wchar_t* localAppData, wchar_t* path, size_t size) {
    if (size == 0) return false;
    path[0] = L'\0';
    if (localAppData == nullptr || localAppData[0] == L'\0' || !OnADrive(workingFolder)) return false;
    bool virtualised = false;
    for (int i = 0; i < folderCount && !virtualised; ++i)
        virtualised = virtualisedFolders[i] != nullptr && InFolder(workingFolder, virtualisedFolders[i]);
    if (!virtualised) return false;
    // "C:\Program Files\Orvanne" stands in the store as "\Program Files\Orvanne".
    const wchar_t* withoutDrive = workingFolder + 2;
    size_t withoutDriveLength = TrimmedLength(workingFolder) - 2;
    if (withoutDriveLength == 1) withoutDriveLength = 0; // the drive's root
    size_t at = 0;
    size_t localLength = std::wcslen(localAppData);
    while (localLength > 0 && localAppData[localLength - 1] == L'\\') --localLength;
    if (Append(path, size, at, localAppData, localLength) && Append(path, size, at, L"\\VirtualStore") &&
        Append(path, size, at, withoutDrive, withoutDriveLength) && Append(path, size, at, L"\\saves.qvr"))
        return true;
    path[0] = L'\0';
    return false;
}

SaveFileChoice ChooseSaveFile(const SaveFileState& original, const SaveFileState& copy) {
    if (!copy.exists) return SaveFileChoice::Original;
    if (!original.exists) return SaveFileChoice::CopyAlone;
    return copy.lastWrite >= original.lastWrite ? SaveFileChoice::CopyIsNewer : SaveFileChoice::Original;
}

void LocateSaveFile(SaveFileLocation& location) {
    location.path[0] = L'\0';
    if (!SaveFileLocationFunctions.vistaOrLater()) return;
    wchar_t workingFolder[SavePathCapacity];
    DWORD length = SaveFileLocationFunctions.getCurrentDirectoryW(SavePathCapacity, workingFolder);
    if (length == 0 || length >= SavePathCapacity) return;
    // A folder entered by its short name ("PROGRA~1") is compared by its long one.
    wchar_t longName[SavePathCapacity];
    length = GetLongPathNameW(workingFolder, longName, SavePathCapacity);
    if (length > 0 && length < SavePathCapacity) std::wmemcpy(workingFolder, longName, length + 1);

    wchar_t folders[VirtualisedFolderCount][MAX_PATH + 1];
    const wchar_t* folderList[VirtualisedFolderCount];
    for (int i = 0; i < VirtualisedFolderCount; ++i) {
        ReadEnvironment(VirtualisedFolderVariables[i], folders[i], MAX_PATH + 1);
        folderList[i] = folders[i];
    }
    wchar_t localAppData[MAX_PATH + 1];
    ReadEnvironment(L"LOCALAPPDATA", localAppData, MAX_PATH + 1);

    // Paths of MAX_PATH characters and more are opened in their literal form.
    static const wchar_t Literal[] = L"\\\\?\\";
    constexpr size_t LiteralLength = sizeof Literal / sizeof Literal[0] - 1;
    wchar_t copy[SavePathCapacity];
    if (!VirtualStoreSavePath(workingFolder, folderList, VirtualisedFolderCount, localAppData, copy + LiteralLength,
                              SavePathCapacity - LiteralLength))
        return;
    std::wmemcpy(copy, Literal, LiteralLength);
    const wchar_t* copyPath = std::wcslen(copy) - LiteralLength >= MAX_PATH ? copy : copy + LiteralLength;

    const SaveFileChoice choice = ChooseSaveFile(StateOf(L"saves.qvr"), StateOf(copyPath));
    if (choice != SaveFileChoice::Original) std::wcscpy(location.path, copyPath);
    LogChoice(choice == SaveFileChoice::Original ? L".\\saves.qvr" : copy + LiteralLength, choice);
}
