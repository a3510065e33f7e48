// The screen saver setting as the tests set and see it, and child copies of
// the test program started and ended by the test, for the runtime's hold on
// the setting across processes.
//
// Under Wine the setting lives twice: in the registry, which a process
// without a window reads, and on the display, which a process with a window
// reads and which is what takes effect. A process's change reaches the
// display only when the process next talks to it, and a process that has
// read the setting keeps its reading. So the tests look at the setting from
// a newly started process with a window, and push their own changes through.
#pragma once

#include "support/ChildScenario.h"

#include <windows.h>

#include <string>

// The exit code of the reading child: this plus the setting (0 or 1).
constexpr int ScreenSaverReportBase = 40;

inline int ReportScreenSaverSetting() {
    // A window first, as the runtime has one when it reads the setting: Wine
    // answers from the display once a window exists, and from its registry
    // copy before.
    CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    BOOL active = FALSE;
    if (!SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) return 1;
    return ScreenSaverReportBase + (active ? 1 : 0);
}

// One registration per program, whichever files include this header.
inline const int ReportScreenSaverSettingRegistration =
    RegisterChildScenario("ReportScreenSaverSetting", ReportScreenSaverSetting);

// A child copy of this program running one scenario. The child's windows may
// be sent messages by the parent's (and the reverse, through the setting
// change broadcast), so every wait here dispatches the thread's messages.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() {
        if (info_.hProcess == nullptr) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 10000);
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const char* scenario) {
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        std::string commandLine = std::string("\"") + exe + "\" " + ChildScenarioSwitch + scenario;
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info_) != 0;
    }

    // Waits for the event or for the child's end; true when the event came.
    bool WaitFor(HANDLE event, DWORD timeoutMs = 60000) {
        if (info_.hProcess == nullptr) return false;
        HANDLE waits[2] = {event, info_.hProcess};
        return WaitDispatching(waits, 2, timeoutMs) == WAIT_OBJECT_0;
    }

    // The exit code; -2 when the child did not end in time, -3 when it never started.
    int WaitForExit(DWORD timeoutMs = 60000) {
        if (info_.hProcess == nullptr) return -3;
        if (WaitDispatching(&info_.hProcess, 1, timeoutMs) != WAIT_OBJECT_0) return -2;
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return int(code);
    }

    // Ends the child at once, as a crash would: none of its own code runs.
    void Kill() {
        if (info_.hProcess == nullptr) return;
        TerminateProcess(info_.hProcess, 98);
        WaitForSingleObject(info_.hProcess, 10000);
    }

    static DWORD WaitDispatching(const HANDLE* handles, DWORD count, DWORD timeoutMs) {
        DWORD deadline = GetTickCount() + timeoutMs;
        for (;;) {
            LONG left = LONG(deadline - GetTickCount());
            if (left <= 0) return WAIT_TIMEOUT;
            DWORD wait = MsgWaitForMultipleObjects(count, handles, FALSE, DWORD(left), QS_ALLINPUT);
            if (wait != WAIT_OBJECT_0 + count) return wait;
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        }
    }

private:
    PROCESS_INFORMATION info_ = {};
};

// The setting as a newly started process reads it: 0 or 1, or -1 when the
// reading failed.
inline int ScreenSaverSettingSeenAfresh() {
    ChildProcess reader;
    if (!reader.Start("ReportScreenSaverSetting")) return -1;
    int code = reader.WaitForExit();
    return code == ScreenSaverReportBase || code == ScreenSaverReportBase + 1 ? code - ScreenSaverReportBase : -1;
}

// Sets the user's setting for every process started after it. Under Wine the
// change reaches the display only with a window's display connection, and
// only once the process next talks to the display (here: reads it back).
inline void SetUserScreenSaverSetting(int active) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr),
                                  nullptr);
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, UINT(active), nullptr, 0);
    BOOL readBack = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &readBack, 0);
    if (window != nullptr) DestroyWindow(window);
}

// Puts back the machine's setting when the test is done, however it ends.
class ScreenSaverSettingGuard {
public:
    ScreenSaverSettingGuard() : original_(ScreenSaverSettingSeenAfresh()) {}
    ~ScreenSaverSettingGuard() {
        if (original_ >= 0) SetUserScreenSaverSetting(original_);
    }
    int Original() const { return original_; }

private:
    int original_;
};
