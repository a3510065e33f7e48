// The sound subsystem: the process's DirectSound device, the worker thread
// that runs beside it, and the handle lists that the worker serves.
#pragma once

#include <windows.h>

#include <mmsystem.h> // WAVEFORMATEX, left out by WIN32_LEAN_AND_MEAN
#include <dsound.h>

#include <cstdint>

// The silent looping buffer that keeps the device mixing: 100 frames of
// 16-bit stereo at 44100 Hz.
constexpr DWORD SilenceBufferBytes = 400;
// The worker's pause between two passes over the lists.
constexpr DWORD SoundWorkerPeriodMs = 30;
// The stop's pause between two looks at the worker's acknowledgement.
constexpr DWORD SoundStopPollMs = 2;
// How long a stop whose runtime is ending still waits for the worker thread
// to leave SoundLock before the lock is deleted. One pass and one period are
// far below this; the bound only keeps a stuck worker from hanging the exit.
constexpr DWORD SoundWorkerEndWaitMs = 2000;

// SoundWorkerState values.
constexpr LONG SoundWorkerStopRequested = 1;
constexpr LONG SoundWorkerEnded = 2;

// A sound handle as the worker sees it. The handle's owner fills it in and
// lists it with AddSoundHandle; the worker refills its stream while
// `streaming` is set.
struct SoundHandle {
    SoundHandle* next;                      // the list's link, owned by the list
    int32_t streaming;                      // 1: the worker refills this handle's stream
    void (*refillStream)(SoundHandle* handle); // run by the worker under SoundLock
    void (*stop)(SoundHandle* handle);      // stops playback; null when there is nothing to stop
    void* owner;                            // the owner's own data
};

// An entry of the second list the worker serves (fades, positional updates
// and the like): run while `active` is set.
struct SoundWorkerEntry {
    SoundWorkerEntry* next;                 // the list's link, owned by the list
    int32_t active;                         // 1: the worker runs `update`
    void (*update)(SoundWorkerEntry* entry); // run by the worker under SoundLock
    void* owner;                            // the owner's own data
};

struct SoundState {
    IDirectSound* SoundDevice;          // the device; null when not started (the subsystem's "started" test)
    IDirectSoundBuffer* PrimaryBuffer;  // the primary buffer; null when not created
    IDirectSoundBuffer* SilenceBuffer;  // 400 bytes of looping silence; null when making it failed
    CRITICAL_SECTION SoundLock;         // guards the lists between the worker and the application's thread
    HANDLE SoundWorkerThread;           // the worker thread; closed by the stop once the worker has ended
    DWORD SoundWorkerThreadId;          // its id
    volatile LONG SoundWorkerState;     // 0 at program start, 1 stop requested, 2 worker ended; never reset
    SoundHandle* soundHandles;          // the sound handle list, newest first
    SoundWorkerEntry* workerEntries;    // the second list the worker serves, newest first
};

extern SoundState Sound;

// The platform calls the subsystem makes, in one table so that tests can
// script the device: production creates the DirectSound object through COM
// and finds the enumeration function in "DSOUND.DLL".
struct SoundPlatform {
    HRESULT (*createDevice)(IDirectSound** device);  // CoCreateInstance(CLSID_DirectSound, ..., IID_IDirectSound)
    HMODULE (*loadLibrary)(const char* name);        // LoadLibraryA
    FARPROC (*getProcAddress)(HMODULE module, const char* name);
    BOOL (*freeLibrary)(HMODULE module);
};

extern const SoundPlatform DefaultSoundPlatform;
extern const SoundPlatform* CurrentSoundPlatform;  // DefaultSoundPlatform unless a test swapped it

// Start-up step of LibraryStartup: 0 = started, -1 = already started or no device.
int StartSoundDevice();
// Shutdown step: 0 = stopped, -1 = not started.
int StopSoundDevice();
// The first per-tick item of MessageTick: -1 when not started, else 0.
int SoundTick();

// The primary buffer's format, a pure function of the device capabilities.
WAVEFORMATEX PrimaryFormatFromCaps(const DSCAPS& caps);

// ---- Handle lists ------------------------------------------------------------
// Each operation is safe when the device never started; the list operations
// refuse (-1) or do nothing then.

int AddSoundHandle(SoundHandle* handle);          // -1 when the device is not started
void RemoveSoundHandle(SoundHandle* handle);
int AddSoundWorkerEntry(SoundWorkerEntry* entry); // -1 when the device is not started
void RemoveSoundWorkerEntry(SoundWorkerEntry* entry);

// One pass of the worker over both lists; the caller holds SoundLock.
void RunSoundWorkerPass();
// Stops every listed sound handle.
void StopAllSoundHandles();
// The player handles, capture and music that this build never creates.
void ReleasePlayerHandles();
void StopSoundCapture();
void ReleaseMusicHandles();
void DeleteMusicTempFile();
