// The factor by which the tests' own time limits stretch where everything
// runs slower: TEST_TIME_SCALE, a whole number, set where the 32-bit tests
// run in an emulated machine (scripts/test-32). CTest's limits scale by the
// same variable (tests/TimeScale.cmake). Unset, empty or invalid: 1.
#pragma once

unsigned TestTimeScale();

// A time limit in milliseconds, scaled; saturates instead of wrapping.
unsigned ScaledMs(unsigned ms);
