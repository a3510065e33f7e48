// The window start-up and teardown: the reset of the window state, the
// measurements of the machine, the double-start check, and the runtime's own
// window or the adoption of the application's host window.
#include "runtime/window/Window.h"

#include "runtime/Runtime.h"
#include "runtime/core/Clock.h"
#include "runtime/core/Environment.h"
#include "runtime/diag/Log.h"
#include "runtime/others/Subsystems.h"
#include "runtime/state/LifecycleState.h"
#include "runtime/window/ScreenSaver.h"

#include <mmsystem.h>

#include <cstring>

// user32 exports it; the SDK headers no longer declare it.
extern "C" BOOL WINAPI WINNLSEnableIME(HWND window, BOOL enable);

namespace {

constexpr const char DefaultWindowClassName[] = "D123987X";
constexpr const char DefaultWindowTitle[] = "KotoLib";
constexpr int ApplicationIconId = 32512; // the application's main icon resource

// The reset keeps the settings made before the start and the names, so that
// the runtime can be started again after a shutdown.
void ResetWindowState() {
    WindowState kept = Window;
    std::memset(&Window, 0, sizeof Window);
    Window.MainWindowHandle = kept.MainWindowHandle;
    Window.HostWindowMode = kept.HostWindowMode;
    Window.WindowModeFlag = kept.WindowModeFlag;
    Window.CharacterSet = kept.CharacterSet;
    Window.CharacterCodePage = kept.CharacterCodePage;
    std::memcpy(Window.WindowClassName, kept.WindowClassName, sizeof Window.WindowClassName);
    std::memcpy(Window.WindowTitle, kept.WindowTitle, sizeof Window.WindowTitle);
    Window.ScreenSaverHeld = kept.ScreenSaverHeld;
    Window.ScreenSaverMapping = kept.ScreenSaverMapping;
    Window.ScreenSaverWasActive = kept.ScreenSaverWasActive;
    Window.InactiveWaitStamp = -1;
}

void FindUpdateLayeredWindow() {
    HMODULE user32 = LoadLibraryA("user32");
    if (user32 == nullptr) return;
    Window.UpdateLayeredWindowEntry = GetProcAddress(user32, "UpdateLayeredWindow");
    FreeLibrary(user32);
}

void SetTextIfEmpty(char* text, const char* value) {
    if (text[0] != '\0') return;
    std::strncpy(text, value, WindowTextSize - 1);
    text[WindowTextSize - 1] = '\0';
}

void MeasureDesktop() {
    Window.DesktopWidth = GetSystemMetrics(SM_CXSCREEN);
    Window.DesktopHeight = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    Window.DesktopColourDepth = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
}

void ChooseCharacterSet() {
    if (Window.CharacterSet != 0) return;
    switch (GetOEMCP()) {
    case 932: Window.CharacterSet = 1; Window.CharacterCodePage = 932; break;
    case 949: Window.CharacterSet = 2; Window.CharacterCodePage = 949; break;
    case 950: Window.CharacterSet = 3; Window.CharacterCodePage = 950; break;
    case 936: Window.CharacterSet = 4; Window.CharacterCodePage = 936; break;
    default: Window.CharacterSet = 1; Window.CharacterCodePage = 0; break;
    }
}

// A refused start leaves the runtime to end; the machine gets its screen
// saver back, as nothing will run the teardown for a window never made.
int RefuseStart(const char* text) {
    LogWrite(text);
    Window.QuitRequested = 1;
    ReleaseScreenSaver();
    return -1;
}

bool AnotherInstanceRuns() {
    LogWrite("ソフトの二重起動検査... ");
    if (FindWindowA(Window.WindowClassName, nullptr) != nullptr) return true;
    LogWrite("二重起動はされていませんでした\n");
    return false;
}

bool RegisterWindowClass() {
    WNDCLASSEXA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = RuntimeWindowProcedure;
    windowClass.hInstance = Window.ModuleInstance;
    windowClass.hIcon = LoadIconA(Window.ModuleInstance, MAKEINTRESOURCEA(ApplicationIconId));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = Window.WindowClassName;
    LogWrite("ウインドウクラスを登録します... ");
    return RegisterClassExA(&windowClass) != 0;
}

HWND CreateWindowedWindow() {
    LogWrite("ウインドウモード起動用のウインドウを作成します\n");
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    const DWORD exStyle = WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE;
    RECT frame;
    SetRect(&frame, 0, 0, Graphics.ScreenWidth, Graphics.ScreenHeight);
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    Window.FrameTopHeight = -frame.top;
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    int x = frame.left + (Window.DesktopWidth - width) / 2;
    int y = frame.top + (Window.DesktopHeight - height) / 2;
    Window.MouseCursorDisplay = 1;
    return CreateWindowExA(exStyle, Window.WindowClassName, Window.WindowTitle, style, x, y, width, height, nullptr,
                           nullptr, Window.ModuleInstance, nullptr);
}

HWND CreateFullScreenWindow() {
    LogWrite("フルスクリーンモード用のウインドウを作成します\n");
    Window.MouseCursorDisplay = 0;
    return CreateWindowExA(WS_EX_TOPMOST, Window.WindowClassName, Window.WindowTitle, WS_POPUP, 0, 0,
                           Graphics.ScreenWidth, Graphics.ScreenHeight, nullptr, nullptr, Window.ModuleInstance,
                           nullptr);
}

int CreateOwnWindow() {
    Window.WindowCreating = 1;
    if (!RegisterWindowClass()) return RefuseStart("ウインドウクラスの登録に失敗しました\n");
    LogWrite("登録に成功しました\n");
    SetTextIfEmpty(Window.WindowTitle, DefaultWindowTitle);
    HWND window = Window.WindowModeFlag == 1 ? CreateWindowedWindow() : CreateFullScreenWindow();
    Window.MainWindowHandle = window;
    if (window == nullptr) {
        UnregisterClassA(Window.WindowClassName, Window.ModuleInstance);
        return RefuseStart("ウインドウの作成に失敗しました\n");
    }
    LogWrite("ウインドウの作成に成功しました\n");
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return 0;
}

void ReadClientScreenRect() {
    RECT client;
    GetClientRect(Window.MainWindowHandle, &client);
    POINT topLeft = {client.left, client.top};
    POINT bottomRight = {client.right, client.bottom};
    ClientToScreen(Window.MainWindowHandle, &topLeft);
    ClientToScreen(Window.MainWindowHandle, &bottomRight);
    SetRect(&Window.ClientScreenRect, topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
}

// Shows the system cursor again, however often it was hidden.
void ShowCursorForTeardown() {
    Window.MouseCursorDisplay = 1;
    if (Window.MouseCursorVisible == 1) return;
    while (ShowCursor(TRUE) < 0) {
    }
    PostMessageA(Window.MainWindowHandle, WM_SETCURSOR, WPARAM(Window.MainWindowHandle), 0);
    Window.MouseCursorVisible = 1;
}

// The host window goes back to the application untouched; the own window is
// closed through its procedure and its class removed.
void ReleaseWindow() {
    if (Window.HostWindowMode == 1) {
        // A start-up refused before it read the procedure has nothing to give back.
        if (Window.HostWindowProcedure != nullptr)
            SetWindowLongPtrA(Window.MainWindowHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Window.HostWindowProcedure));
        Window.QuitRequested = 1;
        return;
    }
    if (Window.CloseRequested != 1) {
        Window.CloseRequested = 1;
        PostMessageA(Window.MainWindowHandle, WM_CLOSE, 0, 0);
    }
    while (Window.WindowDestroyed == 0 && Window.MessageTickBusy == 0 && MessageTick() == 0) {
    }
    // After a quit (WM_QUIT, or the runtime ended by the user) MessageTick no
    // longer dispatches, and inside the text-input step it returns at once:
    // the close never arrives. A window left standing would keep its class
    // registered and make the next start-up refuse as a double start.
    if (Window.WindowDestroyed == 0) DestroyWindow(Window.MainWindowHandle);
    UnregisterClassA(Window.WindowClassName, Window.ModuleInstance);
}

} // namespace

