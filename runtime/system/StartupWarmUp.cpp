#include "runtime/system/StartupWarmUp.h"

#include <windows.h>

#include <mmsystem.h> // WAVEFORMATEX for dsound.h
#include <dsound.h>

namespace {

// DirectInput 7 comes first in the input start (dinput.dll); DirectSound is
// opened through its own export, so the warm-up needs no COM on its thread.
constexpr const char InputLibraryName[] = "dinput.dll";
constexpr const char SoundLibraryName[] = "dsound.dll";

using DirectSoundCreateFunction = HRESULT(WINAPI*)(LPCGUID device, LPDIRECTSOUND* sound, LPUNKNOWN outer);

struct WarmUpState {
    HANDLE thread;
    HMODULE input;
    HMODULE sound;
};

WarmUpState WarmUp;

// Opening the default device loads and starts the system's audio driver,
// which the sound start-up would otherwise wait for.
void OpenAndCloseSoundDevice(HMODULE sound) {
    auto create = reinterpret_cast<DirectSoundCreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(sound, "DirectSoundCreate")));
    if (create == nullptr) return;
    IDirectSound* device = nullptr;
    if (SUCCEEDED(create(nullptr, &device, nullptr)) && device) device->Release();
}

DWORD WINAPI WarmUpThread(LPVOID) {
    WarmUp.input = WarmUpCalls->loadLibrary(InputLibraryName);
    WarmUp.sound = WarmUpCalls->loadLibrary(SoundLibraryName);
    if (WarmUp.sound) OpenAndCloseSoundDevice(WarmUp.sound);
    return 0;
}

} // namespace

const StartupWarmUpCalls SystemWarmUpCalls = {LoadLibraryA, WaitForSingleObject};
const StartupWarmUpCalls* WarmUpCalls = &SystemWarmUpCalls;

void BeginStartupWarmUp() {
    if (WarmUp.thread || WarmUp.input || WarmUp.sound) return;
    // Without the thread the start-up simply loads everything itself.
    WarmUp.thread = CreateThread(nullptr, 0, WarmUpThread, nullptr, 0, nullptr);
}

void EndStartupWarmUp() {
    if (WarmUp.thread == nullptr) return;
    WarmUpCalls->waitForThread(WarmUp.thread, INFINITE);
    CloseHandle(WarmUp.thread);
    WarmUp.thread = nullptr;
}

void ReleaseStartupWarmUp() {
    if (WarmUp.input) FreeLibrary(WarmUp.input);
    if (WarmUp.sound) FreeLibrary(WarmUp.sound);
    WarmUp.input = nullptr;
    WarmUp.sound = nullptr;
}
