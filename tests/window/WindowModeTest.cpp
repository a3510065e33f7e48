// ChangeWindowMode, the window styles of both modes, and the cursor display.
#include "WindowFixture.h"

#include "runtime/Runtime.h"
#include "support/ChildScenario.h"
#include "support/DebugCapture.h"

TEST_F(WindowTest, ChangeWindowModeToTheCurrentModeOnlyLogs) {
    for (int mode : {1, 0}) {
        SCOPED_TRACE(mode);
        StartLog();
        Window.WindowModeFlag = mode;
        EXPECT_EQ(ChangeWindowMode(mode), 0);
        EXPECT_EQ(Window.WindowModeFlag, mode);
        EXPECT_EQ(Window.WindowStyleApplied, 0);
        EXPECT_EQ(LogLines(), std::vector<std::string>{"ChangeWindowMode実行 "});
    }
}

TEST_F(WindowTest, ChangeWindowModeBeforeStartRecordsTheFlag) {
    struct Case {
        int from, to;
        const char* flagLine;
    };
    const Case cases[] = {
        {0, 1, "ウインドウモードフラグが立てられました"},
        {1, 0, "ウインドウモードフラグが倒されました"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flagLine);
        StartLog();
        Window.WindowModeFlag = c.from;
        EXPECT_EQ(ChangeWindowMode(c.to), 0);
        EXPECT_EQ(Window.WindowModeFlag, c.to);
        EXPECT_EQ(LogLines(), (std::vector<std::string>{"ChangeWindowMode実行 ", c.flagLine}));
    }
}

// The host window's log reaches only the debugger: the scenario runs in a
// child, and reports through its exit code whether the window was touched.
CHILD_SCENARIO(ChangeWindowModeOnHostWindow) {
    HWND host = CreateTestWindow();
    RECT before;
    GetWindowRect(host, &before);
    LONG style = GetWindowLongA(host, GWL_STYLE);
    LONG exStyle = GetWindowLongA(host, GWL_EXSTYLE);
    Window.MainWindowHandle = host;
    Window.HostWindowMode = 1;
    Window.WindowModeFlag = 1;
    if (ChangeWindowMode(0) != 0) return 1;
    if (Window.WindowModeFlag != 0) return 2;
    RECT after;
    GetWindowRect(host, &after);
    if (!EqualRect(&before, &after)) return 3;
    if (GetWindowLongA(host, GWL_STYLE) != style || GetWindowLongA(host, GWL_EXSTYLE) != exStyle) return 4;
    return 0;
}

TEST(WindowModeHost, ChangeWindowModeRecordsTheFlagOnly) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("ChangeWindowModeOnHostWindow", 30000);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    const std::vector<std::string> expected = {"ChangeWindowMode実行 \r\n", "ウインドウモードフラグが倒されました\r\n"};
    EXPECT_EQ(result.texts, expected);
}

// The screen re-creation of this build changes no display, so no
// WM_DISPLAYCHANGE comes: the switch must end all the same, both ways.
TEST_F(WindowTest, ChangeWindowModeRestylesTheOwnWindowWithoutDisplayChange) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    HWND window = Window.MainWindowHandle;

    EXPECT_EQ(ChangeWindowMode(0), 0);
    EXPECT_EQ(Window.WindowModeFlag, 0);
    EXPECT_EQ(Window.WindowModeChanging, 0);
    EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & WS_CAPTION, 0);
    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    EXPECT_EQ(frame.right, 640);
    EXPECT_EQ(frame.bottom, 480);
    EXPECT_EQ(Window.MouseCursorVisible, 0);

    EXPECT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(Window.WindowModeFlag, 1);
    EXPECT_EQ(Window.WindowModeChanging, 0);
    EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & (WS_CAPTION | WS_VISIBLE), WS_CAPTION | WS_VISIBLE);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_EQ(Window.MouseCursorVisible, 1);
    EXPECT_EQ(CountLogLines("ウインドウスタイルをフルスクリーンモード用に変更します... 完了"), 1);
}

// The display count is the thread's: others may have moved it any distance,
// and the runtime still ends on the right side of zero.
TEST_F(WindowTest, CursorDisplayCrossesZeroWhateverOthersDid) {
    struct Case {
        const char* name;
        int startVisible; // what the runtime last made of the cursor
        int extraShows;   // ShowCursor calls by someone else: + TRUE, - FALSE
        int value;
        bool expectShown;
    };
    const Case cases[] = {
        {"hide after two extra shows", 1, 2, 0, false},
        {"show after three extra hides", 0, -3, 1, true},
        {"re-apply hidden after an extra show", 0, 1, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Start from a count of exactly 0 (shown) or -1 (hidden).
        while (ShowCursor(TRUE) < 0) {
        }
        while (ShowCursor(FALSE) >= 0) {
        }
        if (c.startVisible == 1) ShowCursor(TRUE);
        Window.MouseCursorVisible = c.startVisible;
        Window.MouseCursorDisplay = c.startVisible;
        for (int i = 0; i < c.extraShows; ++i) ShowCursor(TRUE);
        for (int i = 0; i > c.extraShows; --i) ShowCursor(FALSE);

        EXPECT_EQ(SetMouseCursorDisplay(c.value), 0);
        int count = ShowCursor(FALSE) + 1; // read the count by a step down and back
        ShowCursor(TRUE);
        EXPECT_EQ(count >= 0, c.expectShown) << "display count " << count;
        EXPECT_EQ(Window.MouseCursorVisible, c.expectShown ? 1 : 0);
    }
}
