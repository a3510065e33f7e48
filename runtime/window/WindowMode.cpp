// Window mode and cursor display: the switch between windowed and full
// screen, the style, size and position of each mode, and the cursor.
#include "runtime/window/Window.h"

#include "runtime/Runtime.h"
#include "runtime/core/Clock.h"
#include "runtime/diag/Log.h"
#include "runtime/others/Subsystems.h"

namespace {

constexpr DWORD WindowedExStyle = WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE;
constexpr DWORD WindowedStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX; // no sizing, no maximise
constexpr DWORD FullScreenExStyle = WS_EX_TOPMOST;
constexpr DWORD FullScreenStyle = WS_POPUP;

// A screen re-creation need not change the display at all (same size and
// depth, or a driver that sends nothing): after this long the switch goes on
// without the notification instead of waiting for ever.
constexpr int32_t DisplayChangeWaitLimitMs = 2000;

bool HasOwnWindow() {
    return Window.MainWindowHandle != nullptr && Window.HostWindowMode != 1;
}

DWORD CurrentWindowedStyle() {
    return WindowedStyle | (Window.WindowStyleApplied == 1 ? WS_VISIBLE : 0);
}

void ReadClientScreenRect(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT topLeft = {client.left, client.top};
    POINT bottomRight = {client.right, client.bottom};
    ClientToScreen(window, &topLeft);
    ClientToScreen(window, &bottomRight);
    SetRect(&Window.ClientScreenRect, topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
}

// The client area may not start left of or above the desktop's origin, where
// the caption of a large window centred on a small desktop would put it.
void KeepClientOnDesktop(HWND window, int x, int y, int width, int height) {
    RECT& client = Window.ClientScreenRect;
    int dx = client.left < 0 ? -client.left : 0;
    int dy = client.top < 0 ? -client.top : 0;
    if (dx == 0 && dy == 0) return;
    OffsetRect(&client, dx, dy);
    SetWindowPos(window, HWND_TOP, x + dx, y + dy, width, height, 0);
}

void ApplyWindowedStyle(HWND window) {
    LogWrite("ウインドウスタイルをウインドウモード用に変更します... ");
    DWORD style = CurrentWindowedStyle();
    SetWindowLongA(window, GWL_EXSTYLE, LONG(WindowedExStyle));
    SetWindowLongA(window, GWL_STYLE, LONG(style));
    RECT frame;
    SetRect(&frame, 0, 0, Graphics.ScreenWidth, Graphics.ScreenHeight);
    AdjustWindowRectEx(&frame, style, FALSE, WindowedExStyle);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    int x = frame.left + (Window.DesktopWidth - width) / 2;
    int y = frame.top + (Window.DesktopHeight - height) / 2;
    // Out of the topmost band first, then to the top of the normal windows.
    SetWindowPos(window, HWND_NOTOPMOST, x, y, width, height, 0);
    SetWindowPos(window, HWND_TOP, x, y, width, height, 0);
    ReadClientScreenRect(window);
    KeepClientOnDesktop(window, x, y, width, height);
    SetMouseCursorDisplay(1);
    LogWrite("完了\n");
}

void ApplyFullScreenStyle(HWND window) {
    LogWrite("ウインドウスタイルをフルスクリーンモード用に変更します... ");
    SetWindowLongA(window, GWL_EXSTYLE, LONG(FullScreenExStyle));
    SetWindowLongA(window, GWL_STYLE, LONG(FullScreenStyle));
    SetRect(&Window.ClientScreenRect, 0, 0, Graphics.ScreenWidth, Graphics.ScreenHeight);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, Graphics.ScreenWidth, Graphics.ScreenHeight, SWP_NOREDRAW);
    SetMouseCursorDisplay(0);
    LogWrite("完了\n");
}

// Pumps messages until the window procedure accepts a display change, the
// runtime is to end, or the time limit passes.
void WaitForDisplayChange() {
    int32_t start = NowMilliseconds();
    while (MessageTick() == 0 && Window.DisplayChanged != 1) {
        if (((NowMilliseconds() - start) & 0x7FFFFFFF) >= DisplayChangeWaitLimitMs) return;
        Sleep(1);
    }
}

// Drives the thread's cursor display count across zero, however often others
// have called ShowCursor: to 0 or above when shown, below 0 when hidden.
void DriveCursorCount(bool shown) {
    if (shown) {
        while (ShowCursor(TRUE) < 0) {
        }
        return;
    }
    while (ShowCursor(FALSE) >= 0) {
    }
}

} // namespace

int ChangeWindowMode(int windowed) {
    LogWrite("ChangeWindowMode実行 \n");
    if (windowed == Window.WindowModeFlag) return 0;
    Window.WindowStyleApplied = 1;
    Window.DisplayChanged = 0;
    Window.WindowModeFlag = windowed;
    LogWrite(windowed != 0 ? "ウインドウモードフラグが立てられました\n" : "ウインドウモードフラグが倒されました\n");
    if (!HasOwnWindow()) return 0;

    Window.WindowModeChanging = 1;
    ChangeWindowStyle();
    int result = RecreateScreen();
    WaitForDisplayChange();
    Window.WindowModeChanging = 0;
    return result;
}

int ChangeWindowStyle() {
    if (!HasOwnWindow()) return 0;
    HWND window = Window.MainWindowHandle;
    if (Window.WindowModeFlag == 1) ApplyWindowedStyle(window);
    else ApplyFullScreenStyle(window);
    SetActiveWindow(window);
    PostMessageA(window, WM_SETCURSOR, WPARAM(window), 0);
    return 0;
}

int UpdateWindowSize() {
    if (Window.HostWindowMode == 1) return 0;
    HWND window = Window.MainWindowHandle;
    RECT frame;
    RECT client;
    GetWindowRect(window, &frame);
    if (!GetClientRect(window, &client)) return 0;
    Window.ClientScreenRect.right = Window.ClientScreenRect.left + client.right;
    Window.ClientScreenRect.bottom = Window.ClientScreenRect.top + client.bottom;
    int right = frame.right - client.right + Graphics.ScreenWidth;
    int bottom = frame.bottom - client.bottom + Graphics.ScreenHeight;
    MoveWindow(window, frame.left, frame.top, right - frame.left, bottom - frame.top, TRUE);
    // A newly created window gets its windowed style, position and
    // visibility once, here.
    if (Window.WindowModeFlag == 1 && Window.WindowStyleApplied == 0) {
        Window.WindowStyleApplied = 1;
        ChangeWindowStyle();
    }
    return 0;
}

int SetMouseCursorDisplay(int value) {
    if (value != -1) Window.MouseCursorDisplay = value;
    int32_t wanted = Window.MouseCursorDisplay == 1 ? 1 : 0;
    if (value != -1 && wanted == Window.MouseCursorVisible) return 0;
    DriveCursorCount(wanted == 1);
    // Without a window the post would land in the application's thread queue.
    if (Window.MainWindowHandle != nullptr)
        PostMessageA(Window.MainWindowHandle, WM_SETCURSOR, WPARAM(Window.MainWindowHandle), 0);
    Window.MouseCursorVisible = wanted;
    return 0;
}