int StartWindow() {
    ResetWindowState();
    FindUpdateLayeredWindow();
    SetTextIfEmpty(Window.WindowClassName, DefaultWindowClassName);
    Window.ModuleInstance = GetModuleHandleA(nullptr);
    Window.MainThreadId = GetCurrentThreadId();
    ReportMemory();
    MeasureDesktop();
    ProbePerformanceCounter();
    TimerPrecisionTest();
    SeedRandom(NowMilliseconds());
    // Off while the runtime runs; the teardown gives back the user's setting,
    // not "on": the user may have had it off (and other copies may still run).
    HoldScreenSaverOff();
    ChooseCharacterSet();

    if (AnotherInstanceRuns()) {
        Window.AnotherInstanceFound = 1;
        return RefuseStart("二重起動されています、ソフトを終了します\n");
    }

    if (Window.HostWindowMode == 1) {
        Window.HostWindowProcedure =
            reinterpret_cast<WNDPROC>(GetWindowLongPtrA(Window.MainWindowHandle, GWLP_WNDPROC));
    } else if (CreateOwnWindow() != 0) {
        return -1;
    }

    Window.CloseRequested = 0;
    Window.WindowDestroyed = 0;
    Window.WindowActive = 1;
    if (Window.WindowModeFlag == 0) {
        LogWrite("カーソルを不可視にしました\n");
        SetCursor(nullptr);
    }
    LogWrite("ＩＭＥを無効にしました\n");
    if (TextInput.ImeUse == 0) WINNLSEnableIME(Window.MainWindowHandle, FALSE);
    if (Window.WindowModeFlag == 1) ReadClientScreenRect();
    SetMouseCursorDisplay(Window.MouseCursorDisplay);
    Lifecycle.ShutdownInProgress = 0;
    if (Window.HostWindowMode == 0) {
        BringWindowToTop(Window.MainWindowHandle);
        UpdateWindowSize();
        Window.WindowCreating = 0;
    }
    return 0;
}

int TeardownWindow() {
    if (Window.MainWindowHandle == nullptr) return 0;
    ReleaseScreenSaver();
    WINNLSEnableIME(Window.MainWindowHandle, TRUE);
    ShowCursorForTeardown();
    ReleaseWindow();
    ReleaseTextInputHandles();
    RestoreTimerResolution();
    // The graphics subsystem of this build makes no bitmap for the window.
    Window.MainWindowHandle = nullptr;
    return 0;
}

void BringWindowToForeground(HWND window, int topmost) {
    DWORD ownThread = GetWindowThreadProcessId(window, nullptr);
    DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    AttachThreadInput(ownThread, foregroundThread, TRUE);
    DWORD lockTimeout = 0;
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lockTimeout, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(window);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(uintptr_t(lockTimeout)), 0);
    AttachThreadInput(ownThread, foregroundThread, FALSE);
    if (topmost == 1)
        SetWindowPos(Window.MainWindowHandle, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW);
}
