// The lock that serialises the runtime's driving entry points between threads:
// re-entrant for its owner, first-come-first-served for everyone else.
#pragma once

#include <windows.h>
#include <cstdint>

constexpr int ApiLockQueueSize = 4096;

// One place of the wait queue. The event belongs to the place, not to the
// thread: it moves forward with the entry as the queue advances.
struct ApiLockWaiter {
    DWORD threadId;  // waiting thread, 0 when the place is free
    HANDLE event;    // manual-reset, unnamed; made when a waiter first queues here
};

struct ApiLockState {
    int32_t nesting;                         // enters of the owner not yet left
    int32_t locked;                          // 1 while some thread owns the lock
    DWORD owner;                             // owner, or last owner; -1 once fully released
    ApiLockWaiter waiters[ApiLockQueueSize]; // the wait queue, entry 0 is the head
    int32_t initialised;                     // 1 once the guard exists (and the events made so far)
    int32_t waitCount;                       // queued waiters, 0..4096
    volatile LONG guard;                     // 1 while a thread does the bookkeeping; protects every field above
};

extern ApiLockState ApiLock;

void EnterApiLock();
void LeaveApiLock();
void DestroyApiLock();

// Makes a place's event: CreateEventA, or a test's that holds the calling
// thread there while the queue changes under it.
using ApiLockEventFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL signalled,
                                             LPCSTR name);
extern ApiLockEventFunction ApiLockCreateEvent;

// The guard around the lock's bookkeeping, for code that must read the queue
// as one consistent picture.
void AcquireApiLockGuard();
void ReleaseApiLockGuard();
