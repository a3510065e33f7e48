// The DirectSound device: start, stop, the per-tick step, the device report
// and the worker thread.
#include "runtime/sound/Sound.h"

#include "runtime/diag/Log.h"
#include "runtime/window/Window.h"

#include <cstring>

SoundState Sound;

namespace {

// DSCAPS as the device fills it in: 96 bytes.
DSCAPS EmptyCaps() {
    DSCAPS caps;
    std::memset(&caps, 0, sizeof caps);
    caps.dwSize = sizeof caps;
    return caps;
}
static_assert(sizeof(DSCAPS) == 96, "DSCAPS is 96 bytes");
// The description's size that DirectSound 7 knows (with the 3D algorithm):
// 36 bytes on a 32-bit build; the format pointer widens it to 40 on 64-bit.
static_assert(sizeof(DSBUFFERDESC) == (sizeof(void*) == 4 ? 36 : 40),
              "DSBUFFERDESC is 36 bytes (40 on 64-bit)");

void ReleaseBuffer(IDirectSoundBuffer*& buffer) {
    if (buffer == nullptr) return;
    buffer->Stop();
    buffer->Release();
    buffer = nullptr;
}

int DropDevice(const char* failureText) {
    LogWrite(failureText);
    Sound.SoundDevice->Release();
    Sound.SoundDevice = nullptr;
    // Nothing will enter the lock without a device; deleting it here keeps a
    // later start from initialising a live critical section a second time.
    DeleteCriticalSection(&Sound.SoundLock);
    return -1;
}

int CreateDevice() {
    LogWrite("DirectSound の初期化を行います\n");
    LogWrite("DirectSound インターフェースの取得を行います....  ");
    IDirectSound* device = nullptr;
    if (FAILED(CurrentSoundPlatform->createDevice(&device)) || device == nullptr) {
        LogWrite("DirectSoundインターフェースの作成に失敗しました\n");
        Sound.SoundDevice = nullptr;
        DeleteCriticalSection(&Sound.SoundLock);
        return -1;
    }
    Sound.SoundDevice = device;
    LogWrite("成功\n");
    LogWrite("引き続きインターフェースの初期化処理... ");
    // No device GUID: the user's default device.
    if (FAILED(device->Initialize(nullptr))) return DropDevice("初期化に失敗しました\n");
    LogWrite("成功\n");
    return 0;
}

int CreatePrimaryBuffer() {
    // The desktop window, not the runtime's own: the device outlives any
    // window the runtime makes or adopts.
    if (Sound.SoundDevice->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY) != DS_OK)
        return DropDevice("DirectSoundの協調レベルの設定に失敗しました\n");

