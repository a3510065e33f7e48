#include "app/CaptionRedraw.h"

#include "app/Dialog.h"
#include "app/JapaneseFace.h"
#include "app/WindowSubclass.h"

#include <cstddef>

// In user32 on every system, but in no header of the toolchain.
extern "C" BOOL WINAPI DrawCaptionTempW(HWND window, HDC dc, const RECT* area, HFONT font, HICON icon,
                                        LPCWSTR text, UINT flags);

namespace {

constexpr UINT_PTR CaptionSubclassId = 1;

// The caption font the system draws captions with; false when it cannot be read.
bool SystemCaptionFont(LOGFONTW& font) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
        // Systems before Vista know the structure without its last field.
        metrics.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);
        if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return false;
    }
    font = metrics.lfCaptionFont;
    return true;
}

HICON CaptionIcon(HWND window) {
    auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
    if (icon == nullptr) icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
    return icon;
}

} // namespace

bool DesktopComposesFrames() {
    using CompositionQuery = HRESULT(WINAPI*)(BOOL*);
    // Looked up, not linked: systems before Vista have no desktop composition.
    HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
    if (dwm == nullptr) return false;
    auto composition = reinterpret_cast<CompositionQuery>(
        reinterpret_cast<void*>(GetProcAddress(dwm, "DwmIsCompositionEnabled")));
    BOOL enabled = FALSE;
    bool composed = composition && SUCCEEDED(composition(&enabled)) && enabled;
    FreeLibrary(dwm);
    return composed;
}

CaptionFont::~CaptionFont() {
    if (font_) DeleteObject(font_);
}

bool CaptionFont::Attach(HWND window) {
    if (font_ != nullptr || DesktopComposesFrames()) return false;
    LOGFONTW system{};
    if (!SystemCaptionFont(system)) return false;
    std::wstring caption = WindowTextW(window);
    HFONT systemFont = CreateFontIndirectW(&system);
    bool draws = systemFont && WindowFontDrawsText(window, systemFont, caption);
    if (systemFont) DeleteObject(systemFont);
    if (draws) return false;
    font_ = CreateJapaneseFontLike(system, caption, face_);
    if (font_ == nullptr) return false;
    if (!InstallSubclass(window, CaptionProcedure, CaptionSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        DeleteObject(font_);
        font_ = nullptr;
        face_.clear();
        return false;
    }
    // A window already on the screen gets its frame drawn again.
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

// After every drawing of the frame by the system, the caption is drawn again.
LRESULT CALLBACK CaptionFont::CaptionProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                               DWORD_PTR self) {
    LRESULT result = CallNextSubclass(window, message, wParam, lParam);
    const auto* caption = reinterpret_cast<const CaptionFont*>(self);
    switch (message) {
    case WM_NCACTIVATE:
        caption->Draw(window, wParam != FALSE);
        break;
    case WM_NCPAINT:
    case WM_SETTEXT:
    case WM_SETICON:
        caption->Draw(window, GetActiveWindow() == window);
        break;
    case WM_NCDESTROY:
        RemoveSubclass(window, CaptionProcedure, id);
        break;
    default:
        break;
    }
    return result;
}

// The caption bar from the frame to the caption buttons: background, icon
// and text, as the system draws them, in the Japanese face.
void CaptionFont::Draw(HWND window, bool active) const {
    if (!IsWindowVisible(window)) return;
    RECT bounds;
    GetWindowRect(window, &bounds);
    POINT client{0, 0};
    ClientToScreen(window, &client);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    const int frame = client.x - bounds.left; // a dialog frame is as wide on every side
    int buttons = (style & WS_SYSMENU) ? 1 : 0;
    if (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) buttons += 2;
    RECT bar = {frame, frame, bounds.right - bounds.left - frame - buttons * GetSystemMetrics(SM_CXSIZE) - 2,
                frame + GetSystemMetrics(SM_CYCAPTION) - 1};
    if (bar.right <= bar.left) return;

    UINT flags = DC_TEXT | (active ? DC_ACTIVE : 0);
    BOOL gradient = FALSE;
    if (SystemParametersInfoW(SPI_GETGRADIENTCAPTIONS, 0, &gradient, 0) && gradient) flags |= DC_GRADIENT;
    HICON icon = (style & WS_SYSMENU) ? CaptionIcon(window) : nullptr;
    if (icon) flags |= DC_ICON;
    HDC dc = GetWindowDC(window);
    DrawCaptionTempW(window, dc, &bar, font_, icon, WindowTextW(window).c_str(), flags);
    ReleaseDC(window, dc);
}
