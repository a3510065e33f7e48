// The runtime's lifecycle on real windows: the settings, starting and
// stopping twice or out of order, failed starts and what they leave, and
// the fatal stop, also in the middle of a start-up.
#include "runtime/Runtime.h"

#include "diag/DiagFixture.h"
#include "input/FakeDirectInput.h"
#include "runtime/core/ApiLock.h"
#include "runtime/core/Clock.h"
#include "runtime/input/Input.h"
#include "runtime/others/Subsystems.h"
#include "runtime/system/Lifecycle.h"
#include "support/ChildScenario.h"
#include "support/DebugCapture.h"
#include "support/TempDirectory.h"
#include "window/ScreenSaverSetting.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char HostClassName[] = "LifecycleTestHost";
constexpr const char RuntimeClassName[] = "D123987X";

ATOM RegisterPlainClass(const char* name) {
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    return RegisterClassA(&windowClass);
}

// A borderless window, so that its client area is exactly the size given.
HWND CreatePlainWindow(const char* className, int width, int height) {
    return CreateWindowExA(0, className, "", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

LONG_PTR WindowProcedureOf(HWND window) {
    return GetWindowLongPtrA(window, GWLP_WNDPROC);
}

// A window of the runtime's class made by someone else: every start-up
// must refuse while it exists.
class RuntimeWindowBlocker {
public:
    RuntimeWindowBlocker() {
        RegisterPlainClass(RuntimeClassName);
        window_ = CreatePlainWindow(RuntimeClassName, 10, 10);
    }
    ~RuntimeWindowBlocker() { Remove(); }
    void Remove() {
        if (window_ == nullptr) return;
        DestroyWindow(window_);
        UnregisterClassA(RuntimeClassName, GetModuleHandleA(nullptr));
        window_ = nullptr;
    }
    HWND Handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

// Every test starts from a runtime that is not started, in a temporary
// start-up directory, with a host window of 300 x 200 at hand, and leaves
// the runtime shut down and its settings as they were.
class LifecycleTest : public testing::Test {
protected:
    LifecycleTest() : graphics_(Graphics), directory_(TempDirectory::Enter::Yes) {}

    void SetUp() override {
        RegisterPlainClass(HostClassName);
        host_ = CreatePlainWindow(HostClassName, 300, 200);
        ASSERT_NE(nullptr, host_);
        Window.HostWindowMode = 0;
        Window.MainWindowHandle = nullptr;
        Window.WindowModeFlag = 0;
        Window.QuitRequested = 0;
        SetLogOutput(0);
        SetDrawingDisabled(0);
    }

    void TearDown() override {
        LibraryShutdown();
        if (host_ != nullptr) DestroyWindow(host_);
        Graphics = graphics_;
    }

    int StartOnHost() {
        SetDrawingDisabled(1);
        if (SetHostWindow(host_) != 0) return -2;
        return LibraryStartup();
    }

    std::string LogFile() const { return ReadFileBytes(directory_.File("Log.txt")); }

    GraphicsState graphics_;
    DiagStateGuard guard_;
    TempDirectory directory_;
    HWND host_ = nullptr;
};

TEST_F(LifecycleTest, ShutdownBeforeStartAndTwiceLeavesTheLockUncreated) {
    if (ApiLock.initialised == 1) DestroyApiLock();
    EXPECT_EQ(0, LibraryShutdown());
    EXPECT_EQ(0, ApiLock.initialised) << "shutdown before any start";

    ASSERT_EQ(0, StartOnHost());
    EXPECT_EQ(1, ApiLock.initialised);
    LONG_PTR procedure = WindowProcedureOf(host_);
    EXPECT_EQ(0, LibraryShutdown());
    EXPECT_EQ(0, ApiLock.initialised) << "the shutdown destroys the lock";
    EXPECT_EQ(0, Lifecycle.LibraryStarted);
    EXPECT_EQ(0, Lifecycle.ComInitialised);
    EXPECT_EQ(0, Clock.TimerResolutionRaised);
    EXPECT_EQ(1, Window.QuitRequested);
    EXPECT_EQ(nullptr, Window.MainWindowHandle);
    EXPECT_EQ(procedure, WindowProcedureOf(host_));

    EXPECT_EQ(0, LibraryShutdown());
    EXPECT_EQ(0, ApiLock.initialised) << "second shutdown";
    EXPECT_EQ(-1, PumpMessages()) << "after the shutdown the runtime is to end";
}

TEST_F(LifecycleTest, SecondStartupReturnsAtOnceAndChangesNothing) {
    ASSERT_EQ(0, StartOnHost());
    LifecycleState lifecycle = Lifecycle;
    WindowState window = Window;
    ClockState clock = Clock;
    DWORD owner = ApiLock.owner;
    int32_t nesting = ApiLock.nesting;

    EXPECT_EQ(0, LibraryStartup());
    EXPECT_EQ(0, std::memcmp(&lifecycle, &Lifecycle, sizeof lifecycle));
    EXPECT_EQ(0, std::memcmp(&window, &Window, sizeof window));
    EXPECT_EQ(0, std::memcmp(&clock, &Clock, sizeof clock));
    EXPECT_EQ(owner, ApiLock.owner) << "the lock was not taken";
    EXPECT_EQ(nesting, ApiLock.nesting);
    EXPECT_EQ(0, PumpMessages());
}

TEST_F(LifecycleTest, SetHostWindowStoresTheWindowAndItsClientSize) {
    EXPECT_EQ(-1, SetHostWindow(nullptr));
    EXPECT_EQ(0, Window.HostWindowMode) << "a null window changes nothing";

    EXPECT_EQ(0, SetHostWindow(host_));
    EXPECT_EQ(host_, Window.MainWindowHandle);
    EXPECT_EQ(1, Window.HostWindowMode);
    EXPECT_EQ(1, Window.WindowModeFlag);
    EXPECT_EQ(300, Graphics.ScreenWidth);
    EXPECT_EQ(200, Graphics.ScreenHeight);
    EXPECT_EQ(32, Graphics.ScreenColourBits);
    EXPECT_EQ(60, Graphics.ScreenRefreshRate);

    HWND empty = CreatePlainWindow(HostClassName, 0, 0);
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0, SetHostWindow(empty));
    EXPECT_EQ(empty, Window.MainWindowHandle);
    EXPECT_EQ(300, Graphics.ScreenWidth) << "a 0 x 0 client area keeps the previous mode";
    EXPECT_EQ(200, Graphics.ScreenHeight);

    EXPECT_EQ(0, SetHostWindow(host_));
    ASSERT_EQ(0, LibraryStartup());
    EXPECT_EQ(-1, SetHostWindow(empty)) << "after the start";
    EXPECT_EQ(host_, Window.MainWindowHandle);
    DestroyWindow(empty);
}

// Refused at the colour test, before anything is brought up: the log holds
// the refusal as its last line and the shutdown that follows does nothing.
TEST_F(LifecycleTest, ColourRefusalLeavesNothingStarted) {
    SetLogOutput(1);
    ChangeWindowMode(1);
    SetDrawingDisabled(1);
    Graphics.ScreenColourBits = 24;
    EXPECT_EQ(-1, LibraryStartup());
    EXPECT_EQ(StartupRefusedOther, StartupRefusal());
    EXPECT_EQ(0, Lifecycle.LibraryStarted);
    EXPECT_EQ(0, Lifecycle.LibraryStarting);
    EXPECT_EQ(0, Lifecycle.ComInitialised);
    EXPECT_EQ(0, Clock.TimerResolutionRaised);
    std::string log = LogFile();
    std::string refusal = ":ＫＯＴＯライブラリは２４ビットカラーモードに対応していません\r\n";
    ASSERT_GE(log.size(), refusal.size());
    EXPECT_EQ(refusal, log.substr(log.size() - refusal.size())) << log;

    EXPECT_EQ(0, LibraryShutdown());
    EXPECT_EQ(log, LogFile()) << "the shutdown after a failed start writes nothing";
}

// Refused by the window start-up after COM and the timer resolution were
// taken: both are given back, the host window keeps its procedure and stays
// adopted, and a retry once the other window is gone succeeds.
TEST_F(LifecycleTest, DoubleStartRefusalGivesBackWhatTheStartTook) {
    RuntimeWindowBlocker blocker;
    ASSERT_NE(nullptr, blocker.Handle());
    LONG_PTR procedure = WindowProcedureOf(host_);

    EXPECT_EQ(-1, StartOnHost());
    EXPECT_EQ(StartupRefusedAnotherProgramRuns, StartupRefusal());
    EXPECT_EQ(0, Lifecycle.LibraryStarted);
    EXPECT_EQ(0, Lifecycle.LibraryStarting);
    EXPECT_EQ(0, Lifecycle.ComInitialised);
    EXPECT_EQ(0, Clock.TimerResolutionRaised);
    EXPECT_EQ(1, Window.QuitRequested);
    EXPECT_EQ(host_, Window.MainWindowHandle);
    EXPECT_EQ(procedure, WindowProcedureOf(host_));

    EXPECT_EQ(0, LibraryShutdown());
    EXPECT_EQ(host_, Window.MainWindowHandle) << "the shutdown after a failed start does nothing";

    blocker.Remove();
    EXPECT_EQ(0, LibraryStartup()) << "retry";
    EXPECT_EQ(StartupNotRefused, StartupRefusal()) << "the retry clears the reason";
    EXPECT_EQ(1, Lifecycle.ComInitialised);
    EXPECT_EQ(0, Window.QuitRequested);
}

// ---- A start-up refused by the input start, after the window started -----------

// Something the start-up brings in replaces the host window's procedure after
// the window start-up has read it (a component that subclasses the window it
// works with); the teardown must write back the procedure it recorded.
LRESULT CALLBACK ReplacedHostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND& WindowToSubclass() {
    static HWND window = nullptr;
    return window;
}

HRESULT CreateDirectInputReplacingHostProcedure(REFCLSID clsid, REFIID iid, void** object) {
    if (WindowToSubclass() != nullptr)
        SetWindowLongPtrA(WindowToSubclass(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ReplacedHostProcedure));
    return FakeDirectInputSystem::Create(clsid, iid, object);
}

// The DirectInput double at the creation seam for one test. It shuts the
// runtime down before it goes, so that no started runtime keeps the double's
// objects past the test.
class FakeInputInstalled {
public:
    FakeInputInstalled(FakeDirectInputSystem& system, HWND host)
        : create_(CreateDirectInputObject), unavailable_(Input.DirectInputUnavailable) {
        CreateDirectInputObject = CreateDirectInputReplacingHostProcedure;
        ActiveFakeSystem() = &system;
        WindowToSubclass() = host;
        // An earlier start on this machine may have found no DirectInput.
        Input.DirectInputUnavailable = 0;
    }
    ~FakeInputInstalled() {
        LibraryShutdown();
        CreateDirectInputObject = create_;
        ActiveFakeSystem() = nullptr;
        WindowToSubclass() = nullptr;
        Input.DirectInputUnavailable = unavailable_;
    }
    FakeInputInstalled(const FakeInputInstalled&) = delete;
    FakeInputInstalled& operator=(const FakeInputInstalled&) = delete;

private:
    DirectInputCreateFunction create_;
    int32_t unavailable_;
};

// What CoInitialize answers on this thread: S_FALSE while someone still
// holds COM here, S_OK when nobody does.
HRESULT ComAnswer() {
    HRESULT result = CoInitialize(nullptr);
    if (SUCCEEDED(result)) CoUninitialize();
    return result;
}

// This process's reading; the runtime's own writes keep it current.
int ScreenSaverSettingHere() {
    BOOL active = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active ? 1 : 0;
}

// The keyboard will not signal its events: the input start refuses after the
// window start-up adopted the host window and switched the screen saver off.
// Everything the start took is given back, and the next start-up succeeds.
TEST_F(LifecycleTest, InputRefusalAfterTheWindowStartedGivesEverythingBack) {
    ScreenSaverSettingGuard machine;
    SetUserScreenSaverSetting(1);
    HRESULT comBefore = ComAnswer();
    FakeDirectInputSystem system;
    system.keyboard->Fail(DeviceCall::SetEventNotification, DIERR_GENERIC, 1);
    FakeInputInstalled installed(system, host_);
    LONG_PTR procedure = WindowProcedureOf(host_);

    EXPECT_EQ(-1, StartOnHost());
    EXPECT_EQ(StartupRefusedOther, StartupRefusal()) << "the window started: no other copy runs";
    EXPECT_EQ(1, system.keyboard->Calls(DeviceCall::SetEventNotification)) << "refused where the test meant";
    EXPECT_EQ(0, Lifecycle.LibraryStarted);
    EXPECT_EQ(0, Lifecycle.LibraryStarting);
    EXPECT_EQ(nullptr, Window.MainWindowHandle) << "the window was torn down";
    EXPECT_EQ(1, Window.QuitRequested);
    EXPECT_EQ(procedure, WindowProcedureOf(host_)) << "the recorded procedure was written back";
    EXPECT_EQ(1, ScreenSaverSettingHere()) << "the screen saver setting was given back";
    EXPECT_EQ(NotStarted, Input.InputMode);
    EXPECT_EQ(0, system.liveInterfaces) << "the DirectInput object was released";
    EXPECT_EQ(1, system.keyboard->refs) << "the keyboard was released";
    EXPECT_EQ(1, system.mouse->refs) << "the mouse was released";
    EXPECT_EQ(nullptr, Input.KeyboardEvent);
    EXPECT_EQ(0, Lifecycle.ComInitialised);
    EXPECT_EQ(comBefore, ComAnswer()) << "COM was uninitialised";
    EXPECT_EQ(0, Clock.TimerResolutionRaised);

    EXPECT_EQ(0, StartOnHost()) << "retry";
    EXPECT_EQ(1, Lifecycle.LibraryStarted);
    EXPECT_EQ(host_, Window.MainWindowHandle);
    EXPECT_EQ(0, Window.QuitRequested);
    EXPECT_EQ(DirectInput7, Input.InputMode);
    EXPECT_EQ(1, Lifecycle.ComInitialised);
    EXPECT_EQ(1, Clock.TimerResolutionRaised);
    EXPECT_EQ(0, ScreenSaverSettingHere()) << "off again while the runtime runs";
    EXPECT_EQ(0, LibraryShutdown());
    EXPECT_EQ(1, ScreenSaverSettingHere());
}

// ---- The fatal stop, watched from outside ---------------------------------------

constexpr const char FatalText[] = "致命的な停止の試験";
constexpr int ScenarioStartFailed = 3;
constexpr int ScenarioReturned = 2;

CHILD_SCENARIO(FatalStopAfterStart) {
    RegisterPlainClass(HostClassName);
    HWND host = CreatePlainWindow(HostClassName, 100, 100);
    SetDrawingDisabled(1);
    SetLogOutput(0);
    SetHostWindow(host);
    if (LibraryStartup() != 0) return ScenarioStartFailed;
    EnterApiLock(); // the caller's hold is never given back
    FatalStop(FatalText);
    return ScenarioReturned;
}

// Host-window mode sends the log to the debugger alone.
CHILD_SCENARIO(FatalStopFormatIsBounded) {
    Window.HostWindowMode = 1;
    std::string longText(3000, 'a');
    FatalStopFormat("%s:%d", longText.c_str(), 7);
    return ScenarioReturned;
}

// The keyboard refuses its data format: the input start ends the process in
// the middle of the start-up, after the window start-up switched the screen
// saver off.
CHILD_SCENARIO(FatalStopDuringStartup) {
    FakeDirectInputSystem system;
    system.keyboard->Fail(DeviceCall::SetDataFormat, DIERR_GENERIC);
    ActiveFakeSystem() = &system;
    CreateDirectInputObject = FakeDirectInputSystem::Create;
    RegisterPlainClass(HostClassName);
    HWND host = CreatePlainWindow(HostClassName, 100, 100);
    SetDrawingDisabled(1);
    SetLogOutput(0);
    SetHostWindow(host);
    LibraryStartup();
    return ScenarioReturned;
}

size_t FindText(const std::vector<std::string>& texts, const std::string& text, size_t from = 0) {
    for (size_t i = from; i < texts.size(); ++i)
        if (texts[i] == text) return i;
    return texts.size();
}

TEST(FatalStopTest, LogsTheMessageRunsTheShutdownAndExitsWithMinusOne) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("FatalStopAfterStart");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(-1, result.exitCode);
    size_t message = FindText(result.texts, FatalText);
    ASSERT_LT(message, result.texts.size());
    EXPECT_EQ("\r\n", result.texts[message + 1]);
    EXPECT_LT(FindText(result.texts, "ＣＯＭを終了... 完了\r\n", message), result.texts.size());
    EXPECT_LT(FindText(result.texts, "Alloc memory dump\r\n", message), result.texts.size());
}

// The shutdown core does nothing before the start-up has finished, so the
// fatal stop must give back what the start-up took: the user's screen saver
// setting, on or off, survives the stop.
TEST(FatalStopTest, AStopDuringStartupGivesBackWhatTheStartTook) {
    ScreenSaverSettingGuard machine;
    for (int user : {1, 0}) {
        SCOPED_TRACE(user == 1 ? "on before" : "off before");
        SetUserScreenSaverSetting(user);
        DebugCaptureResult result = RunChildScenarioUnderDebugger("FatalStopDuringStartup");
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(-1, result.exitCode);
        size_t message = FindText(result.texts, "キーボードデバイスのデータ形式の設定に失敗しました");
        ASSERT_LT(message, result.texts.size()) << "ended where the test meant";
        EXPECT_LT(FindText(result.texts, "DirectInput 関連の終了処理... 完了\r\n", message), result.texts.size());
        EXPECT_LT(FindText(result.texts, "ＣＯＭを終了... 完了\r\n", message), result.texts.size());
        EXPECT_EQ(user, ScreenSaverSettingSeenAfresh());
    }
}

TEST(FatalStopTest, FormattedMessageIsCutToItsBuffer) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("FatalStopFormatIsBounded");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(-1, result.exitCode);
    EXPECT_LT(FindText(result.texts, std::string(1023, 'a')), result.texts.size());
}

} // namespace
