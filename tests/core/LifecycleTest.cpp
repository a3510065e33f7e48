// The runtime's lifecycle on real windows: the settings, starting and
// stopping twice or out of order, failed starts and what they leave, the
// own-window log of a whole start and shutdown, and the fatal stop, also in
// the middle of a start-up.
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

#include <cstdlib>
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

// ---- The own-window log of one start and shutdown --------------------------------

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Each line: decimal milliseconds (never decreasing), a colon, the text; no
// line feed without its carriage return. A text with an empty line inside
// (the sound report has them) gets no stamp there: stamps start writes.
void ExpectLogFormat(const std::string& log) {
    EXPECT_EQ(log.size() - 2, log.rfind("\r\n")) << "the log ends with CR LF";
    long previous = 0;
    for (const std::string& line : SplitLines(log)) {
        if (line.empty()) continue;
        size_t colon = line.find(':');
        ASSERT_NE(std::string::npos, colon) << line;
        ASSERT_GT(colon, 0u) << line;
        EXPECT_EQ(std::string::npos, line.find('\n')) << line;
        EXPECT_EQ(colon, line.find_first_not_of("0123456789")) << line;
        long stamp = std::strtol(line.c_str(), nullptr, 10);
        EXPECT_GE(stamp, previous) << line;
        previous = stamp;
    }
}

// The texts every own-window start and shutdown writes, in their order;
// input and sound add their own lines in between.
const char* const OwnWindowSequence[] = {
    "T:システムの情報を出力します\r\n",
    "T:\tＫＯＴＯライブラリ Ver3.03\r\n",
    "T:\tＯＳ  Windows",
    "T:\tＣＰＵベンダ：",
    "T:ＣＯＭの初期化... 成功しました\r\n",
    "T:メモリ総量:",
    "T:タイマーの精度を検査します\r\n",
    // The precision test leaves a lone space open: the check continues its line.
    "T: ソフトの二重起動検査... 二重起動はされていませんでした\r\n",
    "T:ウインドウクラスを登録します... 登録に成功しました\r\n",
    "T:ウインドウモード起動用のウインドウを作成します\r\n",
    "T:ウインドウの作成に成功しました\r\n",
    "T:ＩＭＥを無効にしました\r\n",
    "T:文字コードバッファの初期化を行います... 完了しました\r\n",
    "T:ＣＯＭを終了... 完了\r\n",
    "T:\r\nT:Alloc memory dump\r\n",
};

