// The shared screen saver record's lock, as a copy waiting for it sees it:
// the copy holding it may be broadcasting the setting change, which waits for
// every top-level window's answer, the waiting copy's own among them; it may
// be stuck, or it may have died holding the lock.
//
// The wait's clock is the test's: its first reading starts the wait's
// measure, and every later one is taken just before the copy sleeps, after
// it has answered what was sent so far. A holder that sends only then
// reaches the copy inside its wait, on every run.
#include "ScreenSaverSetting.h"

#include "runtime/window/ScreenSaver.h"
#include "runtime/window/Window.h"
#include "support/PlainWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

namespace {

// The lock every copy of the runtime takes around the record.
constexpr const char RecordLockName[] = "D123987X.ScreenSaverLock";
constexpr UINT SentByHolder = WM_APP + 1;
constexpr UINT PostedBeforeWait = WM_APP + 2;
constexpr LRESULT Answer = 42;
// Only a broken wait makes a test wait this long: a correct one never
// sleeps on a real clock here.
constexpr DWORD PatienceMs = 20000;

// ---- The wait's clock ------------------------------------------------------------

struct LockClock {
    DWORD start;                  // the first reading
    DWORD advance;                // how far every later reading is past it
    HANDLE aboutToWait;           // set at every later reading
    std::atomic<int> readings{0};
};
LockClock* ActiveClock = nullptr;

DWORD WINAPI ReadLockClock() {
    LockClock& clock = *ActiveClock;
    if (clock.readings.fetch_add(1) == 0) return clock.start;
    SetEvent(clock.aboutToWait);
    return clock.start + clock.advance;
}

// ---- What the waiting copy's window receives --------------------------------------

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

// ---- Another copy, on a thread of its own -----------------------------------------

enum class HolderDoes {
    SendOnceTheWaiterWaits, // sends one message, gives the lock back once answered
    HoldUntilToldToLetGo,   // stuck: keeps the lock until the test lets it go
    DieHoldingIt,           // ends without giving the lock back: the lock is abandoned
};

struct LockHolder {
    HolderDoes does;
    HWND waiter = nullptr;
    HANDLE aboutToWait = nullptr;
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE waiterDone = CreateEventA(nullptr, TRUE, FALSE, nullptr); // the waiter came back, whatever it did
    HANDLE letGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    BOOL sent = FALSE;
    DWORD_PTR answer = 0;
    bool outwaited = false; // the holder let go because the waiter would not give up
    HANDLE thread = nullptr;

    explicit LockHolder(HolderDoes what) : does(what) {}
    ~LockHolder() {
        SetEvent(waiterDone);
        SetEvent(letGo);
        if (thread != nullptr) {
            ChildProcess::WaitDispatching(&thread, 1, PatienceMs);
            CloseHandle(thread);
        }
        CloseHandle(taken);
        CloseHandle(waiterDone);
        CloseHandle(letGo);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool Start() {
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        return thread != nullptr && WaitForSingleObject(taken, PatienceMs) == WAIT_OBJECT_0;
    }

    static DWORD WINAPI Run(void* parameter) {
        LockHolder& holder = *static_cast<LockHolder*>(parameter);
        HANDLE lock = CreateMutexA(nullptr, FALSE, RecordLockName);
        if (lock == nullptr) return 1;
        WaitForSingleObject(lock, INFINITE);
        SetEvent(holder.taken);
        if (holder.does == HolderDoes::DieHoldingIt) {
            CloseHandle(lock);
            return 0;
        }
        if (holder.does == HolderDoes::SendOnceTheWaiterWaits) holder.SendOnceTheWaiterWaitsNow();
        else holder.outwaited = WaitForSingleObject(holder.letGo, PatienceMs) != WAIT_OBJECT_0;
        ReleaseMutex(lock);
        CloseHandle(lock);
        return 0;
    }

    // A waiter that never waits (it went on without the lock) is not sent to.
    void SendOnceTheWaiterWaitsNow() {
        HANDLE either[2] = {aboutToWait, waiterDone};
        if (WaitForMultipleObjects(2, either, FALSE, PatienceMs) != WAIT_OBJECT_0) return;
        sent = SendMessageTimeoutA(waiter, SentByHolder, 0, 0, SMTO_NORMAL, PatienceMs, &answer) != 0;
    }
};

// Whether a thread other than this one can take the lock at once: this
// thread's own hold would not show, a mutex being re-entrant for its owner.
DWORD WINAPI TryLockElsewhere(void*) {
    HANDLE lock = CreateMutexA(nullptr, FALSE, RecordLockName);
    if (lock == nullptr) return WAIT_FAILED;
    DWORD wait = WaitForSingleObject(lock, 0);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ReleaseMutex(lock);
    CloseHandle(lock);
    return wait;
}

DWORD LockAnswerElsewhere() {
    HANDLE thread = CreateThread(nullptr, 0, TryLockElsewhere, nullptr, 0, nullptr);
    if (thread == nullptr) return WAIT_FAILED;
    WaitForSingleObject(thread, PatienceMs);
    DWORD wait = WAIT_FAILED;
    GetExitCodeThread(thread, &wait);
    CloseHandle(thread);
    return wait;
}

// Each test runs one hold of the screen saver on this thread, with the
// wait's clock at the test's hand, and gives the hold back after it.
class ScreenSaverLockTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, Window.ScreenSaverHeld) << "a test before this one left the screen saver held";
        clock_.aboutToWait = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ActiveClock = &clock_;
        savedClock_ = ScreenSaverLockClock;
        ScreenSaverLockClock = ReadLockClock;
    }
    void TearDown() override {
        ScreenSaverLockClock = savedClock_;
        ActiveClock = nullptr;
        ReleaseScreenSaver();
        CloseHandle(clock_.aboutToWait);
    }

    void SetClock(DWORD start, DWORD advance) {
        clock_.start = start;
        clock_.advance = advance;
        clock_.readings = 0;
        ResetEvent(clock_.aboutToWait);
    }

    ScreenSaverSettingGuard machine_;
    LockClock clock_;
    ScreenSaverClockFunction savedClock_ = nullptr;
};

} // namespace

