// How long StopSoundDevice waits for the worker's acknowledgement, against
// the worker's own period. The stop comes at a random point of the worker's
// sleep, so the wait averages about half a period and should never average
// more than one. Measured on the machine's DirectSound (Wine's, on the null
// sink that scripts/wine-run sets up).
#include "Bench.h"

#include "runtime/diag/Log.h"
#include "runtime/sound/Sound.h"
#include "runtime/window/Window.h"

#include <objbase.h>
#include <windows.h>

#include <cstdio>

namespace {

constexpr int StopCycles = 24;
constexpr int PeriodSamples = 12;

LogState SavedLog;
WindowState SavedWindow;

void SetUpSound() {
    CoInitialize(nullptr);
    SavedLog = Log;
    SavedWindow = Window;
    Log.LogDisabled = 1;
    // No window: MessageTick has no per-tick work and never reports the end.
    Window.MainWindowHandle = nullptr;
    Window.HostWindowMode = 0;
    Window.QuitRequested = 0;
}

void TearDownSound() {
    Log = SavedLog;
    Window = SavedWindow;
    CoUninitialize();
}

double MeanStopLatency() {
    uint32_t phase = 12345;
    double total = 0;
    for (int i = 0; i < StopCycles; ++i) {
        if (StartSoundDevice() != 0) {
            std::fprintf(stderr, "BenchSound: no sound device; the stop latency cannot be measured\n");
            return 1e9;
        }
        phase = phase * 1103515245u + 12345u;
        Sleep((phase >> 16) % SoundWorkerPeriodMs);
        double start = BenchSeconds();
        StopSoundDevice();
        total += BenchSeconds() - start;
    }
    BenchSink = uint32_t(Sound.SoundWorkerState);
    return total / StopCycles;
}

double MeanWorkerPeriod() {
    double total = 0;
    for (int i = 0; i < PeriodSamples; ++i) {
        double start = BenchSeconds();
        Sleep(SoundWorkerPeriodMs);
        total += BenchSeconds() - start;
    }
    return total / PeriodSamples;
}

} // namespace

REGISTER_BENCH_MEASUREMENT("StopSoundDevice (worker acknowledgement)", "Sleep(30) (one worker period)",
                           MeanStopLatency, MeanWorkerPeriod, 1.0, false, SetUpSound, TearDownSound);
