// The API lock with real threads. Threads are told apart by the order in
// which they get the lock; every wait is bounded, so a broken hand-over
// fails the test instead of hanging it. The process's handle count shows
// that the lock keeps one event per place it reached and nothing more.
#include "runtime/core/ApiLock.h"

#include "support/HandleCount.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD NoOwner = ~DWORD(0);
constexpr DWORD PatienceMs = 10000;

bool WaitUntil(const std::function<bool()>& condition, DWORD limitMs = PatienceMs) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limitMs) return false;
        Sleep(1);
    }
    return true;
}

// A Win32 thread whose join is bounded: a thread still stuck after the
// patience runs out is terminated, so a failing test ends.
class TestThread {
public:
    explicit TestThread(std::function<void()> body) : body_(std::move(body)) {
        handle_ = CreateThread(nullptr, 0, &TestThread::Run, this, 0, &id_);
    }
    ~TestThread() {
        if (!Join()) TerminateThread(handle_, 1);
        CloseHandle(handle_);
    }
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;

    bool Join(DWORD limitMs = PatienceMs) { return WaitForSingleObject(handle_, limitMs) == WAIT_OBJECT_0; }
    DWORD Id() const { return id_; }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<TestThread*>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// The queue as one consistent picture, read under the lock's own guard.
struct QueueView {
    int32_t nesting, locked, waitCount;
    DWORD owner;
    std::vector<ApiLockWaiter> waiters;  // the occupied places
};

QueueView ReadQueue() {
    AcquireApiLockGuard();
    QueueView view{ApiLock.nesting, ApiLock.locked, ApiLock.waitCount, ApiLock.owner,
                   std::vector<ApiLockWaiter>(ApiLock.waiters, ApiLock.waiters + ApiLock.waitCount)};
    ReleaseApiLockGuard();
    return view;
}

int WaitCount() { return ReadQueue().waitCount; }

std::set<HANDLE> AllEvents() {
    std::set<HANDLE> events;
    for (const ApiLockWaiter& waiter : ApiLock.waiters) events.insert(waiter.event);
    return events;
}

bool IsSignalled(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

class ApiLockTest : public testing::Test {
protected:
    // Every test starts from the lock as a fresh process has it.
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        DestroyApiLock();
        std::memset(&ApiLock, 0, sizeof ApiLock);
    }

    // Who got the lock, in order.
    void Record(char who) {
        std::lock_guard<std::mutex> hold(orderMutex);
        order += who;
    }
    std::string Order() {
        std::lock_guard<std::mutex> hold(orderMutex);
        return order;
    }

    std::mutex orderMutex;
    std::string order;
};

// A thread that enters, records itself, holds the lock until told, leaves.
struct Holder {
    std::atomic<bool> owns{false};
    std::atomic<bool> release{false};
    std::atomic<bool> done{false};
    std::unique_ptr<TestThread> thread;

    ~Holder() {
        release = true;  // a test that failed half-way lets it finish
        thread.reset();
    }

    void Start(char name, const std::function<void(char)>& record) {
        thread.reset(new TestThread([this, name, record] {
            EnterApiLock();
            record(name);
            owns = true;
            WaitUntil([this] { return release.load(); });
            owns = false;
            LeaveApiLock();
            done = true;
        }));
    }
};

} // namespace

TEST_F(ApiLockTest, OwnerNestsAndReleasesAfterAsManyLeaves) {
    struct Step {
        bool enter;
        int32_t nesting, locked;
        bool ownedBySelf;
    };
    const Step steps[] = {
        {true, 1, 1, true},
        {true, 2, 1, true},   // re-entry does not block
        {false, 1, 1, true},  // still owned after the first leave
        {false, 0, 0, false},
    };
    const DWORD self = GetCurrentThreadId();
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        const Step& step = steps[i];
        SCOPED_TRACE(testing::Message() << "step " << i);
        step.enter ? EnterApiLock() : LeaveApiLock();
        EXPECT_EQ(step.nesting, ApiLock.nesting);
        EXPECT_EQ(step.locked, ApiLock.locked);
        EXPECT_EQ(step.ownedBySelf ? self : NoOwner, ApiLock.owner);
        EXPECT_EQ(0, ApiLock.waitCount);
    }

    // The first entry created the guard; with nobody waiting, no event.
    EXPECT_EQ(1, ApiLock.initialised);
    EXPECT_EQ(std::set<HANDLE>{nullptr}, AllEvents());
}