// The holder gives the lock back only after its answer, and sends only once
// the waiter is in its wait, past its first look at the queue: so the answer
// came from the wait itself, and the waiter got the lock and the record
// without waiting out its limit. A posted message waits for the message loop.
TEST_F(ScreenSaverLockTest, AWaitingCopyAnswersTheHoldersMessagesAndGetsTheLock) {
    SetClock(1000, 0);
    HWND waiter = CreatePlainWindow("ScreenSaverLockTestWaiter", WaiterProcedure, WS_POPUP, 10, 10, "waiter");
    ASSERT_NE(nullptr, waiter);
    Received = {};
    ASSERT_TRUE(PostMessageA(waiter, PostedBeforeWait, 0, 0));

    LockHolder holder(HolderDoes::SendOnceTheWaiterWaits);
    holder.waiter = waiter;
    holder.aboutToWait = clock_.aboutToWait;
    ASSERT_TRUE(holder.Start()) << "the holder did not take the lock";

    HoldScreenSaverOff();
    SetEvent(holder.waiterDone);
    EXPECT_EQ(1, Received.sentAnswered) << "the holder's message was not answered during the wait";
    EXPECT_NE(nullptr, Window.ScreenSaverMapping) << "the waiter gave up on the lock and went on without the record";
    EXPECT_EQ(0, Received.postedSeen) << "a posted message was dispatched inside the wait";
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, waiter, PostedBeforeWait, PostedBeforeWait, PM_REMOVE))
        << "the posted message is no longer queued";

    // The holder is ended whatever the waiter did, answered now if it still waits.
    EXPECT_EQ(WAIT_OBJECT_0, ChildProcess::WaitDispatching(&holder.thread, 1, PatienceMs));
    EXPECT_TRUE(holder.sent) << "the holder never got its answer";
    EXPECT_EQ(DWORD_PTR(Answer), holder.answer);
    DestroyWindow(waiter);
}

namespace {

struct GiveUpCase {
    const char* name;
    DWORD start;
    DWORD advance;
};

const GiveUpCase GiveUpCases[] = {
    {"the limit reached", 1000, ScreenSaverLockWaitLimitMs},
    {"past the limit, the 32-bit clock wrapping meanwhile", 0xFFFFF000u, ScreenSaverLockWaitLimitMs + 1},
};

} // namespace

// A holder that keeps the lock past the waiter's limit: the waiter goes on
// without the record, the screen saver off all the same, while the holder
// still has the lock; and it gives back what it found when it ends.
TEST_F(ScreenSaverLockTest, AWaitingCopyGivesUpOnAStuckHolderAtItsLimit) {
    for (const GiveUpCase& c : GiveUpCases) {
        SCOPED_TRACE(c.name);
        SetClock(c.start, c.advance);
        LockHolder holder(HolderDoes::HoldUntilToldToLetGo);
        ASSERT_TRUE(holder.Start()) << "the holder did not take the lock";

        HoldScreenSaverOff();
        SetEvent(holder.letGo);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holder.thread, PatienceMs));
        EXPECT_FALSE(holder.outwaited) << "the waiter did not give up: the holder had to let go first";
        EXPECT_EQ(1, Window.ScreenSaverHeld);
        EXPECT_EQ(nullptr, Window.ScreenSaverMapping) << "the waiter waited past its limit and joined the record";
        BOOL active = TRUE;
        SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
        EXPECT_FALSE(active) << "the waiter went on without switching the screen saver off";
        ReleaseScreenSaver();
        EXPECT_EQ(0, Window.ScreenSaverHeld);
    }
}

// A holder that died holding the lock left the record whole (each write to it
// is a single one): the waiter takes the lock over, joins the record, and
// gives the lock back as its own.
TEST_F(ScreenSaverLockTest, AWaitingCopyTakesOverTheLockOfADeadHolder) {
    SetClock(1000, 0);
    // Another copy keeps the lock alive: a named mutex whose last handle
    // closes is gone, abandoned or not.
    HANDLE otherCopysLock = CreateMutexA(nullptr, FALSE, RecordLockName);
    ASSERT_NE(nullptr, otherCopysLock);
    LockHolder holder(HolderDoes::DieHoldingIt);
    ASSERT_TRUE(holder.Start()) << "the holder did not take the lock";
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holder.thread, PatienceMs)) << "the holder did not end";

    HoldScreenSaverOff();
    EXPECT_NE(nullptr, Window.ScreenSaverMapping) << "the abandoned lock was not taken over";
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), LockAnswerElsewhere()) << "the lock was not given back after the hold";
    ReleaseScreenSaver();
    EXPECT_EQ(nullptr, Window.ScreenSaverMapping);
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), LockAnswerElsewhere()) << "the lock was not given back after the release";
    CloseHandle(otherCopysLock);
}
