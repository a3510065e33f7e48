// The runtime's lifecycle state: started or not, and where it was started.
#pragma once

#include <cstdint>

constexpr int StartupDirectorySize = 260;

struct LifecycleState {
    int32_t LibraryStarted;      // 1 between a successful start-up and the shutdown
    int32_t LibraryStarting;     // 1 while the start-up sequence runs
    int32_t ShutdownInProgress;  // 1 once the shutdown core has begun
    int32_t ComInitialised;      // 1 while the runtime holds its own COM initialisation
    char StartupDirectory[StartupDirectorySize]; // working directory at start-up; the log's home
};

extern LifecycleState Lifecycle;