TEST_F(ApiLockTest, WaitersGetTheLockInArrivalOrder) {
    for (int waiterCount : {1, 3, 6}) {
        SCOPED_TRACE(testing::Message() << waiterCount << " waiters");
        Reset();
        order.clear();
        EnterApiLock();

        std::vector<std::unique_ptr<Holder>> holders;
        std::vector<DWORD> ids;
        std::vector<HANDLE> ownEvents;  // the event of the place each waiter queued at
        for (int i = 0; i < waiterCount; ++i) {
            holders.emplace_back(new Holder);
            holders.back()->Start(char('A' + i), [this](char who) { Record(who); });
            ids.push_back(holders.back()->thread->Id());
            // Wait for this one to queue before starting the next, so the
            // arrival order is known.
            ASSERT_TRUE(WaitUntil([&] { return WaitCount() == i + 1; }));
            QueueView view = ReadQueue();
            EXPECT_EQ(ids[i], view.waiters[i].threadId);
            ownEvents.push_back(view.waiters[i].event);
        }
        // One event for each place the queue reached, no more.
        const std::set<HANDLE> events = AllEvents();
        std::set<HANDLE> expectedEvents(ownEvents.begin(), ownEvents.end());
        expectedEvents.insert(nullptr);
        EXPECT_EQ(expectedEvents, events);
        EXPECT_EQ(size_t(waiterCount) + 1, events.size());
        LeaveApiLock();

        for (int owner = 0; owner < waiterCount; ++owner) {
            SCOPED_TRACE(testing::Message() << "owner " << owner);
            ASSERT_TRUE(WaitUntil([&] { return holders[owner]->owns.load(); }));
            QueueView view = ReadQueue();
            EXPECT_EQ(ids[owner], view.owner);
            EXPECT_EQ(1, view.nesting);
            // The rest moved forward one place each, taking their events along.
            ASSERT_EQ(waiterCount - owner - 1, view.waitCount);
            for (int place = 0; place < view.waitCount; ++place) {
                EXPECT_EQ(ids[owner + 1 + place], view.waiters[place].threadId) << "place " << place;
                EXPECT_EQ(ownEvents[owner + 1 + place], view.waiters[place].event) << "place " << place;
            }
            // The woken thread reset its event; no event was lost or doubled.
            EXPECT_FALSE(IsSignalled(ownEvents[owner]));
            EXPECT_EQ(events, AllEvents());
            holders[owner]->release = true;
        }
        for (auto& holder : holders) ASSERT_TRUE(holder->thread->Join());

        EXPECT_EQ(std::string("ABCDEF").substr(0, size_t(waiterCount)), Order());
        EXPECT_EQ(0, ApiLock.nesting);
        EXPECT_EQ(0, ApiLock.locked);
        EXPECT_EQ(NoOwner, ApiLock.owner);
        EXPECT_EQ(0, ApiLock.waitCount);
    }
}

TEST_F(ApiLockTest, ReleasingOwnerThatEntersAgainQueuesBehindWaiters) {
    EnterApiLock();  // create the lock on this thread before the others start
    LeaveApiLock();

    std::atomic<bool> firstOwnerReady{false}, waiterQueued{false};
    std::atomic<DWORD> firstOwnerId{0};
    TestThread first([&] {
        firstOwnerId = GetCurrentThreadId();
        EnterApiLock();
        firstOwnerReady = true;
        WaitUntil([&] { return waiterQueued.load(); });
        LeaveApiLock();  // hands the lock to the waiter...
        EnterApiLock();  // ...so this must queue behind it
        Record('A');
        LeaveApiLock();
    });
    ASSERT_TRUE(WaitUntil([&] { return firstOwnerReady.load(); }));

    TestThread second([&] {
        EnterApiLock();
        Record('B');
        // Stay until the first thread has queued again, so that it cannot
        // slip in between.
        WaitUntil([&] {
            QueueView view = ReadQueue();
            return view.waitCount == 1 && view.waiters[0].threadId == firstOwnerId;
        });
        LeaveApiLock();
    });
    ASSERT_TRUE(WaitUntil([] { return WaitCount() == 1; }));
    waiterQueued = true;

    ASSERT_TRUE(first.Join());
    ASSERT_TRUE(second.Join());
    EXPECT_EQ("BA", Order());
    EXPECT_EQ(0, ApiLock.locked);
    EXPECT_EQ(0, ApiLock.waitCount);
}

