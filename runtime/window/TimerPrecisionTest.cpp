// The contest between the multimedia timer and the performance counter that
// picks the microsecond source. A step of the window start-up: it keeps the
// window alive while it watches the two timers, so it sits with the window
// rather than with the clocks it decides between.
#include "runtime/window/Window.h"

#include "runtime/core/Clock.h"
#include "runtime/diag/Log.h"

#include <windows.h>
#include <mmsystem.h>

namespace {

// The contest ends at whichever limit comes first: enough observed changes
// of either timer to tell them apart, or a second of multimedia-timer time.
constexpr int PrecisionTestUpdateLimit = 60;
constexpr uint32_t PrecisionTestTimeLimitMs = 1000;

struct PrecisionCounts {
    int multimedia;
    int counter;
};

// Counts how often each timer is seen to change while the message queue is
// kept alive between reads.
PrecisionCounts RunPrecisionContest() {
    PrecisionCounts counts = {0, 0};
    DWORD lastMultimedia = timeGetTime();
    int64_t lastCounter = ReadPerformanceCounter();
    DWORD start = timeGetTime();
    if (MessageTick() != 0) return counts;
    while (counts.multimedia < PrecisionTestUpdateLimit && counts.counter < PrecisionTestUpdateLimit &&
           timeGetTime() - start < PrecisionTestTimeLimitMs) {
        int64_t counter = ReadPerformanceCounter();
        if (counter != lastCounter) {
            ++counts.counter;
            lastCounter = counter;
        }
        DWORD multimedia = timeGetTime();
        if (multimedia != lastMultimedia) {
            ++counts.multimedia;
            lastMultimedia = multimedia;
        }
        if (MessageTick() != 0) break;
    }
    return counts;
}

void LogPrecisionVerdict(const PrecisionCounts& counts) {
    LogPrintf("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d", counts.multimedia,
              counts.counter);
    LogWrite(" ");
    if (PreferMultimediaTimer(counts.multimedia, counts.counter)) {
        LogPrintf("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms ", int(TimerPeriodMin()));
        Clock.UsePerformanceCounter = 0;
    } else {
        LogPrintf("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
                  double(Clock.PerformanceFrequency) / 1000.0);
    }
    LogWrite(" ");
}

} // namespace

void TimerPrecisionTest() {
    if (Clock.UsePerformanceCounter != 1) return;
    int64_t started = ReadPerformanceCounter();
    LogWrite("タイマーの精度を検査します\n");
    LogPrecisionVerdict(RunPrecisionContest());
    StartupSteps.precisionTestSeconds = SecondsSinceCounter(started);
}
