#include "app/DialogFont.h"

#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <vector>

// In user32 on every system, but in no header of the toolchain.
extern "C" BOOL WINAPI DrawCaptionTempW(HWND window, HDC dc, const RECT* area, HFONT font, HICON icon,
                                        LPCWSTR text, UINT flags);

namespace {

constexpr WORD MissingGlyph = 0xFFFF;     // GetGlyphIndicesW's mark for a character the font lacks
constexpr int MessageBoxTextId = 0xFFFF;  // the static control that carries a message box's text
constexpr UINT_PTR CaptionSubclassId = 1;
constexpr UINT_PTR BoxSubclassId = 2;

std::wstring WindowTextOf(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return std::wstring();
    std::wstring text(size_t(length) + 1, L'\0');
    length = GetWindowTextW(window, &text[0], length + 1);
    text.resize(size_t(length > 0 ? length : 0));
    return text;
}

BOOL CALLBACK CollectControl(HWND control, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(control);
    return TRUE;
}

std::vector<HWND> ControlsOf(HWND window) {
    std::vector<HWND> controls;
    EnumChildWindows(window, CollectControl, reinterpret_cast<LPARAM>(&controls));
    return controls;
}

// Face names of the installed fonts with the Japanese character set, in the
// system's order; the vertical-writing faces ("@...") are left out.
int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM list) {
    auto& faces = *reinterpret_cast<std::vector<std::wstring>*>(list);
    std::wstring face = font->lfFaceName;
    if (face.empty() || face[0] == L'@') return 1;
    for (const std::wstring& known : faces)
        if (known == face) return 1;
    faces.push_back(face);
    return 1;
}

std::vector<std::wstring> InstalledJapaneseFaces(HDC dc) {
    LOGFONTW query{};
    query.lfCharSet = SHIFTJIS_CHARSET;
    std::vector<std::wstring> faces;
    EnumFontFamiliesExW(dc, &query, CollectFace, reinterpret_cast<LPARAM>(&faces), 0);
    return faces;
}

// One character drawn black on white in a memory picture, as its pixels.
class CharacterPicture {
public:
    explicit CharacterPicture(HFONT font) {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        previousFont_ = SelectObject(dc_, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        height_ = std::max(1, int(metrics.tmHeight));
        width_ = 2 * height_;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_) previousBitmap_ = SelectObject(dc_, bitmap_);
        SetTextColor(dc_, RGB(0, 0, 0));
        SetBkMode(dc_, TRANSPARENT);
    }
    ~CharacterPicture() {
        if (bitmap_) {
            SelectObject(dc_, previousBitmap_);
            DeleteObject(bitmap_);
        }
        SelectObject(dc_, previousFont_);
        DeleteDC(dc_);
    }
    CharacterPicture(const CharacterPicture&) = delete;
    CharacterPicture& operator=(const CharacterPicture&) = delete;

    bool Valid() const { return bitmap_ != nullptr && bits_ != nullptr; }

    std::vector<DWORD> Draw(wchar_t character) {
        PatBlt(dc_, 0, 0, width_, height_, WHITENESS);
        TextOutW(dc_, 0, 0, &character, 1);
        GdiFlush();
        const DWORD* pixels = static_cast<const DWORD*>(bits_);
        return std::vector<DWORD>(pixels, pixels + size_t(width_) * size_t(height_));
    }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousFont_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    void* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

bool WindowFontShowsText(HWND window, HFONT font, const std::wstring& text) {
    HDC dc = GetDC(window);
    bool draws = FontDrawsText(dc, font, text);
    ReleaseDC(window, dc);
    return draws || FontShowsText(font, text);
}

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

JapaneseFaceListFunction ListJapaneseFaces = InstalledJapaneseFaces;

bool FontDrawsText(HDC dc, HFONT font, const std::wstring& text) {
    if (text.empty()) return true;
    HGDIOBJ previous = SelectObject(dc, font);
    std::vector<WORD> glyphs(text.size());
    DWORD converted = GetGlyphIndicesW(dc, text.c_str(), int(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, previous);
    if (converted == GDI_ERROR) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] >= L' ' && glyphs[i] == MissingGlyph) return false;
    return true;
}

bool FontShowsText(HFONT font, const std::wstring& text) {
    CharacterPicture picture(font);
    if (!picture.Valid()) return false;
    // U+FFFF is no character at all: no font, linked or not, has it.
    const std::vector<DWORD> missing = picture.Draw(L'\xFFFF');
    const std::vector<DWORD> blank = picture.Draw(L' ');
    std::wstring checked;
    for (wchar_t character : text) {
        if (character <= L' ' || checked.find(character) != std::wstring::npos) continue;
        checked += character;
        const std::vector<DWORD> shown = picture.Draw(character);
        if (shown == missing || shown == blank) return false;
    }
    return true;
}

HFONT CreateJapaneseFontLike(const LOGFONTW& like, const std::wstring& texts, std::wstring& face) {
    HDC dc = GetDC(nullptr);
    HFONT found = nullptr;
    for (const std::wstring& candidateFace : ListJapaneseFaces(dc)) {
        if (candidateFace.size() >= LF_FACESIZE) continue;
        LOGFONTW candidate = like;
        candidate.lfCharSet = SHIFTJIS_CHARSET;
        candidateFace.copy(candidate.lfFaceName, candidateFace.size());
        candidate.lfFaceName[candidateFace.size()] = L'\0';
        HFONT font = CreateFontIndirectW(&candidate);
        if (font && FontDrawsText(dc, font, texts)) {
            found = font;
            face = candidateFace;
            break;
        }
        if (font) DeleteObject(font);
    }
    ReleaseDC(nullptr, dc);
    return found;
}

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

