// How many handles the process holds, for tests that check a piece of code
// gives back every handle it makes.
#pragma once

#include <windows.h>

// The number of open handles of this process; 0 when it cannot be read.
DWORD OpenHandleCount();