TEST_F(ApiLockTest, FullQueuePollsUntilAPlaceIsFree) {
    EnterApiLock();
    LeaveApiLock();

    // Fill every place with made-up waiters behind a made-up owner.
    const DWORD fakeOwner = 0x7FFF0000;
    AcquireApiLockGuard();
    ApiLock.nesting = 1;
    ApiLock.locked = 1;
    ApiLock.owner = fakeOwner;
    for (int i = 0; i < ApiLockQueueSize; ++i) ApiLock.waiters[i].threadId = fakeOwner + 1 + DWORD(i);
    ApiLock.waitCount = ApiLockQueueSize;
    ReleaseApiLockGuard();

    Holder late;
    late.Start('L', [this](char who) { Record(who); });
    const DWORD lateId = late.thread->Id();

    // It must neither take the lock nor write past the queue while it is full.
    Sleep(50);
    QueueView full = ReadQueue();
    EXPECT_EQ(ApiLockQueueSize, full.waitCount);
    EXPECT_FALSE(late.owns);
    for (const ApiLockWaiter& waiter : full.waiters) ASSERT_NE(lateId, waiter.threadId);

    // Free the last place: the poller takes it.
    AcquireApiLockGuard();
    ApiLock.waitCount = ApiLockQueueSize - 1;
    ApiLock.waiters[ApiLockQueueSize - 1].threadId = 0;
    ReleaseApiLockGuard();
    ASSERT_TRUE(WaitUntil([&] {
        QueueView view = ReadQueue();
        return view.waitCount == ApiLockQueueSize && view.waiters[ApiLockQueueSize - 1].threadId == lateId;
    }));

    // Let the made-up queue drain at once: the poller becomes the head, with
    // its event, and the made-up owner releases.
    AcquireApiLockGuard();
    std::swap(ApiLock.waiters[0], ApiLock.waiters[ApiLockQueueSize - 1]);
    ApiLock.waitCount = 1;
    ApiLock.nesting = 0;
    ApiLock.locked = 0;
    ApiLock.owner = NoOwner;
    HANDLE head = ApiLock.waiters[0].event;
    ReleaseApiLockGuard();
    SetEvent(head);

    ASSERT_TRUE(WaitUntil([&] { return late.owns.load(); }));
    EXPECT_EQ(lateId, ReadQueue().owner);
    EXPECT_EQ(0, WaitCount());
    late.release = true;
    ASSERT_TRUE(late.thread->Join());
    EXPECT_EQ("L", Order());
}

TEST_F(ApiLockTest, DestroyClosesEventsAndNextEntryCreatesFreshOnes) {
    // Two waiters queue: the two places they reached get an event each.
    EnterApiLock();
    {
        Holder first, second;
        first.Start('1', [this](char who) { Record(who); });
        ASSERT_TRUE(WaitUntil([] { return WaitCount() == 1; }));
        second.Start('2', [this](char who) { Record(who); });
        ASSERT_TRUE(WaitUntil([] { return WaitCount() == 2; }));
        first.release = true;
        second.release = true;
        LeaveApiLock();
        ASSERT_TRUE(first.thread->Join());
        ASSERT_TRUE(second.thread->Join());
    }
    std::set<HANDLE> oldEvents = AllEvents();
    oldEvents.erase(nullptr);
    EXPECT_EQ(2u, oldEvents.size());

    DestroyApiLock();
    EXPECT_EQ(0, ApiLock.initialised);
    EXPECT_EQ(std::set<HANDLE>{nullptr}, AllEvents());
    DWORD flags;
    for (HANDLE event : oldEvents) ASSERT_FALSE(GetHandleInformation(event, &flags)) << "event still open";
    // The ownership fields survive, as left by the balanced enter and leave.
    EXPECT_EQ(0, ApiLock.nesting);
    EXPECT_EQ(0, ApiLock.locked);
    EXPECT_EQ(NoOwner, ApiLock.owner);
    EXPECT_EQ(0, ApiLock.waitCount);
    DestroyApiLock();  // a second destroy has nothing to do

    EnterApiLock();
    EXPECT_EQ(1, ApiLock.initialised);
    EXPECT_EQ(std::set<HANDLE>{nullptr}, AllEvents());

    // A fresh event and the new guard carry a hand-over.
    Holder waiter;
    waiter.Start('W', [this](char who) { Record(who); });
    ASSERT_TRUE(WaitUntil([] { return WaitCount() == 1; }));
    HANDLE fresh = ReadQueue().waiters[0].event;
    ASSERT_NE(nullptr, fresh);
    LeaveApiLock();
    ASSERT_TRUE(WaitUntil([&] { return waiter.owns.load(); }));
    waiter.release = true;
    ASSERT_TRUE(waiter.thread->Join());
    EXPECT_EQ("12W", Order());
    EXPECT_FALSE(IsSignalled(fresh));
    EXPECT_EQ((std::set<HANDLE>{nullptr, fresh}), AllEvents()) << "the place keeps its event for the next waiter";
}

