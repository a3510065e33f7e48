// The runtime's lifecycle: the start-up sequence, the shutdown core, the
// pre-start settings and what a fatal stop gives back. It calls every
// subsystem in turn, so it sits above them all.
#pragma once

#include "runtime/core/FatalStop.h"
#include "runtime/state/LifecycleState.h"

#include <cstdint>

// The shutdown core, under the caller's hold of the ApiLock. Returns 0.
int RunShutdownCore();

// The 24-bit colour refusal: a 24-bit desktop in windowed mode, or a 24-bit
// graphics mode, cannot be served.
inline bool RefusesColourDepth(int desktopDepth, int windowModeFlag, int colourBits) {
    return (desktopDepth == 24 && windowModeFlag == 1) || colourBits == 24;
}
