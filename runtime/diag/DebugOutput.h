// The one place where the runtime's texts reach the debugger output.
#pragma once

void WriteDebugOutput(const char* text);
