// The platform boundary of SaveData's file access: the few calls that tests
// make fail, the clock of the wait for a program that holds the file, and
// the wait itself, kept out of the save file's own header.
#pragma once

#include <windows.h>

// The kernel32 calls through which Load and Save open the file, Save reads
// it, writes the bindings into it in place and, if that fails, puts the old
// bytes back; and how long they wait for a program that holds the file or
// is halfway through writing it. Production: the real calls and a pause that
// keeps the dialog answering; tests swap one to see how the file is opened,
// to deliver it in pieces, to make a step fail, to let another writer in
// between two steps, or to run the clock.
struct SaveFileFunctionTable {
    HANDLE(WINAPI* createFileW)
    (LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
     HANDLE templateFile);
    BOOL(WINAPI* readFile)(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
    BOOL(WINAPI* writeFile)(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    BOOL(WINAPI* flushFileBuffers)(HANDLE file);
    DWORD(WINAPI* tickCount)();
    void (*pause)(DWORD milliseconds);
};
extern SaveFileFunctionTable SaveFileFunctions;
extern const SaveFileFunctionTable Kernel32SaveFileFunctions;