TEST_F(LifecycleTest, OwnWindowLogHoldsTheSequenceInOrderAndEndsWithTheDump) {
    SetLogOutput(1);
    ChangeWindowMode(1);
    SetDrawingDisabled(1);
    int32_t liveBlocks = Allocator.AllocationCount;
    ASSERT_EQ(0, LibraryStartup());
    EXPECT_NE(nullptr, Window.MainWindowHandle);
    EXPECT_EQ(0, LibraryShutdown());
    EXPECT_EQ(liveBlocks, Allocator.AllocationCount) << "the runtime gave back every block";

    std::string raw = LogFile();
    ExpectLogFormat(raw);
    std::string log = std::regex_replace(raw, std::regex("(^|\\r\\n)[0-9]+:"), "$1T:");
    size_t position = 0;
    for (const char* text : OwnWindowSequence) {
        size_t found = log.find(text, position);
        EXPECT_NE(std::string::npos, found) << "missing or out of order: " << text << "\n" << log;
        if (found != std::string::npos) position = found;
    }
    std::string tail = log.substr(position);
    std::regex dumpEnd("T:\\r\\nT:Alloc memory dump\\r\\n(T:[^\\r\\n]*\\r\\n)*"
                       "T:\\tTotal size:[0-9]+\\([0-9]+\\.[0-9]{3}kb\\)  Alloc num:[0-9]+\\r\\nT:\\r\\n");
    EXPECT_TRUE(std::regex_match(tail, dumpEnd)) << tail;
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

// ---- The log of the tool's start-up, watched from outside -------------------------

// The key configuration tool's road: a host window, drawing off, no log
// file, a start, a few ticks and the shutdown.
CHILD_SCENARIO(HostWindowStartAndShutdown) {
    RegisterPlainClass(HostClassName);
    HWND host = CreatePlainWindow(HostClassName, 300, 200);
    SetDrawingDisabled(1);
    SetLogOutput(0);
    SetHostWindow(host);
    if (LibraryStartup() != 0) return ScenarioStartFailed;
    for (int tick = 0; tick < 3; ++tick) PumpMessages();
    LibraryShutdown();
    DestroyWindow(host);
    return 0;
}

// The tool's start-up and shutdown log, text by text. Texts whose content
// depends on the machine (the Windows version, the processor, the memory,
// the timer counts, the devices found) are matched by their fixed start or
// not listed; every listed text must come exactly in this order, none
// missing, none doubled, none moved: work done beside the start-up's own
// steps must leave the log as the steps write it.
struct LoggedText {
    const char* text;
    bool wholeText; // false: the text starts with it
};

const LoggedText HostWindowStartupLog[] = {
    {"ChangeWindowMode実行 \r\n", true},
    {"ウインドウモードフラグが立てられました\r\n", true},
    {"システムの情報を出力します\r\n", true},
    {"ＫＯＴＯライブラリ Ver3.03\r\n", true},
    {"ＯＳ  ", true},
    {"Windows", false},
    {"ＣＰＵ動作速度：大体", false},
    {"ＣＰＵベンダ：", true},
    {"\r\n", true},
    {"ＣＰＵ名：", false},
    {"ＣＯＭの初期化... ", true},
    {"成功しました\r\n", true},
    {"メモリ総量:", false},
    {"タイマーの精度を検査します\r\n", true},
    {"精度結果 更新回数 マルチメディアタイマー：", false},
    {" ", true},
    {" ", true},
    {"ソフトの二重起動検査... ", true},
    {"二重起動はされていませんでした\r\n", true},
    {"ＩＭＥを無効にしました\r\n", true},
    {"DirectInput関係初期化処理\r\n", true},
    {"DirectInput7 の取得中... ", true},
    {"成功\r\n", true},
    {"引き続き初期化処理... ", true},
    {"初期化成功\r\n", true},
    {"ジョイパッドの初期化... \r\n", true},
    {"ジョイパッドの初期化は正常に終了しました\r\n", true},
    {"マウスデバイスの初期化... ", true},
    {"初期化成功\r\n", true},
    {"キーボードデバイスの初期化... ", true},
    {"初期化成功\r\n", true},
    {"DirectInput 関連の初期化は正常に終了しました\r\n", true},
    {"DirectSound の初期化を行います\r\n", true},
    {"DirectSound インターフェースの取得を行います....  ", true},
    {"成功\r\n", true},
    {"引き続きインターフェースの初期化処理... ", true},
    {"成功\r\n", true},
    {"DirectSound デバイスを列挙します\r\n", true},
    {"利用可能サンプリング精度\r\n", true},
    {"利用可能チャンネル\r\n", true},
    {"DirectSound の初期化は正常に終了しました\r\n", true},
    {"文字コードバッファの初期化を行います... ", true},
    {"完了しました\r\n", true},
    {"DirectInput 関連の終了処理... 完了\r\n", true},
    {"DirectSound の終了処理は正常に終了しました\r\n", true},
    {"ＣＯＭを終了... 完了\r\n", true},
    {"\r\n", true},
    {"Alloc memory dump\r\n", true},
    {"\tTotal size:", false},
    {"\r\n", true},
};

bool Matches(const LoggedText& expected, const std::string& text) {
    return expected.wholeText ? text == expected.text : text.compare(0, std::strlen(expected.text), expected.text) == 0;
}

TEST(StartupLogTest, TheToolsStartupLogsItsTextsInTheirOrder) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("HostWindowStartAndShutdown");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(0, result.exitCode);
    std::vector<std::string> listed, expected;
    for (const LoggedText& entry : HostWindowStartupLog) expected.push_back(entry.text);
    for (const std::string& text : result.texts) {
        for (const LoggedText& entry : HostWindowStartupLog) {
            if (!Matches(entry, text)) continue;
            listed.push_back(entry.text);
            break;
        }
    }
    EXPECT_EQ(expected, listed);
}
