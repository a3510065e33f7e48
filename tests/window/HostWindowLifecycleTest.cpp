// The whole runtime on an application's window, as the key configuration
// tool runs it: started, ticked and shut down through the public entry
// points, with the application's window and queue left as they were. And the
// refusal to start while another process shows a runtime window.
#include "WindowFixture.h"

#include "runtime/Runtime.h"
#include "runtime/core/ApiLock.h"
#include "support/ChildScenario.h"
#include "support/DebugCapture.h"

#include <cstdio>
#include <cstdlib>

namespace {

void StartOnHostWindow(HWND host) {
    SetDrawingDisabled(1);
    ASSERT_EQ(SetHostWindow(host), 0);
    SetLogOutput(0);
}

} // namespace

TEST_F(WindowTest, HostWindowStartupAndShutdown) {
    HWND host = CreateTestWindow(400, 300);
    LONG_PTR procedure = GetWindowLongPtrA(host, GWLP_WNDPROC);
    for (int i = 0; i < 4; ++i) PostMessageA(host, WM_USER, i, 0);
    StartOnHostWindow(host);

    ASSERT_EQ(LibraryStartup(), 0);
    EXPECT_EQ(Lifecycle.LibraryStarted, 1);
    EXPECT_EQ(Window.QuitRequested, 0);
    EXPECT_EQ(Window.MainWindowHandle, host);
    EXPECT_EQ(LibraryStartup(), 0) << "a second start changes nothing";
    EXPECT_EQ(Window.MainWindowHandle, host);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(GetWindowLongPtrA(host, GWLP_WNDPROC), procedure);

    EXPECT_EQ(LibraryShutdown(), 0);
    EXPECT_EQ(Lifecycle.LibraryStarted, 0);
    EXPECT_EQ(Window.QuitRequested, 1);
    EXPECT_EQ(Window.MainWindowHandle, nullptr);
    EXPECT_EQ(GetWindowLongPtrA(host, GWLP_WNDPROC), procedure);
    EXPECT_TRUE(IsWindow(host));
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(LibraryShutdown(), 0) << "a second shutdown changes nothing";
    EXPECT_EQ(Window.QuitRequested, 1);

    EXPECT_EQ(UserMessagesReceived(host), 0) << "the runtime dispatched the application's messages";
    EXPECT_EQ(CountQueued(host, WM_USER), 4) << "the application's messages are still queued";
}

TEST_F(WindowTest, ShutdownBeforeStartDoesNothing) {
    WindowState before = Window;
    EXPECT_EQ(LibraryShutdown(), 0);
    EXPECT_EQ(Lifecycle.LibraryStarted, 0);
    EXPECT_EQ(std::memcmp(&before, &Window, sizeof Window), 0);
}

// ---- Double start -------------------------------------------------------------

namespace {

constexpr const char OwnerEventVariable[] = "WINDOW_TEST_OWNER_EVENTS";

std::string OwnerEventName(const char* base, const char* suffix) {
    return std::string(base) + suffix;
}

} // namespace

// Another process with a top-level window of the runtime's class: it shows
// the window, says so, and keeps it until told to go (or a minute passes).
CHILD_SCENARIO(DoubleStartWindowOwner) {
    char base[128] = {};
    if (GetEnvironmentVariableA(OwnerEventVariable, base, sizeof base) == 0) return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, OwnerEventName(base, "_ready").c_str());
    HANDLE quit = OpenEventA(SYNCHRONIZE, FALSE, OwnerEventName(base, "_quit").c_str());
    if (ready == nullptr || quit == nullptr) return 3;
    WNDCLASSEXA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "D123987X";
    if (!RegisterClassExA(&windowClass)) return 4;
    HWND window = CreateWindowExA(0, "D123987X", "another runtime", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) return 5;
    SetEvent(ready);
    DWORD deadline = GetTickCount() + 60000;
    while (MsgWaitForMultipleObjects(1, &quit, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        if (LONG(GetTickCount() - deadline) > 0) break;
    }
    DestroyWindow(window);
    return 0;
}

// The tool's start-up while the other process runs; the exit code says what
// LibraryStartup and QuitRequested were.
CHILD_SCENARIO(DoubleStartOnHostWindow) {
    HWND host = CreateTestWindow();
    SetDrawingDisabled(1);
    SetHostWindow(host);
    SetLogOutput(0);
    int result = LibraryStartup();
    if (result != -1) return 10;
    if (Window.QuitRequested != 1) return 11;
    if (Lifecycle.LibraryStarted != 0) return 12;
    return 0;
}

class DoubleStartTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        char base[64];
        std::snprintf(base, sizeof base, "WindowTestOwner%lu", GetCurrentProcessId());
        SetEnvironmentVariableA(OwnerEventVariable, base);
        ready_ = CreateEventA(nullptr, TRUE, FALSE, OwnerEventName(base, "_ready").c_str());
        quit_ = CreateEventA(nullptr, TRUE, FALSE, OwnerEventName(base, "_quit").c_str());

        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        std::string commandLine = std::string("\"") + exe + "\" " + ChildScenarioSwitch + "DoubleStartWindowOwner";
        STARTUPINFOA startup;
        std::memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        std::memset(&owner_, 0, sizeof owner_);
        ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &owner_));
        HANDLE waits[2] = {ready_, owner_.hProcess};
        ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, 30000), WAIT_OBJECT_0) << "the other process has no window";
    }

    void TearDown() override {
        SetEvent(quit_);
        if (owner_.hProcess != nullptr) {
            WaitForSingleObject(owner_.hProcess, 30000);
            DWORD exitCode = 1;
            GetExitCodeProcess(owner_.hProcess, &exitCode);
            EXPECT_EQ(exitCode, 0u) << "the other process";
            CloseHandle(owner_.hProcess);
            CloseHandle(owner_.hThread);
        }
        CloseHandle(ready_);
        CloseHandle(quit_);
        WindowTest::TearDown();
    }

    HANDLE ready_ = nullptr;
    HANDLE quit_ = nullptr;
    PROCESS_INFORMATION owner_ = {};
};

TEST_F(DoubleStartTest, HostWindowStartupRefuses) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("DoubleStartOnHostWindow", 60000);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    std::string texts;
    for (const std::string& text : result.texts) texts += text;
    EXPECT_NE(texts.find("ソフトの二重起動検査... 二重起動されています、ソフトを終了します\r\n"), std::string::npos)
        << texts;
    EXPECT_EQ(texts.find("二重起動はされていませんでした"), std::string::npos);
}

TEST_F(DoubleStartTest, OwnWindowStartupRefuses) {
    EXPECT_EQ(StartOwnWindow(1), -1);
    EXPECT_EQ(Window.QuitRequested, 1);
    EXPECT_EQ(Window.MainWindowHandle, nullptr);
    // The timer report before it leaves a space at the start of this line.
    EXPECT_NE(LogText().find("ソフトの二重起動検査... 二重起動されています、ソフトを終了します\r\n"), std::string::npos);
    EXPECT_EQ(LogText().find("ウインドウクラスを登録します"), std::string::npos);
}
