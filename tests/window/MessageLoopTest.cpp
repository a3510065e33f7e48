// MessageTick: the own window's loop hands back after five messages, a quit
// ends it for good, and the calls that must read nothing read nothing.
#include "WindowFixture.h"

// The messages go to a second window of the same thread: the loop reads the
// whole thread's queue, and the test window counts what reaches it.
TEST_F(WindowTest, ActiveLoopHandsBackAfterFiveMessages) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    HWND counter = CreateTestWindow();
    DrainThreadQueue();
    for (int i = 0; i < 12; ++i) PostMessageA(counter, WM_USER, i, 0);
    Window.WindowActive = 1;

    const int expectedTotals[] = {5, 10, 12};
    for (int expected : expectedTotals) {
        EXPECT_EQ(MessageTick(), 0);
        EXPECT_EQ(UserMessagesReceived(counter), expected);
    }
}

TEST_F(WindowTest, QuitEndsTheLoopAndDropsWhatFollows) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    HWND counter = CreateTestWindow();
    DrainThreadQueue();
    Window.WindowActive = 1;
    PostMessageA(Window.MainWindowHandle, WM_QUIT, 0, 0);
    PostMessageA(counter, WM_USER, 1, 0);
    PostMessageA(counter, WM_USER, 2, 0);

    EXPECT_EQ(MessageTick(), -1);
    EXPECT_EQ(Window.QuitRequested, 1);
    EXPECT_EQ(UserMessagesReceived(counter), 0) << "a message read after the quit is not dispatched";
    EXPECT_EQ(CountQueued(counter, WM_USER), 1) << "the one read after the quit is gone, the next still queued";

    PostMessageA(counter, WM_USER, 3, 0);
    EXPECT_EQ(MessageTick(), -1);
    EXPECT_EQ(UserMessagesReceived(counter), 0);
}

// Calls that read no message: before a window exists, in host-window mode
// (the application's loop owns the queue), and nested in the text-input step.
TEST_F(WindowTest, CallsThatReadNoMessage) {
    struct Case {
        const char* name;
        bool withWindow;
        int hostWindowMode;
        int busy;
        int quit;
        int expected;
    };
    const Case cases[] = {
        {"no window yet", false, 0, 0, 0, 0},
        {"no window, quit requested", false, 0, 0, 1, -1},
        {"host window", true, 1, 0, 0, 0},
        {"host window after teardown", true, 1, 0, 1, -1},
        {"nested in the text-input step", true, 0, 1, 1, 0},
    };
    HWND application = CreateTestWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrainThreadQueue();
        for (int i = 0; i < 3; ++i) PostMessageA(application, WM_USER, i, 0);
        Window.MainWindowHandle = c.withWindow ? application : nullptr;
        Window.HostWindowMode = c.hostWindowMode;
        Window.MessageTickBusy = c.busy;
        Window.QuitRequested = c.quit;
        Window.WindowActive = 1;

        EXPECT_EQ(MessageTick(), c.expected);
        EXPECT_EQ(Window.MessageTickBusy, c.busy);
        EXPECT_EQ(UserMessagesReceived(application), 0);
        EXPECT_EQ(CountQueued(application, WM_USER), 3);
    }
    Window.MainWindowHandle = nullptr;
    Window.MessageTickBusy = 0;
}

// WaitWhileInactive never blocks where nothing could end the wait by
// activating a window of the runtime.
TEST_F(WindowTest, WaitWhileInactiveReturnsWithoutOwnWindow) {
    HWND application = CreateTestWindow();
    const struct {
        const char* name;
        HWND window;
        int hostWindowMode;
    } cases[] = {
        {"host window", application, 1},
        {"no window yet", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Window.MainWindowHandle = c.window;
        Window.HostWindowMode = c.hostWindowMode;
        Window.WindowActive = 0;
        WaitWhileInactive();
        EXPECT_EQ(Window.WindowActive, 0);
    }
    Window.MainWindowHandle = nullptr;
}

// An inactive window holds the caller until it is active again.
TEST_F(WindowTest, InactiveLoopWaitsForActivation) {
    ASSERT_EQ(StartOwnWindow(1), 0);
    DrainThreadQueue();
    Window.WindowActive = 0;
    PostMessageA(Window.MainWindowHandle, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(MessageTick(), 0);
    EXPECT_EQ(Window.WindowActive, 1);
}
