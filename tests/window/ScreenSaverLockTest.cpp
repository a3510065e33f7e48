// The shared screen saver record's lock, as a copy waiting for it sees it:
// the copy holding it may be broadcasting the setting change, which waits for
// every top-level window's answer, the waiting copy's own among them.
#include "ScreenSaverSetting.h"

#include "runtime/window/ScreenSaver.h"
#include "runtime/window/Window.h"
#include "support/PlainWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

// The lock every copy of the runtime takes around the record.
constexpr const char RecordLockName[] = "D123987X.ScreenSaverLock";
constexpr UINT SentByHolder = WM_APP + 1;
constexpr UINT PostedBeforeWait = WM_APP + 2;
constexpr LRESULT Answer = 42;

// What the waiter's window received, and while the waiter was where.
struct WaiterLog {
    int sentAnswered = 0;
    int postedSeen = 0;
};
WaiterLog Received;

LRESULT CALLBACK WaiterProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == SentByHolder) {
        ++Received.sentAnswered;
        return Answer;
    }
    if (message == PostedBeforeWait) {
        ++Received.postedSeen;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateWaiterWindow() {
    return CreatePlainWindow("ScreenSaverLockTestWaiter", WaiterProcedure, WS_POPUP, 10, 10, "waiter");
}

// Another copy holding the lock: it takes it, says so, sends one message to
// the waiter's window and gives the lock back only once it has the answer.
struct LockHolder {
    HWND waiter;
    HANDLE taken;
    BOOL sent = FALSE;
    DWORD_PTR answer = 0;
};

DWORD WINAPI HoldLockAndSend(void* parameter) {
    LockHolder& holder = *static_cast<LockHolder*>(parameter);
    HANDLE lock = CreateMutexA(nullptr, FALSE, RecordLockName);
    if (lock == nullptr) return 1;
    WaitForSingleObject(lock, INFINITE);
    SetEvent(holder.taken);
    // Far longer than the waiter's own limit: an answer that comes at all
    // comes while the waiter waits, or after it gave up.
    holder.sent = SendMessageTimeoutA(holder.waiter, SentByHolder, 0, 0, SMTO_NORMAL, 30000, &holder.answer) != 0;
    ReleaseMutex(lock);
    CloseHandle(lock);
    return 0;
}

} // namespace

// The waiter gets the lock, which the holder gives back only after its
// answer: so the answer came during the wait, and neither copy waited for
// the waiter's limit to pass (the waiter would then have gone on without the
// lock, and without the record). A posted message waits for the message loop.
TEST(ScreenSaverLockTest, AWaitingCopyAnswersTheHoldersMessagesAndGetsTheLock) {
    ScreenSaverSettingGuard machine;
    ASSERT_EQ(0, Window.ScreenSaverHeld) << "a test before this one left the screen saver held";
    HWND waiter = CreateWaiterWindow();
    ASSERT_NE(nullptr, waiter);
    Received = {};
    ASSERT_TRUE(PostMessageA(waiter, PostedBeforeWait, 0, 0));

    LockHolder holder = {waiter, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(nullptr, 0, HoldLockAndSend, &holder, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    // Not answering here: the message reaches the waiter inside the hold.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holder.taken, 30000)) << "the holder did not take the lock";

    HoldScreenSaverOff();
    EXPECT_EQ(1, Received.sentAnswered) << "the holder's message was not answered during the wait";
    EXPECT_NE(nullptr, Window.ScreenSaverMapping) << "the waiter gave up on the lock and went on without the record";
    EXPECT_EQ(0, Received.postedSeen) << "a posted message was dispatched inside the wait";
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, waiter, PostedBeforeWait, PostedBeforeWait, PM_REMOVE))
        << "the posted message is no longer queued";

    // The holder is ended whatever the waiter did, answered now if it still waits.
    EXPECT_EQ(WAIT_OBJECT_0, ChildProcess::WaitDispatching(&thread, 1, 60000));
    EXPECT_TRUE(holder.sent) << "the holder never got its answer";
    EXPECT_EQ(DWORD_PTR(Answer), holder.answer);
    ReleaseScreenSaver();
    CloseHandle(thread);
    CloseHandle(holder.taken);
    DestroyWindow(waiter);
}
