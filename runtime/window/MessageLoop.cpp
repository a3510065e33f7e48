// Per-tick message processing: the own window's message loop with its
// hand-back after five messages, and every subsystem's per-tick turn.
#include "runtime/window/Window.h"

#include "runtime/others/Subsystems.h"

namespace {

// The application gets control back after this many dispatched messages, so
// a flood of messages cannot starve its own loop.
constexpr int MessagesPerHandBack = 5;

bool WindowRunsInactive() {
    return Window.WindowActive != 1 && Graphics.KeepRunningWhenInactive != 1;
}

// Any message of the thread first; then thread messages and the window's own,
// which a plain read can miss behind a pending repaint or timer.
bool ReadOneMessage(MSG& message) {
    if (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE) && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        return true;
    if (PeekMessageA(&message, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE)) return true;
    return PeekMessageA(&message, Window.MainWindowHandle, 0, 0, PM_REMOVE) != 0;
}

// How one reading pass ended. Only a pass that dispatched messages and then
// found the queue empty is busy: the loop looks once more before handing back.
enum class Pass { Empty, Drained, HandBack, Quit };

// Dispatches messages until the queue is empty or the hand-back count is
// reached; the count runs on across passes of one call. A message read once
// the quit is known is dropped undispatched.
Pass DispatchPendingMessages(int& dispatched) {
    MSG message;
    Pass ending = Pass::Empty;
    while (ReadOneMessage(message)) {
        if (message.message == WM_ACTIVATEAPP && Window.WindowModeFlag == 1)
            Window.WindowActive = LOWORD(message.wParam) != 0 ? 1 : 0;
        if (Window.QuitRequested == 1) return Pass::Quit;
        if (message.message == WM_QUIT) Window.QuitRequested = 1;
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (++dispatched == MessagesPerHandBack) {
            dispatched = 0;
            return Pass::HandBack;
        }
        ending = Pass::Drained;
    }
    return ending;
}

// While the window is inactive the loop keeps the caller here, pumping and
// sleeping, until the window is active again, a close is pending and the
// queue is empty, or the runtime is to end.
void RunMessageLoop() {
    int dispatched = 0;
    bool idle = false;
    for (;;) {
        bool mayHandBack = Window.CloseRequested == 1 || !WindowRunsInactive();
        if (mayHandBack && (idle || Window.QuitRequested == 1)) return;
        if (WindowRunsInactive()) Sleep(1);
        Pass pass = DispatchPendingMessages(dispatched);
        if (pass == Pass::Quit) return;
        idle = pass != Pass::Drained;
        if (WindowRunsInactive()) {
            NetworkTick();
            DrawMoviesOnInactiveWindow();
            Sleep(1);
        }
        if (Window.QuitRequested == 1) return;
        if (GetCurrentThreadId() != Window.MainThreadId) return;
    }
}

void RunPerTickWork() {
    WindowCalls.soundTick();
    WindowCalls.refreshKeyboardState();
    WindowCalls.processPadVibration();
    NetworkTick();
    Window.MessageTickBusy = 1;
    TextInputStep();
    Window.MessageTickBusy = 0;
}

} // namespace

int MessageTick() {
    if (Window.MessageTickBusy == 1) return 0;
    if (Window.MainWindowHandle == nullptr) return Window.QuitRequested == 1 ? -1 : 0;
    if (Window.HostWindowMode != 1) RunMessageLoop();
    RunPerTickWork();
    return Window.QuitRequested == 1 ? -1 : 0;
}

void WaitWhileInactive() {
    if (Window.InWindowPaint == 1 || Window.WindowActive == 1 || Window.HostWindowMode == 1) return;
    if (Graphics.KeepRunningWhenInactive == 1 && Window.WindowModeFlag == 1) return;
    // Without a window nothing could make it active again.
    if (Window.MainWindowHandle == nullptr) return;
    while (MessageTick() == 0 && Window.WindowActive != 1) {
    }
}
