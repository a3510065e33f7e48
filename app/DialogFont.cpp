#include "app/DialogFont.h"

#include "app/Dialog.h"
#include "app/JapaneseFace.h"

#include <vector>

DialogFont::~DialogFont() {
    if (font_) DeleteObject(font_);
}

bool DialogFont::MakeDrawable(HWND dialog) {
    std::vector<HWND> controls = ChildWindows(dialog);
    std::wstring texts;
    for (HWND control : controls) texts += WindowTextW(control);

    HFONT current = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    if (current == nullptr) current = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW wanted{};
    if (GetObjectW(current, sizeof wanted, &wanted) == 0) return false;
    if (WindowFontDrawsText(dialog, current, texts)) return false;
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
