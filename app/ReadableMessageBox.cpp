#include "app/ReadableMessageBox.h"

#include "app/CaptionRedraw.h"
#include "app/Dialog.h"
#include "app/JapaneseFace.h"
#include "app/WindowSubclass.h"

#include <algorithm>

namespace {

constexpr int MessageBoxTextId = 0xFFFF; // the static control that carries a message box's text
constexpr UINT_PTR BoxSubclassId = 2;

// The message box shown at the moment, and what was done to it.
struct BoxAdaptation {
    HHOOK hook = nullptr;
    HWND box = nullptr;
    CaptionFont caption;
    HFONT textFont = nullptr;
};

// The box being asked for: the tool shows one at a time, from its one thread.
BoxAdaptation* shownBox = nullptr;

// The widest a box's text may grow: three quarters of the work area of the
// box's screen, and never less than the system gave it.
int WidestText(HWND box, int current) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor)) return current;
    return std::max(current, int(monitor.rcWork.right - monitor.rcWork.left) * 3 / 4);
}

// The box was laid out for its text in the system's message font: with the
// text in the Japanese face it grows by what the text needs more, the text
// control with it, and the buttons move along, staying centred. Long lines
// break, as the system breaks them, where they would make the box wider
// than the screen has room for.
void WidenForText(HWND box, HWND textControl, HFONT font) {
    RECT text;
    GetWindowRect(textControl, &text);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&text), 2);
    RECT needed = {0, 0, WidestText(box, int(text.right - text.left)), 0};
    HDC dc = GetDC(textControl);
    HGDIOBJ previous = SelectObject(dc, font);
    DrawTextW(dc, WindowTextW(textControl).c_str(), -1, &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(textControl, dc);
    const int dx = std::max(0, int(needed.right) - int(text.right - text.left));
    const int dy = std::max(0, int(needed.bottom) - int(text.bottom - text.top));
    if (dx == 0 && dy == 0) return;

    SetWindowPos(textControl, nullptr, 0, 0, text.right - text.left + dx, text.bottom - text.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND control : ChildWindows(box)) {
        wchar_t className[8] = {};
        GetClassNameW(control, className, 8);
        if (lstrcmpiW(className, L"Button") != 0) continue;
        RECT button;
        GetWindowRect(control, &button);
        MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&button), 2);
        SetWindowPos(control, nullptr, button.left + dx / 2, button.top + dy, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT outer;
    GetWindowRect(box, &outer);
    SetWindowPos(box, nullptr, outer.left - dx / 2, outer.top - dy / 2, outer.right - outer.left + dx,
                 outer.bottom - outer.top + dy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void AdaptBox(BoxAdaptation& adaptation, HWND box) {
    adaptation.caption.Attach(box);
    HWND textControl = GetDlgItem(box, MessageBoxTextId);
    auto current = reinterpret_cast<HFONT>(SendMessageW(textControl, WM_GETFONT, 0, 0));
    LOGFONTW like{};
    if (current == nullptr || GetObjectW(current, sizeof like, &like) == 0) return;
    const std::wstring text = WindowTextW(textControl);
    if (WindowFontDrawsText(textControl, current, text)) return;
    std::wstring face;
    adaptation.textFont = CreateJapaneseFontLike(like, text, face);
    if (adaptation.textFont == nullptr) return;
    WidenForText(box, textControl, adaptation.textFont);
    SendMessageW(textControl, WM_SETFONT, WPARAM(adaptation.textFont), TRUE);
}

// The box, once the system has laid it out for its text.
LRESULT CALLBACK BoxProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                              DWORD_PTR adaptation) {
    LRESULT result = CallNextSubclass(window, message, wParam, lParam);
    if (message == WM_INITDIALOG)
        AdaptBox(*reinterpret_cast<BoxAdaptation*>(adaptation), window);
    else if (message == WM_NCDESTROY)
        RemoveSubclass(window, BoxProcedure, id);
    return result;
}

// The first window that is no control, created while the box is asked for,
// is the box.
LRESULT CALLBACK WatchForBox(int code, WPARAM wParam, LPARAM lParam) {
    BoxAdaptation* adaptation = shownBox;
    if (code == HCBT_CREATEWND && adaptation && adaptation->box == nullptr) {
        const auto* creation = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        if (!(creation->lpcs->style & WS_CHILD)) {
            adaptation->box = reinterpret_cast<HWND>(wParam);
            InstallSubclass(adaptation->box, BoxProcedure, BoxSubclassId, reinterpret_cast<DWORD_PTR>(adaptation));
        }
    }
    return CallNextHookEx(adaptation ? adaptation->hook : nullptr, code, wParam, lParam);
}

} // namespace

int ReadableMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT type) {
    BoxAdaptation adaptation;
    adaptation.hook = SetWindowsHookExW(WH_CBT, WatchForBox, nullptr, GetCurrentThreadId());
    shownBox = &adaptation;
    int result = MessageBoxW(owner, text.c_str(), title.c_str(), type);
    shownBox = nullptr;
    if (adaptation.hook) UnhookWindowsHookEx(adaptation.hook);
    if (adaptation.textFont) DeleteObject(adaptation.textFont);
    return result;
}
