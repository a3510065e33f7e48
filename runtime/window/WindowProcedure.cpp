// The procedure of the runtime's own window: activation, position, repaint,
// display changes, cursor hiding, typed characters and the IME, close and
// destroy. A host window keeps its own procedure and never comes here.
#include "runtime/window/Window.h"

#include "runtime/core/Clock.h"
#include "runtime/core/Environment.h"
#include "runtime/core/FatalStop.h"
#include "runtime/diag/Log.h"
#include "runtime/diag/TrackedAlloc.h"
#include "runtime/others/Subsystems.h"
#include "runtime/state/LifecycleState.h"

#include <imm.h>
#include <mmsystem.h>

#include <cstring>

namespace {

constexpr int32_t OsVersionVista = 0x108;
constexpr LRESULT HitTestMenu = HTMENU; // 5: the top strip acts as a menu bar over a full-screen display
constexpr int MenuStripHeight = 8;
constexpr UINT SocketNotification = WM_USER + 0x105;
// The IME switches its open status in steps; this long is given to it.
constexpr uint64_t ImeOpenStatusWaitMicroseconds = 2000;

struct KeyMapping {
    WPARAM virtualKey;
    uint8_t queued;
};

// Editing keys become the control codes the text input reads as cursor moves.
constexpr KeyMapping EditingKeys[] = {
    {VK_DELETE, 0x10}, {VK_LEFT, 0x1D}, {VK_RIGHT, 0x1C}, {VK_UP, 0x1E},   {VK_DOWN, 0x1F},
    {VK_HOME, 0x1A},   {VK_END, 0x19},  {VK_PRIOR, 0x17}, {VK_NEXT, 0x15},
};

// Control characters the text input understands: Ctrl+A, Ctrl+C, BS, TAB,
// CR, 0x10, Ctrl+V, Ctrl+X, ESC.
constexpr uint8_t AcceptedControlCharacters[] = {0x01, 0x03, 0x08, 0x09, 0x0D, 0x10, 0x16, 0x18, 0x1B};

bool IsWindowed() {
    return Window.WindowModeFlag == 1;
}

void RequestCloseOnce() {
    if (Window.CloseRequested == 1) return;
    Window.CloseRequested = 1;
    PostMessageA(Window.MainWindowHandle, WM_CLOSE, 0, 0);
}

// The count is driven below zero and left at -1, so that mouse messages by
// the thousand do not bury it ever deeper for the next show.
void KeepCursorHidden() {
    SetCursor(nullptr);
    int count = ShowCursor(FALSE);
    while (count >= 0) count = ShowCursor(FALSE);
    while (count < -1) count = ShowCursor(TRUE);
}

// The graphics of this build has no device to check and no screen to restore,
// so a full-screen window coming back (minimised or not) only resumes.
void BecomeActive() {
    if (TextInput.ImeUse == 1 && TextInput.ImeOpen == 1) TextInput.ImeRestoreRequested = 1;
    if (!IsWindowed() && Lifecycle.LibraryStarted == 1) {
        ResumeMovies();
        WindowCalls.reacquireInputDevices();
        return;
    }
    if (Graphics.KeepRunningWhenInactive != 1) ResumeMovies();
    WindowCalls.reacquireInputDevices();
}

// Returns false when the window is to close and the handling stops.
bool BecomeInactive() {
    if (!IsWindowed()) {
        bool dialogsKeepDisplay = Environment.OsVersionCode < OsVersionVista && DialogsAllowedOverFullScreen();
        if (!dialogsKeepDisplay) {
            ChangeDisplaySettingsA(nullptr, 0);
            ShowWindow(Window.MainWindowHandle, SW_MINIMIZE);
        }
    }
    if (!IsWindowed() && GraphicsHasScreen() && GraphicsHasDevice()) {
        if (!ScreenRestoreFunctionRegistered() && Window.HostWindowMode == 0) {
            LogWrite("復元関数が登録されていないため終了します\n");
            RequestCloseOnce();
            return false;
        }
        PauseMovies();
    } else {
        if (Graphics.KeepRunningWhenInactive != 1) PauseMovies();
        WindowCalls.reacquireInputDevices();
    }
    // The back buffer would be drawn into the window here; this build has none.
    return true;
}

void HandleActivation(WPARAM wParam) {
    Window.WindowActive = LOWORD(wParam) != 0 ? 1 : 0;
    if (Window.WindowCreating == 1) return;
    if (Window.WindowActive == 1) BecomeActive();
    else if (!BecomeInactive()) return;
    WindowCalls.refreshVibrationEffects();
}

void HandlePaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr) return;
    if (IsWindowed()) {
        Window.InWindowPaint = 1;
        // Without a screen the only drawing left is the black of a window
        // whose runtime has not started yet.
        if (Lifecycle.LibraryStarted == 0)
            FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        Window.InWindowPaint = 0;
    }
    EndPaint(window, &paint);
}

