// An uncontended enter and leave of the API lock against the critical
// section it is built on. The lock enters and leaves its guard once per
// enter and once per leave, so about twice the bare section is its floor.
#include "Bench.h"

#include "runtime/core/ApiLock.h"

#include <windows.h>

namespace {

CRITICAL_SECTION BareSection;

void SetUpLocks() {
    InitializeCriticalSection(&BareSection);
    EnterApiLock();  // the first entry creates the events and the guard
    LeaveApiLock();
}

void TearDownLocks() {
    DestroyApiLock();
    DeleteCriticalSection(&BareSection);
}

void EnterLeaveApiLock(uint32_t iterations) {
    for (uint32_t i = 0; i < iterations; ++i) {
        EnterApiLock();
        LeaveApiLock();
    }
    BenchSink = uint32_t(ApiLock.nesting);
}

void EnterLeaveSection(uint32_t iterations) {
    for (uint32_t i = 0; i < iterations; ++i) {
        EnterCriticalSection(&BareSection);
        LeaveCriticalSection(&BareSection);
    }
    BenchSink = BareSection.RecursionCount;
}

} // namespace

REGISTER_BENCH("EnterApiLock+LeaveApiLock (uncontended)", "EnterCriticalSection+LeaveCriticalSection",
                EnterLeaveApiLock, EnterLeaveSection, 1.5, false, SetUpLocks, TearDownLocks);