DialogFont::~DialogFont() {
    if (font_) DeleteObject(font_);
}

bool DialogFont::MakeDrawable(HWND dialog) {
    std::vector<HWND> controls = ControlsOf(dialog);
    std::wstring texts;
    for (HWND control : controls) texts += WindowTextOf(control);

    HFONT current = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    if (current == nullptr) current = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW wanted{};
    if (GetObjectW(current, sizeof wanted, &wanted) == 0) return false;
    if (WindowFontShowsText(dialog, current, texts)) return false;
    std::wstring face;
    HFONT found = CreateJapaneseFontLike(wanted, texts, face); // the template's height and weight
    if (found == nullptr) return false;

    SendMessageW(dialog, WM_SETFONT, WPARAM(found), FALSE);
    for (HWND control : controls) SendMessageW(control, WM_SETFONT, WPARAM(found), TRUE);
    if (font_) DeleteObject(font_);
    font_ = found;
    face_ = face;
    return true;
}

CaptionFont::~CaptionFont() {
    if (font_) DeleteObject(font_);
}

bool CaptionFont::Attach(HWND window) {
    if (font_ != nullptr || DesktopComposesFrames()) return false;
    LOGFONTW system{};
    if (!SystemCaptionFont(system)) return false;
    std::wstring caption = WindowTextOf(window);
    HFONT systemFont = CreateFontIndirectW(&system);
    bool draws = systemFont && WindowFontShowsText(window, systemFont, caption);
    if (systemFont) DeleteObject(systemFont);
    if (draws) return false;
    font_ = CreateJapaneseFontLike(system, caption, face_);
    if (font_ == nullptr) return false;
    if (!SetWindowSubclass(window, CaptionProcedure, CaptionSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
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
    LRESULT result = DefSubclassProc(window, message, wParam, lParam);
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
        RemoveWindowSubclass(window, CaptionProcedure, id);
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
    DrawCaptionTempW(window, dc, &bar, font_, icon, WindowTextOf(window).c_str(), flags);
    ReleaseDC(window, dc);
}

namespace {

// The message box shown at the moment, and what was done to it.
struct BoxAdaptation {
    HHOOK hook = nullptr;
    HWND box = nullptr;
    CaptionFont caption;
    HFONT textFont = nullptr;
};

thread_local BoxAdaptation* shownBox = nullptr;

// The box was laid out for its text in the system's message font: with the
// text in the Japanese face it grows by what the text needs more, the text
// control with it, and the buttons move along, staying centred.
void WidenForText(HWND box, HWND textControl, HFONT font) {
    RECT text;
    GetWindowRect(textControl, &text);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&text), 2);
    RECT needed = {0, 0, 0, 0};
    HDC dc = GetDC(textControl);
    HGDIOBJ previous = SelectObject(dc, font);
    DrawTextW(dc, WindowTextOf(textControl).c_str(), -1, &needed, DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(textControl, dc);
    const int dx = std::max(0, int(needed.right) - int(text.right - text.left));
    const int dy = std::max(0, int(needed.bottom) - int(text.bottom - text.top));
    if (dx == 0 && dy == 0) return;

    SetWindowPos(textControl, nullptr, 0, 0, text.right - text.left + dx, text.bottom - text.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND control : ControlsOf(box)) {
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
    const std::wstring text = WindowTextOf(textControl);
    if (WindowFontShowsText(textControl, current, text)) return;
    std::wstring face;
    adaptation.textFont = CreateJapaneseFontLike(like, text, face);
    if (adaptation.textFont == nullptr) return;
    WidenForText(box, textControl, adaptation.textFont);
    SendMessageW(textControl, WM_SETFONT, WPARAM(adaptation.textFont), TRUE);
}

// The box, once the system has laid it out for its text.
LRESULT CALLBACK BoxProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                              DWORD_PTR adaptation) {
    LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    if (message == WM_INITDIALOG)
        AdaptBox(*reinterpret_cast<BoxAdaptation*>(adaptation), window);
    else if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, BoxProcedure, id);
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
            SetWindowSubclass(adaptation->box, BoxProcedure, BoxSubclassId, reinterpret_cast<DWORD_PTR>(adaptation));
        }
    }
    return CallNextHookEx(adaptation ? adaptation->hook : nullptr, code, wParam, lParam);
}

} // namespace

int ReadableMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT type) {
    BoxAdaptation adaptation;
    adaptation.hook = SetWindowsHookExW(WH_CBT, WatchForBox, nullptr, GetCurrentThreadId());
    BoxAdaptation* outer = shownBox;
    shownBox = &adaptation;
    int result = MessageBoxW(owner, text.c_str(), title.c_str(), type);
    shownBox = outer;
    if (adaptation.hook) UnhookWindowsHookEx(adaptation.hook);
    if (adaptation.textFont) DeleteObject(adaptation.textFont);
    return result;
}
