// The worker thread and the stop's handshake with it.
#include "SoundFixture.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD HookWaitMs = 10000; // far beyond any worker period; only a broken worker hits it

// A worker entry that, once the stop has been asked for, takes a while
// longer before it returns: a stop that does not wait for the worker would
// come back while the entry still runs.
struct SlowEntry {
    SoundWorkerEntry entry{};
    HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    volatile LONG returned = 0;

    SlowEntry() {
        entry.active = 1;
        entry.update = Update;
        entry.owner = this;
    }
    ~SlowEntry() { CloseHandle(entered); }

    static void Update(SoundWorkerEntry* e) {
        auto* self = static_cast<SlowEntry*>(e->owner);
        SetEvent(self->entered);
        DWORD start = GetTickCount();
        while (Sound.SoundWorkerState != SoundWorkerStopRequested && GetTickCount() - start < HookWaitMs) Sleep(1);
        Sleep(50);
        InterlockedExchange(&self->returned, 1);
    }
};

// The stop waits for the worker whether MessageTick keeps the runtime going
// or reports its end: in both cases the lock it deletes next must be free.
TEST_F(SoundTest, StopReturnsOnlyAfterTheWorkerHasEnded) {
    for (int quit : {0, 1}) {
        SCOPED_TRACE(quit ? "MessageTick reports the end" : "MessageTick keeps running");
        ASSERT_EQ(0, StartSoundDevice());
        SlowEntry slow;
        ASSERT_EQ(0, AddSoundWorkerEntry(&slow.entry));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(slow.entered, HookWaitMs));

        Window.QuitRequested = quit;
        EXPECT_EQ(0, StopSoundDevice());
        EXPECT_EQ(1, slow.returned);
        EXPECT_EQ(SoundWorkerEnded, Sound.SoundWorkerState);
        EXPECT_EQ(nullptr, Sound.SoundWorkerThread);
        EXPECT_EQ(nullptr, Sound.SoundDevice);
        Window.QuitRequested = 0;
        RemoveSoundWorkerEntry(&slow.entry);
    }
}

struct StreamingHandle {
    SoundHandle handle{};
    HANDLE refilled = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    volatile LONG refills = 0;
    int stops = 0;

    StreamingHandle() {
        handle.streaming = 1;
        handle.refillStream = Refill;
        handle.stop = Stop;
        handle.owner = this;
    }
    ~StreamingHandle() { CloseHandle(refilled); }

    static void Refill(SoundHandle* h) {
        auto* self = static_cast<StreamingHandle*>(h->owner);
        InterlockedIncrement(&self->refills);
        SetEvent(self->refilled);
    }
    static void Stop(SoundHandle* h) { ++static_cast<StreamingHandle*>(h->owner)->stops; }
};

// The state is never reset, so after a stop it holds 2, and that lets the
// next worker run; the second stop waits for it in the same way.
TEST_F(SoundTest, AStopThenANewStartRunsANewWorkerThatTheSecondStopEnds) {
    StreamingHandle stream;
    ASSERT_EQ(0, StartSoundDevice());
    ASSERT_EQ(0, AddSoundHandle(&stream.handle));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stream.refilled, HookWaitMs));
    ASSERT_EQ(0, StopSoundDevice());
    EXPECT_EQ(SoundWorkerEnded, Sound.SoundWorkerState);
    EXPECT_EQ(1, stream.stops) << "the stop stops every sound handle";

    LONG refillsBefore = stream.refills;
    ResetEvent(stream.refilled);
    ASSERT_EQ(0, StartSoundDevice());
    EXPECT_EQ(2, stream.stops) << "the start stops the handles still listed";
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stream.refilled, HookWaitMs)) << "the new worker runs";
    EXPECT_GT(stream.refills, refillsBefore);
    ASSERT_EQ(0, StopSoundDevice());
    EXPECT_EQ(SoundWorkerEnded, Sound.SoundWorkerState);
    LONG refillsAfterStop = stream.refills;
    Sleep(3 * SoundWorkerPeriodMs);
    EXPECT_EQ(refillsAfterStop, stream.refills) << "no worker runs after the stop";
    RemoveSoundHandle(&stream.handle);
}

// The worker refills only streaming handles and updates only active
// entries; a removed handle is not served any more.
TEST_F(SoundTest, WorkerServesStreamingHandlesAndActiveEntriesOnly) {
    StreamingHandle streaming, idle, removed;
    idle.handle.streaming = 0;
    SlowEntry inactive;
    inactive.entry.active = 0;
    ASSERT_EQ(0, StartSoundDevice());
    ASSERT_EQ(0, AddSoundHandle(&idle.handle));
    ASSERT_EQ(0, AddSoundWorkerEntry(&inactive.entry));
    // Held across both, so that no pass sees the removed handle listed.
    EnterCriticalSection(&Sound.SoundLock);
    EXPECT_EQ(0, AddSoundHandle(&removed.handle));
    RemoveSoundHandle(&removed.handle);
    LeaveCriticalSection(&Sound.SoundLock);
    ASSERT_EQ(0, AddSoundHandle(&streaming.handle));
    // Two refills of the last handle listed: at least one full pass over
    // the list ran after all the handles were in place.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(streaming.refilled, HookWaitMs));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(streaming.refilled, HookWaitMs));
    ASSERT_EQ(0, StopSoundDevice());
    EXPECT_EQ(0, idle.refills);
    EXPECT_EQ(0, removed.refills);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(inactive.entered, 0));
    EXPECT_EQ(1, idle.stops);
    EXPECT_EQ(0, removed.stops);
}

} // namespace
