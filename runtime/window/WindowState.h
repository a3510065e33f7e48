// The runtime's window state, shared by the window, input and log code.
#pragma once

#include <windows.h>
#include <cstdint>

struct WindowState {
    HWND MainWindowHandle;   // the host window, or the runtime's own window
    int32_t HostWindowMode;  // 1: the runtime works on the application's window
    int32_t WindowModeFlag;  // 1 = windowed, 0 = full screen
    DWORD MainThreadId;      // the thread that ran the window start-up
    int32_t QuitRequested;   // 1 when the runtime is to end
    int32_t WindowDestroyed; // 1 once the own window got WM_DESTROY
    int32_t WindowActive;    // whether the window is active
    int32_t CloseRequested;  // 1 once WM_CLOSE was posted to the own window
    int32_t CharacterSet;    // 0 unset, 1 Shift-JIS, 2 Korean, 3 traditional, 4 simplified Chinese
    int32_t CharacterCodePage; // code page of CharacterSet, 0 when not a DBCS one
};

extern WindowState Window;
