// The window start-up and teardown on real windows: the own window in both
// modes, the reset that keeps the settings, the host window left untouched,
// and the screen saver setting given back.
#include "WindowFixture.h"


namespace {

bool ClassRegistered(const char* name) {
    WNDCLASSEXA found;
    std::memset(&found, 0, sizeof found);
    found.cbSize = sizeof found;
    return GetClassInfoExA(GetModuleHandleA(nullptr), name, &found) != 0;
}

std::string WindowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

struct OwnWindowCase {
    const char* name;
    int windowed;
    const char* creationLine;
};

const OwnWindowCase OwnWindowCases[] = {
    {"windowed", 1, "ウインドウモード起動用のウインドウを作成します"},
    {"full screen", 0, "フルスクリーンモード用のウインドウを作成します"},
};

} // namespace

TEST_F(WindowTest, OwnWindowStartsAndTearsDown) {
    for (const OwnWindowCase& c : OwnWindowCases) {
        SCOPED_TRACE(c.name);
        StartLog();
        ASSERT_EQ(StartOwnWindow(c.windowed), 0);
        HWND window = Window.MainWindowHandle;
        ASSERT_NE(window, nullptr);
        char className[64] = {};
        GetClassNameA(window, className, sizeof className);
        EXPECT_STREQ(className, "D123987X");
        EXPECT_EQ(WindowText(window), "KotoLib");
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(Window.WindowActive, 1);
        EXPECT_EQ(Window.QuitRequested, 0);
        EXPECT_EQ(Window.WindowCreating, 0);
        EXPECT_EQ(Window.MainThreadId, GetCurrentThreadId());
        EXPECT_EQ(Window.MouseCursorVisible, c.windowed);
        EXPECT_EQ(CountLogLines(c.creationLine), 1);
        EXPECT_EQ(CountLogLines("ウインドウの作成に成功しました"), 1);

        LONG style = GetWindowLongA(window, GWL_STYLE);
        LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
        RECT client;
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, 640);
        EXPECT_EQ(client.bottom, 480);
        // No sizing frame and no maximise box in either mode: the client area
        // is always the screen size.
        EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
        if (c.windowed == 1) {
            EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
            EXPECT_EQ(exStyle & WS_EX_TOPMOST, 0);
            // Centred: the client area lies half the left-over desktop in.
            RECT frame;
            GetWindowRect(window, &frame);
            POINT origin = {0, 0};
            ClientToScreen(window, &origin);
            int desktopWidth = GetSystemMetrics(SM_CXSCREEN);
            int desktopHeight = GetSystemMetrics(SM_CYSCREEN);
            EXPECT_EQ(origin.x, (desktopWidth - (frame.right - frame.left)) / 2);
            EXPECT_EQ(origin.y, (desktopHeight - (frame.bottom - frame.top)) / 2);
            EXPECT_EQ(Window.ClientScreenRect.left, origin.x);
            EXPECT_EQ(Window.ClientScreenRect.top, origin.y);
            EXPECT_EQ(Window.ClientScreenRect.right, origin.x + 640);
            EXPECT_EQ(Window.ClientScreenRect.bottom, origin.y + 480);
        } else {
            EXPECT_EQ(style & WS_CAPTION, 0);
            EXPECT_EQ(exStyle & WS_EX_TOPMOST, WS_EX_TOPMOST);
            RECT frame;
            GetWindowRect(window, &frame);
            EXPECT_EQ(frame.left, 0);
            EXPECT_EQ(frame.top, 0);
            EXPECT_EQ(CountLogLines("カーソルを不可視にしました"), 1);
        }

        EXPECT_EQ(TeardownWindow(), 0);
        EXPECT_EQ(Window.MainWindowHandle, nullptr);
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(Window.WindowDestroyed, 1);
        EXPECT_EQ(Window.QuitRequested, 1);
        EXPECT_FALSE(ClassRegistered("D123987X"));
        EXPECT_EQ(Window.MouseCursorVisible, 1);
        EXPECT_EQ(TeardownWindow(), 0) << "a second teardown has nothing to do";
        DrainThreadQueue();
    }
}

// The teardown after a quit cannot dispatch its close any more; the window
// must go all the same, or the next start-up would see it as a double start.
TEST_F(WindowTest, RestartAfterQuitIsNoDoubleStart) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    HWND first = Window.MainWindowHandle;
    PostMessageA(first, WM_QUIT, 0, 0);
    EXPECT_EQ(MessageTick(), -1);
    EXPECT_EQ(TeardownWindow(), 0);
    EXPECT_FALSE(IsWindow(first));
    DrainThreadQueue();

    EXPECT_EQ(StartWindow(), 0);
    EXPECT_EQ(Window.QuitRequested, 0);
    EXPECT_EQ(CountLogLines("二重起動されています、ソフトを終了します"), 0);
}