// Threads that contend all the time: the places' events are made on the
// way, while other threads queue at the same places, and every place keeps
// exactly one event of its own.
TEST_F(ApiLockTest, ContendingThreadsShareOutThePlacesEventsOnTheWay) {
    constexpr int Threads = 8;
    constexpr int Rounds = 100;
    std::atomic<int> inside{0}, overlaps{0}, ready{0};
    std::atomic<bool> go{false};
    int entries = 0; // written only under the lock
    {
        std::vector<std::unique_ptr<TestThread>> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back(new TestThread([&] {
                ++ready;
                while (!go) SwitchToThread();
                for (int round = 0; round < Rounds; ++round) {
                    EnterApiLock();
                    if (inside.fetch_add(1) != 0) ++overlaps;
                    ++entries;
                    SwitchToThread(); // the owner lets the others queue up
                    inside.fetch_sub(1);
                    LeaveApiLock();
                }
            }));
        }
        ASSERT_TRUE(WaitUntil([&] { return ready == Threads; }));
        go = true;
        for (auto& thread : threads) ASSERT_TRUE(thread->Join());
    }
    EXPECT_EQ(0, overlaps.load());
    EXPECT_EQ(Threads * Rounds, entries);
    EXPECT_EQ(0, ApiLock.locked);
    EXPECT_EQ(0, ApiLock.waitCount);

    // At most one place per thread (a released lock waits for its woken head
    // while all of them queue); each event in one place only.
    int made = 0;
    for (const ApiLockWaiter& waiter : ApiLock.waiters) made += waiter.event != nullptr ? 1 : 0;
    std::set<HANDLE> events = AllEvents();
    events.erase(nullptr);
    EXPECT_EQ(size_t(made), events.size());
    EXPECT_GT(made, 0) << "the threads never queued";
    EXPECT_LE(made, Threads);
    for (HANDLE event : events) EXPECT_FALSE(IsSignalled(event));
}

// ---- Handles ------------------------------------------------------------------------

namespace {

DWORD PlacesWithEvents() {
    DWORD made = 0;
    for (const ApiLockWaiter& waiter : ApiLock.waiters) made += waiter.event != nullptr ? 1 : 0;
    return made;
}

// The place's event creation, held on request: the next thread to make an
// event waits inside the creation until the test has changed the queue.
struct HeldCreation {
    std::atomic<bool> armed{false};
    HANDLE inside = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE proceed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~HeldCreation() {
        CloseHandle(inside);
        CloseHandle(proceed);
    }
};
HeldCreation* Creation = nullptr;

HANDLE WINAPI CreateEventWhenAllowed(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL signalled,
                                     LPCSTR name) {
    if (Creation != nullptr && Creation->armed.exchange(false)) {
        SetEvent(Creation->inside);
        WaitForSingleObject(Creation->proceed, PatienceMs);
    }
    return CreateEventA(attributes, manualReset, signalled, name);
}

// Every test here counts the process's handles from before the lock's first
// entry; a thread's first run can leave the system's own handles behind, so
// one runs before the count.
class ApiLockHandleTest : public ApiLockTest {
protected:
    void SetUp() override {
        ApiLockTest::SetUp();
        TestThread([] {}).Join();
        before_ = OpenHandleCount();
        ASSERT_NE(0u, before_) << "the process's handles cannot be counted";
        ApiLockCreateEvent = CreateEventWhenAllowed;
        Creation = &creation_;
    }
    void TearDown() override {
        SetEvent(creation_.proceed);
        Creation = nullptr;
        ApiLockCreateEvent = CreateEventA;
        ApiLockTest::TearDown();
    }

