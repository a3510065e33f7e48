// RuntimeWindowProcedure on the runtime's own window: typed characters and
// editing keys, refused system commands, closing, display changes that the
// runtime cannot follow, the hidden cursor and the IME messages. (Activation
// is tested with the input doubles, in the vibration tests.)
#include "WindowFixture.h"

#include "runtime/diag/Format.h"
#include "runtime/diag/TrackedAlloc.h"

#include <imm.h>

namespace {

std::vector<int> TakeQueuedCharacters() {
    std::vector<int> taken;
    for (int character = TakeInputChar(); character != -1; character = TakeInputChar()) taken.push_back(character);
    return taken;
}

} // namespace

TEST_F(WindowTest, TypedCharactersReachTheQueue) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    struct Case {
        WPARAM typed;
        int queued; // -1: dropped
    };
    const Case cases[] = {
        {0x0A, 0x0D}, // LF arrives as CR
        {0x0D, 0x0D}, {0x09, 0x09}, {0x08, 0x08}, {0x1B, 0x1B},
        {0x01, 0x01}, {0x03, 0x03}, {0x16, 0x16}, {0x18, 0x18}, {0x10, 0x10},
        {0x02, -1},   // Ctrl+B
        {0x00, -1},   {0x1F, -1},
        {0x20, 0x20}, {'A', 'A'},   {0x82, 0x82}, // a Shift-JIS lead byte passes as a byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "character 0x" << std::hex << c.typed);
        SendMessageA(Window.MainWindowHandle, WM_CHAR, c.typed, 1);
        std::vector<int> expected;
        if (c.queued != -1) expected.push_back(c.queued);
        EXPECT_EQ(TakeQueuedCharacters(), expected);
    }
}

TEST_F(WindowTest, EditingKeysReachTheQueueAsControlCodes) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    struct Case {
        WPARAM key;
        int queued; // -1: nothing
    };
    const Case cases[] = {
        {VK_LEFT, 0x1D}, {VK_RIGHT, 0x1C}, {VK_UP, 0x1E},    {VK_DOWN, 0x1F}, {VK_DELETE, 0x10},
        {VK_HOME, 0x1A}, {VK_END, 0x19},   {VK_PRIOR, 0x17}, {VK_NEXT, 0x15}, {'A', -1},
        {VK_RETURN, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key 0x" << std::hex << c.key);
        SendMessageA(Window.MainWindowHandle, WM_KEYDOWN, c.key, 1);
        std::vector<int> expected;
        if (c.queued != -1) expected.push_back(c.queued);
        EXPECT_EQ(TakeQueuedCharacters(), expected);
    }
}

TEST_F(WindowTest, EditingKeyIsDroppedWhenTheQueueIsFull) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    while (QueueInputChar('x')) {
    }
    SendMessageA(Window.MainWindowHandle, WM_KEYDOWN, VK_LEFT, 1);
    EXPECT_EQ(TextInput.queueCount, InputCharQueueSize);
    EXPECT_NE(TextInput.queue[InputCharQueueSize - 1], 0x1D);
}

TEST_F(WindowTest, ScreenSaverAndMonitorPowerAreRefused) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    EXPECT_EQ(SendMessageA(Window.MainWindowHandle, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 1);
    EXPECT_EQ(SendMessageA(Window.MainWindowHandle, WM_SYSCOMMAND, SC_MONITORPOWER, 2), 1);
    EXPECT_TRUE(IsWindow(Window.MainWindowHandle));
}

TEST_F(WindowTest, CloseDestroysTheWindowAndEndsTheRuntime) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    HWND window = Window.MainWindowHandle;
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Window.WindowDestroyed, 1);
    EXPECT_EQ(Window.QuitRequested, 1);
    EXPECT_EQ(Lifecycle.ShutdownInProgress, 4);
    EXPECT_EQ(MessageTick(), -1);
    EXPECT_EQ(MessageTick(), -1);
    const std::vector<std::string> expected = {
        "ウインドウを閉じようとしています",
        "ウインドウが破棄されようとしています",
        "ソフトを終了する準備が整いました",
    };
    std::vector<std::string> lines = LogLines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()), expected);
}

