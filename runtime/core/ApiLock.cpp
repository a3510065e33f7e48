// The lock around the runtime's driving entry points. Re-entrant for its
// owner, strictly first-come-first-served for everyone else: a released lock
// always goes to the oldest waiter, even when the releasing thread asks again
// at once. Each queue place owns a manual-reset event, so a release wakes
// exactly one thread and a signal given before the waiter sleeps is not lost.
#include "runtime/core/ApiLock.h"

ApiLockState ApiLock;
ApiLockEventFunction ApiLockCreateEvent = CreateEventA;

namespace {

// Released lock: no thread has the id -1.
constexpr DWORD NoOwner = ~DWORD(0);

enum class Decision { Take, Queue };

void CreateApiLock() {
    // Not guarded against two first callers at once: the first entry-point
    // call is made while no other thread uses the runtime. The places' events
    // are made as the queue first reaches them: a program that never
    // contends for the lock makes none.
    ApiLock.initialised = 1;
    ApiLock.guard = 0;
}

// The head leaves the queue. Its event goes to the freed last place, so
// every waiter keeps the event it is sleeping on.
void RemoveQueueHead() {
    int count = ApiLock.waitCount;
    if (count > 1) {
        HANDLE headEvent = ApiLock.waiters[0].event;
        for (int i = 1; i < count; ++i) ApiLock.waiters[i - 1] = ApiLock.waiters[i];
        ApiLock.waiters[count - 1].threadId = 0;
        ApiLock.waiters[count - 1].event = headEvent;
    }
    ApiLock.waitCount = count - 1;
}

// Under the guard: may the caller have the lock now?
Decision Decide(DWORD self) {
    if (ApiLock.locked) return ApiLock.owner == self ? Decision::Take : Decision::Queue;
    if (ApiLock.waitCount == 0) return Decision::Take;
    if (ApiLock.waiters[0].threadId == self) {
        RemoveQueueHead();
        return Decision::Take;
    }
    return Decision::Queue;
}

void TakeLock(DWORD self) {
    ++ApiLock.nesting;
    ApiLock.locked = 1;
    ApiLock.owner = self;
}

} // namespace

// The guard is held only for a few field updates (at most a queue shift),
// never while waiting, so a spin lock serves: an uncontended enter and leave
// then cost one interlocked exchange each, as little as a critical section.
void AcquireApiLockGuard() {
    for (int attempt = 0; __atomic_exchange_n(&ApiLock.guard, 1, __ATOMIC_ACQUIRE) != 0; ++attempt) {
        // A holder that was pre-empted needs the processor more than we do.
        if (attempt < 64)
            __builtin_ia32_pause();
        else
            Sleep(0);
    }
}

void ReleaseApiLockGuard() {
    __atomic_store_n(&ApiLock.guard, 0, __ATOMIC_RELEASE);
}

void EnterApiLock() {
    if (!ApiLock.initialised) CreateApiLock();
    DWORD self = GetCurrentThreadId();
    // An event made for a place that had none, made outside the guard; it
    // is given to the place at the next look if that place still needs it.
    HANDLE spareEvent = nullptr;
    for (;;) {
        AcquireApiLockGuard();
        Decision decision = Decide(self);
        if (decision == Decision::Take) {
            TakeLock(self);
            ReleaseApiLockGuard();
            if (spareEvent) CloseHandle(spareEvent);
            return;
        }
        if (ApiLock.waitCount >= ApiLockQueueSize) {
            // Every place is taken: poll until one is free rather than fail.
            ReleaseApiLockGuard();
            Sleep(1);
            continue;
        }
        ApiLockWaiter& place = ApiLock.waiters[ApiLock.waitCount];
        if (place.event == nullptr) {
            if (spareEvent == nullptr) {
                // The guard is a spin lock: no call into the system under it.
                ReleaseApiLockGuard();
                spareEvent = ApiLockCreateEvent(nullptr, TRUE, FALSE, nullptr);
                // Without an event to sleep on, poll as a full queue does.
                if (spareEvent == nullptr) Sleep(1);
                continue;
            }
            place.event = spareEvent;
            spareEvent = nullptr;
        }
        place.threadId = self;
        HANDLE event = place.event;
        ++ApiLock.waitCount;
        ReleaseApiLockGuard();
        if (spareEvent) {
            CloseHandle(spareEvent);
            spareEvent = nullptr;
        }
        // The event may move to another place while we sleep, but it stays
        // with our thread id, so it is still ours to reset.
        WaitForSingleObject(event, INFINITE);
        ResetEvent(event);
    }
}

void LeaveApiLock() {
    AcquireApiLockGuard();
    bool wake = false;
    if (ApiLock.nesting == 1) {
        ApiLock.locked = 0;
        ApiLock.owner = NoOwner;
        wake = ApiLock.waitCount > 0;
    }
    --ApiLock.nesting;
    // Read under the guard: the head's place cannot change until the head
    // itself takes the lock.
    HANDLE headEvent = wake ? ApiLock.waiters[0].event : nullptr;
    ReleaseApiLockGuard();
    if (!wake) return;
    SetEvent(headEvent);
    // Let the woken thread run before this one can come back for the lock.
    Sleep(0);
}

void DestroyApiLock() {
    if (!ApiLock.initialised) return;
    ApiLock.initialised = 0;
    for (ApiLockWaiter& waiter : ApiLock.waiters) {
        if (!waiter.event) continue;
        CloseHandle(waiter.event);
        waiter.event = nullptr;
    }
    ApiLock.guard = 0;
}
