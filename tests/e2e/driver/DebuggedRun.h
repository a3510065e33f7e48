// A program run as the debuggee of a thread of this program, while this
// thread drives it. Each text the program writes to the debugger output
// stops all of its threads until the text has been handed to the handler,
// so whatever the handler looks at (the screen, the program's windows, the
// virtual joypad) is as the program left it when it wrote that text.
#pragma once

#include "support/DebugCapture.h"

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

class DebuggedRun {
public:
    // Runs on the debugger's thread, once per text, while the program stands
    // still. It must not send the program messages: it would wait for a
    // program that cannot answer.
    using TextHandler = std::function<void(const std::string& text)>;

    DebuggedRun() = default;
    ~DebuggedRun(); // ends a program still running and waits for the debugger's thread
    DebuggedRun(const DebuggedRun&) = delete;
    DebuggedRun& operator=(const DebuggedRun&) = delete;

    // Starts the program with `folder` as its working directory; false when
    // it could not be started. A program still running after `timeoutMs` is
    // ended.
    bool Start(const std::wstring& exePath, const std::wstring& folder, TextHandler onText, unsigned timeoutMs = 60000);
    // The program's process and first thread, for a KeyConfigSession to adopt.
    const PROCESS_INFORMATION& Process() const { return process_; }
    // Waits until the program has ended and its last text has been handled;
    // the run's result, with every text, is then in Result().
    bool WaitFinished(DWORD timeoutMs);
    const DebugCaptureResult& Result() const { return result_; }

private:
    PROCESS_INFORMATION process_{}; // this program's own duplicates of the handles
    HANDLE started_ = nullptr;
    HANDLE finished_ = nullptr;
    DebugCaptureResult result_;
    std::thread debugger_;
};
