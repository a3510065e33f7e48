#include "runtime/core/FatalStop.h"

#include "runtime/core/ApiLock.h"
#include "runtime/diag/Format.h"
#include "runtime/diag/Log.h"

#include <windows.h>

#include <cstdarg>
#include <cstddef>

namespace {

constexpr size_t FatalMessageSize = 1024;

} // namespace

FatalStopReleaseFunction FatalStopRelease = nullptr;

void FatalStop(const char* message) {
    LogWrite(message);
    LogWrite("\n");
    if (FatalStopRelease) FatalStopRelease();
    if (ApiLock.initialised == 1) DestroyApiLock();
    ExitProcess(UINT(-1));
}

void FatalStopFormat(const char* format, ...) {
    char message[FatalMessageSize];
    va_list args;
    va_start(args, format);
    FormatTextV(message, sizeof message, format, args);
    va_end(args);
    FatalStop(message);
}
