// Work that the start-up does beside the processor clock estimate, which
// must busy-wait 100 ms of the millisecond clock whatever else happens: a
// second thread loads the libraries that the input and sound start-ups are
// about to load and opens and closes the sound device once, so that those
// start-ups find them loaded and the sound driver awake. The thread logs
// nothing and changes none of the runtime's state; what it holds is given
// back once the subsystems have taken their own hold.
#pragma once

#include <windows.h>

// The warm-up's platform calls that its order turns on: the thread's loading
// of a library and the start-up's wait for the thread. Production passes the
// system's.
struct StartupWarmUpCalls {
    HMODULE(WINAPI* loadLibrary)(LPCSTR name);
    DWORD(WINAPI* waitForThread)(HANDLE thread, DWORD milliseconds);
};
extern const StartupWarmUpCalls SystemWarmUpCalls;
extern const StartupWarmUpCalls* WarmUpCalls; // SystemWarmUpCalls unless a test swapped it

// Starts the thread. Does nothing while a warm-up is still held.
void BeginStartupWarmUp();
// Waits for the thread to end. Call before anything that the thread could
// race with (it only loads libraries, so before the input start).
void EndStartupWarmUp();
// Frees the libraries the thread loaded; after EndStartupWarmUp.
void ReleaseStartupWarmUp();
