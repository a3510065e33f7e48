// The platform boundary of LocateSaveFile, kept out of the location's own
// header so that the codec's users stay free of the platform.
#pragma once

#include <windows.h>

// The calls through which LocateSaveFile learns the system, the folders and
// the working folder, kernel32 alone. Production: the real calls; tests swap
// them to stand for another system and other folders.
struct SaveFileLocationFunctionTable {
    DWORD(WINAPI* getEnvironmentVariableW)(LPCWSTR name, LPWSTR buffer, DWORD size);
    DWORD(WINAPI* getCurrentDirectoryW)(DWORD size, LPWSTR buffer);
    bool (*vistaOrLater)();
};
extern SaveFileLocationFunctionTable SaveFileLocationFunctions;
extern const SaveFileLocationFunctionTable Kernel32SaveFileLocationFunctions;
