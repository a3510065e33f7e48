#include "app/PadStatusLine.h"

#include "app/Dialog.h"
#include "app/KeyBindings.h"

namespace {

constexpr int ButtonTextSize = 32;
const wchar_t Ellipsis[] = L"\u2026";

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

const char NoControllerText[] = "未接続";

std::string PadStatusText(const char* padName, int heldButtonBit) {
    if (heldButtonBit >= FirstButtonBit) {
        char text[ButtonTextSize];
        FormatBindingText(heldButtonBit - FirstButtonBit, text, sizeof text);
        return text;
    }
    return padName != nullptr ? padName : NoControllerText;
}

int HeldButtonBit(uint32_t padBits) {
    bool anyButtonDown;
    return FindButtonToAssign(padBits, Unbound, anyButtonDown);
}

FittedText FitToWidth(const std::wstring& text, int width, const TextWidth& measure) {
    if (measure(text) <= width) return {text, false};
    // The longest beginning that fits with the ellipsis, never half a
    // surrogate pair, without the spaces before the cut.
    for (size_t length = text.size(); length-- > 0;) {
        if (length > 0 && IsHighSurrogate(text[length - 1])) continue;
        std::wstring shown = text.substr(0, length);
        while (!shown.empty() && shown.back() == L' ') shown.pop_back();
        shown += Ellipsis;
        if (measure(shown) <= width || length == 0) return {shown, true};
    }
    return {Ellipsis, true};
}

void PadStatusLine::Attach(HWND dialog, int id) {
    line_ = GetDlgItem(dialog, id);
}

void PadStatusLine::ShowPad(const char* padName) {
    hasPad_ = padName != nullptr;
    padName_ = hasPad_ ? padName : "";
    Show();
}

void PadStatusLine::ShowRead(uint32_t padBits) {
    int held = HeldButtonBit(padBits);
    if (held == heldBit_) return;
    heldBit_ = held;
    Show();
}

void PadStatusLine::PointedAt(HWND control) {
    if (control != line_ || !cut_ || tooltip_.Made()) return;
    tooltip_.Make(line_);
}

void PadStatusLine::Show() {
    if (line_ == nullptr) return;
    std::wstring whole = WideFromShiftJis(PadStatusText(hasPad_ ? padName_.c_str() : nullptr, heldBit_).c_str());
    // One device context, in the line's font, for every measure of the cut.
    HDC dc = GetDC(line_);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(line_, WM_GETFONT, 0, 0)));
    FittedText fitted = FitToWidth(whole, LineWidth(), [dc](const std::wstring& text) {
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
        return int(size.cx);
    });
    SelectObject(dc, previous);
    ReleaseDC(line_, dc);
    cut_ = fitted.cut;
    SetWindowTextW(line_, fitted.shown.c_str());
    tooltip_.SetText(cut_ ? whole : std::wstring());
}

int PadStatusLine::LineWidth() const {
    RECT client;
    GetClientRect(line_, &client);
    return client.right - client.left;
}