bool DisplayChangeRefused(int bits, int width, int height) {
    if (!ScreenRestoreFunctionRegistered()) return true;
    if (bits == 24) return true;
    if (bits == 8 && bits != Graphics.ScreenColourBits) return true;
    return width < Graphics.ScreenWidth || height < Graphics.ScreenHeight;
}

void HandleDisplayChange(WPARAM wParam, LPARAM lParam) {
    if (IsWindowed() && Window.WindowModeChanging == 0) {
        int bits = int(wParam);
        int width = LOWORD(lParam);
        int height = HIWORD(lParam);
        bool same = bits == Graphics.ScreenColourBits && width == Graphics.ScreenWidth &&
                    height == Graphics.ScreenHeight;
        if (!same && DisplayChangeRefused(bits, width, height)) {
            LogWrite("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
            LogWrite("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
            RequestCloseOnce();
            return;
        }
        if (!same) ResumeMovies();
    }
    Window.DisplayChanged = 1;
}

void HandleMove(LPARAM lParam) {
    GetWindowRect(Window.MainWindowHandle, &Window.WindowScreenRect);
    if (!IsWindowed() || Window.WindowModeChanging == 1) return;
    RECT client;
    GetClientRect(Window.MainWindowHandle, &client);
    int left = static_cast<int16_t>(LOWORD(lParam));
    int top = static_cast<int16_t>(HIWORD(lParam));
    SetRect(&Window.ClientScreenRect, left, top, left + client.right, top + client.bottom);
}

void HandleKeyDown(WPARAM virtualKey) {
    if (InputCharQueueFull()) return;
    for (const KeyMapping& mapping : EditingKeys) {
        if (mapping.virtualKey != virtualKey) continue;
        QueueInputChar(mapping.queued);
        return;
    }
}

void HandleChar(WPARAM character) {
    if (character == 0x0A) {
        QueueInputChar(0x0D);
        return;
    }
    if (character >= 0x20) {
        QueueInputChar(uint8_t(character));
        return;
    }
    for (uint8_t accepted : AcceptedControlCharacters) {
        if (accepted == character) QueueInputChar(accepted);
    }
}

// ---- IME --------------------------------------------------------------------

void ReadComposition(HIMC context, DWORD kind, void* buffer) {
    std::memset(buffer, 0, ImeTextSize);
    ImmGetCompositionStringA(context, kind, buffer, ImeTextSize);
}

LRESULT HandleComposition(HWND window, LPARAM flags) {
    HIMC context = ImmGetContext(window);
    if (flags & GCS_COMPSTR) ReadComposition(context, GCS_COMPSTR, TextInput.ImeCompositionText);
    if (flags & GCS_RESULTSTR) {
        ReadComposition(context, GCS_RESULTSTR, TextInput.ImeCompositionText);
        for (int i = 0; i < ImeTextSize && TextInput.ImeCompositionText[i] != '\0'; ++i)
            QueueInputChar(uint8_t(TextInput.ImeCompositionText[i]));
        ReadComposition(context, GCS_COMPSTR, TextInput.ImeCompositionText);
    }
    if (flags & GCS_CURSORPOS) {
        LONG index = ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0);
        TextInput.ImeCursorPosition = CharIndexToBytePosition(TextInput.ImeCompositionText, int(index));
    }
    if (flags & GCS_COMPCLAUSE) {
        std::memset(TextInput.ImeClauseData, 0, sizeof TextInput.ImeClauseData);
        LONG bytes = ImmGetCompositionStringA(context, GCS_COMPCLAUSE, TextInput.ImeClauseData, ImeTextSize);
        TextInput.ImeClauseCount = bytes > 0 ? int32_t(bytes / 4) : 0;
    }
    ImmReleaseContext(window, context);
    return 0;
}

void FreeCandidateList() {
    if (TextInput.ImeCandidateList != nullptr) TrackedFree(TextInput.ImeCandidateList);
    TextInput.ImeCandidateList = nullptr;
    TextInput.ImeCandidateListSize = 0;
}

LRESULT StoreCandidateList(HWND window) {
    HIMC context = ImmGetContext(window);
    DWORD size = ImmGetCandidateListA(context, 0, nullptr, 0);
    if (size == 0) {
        ImmReleaseContext(window, context);
        LogPrintf("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x\n", unsigned(uintptr_t(window)),
                  unsigned(uintptr_t(context)));
        return 0;
    }
    FreeCandidateList();
    TextInput.ImeCandidateList = TrackedAlloc(int32_t(size), "", 0); // the runtime's own: no label, line 0
    if (TextInput.ImeCandidateList == nullptr) {
        ImmReleaseContext(window, context);
        FatalStopFormat("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                        int(size));
    }
    TextInput.ImeCandidateListSize = int32_t(size);
    if (ImmGetCandidateListA(context, 0, static_cast<CANDIDATELIST*>(TextInput.ImeCandidateList), size) == 0) {
        FreeCandidateList();
        ImmReleaseContext(window, context);
        LogPrintf("漢字変換候補の取得に失敗しました  BufSize:%d\n", int(size));
        return 0;
    }
    ImmReleaseContext(window, context);
    return 0;
}

// The open status settles over a few messages: they are pumped for a short
// while before it is read.
LRESULT HandleOpenStatus(HWND window, WPARAM wParam, LPARAM lParam) {
    if (TextInput.ImeOpenStatusWaitBusy == 1) return 0;
    TextInput.ImeOpenStatusWaitBusy = 1;
    DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
    uint64_t start = NowMicroseconds(0);
    while (MessageTick() == 0 && NowMicroseconds(0) - start < ImeOpenStatusWaitMicroseconds) {
    }
    TextInput.ImeOpenStatusWaitBusy = 0;
    HIMC context = ImmGetContext(window);
    TextInput.ImeOpen = ImmGetOpenStatus(context) ? 1 : 0;
    ImmReleaseContext(window, context);
    return 0;
}

LRESULT HandleImeNotify(HWND window, WPARAM wParam, LPARAM lParam) {
    switch (wParam) {
    case IMN_OPENCANDIDATE:
    case IMN_CHANGECANDIDATE:
    case IMN_SETCANDIDATEPOS:
        return StoreCandidateList(window);
    case IMN_CLOSECANDIDATE:
        FreeCandidateList();
        return 0;
    case IMN_SETOPENSTATUS:
        return HandleOpenStatus(window, wParam, lParam);
    default:
        return DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
    }
}

LRESULT HandleIme(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TextInput.LastImeActivityTime = NowMilliseconds();
    switch (message) {
    case WM_IME_STARTCOMPOSITION:
        TextInput.ImeComposing = 1;
        TextInput.ImeCursorPosition = 0;
        return 0;
    case WM_IME_ENDCOMPOSITION:
        std::memset(TextInput.ImeCompositionText, 0, sizeof TextInput.ImeCompositionText);
        TextInput.ImeComposing = 0;
        return 0;
    case WM_IME_COMPOSITION:
        return HandleComposition(window, lParam);
    case WM_IME_SETCONTEXT:
        // No ISC_SHOW flag: the runtime draws composition and candidates itself.
        return DefWindowProcA(window, message, wParam, 0);
    default:
        return HandleImeNotify(window, wParam, lParam);
    }
}

// ---- Close and destroy ------------------------------------------------------

void HandleClose() {
    LogWrite("ウインドウを閉じようとしています\n");
    DestroyWindow(Window.MainWindowHandle);
    if (Lifecycle.ShutdownInProgress == 0) Lifecycle.ShutdownInProgress = 4;
}

void HandleDestroy() {
    LogWrite("ウインドウが破棄されようとしています\n");
    Window.WindowDestroyed = 1;
    PostQuitMessage(0);
    Window.QuitRequested = 1;
    LogWrite("ソフトを終了する準備が整いました\n");
}

bool IsCursorMessage(UINT message) {
    switch (message) {
    case WM_SETCURSOR:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        return true;
    default:
        return false;
    }
}

bool IsImeMessage(UINT message) {
    return message == WM_IME_STARTCOMPOSITION || message == WM_IME_ENDCOMPOSITION ||
           message == WM_IME_COMPOSITION || message == WM_IME_SETCONTEXT || message == WM_IME_NOTIFY;
}

} // namespace

LRESULT CALLBACK RuntimeWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsImeMessage(message)) return HandleIme(window, message, wParam, lParam);
    if (IsCursorMessage(message) && Window.MouseCursorVisible == 0) KeepCursorHidden();

    switch (message) {
    case WM_ACTIVATE:
        HandleActivation(wParam);
        break;
    case WM_ACTIVATEAPP:
        if (wParam == 0) HandleActivation(0);
        break;
    case WM_SIZE:
        GetWindowRect(Window.MainWindowHandle, &Window.WindowScreenRect);
        if (wParam != SIZE_MAXIMIZED) UpdateWindowSize();
        break;
    case WM_MOVE:
        HandleMove(lParam);
        break;
    case WM_MOVING:
        GetWindowRect(Window.MainWindowHandle, &Window.WindowScreenRect);
        if (!IsWindowed()) *reinterpret_cast<RECT*>(lParam) = Window.WindowScreenRect;
        break;
    case WM_PAINT:
        HandlePaint(window);
        break;
    case WM_DISPLAYCHANGE:
        HandleDisplayChange(wParam, lParam);
        break;
    case WM_NCHITTEST:
        if (!IsWindowed() && DialogsAllowedOverFullScreen() && HIWORD(lParam) < MenuStripHeight) return HitTestMenu;
        break;
    case WM_KEYDOWN:
        HandleKeyDown(wParam);
        break;
    case WM_CHAR:
        HandleChar(wParam);
        break;
    case WM_SYSCOMMAND:
        // Neither the screen saver nor the monitor's power-off may interrupt the runtime.
        if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER) return 1;
        break;
    case WM_CLOSE:
        HandleClose();
        return 0;
    case WM_DESTROY:
        HandleDestroy();
        break;
    case MM_MCINOTIFY:
        HandleMusicNotification(wParam, lParam);
        break;
    case SocketNotification:
        return HandleSocketNotification(wParam, lParam);
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
