// Runs a child scenario of the current test program under the Win32 debug
// API and collects what it sends to the debugger output, for tests of texts
// that never reach a file (the log in host-window mode, window and lifecycle
// reports).
#pragma once

#include <windows.h>

#include <functional>
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

// Any program run the same way, for the drivers of other programs: the
// handlers run on the calling thread, `onText` for each text while the
// program stands still, so what it looks at is as the program left it then.
struct DebuggeeLaunch {
    std::wstring program;   // the executable's path
    std::wstring arguments; // after the quoted path on the command line; may be empty
    std::wstring folder;    // the working directory; empty: this program's
    std::function<void(const PROCESS_INFORMATION&)> onStarted; // once the process exists; may be empty
    std::function<void(const std::string&)> onText;            // may be empty
    unsigned timeoutMs = 30000;                                // as for RunChildScenarioUnderDebugger
};

DebugCaptureResult RunUnderDebugger(const DebuggeeLaunch& launch);
