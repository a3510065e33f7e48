#include "app/PadStatusLine.h"

#include "app/Dialog.h"
#include "app/KeyBindings.h"

#include <algorithm>
#include <cwchar>

namespace {

constexpr int ButtonTextSize = 32;
const wchar_t Ellipsis[] = L"\u2026";
const wchar_t LineBreak[] = L"\r\n";
// Windows names an XInput pad to DirectInput "Controller (<its name>)".
const wchar_t WrapperStart[] = L"Controller (";
const wchar_t WrapperEnd = L')';

// Japanese lines break between any two characters, except before the marks
// that never start a line (closing brackets, punctuation, the long vowel
// mark, small kana) and after those that never end one (opening brackets).
const wchar_t NeverStartsALine[] =
    L")]}、。，．・：；？！ー）］」』】〕〉》ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ"
    L"々ゝゞヽヾ｡｣､･ｧｨｩｪｫｬｭｮｯｰﾞﾟ";
const wchar_t NeverEndsALine[] = L"([{（［「『【〔〈《｢";

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Space to a line: the space characters, and the control characters that a
// driver's name may carry and no font draws.
bool IsSpace(wchar_t c) {
    return c <= L' ' || c == 0x7F || c == 0x3000;
}

// The scripts whose lines break between characters: kana, kanji, the full
// and half width forms.
bool BreaksAnywhere(wchar_t c) {
    return (c >= 0x2E80 && c < 0xD800) || (c >= 0xF900 && c <= 0xFFDC);
}

bool IsIn(const wchar_t* set, wchar_t c) {
    return c != L'\0' && std::wcschr(set, c) != nullptr;
}

// Whether a line may end before text[at], 0 < at < size: after a space, or
// next to a Japanese character.
bool MayBreakBefore(const std::wstring& text, size_t at) {
    const wchar_t before = text[at - 1], after = text[at];
    if (before == L' ') return true;
    if (after == L' ' || IsLowSurrogate(after)) return false;
    if (!BreaksAnywhere(before) && !BreaksAnywhere(after)) return false;
    return !IsIn(NeverStartsALine, after) && !IsIn(NeverEndsALine, before);
}

std::wstring WithoutEndSpace(std::wstring text) {
    while (!text.empty() && text.back() == L' ') text.pop_back();
    return text;
}

// Where the first of two lines ends: at the last break before which the line
// fits. A first word wider than the line is broken after its last character
// that fits, never inside a surrogate pair; one character at least, so that
// the line moves on however narrow it is.
size_t FirstLineEnd(const std::wstring& text, int width, const TextWidth& measure) {
    size_t end = 0;
    for (size_t at = 1; at < text.size(); ++at) {
        if (!MayBreakBefore(text, at)) continue;
        if (measure(WithoutEndSpace(text.substr(0, at))) > width) break;
        end = at;
    }
    if (end > 0) return end;
    size_t fits = IsHighSurrogate(text[0]) && text.size() > 1 ? 2 : 1;
    for (size_t at = fits + 1; at < text.size(); ++at) {
        if (IsLowSurrogate(text[at])) continue;
        if (measure(text.substr(0, at)) > width) break;
        fits = at;
    }
    return fits;
}

StatusLineText TwoLines(const TidyName& name, int width, const TextWidth& measure) {
    const size_t end = FirstLineEnd(name.text, width, measure);
    std::wstring rest = name.text.substr(end);
    if (!rest.empty() && rest[0] == L' ') rest.erase(0, 1); // the break's space
    std::wstring first = WithoutEndSpace(name.text.substr(0, end));
    if (rest.empty()) return {first, true, false, name.unwrapped}; // one character, wider than the line
    FittedText second = FitToWidth(rest, width, measure);
    return {first + LineBreak + second.shown, true, true, second.cut || name.unwrapped};
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
        std::wstring shown = WithoutEndSpace(text.substr(0, length)) + Ellipsis;
        if (measure(shown) <= width || length == 0) return {shown, true};
    }
    return {Ellipsis, true};
}

TidyName TidyPadName(const std::wstring& name) {
    TidyName tidy;
    for (wchar_t c : name) {
        if (!IsSpace(c))
            tidy.text += c;
        else if (!tidy.text.empty() && tidy.text.back() != L' ')
            tidy.text += L' ';
    }
    tidy.text = WithoutEndSpace(tidy.text);
    const size_t start = std::wcslen(WrapperStart);
    if (tidy.text.size() > start + 1 && tidy.text.compare(0, start, WrapperStart) == 0 &&
        tidy.text.back() == WrapperEnd) {
        std::wstring inner = WithoutEndSpace(tidy.text.substr(start, tidy.text.size() - start - 1));
        if (!inner.empty() && inner[0] == L' ') inner.erase(0, 1);
        if (!inner.empty()) tidy = {inner, true};
    }
    return tidy;
}