    // With nobody inside or waiting: the process holds the places' events
    // beyond what it held before the first entry, and nothing else.
    void ExpectOnlyThePlacesEvents(const char* when) {
        EXPECT_EQ(before_ + PlacesWithEvents(), OpenHandleCount()) << when;
    }
    // A case's count starts after the case before it, whose failures may
    // have had the test framework open handles of its own.
    void CountFromHere() { before_ = OpenHandleCount(); }
    void ExpectAllGivenBackByDestroy() {
        DestroyApiLock();
        EXPECT_EQ(before_, OpenHandleCount()) << "after DestroyApiLock";
    }

    DWORD before_ = 0;
    HeldCreation creation_;
};

} // namespace

// Rounds in which every thread queues behind the test's hold, so that each
// round after the first queues at places whose events exist; then threads
// that contend freely, entering many times each.
TEST_F(ApiLockHandleTest, ContendedEntriesLeaveOnlyThePlacesEvents) {
    constexpr int Waiters = 4;
    constexpr int QueueRounds = 3;
    for (int round = 0; round < QueueRounds; ++round) {
        SCOPED_TRACE(testing::Message() << "queue round " << round);
        EnterApiLock();
        {
            std::vector<std::unique_ptr<Holder>> holders;
            for (int i = 0; i < Waiters; ++i) {
                holders.emplace_back(new Holder);
                holders.back()->release = true;
                holders.back()->Start(char('A' + i), [this](char who) { Record(who); });
                ASSERT_TRUE(WaitUntil([&] { return WaitCount() == i + 1; }));
            }
            LeaveApiLock();
            for (auto& holder : holders) ASSERT_TRUE(holder->thread->Join());
        }
        EXPECT_EQ(DWORD(Waiters), PlacesWithEvents());
        ExpectOnlyThePlacesEvents("after a round of queued entries");
    }

    constexpr int Threads = 6;
    constexpr int Entries = 200;
    {
        std::vector<std::unique_ptr<TestThread>> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back(new TestThread([] {
                for (int entry = 0; entry < Entries; ++entry) {
                    EnterApiLock();
                    SwitchToThread(); // the owner lets the others queue up
                    LeaveApiLock();
                }
            }));
        }
        for (auto& thread : threads) ASSERT_TRUE(thread->Join());
    }
    ExpectOnlyThePlacesEvents("after the free contention");
    ExpectAllGivenBackByDestroy();
}

namespace {

// What changes while a thread, finding no event at the place it is about to
// queue at, makes one outside the guard. Either way the event it made is not
// needed when it looks again.
enum class Meanwhile {
    LockFreed,   // the owner leaves: the maker takes the lock
    QueueMoved,  // the head takes the lock: the maker queues at a place that has its event
};

struct SpareCase {
    const char* name;
    Meanwhile meanwhile;
    DWORD placesAfter;
};

const SpareCase SpareCases[] = {
    {"the lock freed meanwhile", Meanwhile::LockFreed, 0},
    {"the queue moved up meanwhile", Meanwhile::QueueMoved, 1},
};

} // namespace

TEST_F(ApiLockHandleTest, AnEventMadeButNotNeededIsClosed) {
    for (const SpareCase& c : SpareCases) {
        SCOPED_TRACE(c.name);
        Reset();
        order.clear();
        ResetEvent(creation_.inside);
        ResetEvent(creation_.proceed);
        CountFromHere();
        {
            EnterApiLock();
            Holder head;
            if (c.meanwhile == Meanwhile::QueueMoved) {
                head.Start('H', [this](char who) { Record(who); });
                ASSERT_TRUE(WaitUntil([] { return WaitCount() == 1; }));
            }
            creation_.armed = true;
            Holder maker;
            maker.release = true;
            maker.Start('M', [this](char who) { Record(who); });
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(creation_.inside, PatienceMs)) << "no event was made";

            LeaveApiLock();
            if (c.meanwhile == Meanwhile::QueueMoved) {
                ASSERT_TRUE(WaitUntil([&] { return head.owns.load(); }));
            }
            SetEvent(creation_.proceed);
            if (c.meanwhile == Meanwhile::QueueMoved) {
                ASSERT_TRUE(WaitUntil([] { return WaitCount() == 1; })) << "the maker did not queue";
                head.release = true;
                ASSERT_TRUE(head.thread->Join());
            }
            ASSERT_TRUE(maker.thread->Join());
        }
        EXPECT_EQ(c.meanwhile == Meanwhile::QueueMoved ? "HM" : "M", Order());
        EXPECT_EQ(c.placesAfter, PlacesWithEvents());
        ExpectOnlyThePlacesEvents("after the maker's entry");
        ExpectAllGivenBackByDestroy();
    }
}
