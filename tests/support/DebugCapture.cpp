#include "support/DebugCapture.h"

#include "support/ChildScenario.h"
#include "support/TempDirectory.h"
#include "support/TimeScale.h"

#include <windows.h>

namespace {

// Time left to the deadline, never negative.
DWORD Remaining(DWORD deadline) {
    LONG left = LONG(deadline - GetTickCount());
    return left > 0 ? DWORD(left) : 0;
}

// How long a child that was ended at the time limit gets to report its exit.
constexpr DWORD DrainAfterTerminateMs = 5000;

// How long a child may take to load before its own code starts (the loader's
// breakpoint); the caller's time limit counts from there, so that a slow start
// (a busy host, an emulated machine) does not eat into it.
constexpr DWORD StartupLimitMs = 30000;

std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    const size_t units = info.nDebugStringLength;
    if (units == 0) return std::string();
    if (!info.fUnicode) {
        std::string text(units, '\0');
        SIZE_T read = 0;
        if (!ReadProcessMemory(process, info.lpDebugStringData, &text[0], units, &read)) return std::string();
        text.resize(read);
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
        return text;
    }
    std::wstring wide(units, L'\0');
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, info.lpDebugStringData, &wide[0], units * sizeof(wchar_t), &read))
        return std::string();
    wide.resize(read / sizeof(wchar_t));
    wide.resize(wide.find(L'\0') == std::wstring::npos ? wide.size() : wide.find(L'\0'));
    if (wide.empty()) return std::string();
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(size_t(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), &text[0], bytes, nullptr, nullptr);
    return text;
}

class DebugSession {
public:
    DebugSession(const PROCESS_INFORMATION& child, const std::function<void(const std::string&)>& onText)
        : child_(child), onText_(onText) {}

    // Handles one event; returns the continue status for it.
    DWORD Handle(const DEBUG_EVENT& event, DebugCaptureResult& result) {
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            // The image file handle is the debugger's to close; the process
            // and thread handles belong to the system.
            CloseIfValid(event.u.CreateProcessInfo.hFile);
            return DBG_CONTINUE;
        case LOAD_DLL_DEBUG_EVENT:
            CloseIfValid(event.u.LoadDll.hFile);
            return DBG_CONTINUE;
        case OUTPUT_DEBUG_STRING_EVENT:
            result.texts.push_back(ReadDebugString(child_.hProcess, event.u.DebugString));
            if (onText_) onText_(result.texts.back());
            return DBG_CONTINUE;
        case EXCEPTION_DEBUG_EVENT:
            return ExceptionStatus(event.u.Exception);
        case EXIT_PROCESS_DEBUG_EVENT:
            result.exitCode = int(event.u.ExitProcess.dwExitCode);
            exited_ = true;
            return DBG_CONTINUE;
        default:
            return DBG_CONTINUE;
        }
    }

    bool Exited() const { return exited_; }
    bool Started() const { return sawLoaderBreakpoint_; }

private:
    static void CloseIfValid(HANDLE handle) {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }

    // The loader's breakpoint at start-up is the debugger's own business and
    // is resumed; every other exception goes back to the child unhandled, so
    // the child's own handlers (or its crash) run as they would undebugged.
    DWORD ExceptionStatus(const EXCEPTION_DEBUG_INFO& info) {
        if (!sawLoaderBreakpoint_ && info.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT) {
            sawLoaderBreakpoint_ = true;
            return DBG_CONTINUE;
        }
        return DBG_EXCEPTION_NOT_HANDLED;
    }

    PROCESS_INFORMATION child_;
    const std::function<void(const std::string&)>& onText_;
    bool sawLoaderBreakpoint_ = false;
    bool exited_ = false;
};

// Runs the debug loop until the child exits or its time is up: runMs from
// the loader's breakpoint, or startupMs plus runMs from now should that never
// come. Returns whether the child exited.
bool RunDebugLoop(DebugSession& session, DWORD startupMs, DWORD runMs, DebugCaptureResult& result) {
    DWORD deadline = GetTickCount() + startupMs + runMs;
    bool counting = false;
    while (!session.Exited()) {
        if (!counting && session.Started()) {
            deadline = GetTickCount() + runMs;
            counting = true;
        }
        // Checked before each wait, so that a child that keeps the events
        // coming cannot outlast the deadline either.
        DWORD left = Remaining(deadline);
        if (left == 0) return false;
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, left)) return false;
        DWORD status = session.Handle(event, result);
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    return true;
}

bool StartDebuggee(const DebuggeeLaunch& launch, PROCESS_INFORMATION& child) {
    std::wstring commandLine = L"\"" + launch.program + L"\"";
    if (!launch.arguments.empty()) commandLine += L" " + launch.arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return CreateProcessW(launch.program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                          nullptr, launch.folder.empty() ? nullptr : launch.folder.c_str(), &startup, &child) != FALSE;
}

} // namespace

DebugCaptureResult RunUnderDebugger(const DebuggeeLaunch& launch) {
    DebugCaptureResult result;
    PROCESS_INFORMATION child = {};
    if (!StartDebuggee(launch, child)) return result;
    if (launch.onStarted) launch.onStarted(child);

    DebugSession session(child, launch.onText);
    result.finished = RunDebugLoop(session, ScaledMs(StartupLimitMs), ScaledMs(launch.timeoutMs), result);
    if (!result.finished) {
        // A hung child fails its test instead of hanging it: end it, let it
        // report its exit, and let go of it should even that not come.
        TerminateProcess(child.hProcess, 1);
        DebugCaptureResult ignored;
        if (!RunDebugLoop(session, 0, ScaledMs(DrainAfterTerminateMs), ignored))
            DebugActiveProcessStop(child.dwProcessId);
        result.exitCode = -1;
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return result;
}

DebugCaptureResult RunChildScenarioUnderDebugger(const char* scenario, unsigned timeoutMs) {
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return DebugCaptureResult();
    DebuggeeLaunch launch;
    launch.program.assign(program, length);
    launch.arguments = WidePath(std::string(ChildScenarioSwitch) + scenario);
    launch.timeoutMs = timeoutMs;
    return RunUnderDebugger(launch);
}
