#include "runtime/diag/DebugOutput.h"

#include <windows.h>

void WriteDebugOutput(const char* text) {
    OutputDebugStringA(text);
}
