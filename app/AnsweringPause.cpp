// The dialog waits for another program now and then (one that holds the save
// file for a moment). A plain Sleep would leave every message sent to its
// windows unanswered, so that a program broadcasting a setting change, or
// Windows asking whether the window hangs, waited for it.
#include "app/AnsweringPause.h"

void PauseAnsweringMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        // A peek delivers the messages sent to the thread's windows; of what
        // it can remove, only the paint messages are taken and dispatched.
        // It comes before each wait: the wait wakes only for messages that
        // arrived since the thread last looked at its queue.
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE))
            DispatchMessageW(&message);
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        DWORD woken = MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_SENDMESSAGE | QS_PAINT);
        if (woken == WAIT_FAILED) return;
    }
}
