// A pause on the dialog's thread that keeps its windows answering.
#pragma once

#include <windows.h>

// Waits about this long. Messages that other threads and programs send to
// the thread's windows are answered meanwhile, and windows that need it are
// repainted; posted messages and input stay queued, so that no click or
// timer tick of the dialog runs inside the operation that pauses.
void PauseAnsweringMessages(DWORD milliseconds);
