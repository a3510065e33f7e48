// Shared pieces of the window tests: a fixture that gives each test a clean
// window and text-input state with a file log in a temporary start-up
// directory, and small test windows of the test's own class.
#pragma once

#include "runtime/diag/Log.h"
#include "runtime/others/Subsystems.h"
#include "runtime/system/Lifecycle.h"
#include "runtime/window/Window.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

// WM_USER messages each test window has received, per window.
struct TestWindowCounts {
    HWND window;
    int userMessages;
};

inline std::vector<TestWindowCounts>& CountedWindows() {
    static std::vector<TestWindowCounts> windows;
    return windows;
}

inline int UserMessagesReceived(HWND window) {
    for (const TestWindowCounts& entry : CountedWindows())
        if (entry.window == window) return entry.userMessages;
    return 0;
}

inline LRESULT CALLBACK CountingWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) {
        for (TestWindowCounts& entry : CountedWindows())
            if (entry.window == window) ++entry.userMessages;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A plain top-level window of the test's own class: a host window for the
// runtime, or a second window whose messages the runtime's loop dispatches.
inline HWND CreateTestWindow(int clientWidth = 320, int clientHeight = 200) {
    static const char className[] = "WindowTestHostClass";
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXA windowClass;
        std::memset(&windowClass, 0, sizeof windowClass);
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = CountingWindowProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.lpszClassName = className;
        registered = RegisterClassExA(&windowClass) != 0;
    }
    HWND window = CreateWindowExA(0, className, "window test", WS_OVERLAPPEDWINDOW, 10, 10, clientWidth,
                                  clientHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    CountedWindows().push_back({window, 0});
    return window;
}

// Takes every message out of the thread's queue. dispatch: hand them to
// their windows; otherwise count the WM_USER ones for the window given.
inline int DrainThreadQueue(bool dispatch = true, HWND countFor = nullptr) {
    int userMessages = 0;
    MSG message;
    for (int i = 0; i < 10000 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.message == WM_USER && message.hwnd == countFor) ++userMessages;
        if (dispatch && message.message != WM_QUIT) DispatchMessageA(&message);
    }
    return userMessages;
}

inline int CountQueued(HWND window, UINT message) {
    MSG found;
    int count = 0;
    while (PeekMessageA(&found, window, message, message, PM_REMOVE)) ++count;
    return count;
}

// Clean runtime state for one test: window and text input cleared, Shift-JIS,
// a file log in a fresh start-up directory, graphics at its 640 x 480 default.
// The tear-down closes whatever window the test left and puts the state back.
class WindowTest : public testing::Test {
protected:
    void SetUp() override {
        savedWindow_ = Window;
        savedLifecycle_ = Lifecycle;
        savedLog_ = Log;
        savedGraphics_ = Graphics;
        std::memset(&Window, 0, sizeof Window);
        std::memset(&TextInput, 0, sizeof TextInput);
        Window.CharacterSet = 1;
        Graphics.ScreenWidth = 640;
        Graphics.ScreenHeight = 480;
        Graphics.ScreenColourBits = 16;
        Lifecycle.LibraryStarted = 0;
        Lifecycle.ShutdownInProgress = 0;
        std::memset(Lifecycle.StartupDirectory, 0, sizeof Lifecycle.StartupDirectory);
        std::strncpy(Lifecycle.StartupDirectory, directory_.Path().c_str(), sizeof Lifecycle.StartupDirectory - 1);
        Log.LogDisabled = 0;
        StartLog();
        DrainThreadQueue();
    }

    void TearDown() override {
        if (Window.MainWindowHandle != nullptr) TeardownWindow();
        for (const TestWindowCounts& entry : CountedWindows()) DestroyWindow(entry.window);
        CountedWindows().clear();
        DrainThreadQueue();
        while (ShowCursor(TRUE) < 0) {
        }
        std::memset(&TextInput, 0, sizeof TextInput);
        Window = savedWindow_;
        Lifecycle = savedLifecycle_;
        Log = savedLog_;
        Graphics = savedGraphics_;
    }

    // Starts the runtime's own window, windowed or full screen.
    int StartOwnWindow(int windowed) {
        Window.WindowModeFlag = windowed;
        return StartWindow();
    }

    std::string LogText() const { return ReadFileBytes(directory_.File("Log.txt")); }

    // The log's lines, each without its time stamp and CR LF.
    std::vector<std::string> LogLines() const {
        static const std::regex stamp("^(0|[1-9][0-9]*):");
        std::vector<std::string> lines;
        std::string text = LogText();
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(std::regex_replace(text.substr(start, end - start), stamp, ""));
            start = end + 2;
        }
        return lines;
    }

    int CountLogLines(const std::string& line) const {
        int count = 0;
        for (const std::string& found : LogLines())
            if (found == line) ++count;
        return count;
    }

    TempDirectory directory_;

private:
    WindowState savedWindow_;
    LifecycleState savedLifecycle_;
    LogState savedLog_;
    GraphicsState savedGraphics_;
};
