// The platform boundary of SaveData::Save's write in place: the few file
// calls that tests make fail, kept out of the save file's own header.
#pragma once

#include <windows.h>

// The kernel32 calls through which Save rewrites the file in place and, if
// that fails, puts the old bytes back. Production: the real calls; tests
// swap one to make a step fail.
struct SaveFileFunctionTable {
    BOOL(WINAPI* readFile)(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
    BOOL(WINAPI* writeFile)(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    BOOL(WINAPI* setEndOfFile)(HANDLE file);
    BOOL(WINAPI* flushFileBuffers)(HANDLE file);
};
extern SaveFileFunctionTable SaveFileFunctions;
extern const SaveFileFunctionTable Kernel32SaveFileFunctions;