// A display the runtime's screen cannot follow closes the window, once.
TEST_F(WindowTest, DisplayChangeTo24BitsClosesOnce) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    HWND window = Window.MainWindowHandle;
    DrainThreadQueue();
    const char* first = "復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します";
    const char* second = "またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します";

    SendMessageA(window, WM_DISPLAYCHANGE, 24, MAKELPARAM(1024, 768));
    EXPECT_EQ(Window.CloseRequested, 1);
    EXPECT_EQ(Window.DisplayChanged, 0);
    EXPECT_EQ(CountLogLines(first), 1);
    EXPECT_EQ(CountLogLines(second), 1);

    SendMessageA(window, WM_DISPLAYCHANGE, 24, MAKELPARAM(1024, 768));
    EXPECT_EQ(CountQueued(window, WM_CLOSE), 1);
    EXPECT_TRUE(IsWindow(window));
    // Put the close back: the teardown posts none of its own once one is out.
    PostMessageA(window, WM_CLOSE, 0, 0);
}

// The unchanged display, and any display while the runtime restyles its own
// window, count as followed.
TEST_F(WindowTest, DisplayChangesThatAreFollowed) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    HWND window = Window.MainWindowHandle;
    DrainThreadQueue();
    const struct {
        const char* name;
        int modeChanging;
        WPARAM bits;
        LPARAM size;
    } cases[] = {
        {"same mode as the screen", 0, 16, MAKELPARAM(640, 480)},
        {"while the mode changes", 1, 24, MAKELPARAM(1024, 768)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Window.DisplayChanged = 0;
        Window.WindowModeChanging = c.modeChanging;
        SendMessageA(window, WM_DISPLAYCHANGE, c.bits, c.size);
        EXPECT_EQ(Window.DisplayChanged, 1);
        EXPECT_EQ(Window.CloseRequested, 0);
        EXPECT_EQ(CountQueued(window, WM_CLOSE), 0);
    }
    Window.WindowModeChanging = 0;
}

// Mouse messages keep a hidden cursor hidden, with the show count held at -1
// however many arrive, so that a single show brings the cursor back; with
// the cursor shown they leave the count alone.
TEST_F(WindowTest, MouseMessagesKeepAHiddenCursorOneShowAway) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    HWND window = Window.MainWindowHandle;
    const UINT mouseMessages[] = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_SETCURSOR};
    struct Case {
        int32_t cursorVisible;
        int countAfterOneShow;
    };
    for (const Case& c : {Case{0, 0}, Case{1, 1}}) {
        SCOPED_TRACE(c.cursorVisible);
        Window.MouseCursorVisible = c.cursorVisible;
        for (int round = 0; round < 20; ++round)
            for (UINT message : mouseMessages) SendMessageA(window, message, WPARAM(window), 0);
        EXPECT_EQ(c.countAfterOneShow, ShowCursor(TRUE));
        while (ShowCursor(FALSE) >= 0) {
        }
        while (ShowCursor(TRUE) < 0) {
        }
    }
}

TEST_F(WindowTest, CompositionStartsAndEnds) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    HWND window = Window.MainWindowHandle;
    TextInput.ImeCursorPosition = 7;
    SendMessageA(window, WM_IME_STARTCOMPOSITION, 0, 0);
    EXPECT_EQ(1, TextInput.ImeComposing);
    EXPECT_EQ(0, TextInput.ImeCursorPosition);
    std::strcpy(TextInput.ImeCompositionText, "かんじ");
    SendMessageA(window, WM_IME_ENDCOMPOSITION, 0, 0);
    EXPECT_EQ(0, TextInput.ImeComposing);
    EXPECT_STREQ("", TextInput.ImeCompositionText);
    EXPECT_NE(0, TextInput.LastImeActivityTime);
}

// Without an input method the window has no candidates: the empty list is
// logged and nothing is kept. Closing the candidates frees a list held from
// before, back to the allocator.
TEST_F(WindowTest, CandidateListsAreLoggedWhenEmptyAndFreedOnClose) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    HWND window = Window.MainWindowHandle;
    HIMC context = ImmGetContext(window);
    ImmReleaseContext(window, context);
    char expected[128];
    FormatText(expected, sizeof expected, "漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x",
               unsigned(uintptr_t(window)), unsigned(uintptr_t(context)));
    SendMessageA(window, WM_IME_NOTIFY, IMN_OPENCANDIDATE, 1);
    EXPECT_EQ(nullptr, TextInput.ImeCandidateList);
    EXPECT_EQ(1, CountLogLines(expected));

    const int32_t blocks = Allocator.AllocationCount;
    TextInput.ImeCandidateList = TrackedAlloc(64, "", 0);
    TextInput.ImeCandidateListSize = 64;
    SendMessageA(window, WM_IME_NOTIFY, IMN_CLOSECANDIDATE, 1);
    EXPECT_EQ(nullptr, TextInput.ImeCandidateList);
    EXPECT_EQ(0, TextInput.ImeCandidateListSize);
    EXPECT_EQ(blocks, Allocator.AllocationCount);
}
