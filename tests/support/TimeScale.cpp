#include "support/TimeScale.h"

#include <windows.h>

#include <cstdlib>

unsigned TestTimeScale() {
    char text[16];
    DWORD length = GetEnvironmentVariableA("TEST_TIME_SCALE", text, sizeof text);
    if (length == 0 || length >= sizeof text) return 1;
    char* end = nullptr;
    unsigned long scale = std::strtoul(text, &end, 10);
    if (*end != '\0' || scale < 1 || scale > 1000) return 1;
    return unsigned(scale);
}

unsigned ScaledMs(unsigned ms) {
    unsigned long long scaled = static_cast<unsigned long long>(ms) * TestTimeScale();
    // Below INFINITE, which a wait would take for "never".
    return scaled >= INFINITE ? INFINITE - 1 : unsigned(scaled);
}