TEST_F(WindowTest, ResetKeepsSettingsAndClearsTheRest) {
    HWND host = CreateTestWindow();
    Window.MainWindowHandle = host;
    Window.HostWindowMode = 1;
    Window.WindowModeFlag = 1;
    Window.CharacterSet = 2;
    Window.CharacterCodePage = 949;
    std::strcpy(Window.WindowTitle, "Own title");
    std::strcpy(Window.WindowClassName, "WindowTestOtherClass");
    Window.QuitRequested = 1;
    Window.CloseRequested = 1;
    Window.WindowDestroyed = 1;
    Window.DisplayChanged = 1;
    Window.WindowStyleApplied = 1;
    Window.MouseCursorVisible = 1;
    Window.MessageTickBusy = 1;
    Window.InactiveWaitStamp = 1234;

    ASSERT_EQ(StartWindow(), 0);
    EXPECT_EQ(Window.MainWindowHandle, host);
    EXPECT_EQ(Window.HostWindowMode, 1);
    EXPECT_EQ(Window.WindowModeFlag, 1);
    EXPECT_EQ(Window.CharacterSet, 2);
    EXPECT_EQ(Window.CharacterCodePage, 949);
    EXPECT_STREQ(Window.WindowTitle, "Own title");
    EXPECT_STREQ(Window.WindowClassName, "WindowTestOtherClass");
    EXPECT_EQ(Window.QuitRequested, 0);
    EXPECT_EQ(Window.CloseRequested, 0);
    EXPECT_EQ(Window.WindowDestroyed, 0);
    EXPECT_EQ(Window.DisplayChanged, 0);
    EXPECT_EQ(Window.WindowStyleApplied, 0);
    EXPECT_EQ(Window.MouseCursorVisible, 0);
    EXPECT_EQ(Window.MessageTickBusy, 0);
    EXPECT_EQ(Window.InactiveWaitStamp, -1);
    EXPECT_EQ(Window.WindowActive, 1);
}

TEST_F(WindowTest, CharacterSetComesFromTheCodePageOnlyWhenUnset) {
    Window.MainWindowHandle = CreateTestWindow();
    Window.HostWindowMode = 1;
    Window.CharacterSet = 0;
    Window.CharacterCodePage = 0;
    ASSERT_EQ(StartWindow(), 0);
    // The tests run with the Japanese locale: OEM code page 932.
    ASSERT_EQ(GetOEMCP(), 932u);
    EXPECT_EQ(Window.CharacterSet, 1);
    EXPECT_EQ(Window.CharacterCodePage, 932);
}

// In host-window mode the runtime creates nothing and replaces nothing: the
// application's window keeps its procedure, its style and its messages.
TEST_F(WindowTest, HostWindowIsAdoptedUntouched) {
    HWND host = CreateTestWindow();
    LONG_PTR procedure = GetWindowLongPtrA(host, GWLP_WNDPROC);
    LONG style = GetWindowLongA(host, GWL_STYLE);
    for (int i = 0; i < 3; ++i) PostMessageA(host, WM_USER, i, 0);
    Window.MainWindowHandle = host;
    Window.HostWindowMode = 1;
    Window.WindowModeFlag = 1;

    ASSERT_EQ(StartWindow(), 0);
    EXPECT_EQ(Window.HostWindowProcedure, reinterpret_cast<WNDPROC>(procedure));
    EXPECT_EQ(GetWindowLongPtrA(host, GWLP_WNDPROC), procedure);
    EXPECT_EQ(GetWindowLongA(host, GWL_STYLE), style);
    EXPECT_FALSE(ClassRegistered("D123987X"));
    EXPECT_EQ(Window.MouseCursorVisible, 0);

    EXPECT_EQ(TeardownWindow(), 0);
    EXPECT_EQ(Window.QuitRequested, 1);
    EXPECT_TRUE(IsWindow(host));
    EXPECT_EQ(GetWindowLongPtrA(host, GWLP_WNDPROC), procedure);
    EXPECT_EQ(CountQueued(host, WM_USER), 3);
}

// The teardown gives back the screen saver setting found at start-up, on or
// off, and the runtime keeps it off while it runs.
TEST_F(WindowTest, ScreenSaverSettingSurvivesTheRun) {
    BOOL original = FALSE;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &original, 0));
    for (BOOL before : {TRUE, FALSE}) {
        SCOPED_TRACE(before ? "on before" : "off before");
        ASSERT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, UINT(before), nullptr, 0));
        Window.MainWindowHandle = CreateTestWindow();
        Window.HostWindowMode = 1;
        Window.WindowModeFlag = 1;
        ASSERT_EQ(StartWindow(), 0);
        BOOL during = TRUE;
        SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &during, 0);
        EXPECT_FALSE(during);
        TeardownWindow();
        BOOL after = !before;
        SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &after, 0);
        EXPECT_EQ(after, before);
    }
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, UINT(original), nullptr, 0);
}
