// Runs a child scenario of the current test program under the Win32 debug
// API and collects what it sends to the debugger output, for tests of texts
// that never reach a file (the log in host-window mode, window and lifecycle
// reports).
#pragma once

#include <string>
#include <vector>

struct DebugCaptureResult {
    bool finished = false;          // false: the child could not start, or was stopped at the time limit
    int exitCode = -1;              // the child's exit code when finished
    std::vector<std::string> texts; // each debugger-output text, in order, as bytes without the terminator
};

// Starts this program again with "--child-scenario=<scenario>" as a debuggee
// and runs it to its end. A child that is still running timeoutMs after its
// own code started (the time it took to load not counted, and the limit
// scaled by TestTimeScale) is ended, and the result reports it as not
// finished.
DebugCaptureResult RunChildScenarioUnderDebugger(const char* scenario, unsigned timeoutMs = 30000);
