// The runtime's lifecycle: the start-up sequence, the shutdown core, the
// pre-start settings and the fatal stop.
#pragma once

#include <cstdint>

constexpr int StartupDirectorySize = 260;

// How far the running start-up got, so that a start-up that fails, or is
// ended by a fatal stop, can take back what it brought up.
struct StartProgress {
    bool windowStarted;   // the window start-up succeeded
    bool inputReached;    // StartInput ran (it may have started devices before failing)
    bool soundReached;    // StartSoundDevice ran
    bool graphicsReached; // the graphics start ran
};

struct LifecycleState {
    int32_t LibraryStarted;      // 1 between a successful start-up and the shutdown
    int32_t LibraryStarting;     // 1 while the start-up sequence runs
    int32_t ShutdownInProgress;  // 1 once the shutdown core has begun
    int32_t ComInitialised;      // 1 while the runtime holds its own COM initialisation
    int32_t DrawingDisabled;     // pre-start setting: 1 skips the graphics start
    char StartupDirectory[StartupDirectorySize]; // working directory at start-up; the log's home
    StartProgress StartupProgress; // what the running start-up has brought up so far
};

extern LifecycleState Lifecycle;

// The shutdown core, under the caller's hold of the ApiLock. Returns 0.
int RunShutdownCore();

// Ends the process with exit code -1 after logging the message and running
// the shutdown core, or, during a start-up, taking back what the start-up
// brought up. The caller's hold on the ApiLock is never released.
[[noreturn]] void FatalStop(const char* message);
[[noreturn]] void FatalStopFormat(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// The 24-bit colour refusal: a 24-bit desktop in windowed mode, or a 24-bit
// graphics mode, cannot be served.
inline bool RefusesColourDepth(int desktopDepth, int windowModeFlag, int colourBits) {
    return (desktopDepth == 24 && windowModeFlag == 1) || colourBits == 24;
}