StatusLineText LayOutStatusText(const std::wstring& text, int width, const TextWidth& inDialogFont,
                                const TextWidth& inSmallFont) {
    const TidyName name = TidyPadName(text);
    if (inDialogFont(name.text) <= width) return {name.text, false, false, name.unwrapped};
    if (inSmallFont(name.text) <= width) return {name.text, true, false, name.unwrapped};
    return TwoLines(name, width, inSmallFont);
}

int SmallFontCellHeight(int clientHeight, int dialogCellHeight, const std::function<int(int cellHeight)>& lineHeight) {
    int cell = std::min(clientHeight / 2, dialogCellHeight);
    while (cell > 1 && 2 * lineHeight(cell) > clientHeight) --cell;
    return std::max(cell, 1);
}

PadStatusLine::~PadStatusLine() {
    if (smallFont_ == nullptr) return;
    // The control goes with the dialog, before the line; should it outlive
    // the line, it must not draw with a deleted font.
    if (IsWindow(line_) && reinterpret_cast<HFONT>(SendMessageW(line_, WM_GETFONT, 0, 0)) == smallFont_)
        SendMessageW(line_, WM_SETFONT, WPARAM(dialogFont_), FALSE);
    DeleteObject(smallFont_);
}

void PadStatusLine::Attach(HWND dialog, int id) {
    line_ = GetDlgItem(dialog, id);
    dialogFont_ = line_ ? reinterpret_cast<HFONT>(SendMessageW(line_, WM_GETFONT, 0, 0)) : nullptr;
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
    // One device context for every measure, in whichever font it asks for.
    HDC dc = GetDC(line_);
    HGDIOBJ previous = GetCurrentObject(dc, OBJ_FONT);
    auto widthIn = [dc](HFONT font) {
        return [dc, font](const std::wstring& text) {
            SelectObject(dc, font);
            SIZE size = {0, 0};
            GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
            return int(size.cx);
        };
    };
    // The smaller font is made only when a name asks for it, on its first measure.
    StatusLineText text = LayOutStatusText(whole, LineWidth(), widthIn(BaseFont()),
                                           [&](const std::wstring& line) { return widthIn(SmallFont())(line); });
    SelectObject(dc, previous);
    ReleaseDC(line_, dc);
    Apply(text);
    tooltip_.SetText(cut_ ? whole : std::wstring());
}

// The font first, then the style, then the text, whose change repaints the
// line. One line stands in the middle of the line's height, as the buttons'
// texts do; two fill it from the top.
void PadStatusLine::Apply(const StatusLineText& text) {
    HFONT font = text.smallFont ? SmallFont() : dialogFont_;
    if (reinterpret_cast<HFONT>(SendMessageW(line_, WM_GETFONT, 0, 0)) != font)
        SendMessageW(line_, WM_SETFONT, WPARAM(font), FALSE);
    const LONG style = GetWindowLongW(line_, GWL_STYLE);
    const LONG wanted = text.twoLines ? style & ~SS_CENTERIMAGE : style | SS_CENTERIMAGE;
    if (wanted != style) SetWindowLongW(line_, GWL_STYLE, wanted);
    cut_ = text.cut;
    SetWindowTextW(line_, text.shown.c_str());
}

// The dialog's font, which the line has from the start; a control without a
// font of its own draws in the system font.
HFONT PadStatusLine::BaseFont() const {
    return dialogFont_ ? dialogFont_ : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

// The dialog's font at the size that fits two lines into the line's height.
// Where it cannot be made, the dialog's font stands in.
HFONT PadStatusLine::SmallFont() {
    if (smallFont_) return smallFont_;
    LOGFONTW like{};
    if (GetObjectW(BaseFont(), sizeof like, &like) == 0) return BaseFont();
    RECT client;
    GetClientRect(line_, &client);
    HDC dc = GetDC(line_);
    auto lineHeight = [&](int cellHeight) {
        like.lfHeight = cellHeight; // positive: the cell's height, not the characters'
        like.lfWidth = 0;
        HFONT font = CreateFontIndirectW(&like);
        TEXTMETRICW metrics{};
        HGDIOBJ previous = SelectObject(dc, font);
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, previous);
        DeleteObject(font);
        return int(metrics.tmHeight);
    };
    HGDIOBJ previous = SelectObject(dc, BaseFont());
    TEXTMETRICW baseMetrics{};
    GetTextMetricsW(dc, &baseMetrics);
    like.lfHeight = SmallFontCellHeight(client.bottom - client.top, baseMetrics.tmHeight, lineHeight);
    SelectObject(dc, previous);
    ReleaseDC(line_, dc);
    like.lfWidth = 0;
    smallFont_ = CreateFontIndirectW(&like);
    return smallFont_ ? smallFont_ : BaseFont();
}

int PadStatusLine::LineWidth() const {
    RECT client;
    GetClientRect(line_, &client);
    return client.right - client.left;
}