    DSBUFFERDESC description;
    std::memset(&description, 0, sizeof description);
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (Sound.SoundDevice->CreateSoundBuffer(&description, &Sound.PrimaryBuffer, nullptr) != DS_OK) {
        Sound.PrimaryBuffer = nullptr;
        return DropDevice("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
    }
    return 0;
}

// A refused format leaves the device mixing in its own format.
void SetPrimaryFormat() {
    DSCAPS caps = EmptyCaps();
    Sound.SoundDevice->GetCaps(&caps);
    WAVEFORMATEX format = PrimaryFormatFromCaps(caps);
    if (Sound.PrimaryBuffer->SetFormat(&format) != DS_OK)
        LogWrite("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
}

// The silent looping buffer keeps the device mixing from the start, so the
// first real sound does not pay for waking the device up.
void StartSilenceBuffer() {
    WAVEFORMATEX format;
    std::memset(&format, 0, sizeof format);
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 176400;

    DSBUFFERDESC description;
    std::memset(&description, 0, sizeof description);
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_STATIC | DSBCAPS_GLOBALFOCUS;
    description.dwBufferBytes = SilenceBufferBytes;
    description.lpwfxFormat = &format;
    if (Sound.SoundDevice->CreateSoundBuffer(&description, &Sound.SilenceBuffer, nullptr) != DS_OK) {
        LogWrite("無音バッファの作成に失敗しました");
        Sound.SilenceBuffer = nullptr;
        return;
    }

    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0, secondBytes = 0;
    if (Sound.SilenceBuffer->Lock(0, SilenceBufferBytes, &first, &firstBytes, &second, &secondBytes, 0) != DS_OK) {
        LogWrite("無音バッファのロックに失敗しました");
        Sound.SilenceBuffer->Release();
        Sound.SilenceBuffer = nullptr;
        return;
    }
    if (first != nullptr) std::memset(first, 0, firstBytes);
    if (second != nullptr) std::memset(second, 0, secondBytes);
    Sound.SilenceBuffer->Unlock(first, firstBytes, second, secondBytes);
    Sound.SilenceBuffer->Play(0, 0, DSBPLAY_LOOPING);
}

const char* YesNo(DWORD flags, DWORD flag) {
    return (flags & flag) != 0 ? "OK" : "NO";
}

BOOL CALLBACK ReportEnumeratedDevice(LPGUID, LPCSTR description, LPCSTR module, LPVOID) {
    LogPrintf("モジュール名:%15s  ドライバ記述:%s ", module != nullptr ? module : "",
              description != nullptr ? description : "");
    return TRUE;
}

using EnumerateFunction = HRESULT(WINAPI*)(LPDSENUMCALLBACKA callback, LPVOID context);

// Loads "DSOUND.DLL" into library and finds its enumeration function. On a
// failure it logs why and returns null with nothing left loaded.
EnumerateFunction FindEnumerateFunction(HMODULE& library) {
    library = CurrentSoundPlatform->loadLibrary("DSOUND.DLL");
    if (library == nullptr) {
        LogWrite("DSOUND.DLL のロードに失敗しました\n");
        return nullptr;
    }
    auto enumerate = reinterpret_cast<EnumerateFunction>(
        reinterpret_cast<void*>(CurrentSoundPlatform->getProcAddress(library, "DirectSoundEnumerateA")));
    if (enumerate == nullptr) {
        CurrentSoundPlatform->freeLibrary(library);
        library = nullptr;
        LogWrite("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
    }
    return enumerate;
}

void ReportCapabilities(const DSCAPS& caps) {
    LogPrintf("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
              double(caps.dwMaxSecondarySampleRate) / 1000, double(caps.dwMinSecondarySampleRate) / 1000);
    LogPrintf("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", double(caps.dwTotalHwMemBytes) / 1024,
              double(caps.dwFreeHwMemBytes) / 1024);
    LogWrite("利用可能サンプリング精度\n");
    LogPrintf(" プライマリ １６bit = %s  ８bit = %s ", YesNo(caps.dwFlags, DSCAPS_PRIMARY16BIT),
              YesNo(caps.dwFlags, DSCAPS_PRIMARY8BIT));
    LogPrintf(" セカンダリ １６bit = %s  ８bit = %s \n", YesNo(caps.dwFlags, DSCAPS_SECONDARY16BIT),
              YesNo(caps.dwFlags, DSCAPS_SECONDARY8BIT));
    LogWrite("利用可能チャンネル\n");
    LogPrintf(" プライマリ MONO = %s  STEREO = %s ", YesNo(caps.dwFlags, DSCAPS_PRIMARYMONO),
              YesNo(caps.dwFlags, DSCAPS_PRIMARYSTEREO));
    LogPrintf(" セカンダリ MONO = %s  STEREO = %s \n", YesNo(caps.dwFlags, DSCAPS_SECONDARYMONO),
              YesNo(caps.dwFlags, DSCAPS_SECONDARYSTEREO));
}

// The device report: the installed devices two levels in, the capabilities
// one level in. Without DSOUND.DLL or its enumeration function the whole
// report is skipped.
void ReportSoundDevice() {
    IncreaseLogIndent();
    DSCAPS caps = EmptyCaps();
    Sound.SoundDevice->GetCaps(&caps);
    LogWrite("DirectSound デバイスを列挙します\n");
    IncreaseLogIndent();
    HMODULE library = nullptr;
    EnumerateFunction enumerate = FindEnumerateFunction(library);
    if (enumerate == nullptr) {
        DecreaseLogIndent();
        DecreaseLogIndent();
        return;
    }
    enumerate(ReportEnumeratedDevice, nullptr); // its result says nothing the lines do not
    DecreaseLogIndent();
    ReportCapabilities(caps);
    DecreaseLogIndent();
    CurrentSoundPlatform->freeLibrary(library);
}

DWORD WINAPI SoundWorker(LPVOID) {
    while (Sound.SoundWorkerState != SoundWorkerStopRequested) {
        EnterCriticalSection(&Sound.SoundLock);
        if (Sound.SoundDevice != nullptr) RunSoundWorkerPass();
        LeaveCriticalSection(&Sound.SoundLock);
        Sleep(SoundWorkerPeriodMs);
    }
    InterlockedExchange(&Sound.SoundWorkerState, SoundWorkerEnded);
    return 0;
}

void StartSoundWorker() {
    // Suspended first, so the worker's first pass already runs at its priority.
    Sound.SoundWorkerThread =
        CreateThread(nullptr, 0, SoundWorker, nullptr, CREATE_SUSPENDED, &Sound.SoundWorkerThreadId);
    if (Sound.SoundWorkerThread == nullptr) return;
    SetThreadPriority(Sound.SoundWorkerThread, THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(Sound.SoundWorkerThread);
}

// Asks the worker to end and waits for its acknowledgement, keeping the
// window alive meanwhile. Once MessageTick says the runtime is ending, the
// window needs no more turns, but the worker may still be inside SoundLock,
// which the stop deletes next: so the thread's end is waited for either way.
void EndSoundWorker() {
    if (Sound.SoundWorkerThread == nullptr) return; // the thread never started: nobody to acknowledge
    InterlockedExchange(&Sound.SoundWorkerState, SoundWorkerStopRequested);
    int tick = MessageTick();
    while (tick == 0 && Sound.SoundWorkerState == SoundWorkerStopRequested) {
        Sleep(SoundStopPollMs);
        tick = MessageTick();
    }
    WaitForSingleObject(Sound.SoundWorkerThread, SoundWorkerEndWaitMs);
    CloseHandle(Sound.SoundWorkerThread);
    Sound.SoundWorkerThread = nullptr;
}

} // namespace

WAVEFORMATEX PrimaryFormatFromCaps(const DSCAPS& caps) {
    WAVEFORMATEX format;
    std::memset(&format, 0, sizeof format);
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = (caps.dwFlags & DSCAPS_PRIMARYSTEREO) != 0 ? 2 : 1;
    // Mixing above CD rate buys nothing audible and costs the mixer.
    format.nSamplesPerSec = caps.dwMaxSecondarySampleRate >= 44100 ? 44100 : caps.dwMaxSecondarySampleRate;
    format.wBitsPerSample = (caps.dwFlags & DSCAPS_PRIMARY16BIT) != 0 ? 16 : 8;
    format.nBlockAlign = WORD(format.wBitsPerSample / 8 * format.nChannels);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    format.cbSize = 0;
    return format;
}

int StartSoundDevice() {
    if (Sound.SoundDevice != nullptr) return -1;
    InitializeCriticalSection(&Sound.SoundLock);
    if (CreateDevice() != 0) return -1;
    if (CreatePrimaryBuffer() != 0) return -1;
    SetPrimaryFormat();
    StartSilenceBuffer();
    // The two lists are intrusive and need no set-up of their own; handles
    // listed before an earlier stop are still listed and get stopped below.
    ReportSoundDevice();
    StopAllSoundHandles();
    ReleasePlayerHandles();
    StartSoundWorker();
    LogWrite("DirectSound の初期化は正常に終了しました\n");
    return 0;
}

int StopSoundDevice() {
    if (Sound.SoundDevice == nullptr) return -1;
    EndSoundWorker();
    StopSoundCapture();
    StopAllSoundHandles();
    ReleasePlayerHandles();
    ReleaseMusicHandles();
    DeleteMusicTempFile();
    DeleteCriticalSection(&Sound.SoundLock);
    ReleaseBuffer(Sound.PrimaryBuffer);
    ReleaseBuffer(Sound.SilenceBuffer);
    Sound.SoundDevice->Release();
    Sound.SoundDevice = nullptr;
    LogWrite("DirectSound の終了処理は正常に終了しました\n");
    return 0;
}

int SoundTick() {
    if (Sound.SoundDevice == nullptr) return -1;
    // Music handles only need following when played through DirectMusic,
    // and this runtime's device is always plain DirectSound: nothing to do.
    return 0;
}
