// The lifecycle's process-wide values: whether the runtime is started,
// starting or shutting down, its pre-start settings and the start-up
// directory. Kept here, below every room, because the log, the clocks, the
// window and the input read them; only the lifecycle (runtime/system/)
// changes them, apart from the pre-start settings.
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
    int32_t StartupRefusalReason;  // why the latest start-up returned -1: a StartupRefused... value, 0 none
};

extern LifecycleState Lifecycle;
