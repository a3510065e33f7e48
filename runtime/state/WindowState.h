// The window's process-wide values: the host or own window, its mode, the
// thread that reads its messages, the character set, and the flags that the
// window procedure raises (active, close, quit). Kept here, below every
// room, because the log, the input and the sound read them; the window
// (runtime/window/) owns and changes them.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int WindowTextSize = 256;

struct WindowState {
    // Kept across the window start-up's reset (settings and long-lived values).
    HWND MainWindowHandle;            // the host window, or the runtime's own window; null after teardown
    int32_t HostWindowMode;           // 1: the runtime works on the application's window
    int32_t WindowModeFlag;           // 1 = windowed, 0 = full screen
    int32_t CharacterSet;             // 0 unset, 1 Shift-JIS, 2 Korean, 3 traditional, 4 simplified Chinese
    int32_t CharacterCodePage;        // code page of CharacterSet, 0 when not a DBCS one
    char WindowClassName[WindowTextSize]; // "D123987X"
    char WindowTitle[WindowTextSize];     // "KotoLib"
    // The screen saver hold outlives the reset: a start-up after one that
    // never ended must neither lose the shared record nor join it twice.
    int32_t ScreenSaverHeld;          // 1 from switching the screen saver off until the setting is given back
    HANDLE ScreenSaverMapping;        // the shared record's mapping while this copy is listed in it, or null
    int32_t ScreenSaverWasActive;     // the setting this copy found, put back when the shared record cannot be used

    // Cleared by the window start-up.
    WNDPROC HostWindowProcedure;      // the host window's procedure as read at start-up
    HINSTANCE ModuleInstance;         // GetModuleHandleA(NULL)
    DWORD MainThreadId;               // the thread that ran the window start-up; messages are read only there
    int32_t DesktopWidth;             // SM_CXSCREEN
    int32_t DesktopHeight;            // SM_CYSCREEN
    int32_t DesktopColourDepth;       // PLANES x BITSPIXEL of the screen
    FARPROC UpdateLayeredWindowEntry; // user32's UpdateLayeredWindow, or null
    RECT ClientScreenRect;            // client area in screen coordinates (windowed)
    RECT WindowScreenRect;            // window rectangle in screen coordinates
    int32_t FrameTopHeight;           // height of the frame above the client area (windowed own window)
    int32_t WindowCreating;           // 1 while the own window is being created
    int32_t CloseRequested;           // 1 once the runtime posted WM_CLOSE to its own window
    int32_t WindowActive;             // whether the window is active
    int32_t QuitRequested;            // 1 when the runtime is to end
    int32_t WindowDestroyed;          // 1 once the own window got WM_DESTROY
    int32_t MouseCursorDisplay;       // wanted cursor display: 1 shown, 0 hidden
    int32_t MouseCursorVisible;       // what the runtime last made of the system cursor
    int32_t WindowModeChanging;       // 1 while ChangeWindowMode restyles the window
    int32_t DisplayChanged;           // set when a display change was accepted
    int32_t WindowStyleApplied;       // 1 once the windowed style (with WS_VISIBLE) was asked for
    int32_t InWindowPaint;            // 1 while WM_PAINT repaints in windowed mode
    int32_t MessageTickBusy;          // 1 while the text-input step runs
    int32_t InactiveWaitStamp;        // time stamp of WaitWhileInactive; -1 after the reset
    int32_t AnotherInstanceFound;     // 1 when the start-up was refused because another copy runs
};

extern WindowState Window;
