#include "driver/DebuggedRun.h"

namespace {

constexpr DWORD StartWaitMs = 60000;

} // namespace

DebuggedRun::~DebuggedRun() {
    if (debugger_.joinable()) {
        if (process_.hProcess && !WaitFinished(0)) TerminateProcess(process_.hProcess, 1);
        debugger_.join();
    }
    for (HANDLE handle : {process_.hThread, process_.hProcess, started_, finished_})
        if (handle) CloseHandle(handle);
}

bool DebuggedRun::Start(const std::wstring& exePath, const std::wstring& folder, TextHandler onText,
                        unsigned timeoutMs) {
    if (debugger_.joinable()) return false;
    started_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    finished_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DebuggeeLaunch launch;
    launch.program = exePath;
    launch.folder = folder;
    launch.onText = std::move(onText);
    launch.timeoutMs = timeoutMs;
    launch.onStarted = [this](const PROCESS_INFORMATION& started) {
        HANDLE self = GetCurrentProcess();
        PROCESS_INFORMATION own = started;
        DuplicateHandle(self, started.hProcess, self, &own.hProcess, 0, FALSE, DUPLICATE_SAME_ACCESS);
        DuplicateHandle(self, started.hThread, self, &own.hThread, 0, FALSE, DUPLICATE_SAME_ACCESS);
        process_ = own;
        SetEvent(started_);
    };
    // The debug events go to the thread that started the program.
    debugger_ = std::thread([this, launch] {
        result_ = RunUnderDebugger(launch);
        SetEvent(started_); // also when the program never started
        SetEvent(finished_);
    });
    WaitForSingleObject(started_, StartWaitMs);
    return process_.hProcess != nullptr;
}

bool DebuggedRun::WaitFinished(DWORD timeoutMs) {
    return finished_ != nullptr && WaitForSingleObject(finished_, timeoutMs) == WAIT_OBJECT_0;
}
