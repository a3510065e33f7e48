// The status line: its text from a pad's name, no pad or a held button; the
// name tidied, laid out in one or two lines and cut with an ellipsis; the
// smaller font's size; and on a real static control, the fonts and lines it
// shows, the tooltip of a cut line and no text update while the line stays
// the same.
#include "app/PadStatusLine.h"
#include "app/Dialog.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

TEST(PadStatusText, NameNoPadOrHeldButton) {
    const struct {
        const char* name; // null: no pad
        int heldBit;
        const char* text;
    } cases[] = {
        {"Orvanne Virtual Joypad", -1, "Orvanne Virtual Joypad"},
        {"ゲームパッド", -1, "ゲームパッド"},
        {nullptr, -1, "未接続"},
        {"Orvanne Virtual Joypad", 4, "Button1"},
        {"Orvanne Virtual Joypad", 13, "Button10"},
        {"Orvanne Virtual Joypad", 27, "Button24"},
        {nullptr, 5, "Button2"}, // the winmm joystick mode reads a joystick it has no name for yet
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::string(c.text), PadStatusText(c.name, c.heldBit))
            << (c.name ? c.name : "(none)") << " " << c.heldBit;
    EXPECT_STREQ("未接続", NoControllerText);
}

// The lowest held button, as a binding takes it; directions are no buttons.
TEST(PadStatusText, HeldButtonOfARead) {
    const struct {
        uint32_t bits;
        int held;
    } cases[] = {
        {0, -1}, {0xF, -1}, {0x10, 4}, {0x2000, 13}, {0x2000 | 0x40 | 0x1, 6}, {0x8000000, 27}, {0x80000000u, 31},
    };
    for (const auto& c : cases) EXPECT_EQ(c.held, HeldButtonBit(c.bits)) << std::hex << c.bits;
}

// A measure like a proportional Japanese font: 6 pixels for a character of
// the Latin range, 12 for any other (the ellipsis among them).
int Measure(const std::wstring& text) {
    int width = 0;
    for (wchar_t c : text) width += c < 0x100 ? 6 : 12;
    return width;
}

TEST(FitToWidth, WholeOrCutWithAnEllipsis) {
    const struct {
        const wchar_t* text;
        int width;
        const wchar_t* shown;
        bool cut;
    } cases[] = {
        {L"Gamepad", 42, L"Gamepad", false}, // exactly fits
        {L"Gamepad", 100, L"Gamepad", false},
        {L"", 10, L"", false},
        {L"Gamepad", 41, L"Game\u2026", true},         // 24 + 12 = 36; "Gamep…" would be 42
        {L"Gamepad F310", 60, L"Gamepad\u2026", true}, // the space before the cut goes
        {L"コントローラーが接続されていません", 67, L"コントロ\u2026", true},
        {L"Gamepad", 12, L"\u2026", true},
        {L"Gamepad", 3, L"\u2026", true}, // not even the ellipsis fits: it alone
        {L"Pad \U0001F3AE\U0001F3AE", 60, L"Pad \U0001F3AE\u2026", true},
        {L"Pad \U0001F3AE\U0001F3AE", 59, L"Pad\u2026", true}, // never half a surrogate pair (48 wide)
    };
    for (const auto& c : cases) {
        FittedText fitted = FitToWidth(c.text, c.width, Measure);
        EXPECT_EQ(std::wstring(c.shown), fitted.shown) << c.width;
        EXPECT_EQ(c.cut, fitted.cut) << c.width;
        EXPECT_LE(Measure(fitted.shown), std::max(c.width, 12)) << c.width;
    }
}

// For the messages, which are read as UTF-8.
std::string Utf8(const std::wstring& text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(length > 0 ? length : 0), '\0');
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &bytes[0], length, nullptr, nullptr);
    return bytes;
}

// Names as drivers give them, tidied for the line.
TEST(TidyPadName, SpacesAndTheXInputWrapper) {
    const struct {
        const wchar_t* name;
        const wchar_t* text;
        bool unwrapped;
    } cases[] = {
        {L"Generic   USB  Joystick  ", L"Generic USB Joystick", false},
        {L"  \tPad\x01Name \r\n", L"Pad Name", false}, // control characters count as spaces
        {L"ゲームパッド\u3000\u3000ＵＳＢ", L"ゲームパッド ＵＳＢ", false},
        {L"Controller (Xbox One For Windows)", L"Xbox One For Windows", true},
        {L"Controller  ( XBOX 360 For Windows )  ", L"XBOX 360 For Windows", true}, // spaces first
        {L"Controller(Pad)", L"Controller(Pad)", false},
        {L"Controller (Pad (Rev. 2))", L"Pad (Rev. 2)", true},
        {L"Controller ()", L"Controller ()", false}, // nothing inside: the name as it is
        {L"Controller ( )", L"Controller ( )", false},
        {L"Controller", L"Controller", false},
        {L"Wireless Controller (Pad)", L"Wireless Controller (Pad)", false},
        {L"controller (Pad)", L"controller (Pad)", false}, // Windows' own words only
        {L"   ", L"", false},
        {L"", L"", false},
    };
    for (const auto& c : cases) {
        TidyName tidy = TidyPadName(c.name);
        EXPECT_EQ(std::wstring(c.text), tidy.text) << Utf8(c.name);
        EXPECT_EQ(c.unwrapped, tidy.unwrapped) << Utf8(c.name);
    }
}

// Made-up measures of the dialog's font and the line's smaller one: 7 and 6
// pixels for a character of the Latin range, 13 and 12 for any other (the
// ellipsis and each half of a surrogate pair among them).
int InDialogFont(const std::wstring& text) {
    int width = 0;
    for (wchar_t c : text) width += c < 0x100 ? 7 : 13;
    return width;
}
int InSmallFont(const std::wstring& text) {
    int width = 0;
    for (wchar_t c : text) width += c < 0x100 ? 6 : 12;
    return width;
}

std::vector<std::wstring> Lines(const std::wstring& shown) {
    std::vector<std::wstring> lines;
    for (size_t start = 0;;) {
        size_t end = shown.find(L"\r\n", start);
        lines.push_back(shown.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return lines;
        start = end + 2;
    }
}

TEST(LayOutStatusText, OneLineTwoLinesOrCut) {
    const struct {
        const wchar_t* text;
        int width;
        const wchar_t* shown;
        bool smallFont, twoLines, cut;
    } cases[] = {
        // What fits stays in the dialog's font: no pad, a held button.
        {L"未接続", 68, L"未接続", false, false, false},
        {L"Button10", 68, L"Button10", false, false, false},
        {L"Controller (Pad)", 68, L"Pad", false, false, true}, // the tooltip gives the wrapper back
        {L"", 68, L"", false, false, false},
        // One line of the smaller font, where that is enough.
        {L"USB Gamepad", 68, L"USB Gamepad", true, false, false},
        {L"USB Gamepad", 66, L"USB Gamepad", true, false, false}, // exactly fits
        // Two lines, broken between words.
        {L"Controller (Xbox One For Windows)", 68, L"Xbox One\r\nFor Windows", true, true, true},
        {L"Controller (XBOX 360 For Windows)", 68, L"XBOX 360\r\nFor Windows", true, true, true},
        {L"Generic   USB  Joystick  ", 68, L"Generic USB\r\nJoystick", true, true, false},
        {L"8BitDo SN30 Pro+", 68, L"8BitDo SN30\r\nPro+", true, true, false},
        {L"Pro Controller", 68, L"Pro\r\nController", true, true, false},
        // The second line cut where the rest is too long, the space before the cut gone.
        {L"DualSense Wireless Controller", 68, L"DualSense\r\nWireless\u2026", true, true, true},
        {L"HORI Fighting Commander", 68, L"HORI\r\nFighting\u2026", true, true, true},
        {L"HORI Fighting Commander", 73, L"HORI\r\nFighting C\u2026", true, true, true},
        // A first word wider than a line is broken where the line ends.
        {L"Superlonggamepadname", 68, L"Superlongga\r\nmepadname", true, true, false},
        {L"Superlonggamepadname Pro", 68, L"Superlongga\r\nmepadname\u2026", true, true, true},
        {L"Superlonggamepadname", 3, L"S\r\n\u2026", true, true, true}, // narrower than a character: one
        {L"W", 3, L"W", true, false, false},                            // a single one stays
        // Japanese breaks between characters, never before a long vowel mark
        // or a small kana, never after an opening bracket.
        {L"ワイヤレスコントローラー", 68, L"ワイヤレス\r\nコントロ\u2026", true, true, true},
        {L"コントローラー", 48, L"コント\r\nローラー", true, true, false},
        {L"パッド（ＵＳＢ）", 48, L"パッド\r\n（ＵＳ\u2026", true, true, true},
        {L"ゲームパッド ＵＳＢ", 72, L"ゲームパッド\r\nＵＳＢ", true, true, false},
        {L"HORI ファイティングコマンダー", 68, L"HORI ファイ\r\nティング\u2026", true, true, true},
        // Never half a surrogate pair on either line.
        {L"\U0001F3AE\U0001F3AE\U0001F3AE\U0001F3AE", 60, L"\U0001F3AE\U0001F3AE\r\n\U0001F3AE\U0001F3AE", true, true,
         false},
        {L"\U0001F3AE\U0001F3AE\U0001F3AE\U0001F3AE\U0001F3AE\U0001F3AE", 59,
         L"\U0001F3AE\U0001F3AE\r\n\U0001F3AE\u2026", true, true, true},
    };
    for (const auto& c : cases) {
        const std::string what = Utf8(c.text) + " in " + std::to_string(c.width);
        StatusLineText laid = LayOutStatusText(c.text, c.width, InDialogFont, InSmallFont);
        EXPECT_EQ(std::wstring(c.shown), laid.shown) << what;
        EXPECT_EQ(c.smallFont, laid.smallFont) << what;
        EXPECT_EQ(c.twoLines, laid.twoLines) << what;
        EXPECT_EQ(c.cut, laid.cut) << what;
        // Every line fits in the font it is shown in, but for one character wider than the line.
        std::vector<std::wstring> lines = Lines(laid.shown);
        EXPECT_EQ(laid.twoLines ? 2u : 1u, lines.size()) << what;
        for (const std::wstring& line : lines) {
            const int width = laid.smallFont ? InSmallFont(line) : InDialogFont(line);
            if (line.size() > 1) {
                EXPECT_LE(width, c.width) << what;
            }
        }
    }
}

// The smaller font: the largest cell at which two of its lines fit the
// line's height, never above the dialog's font.
TEST(SmallFontCellHeight, TwoLinesFitTheHeight) {
    const struct {
        int clientHeight, dialogCell;
        int leading; // a line of the font is its cell and this much
        int cell;
    } cases[] = {
        {24, 13, 0, 12}, {23, 13, 0, 11}, {25, 13, 0, 12},
        {24, 13, 1, 11}, {24, 13, 3, 9},  {40, 13, 0, 13}, // room for two lines of the dialog's font: that size
        {3, 13, 0, 1},   {0, 13, 0, 1},   {2, 13, 5, 1},
    };
    for (const auto& c : cases) {
        int asked = 0;
        const int cell = SmallFontCellHeight(c.clientHeight, c.dialogCell, [&](int height) {
            ++asked;
            return height + c.leading;
        });
        EXPECT_EQ(c.cell, cell) << c.clientHeight << " " << c.dialogCell << " " << c.leading;
        EXPECT_LE(asked, 20);
    }
}

// The line on a real static control, as the dialog has it: 45 x 15 dialog
// units of 9-point "ＭＳ Ｐゴシック" at 96 dots per inch.
class PadStatusLineWindow : public testing::Test {
protected:
    static constexpr int LineId = 1012;

    void SetUp() override {
        dialog_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, dialog_);
        control_ = CreateWindowExW(0, L"STATIC", L"",
                                   WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE | SS_NOTIFY,
                                   5, 5, 68, 24, dialog_, reinterpret_cast<HMENU>(LineId), nullptr, nullptr);
        ASSERT_NE(nullptr, control_);
        LOGFONTW like{};
        like.lfHeight = -12;
        like.lfCharSet = DEFAULT_CHARSET;
        lstrcpyW(like.lfFaceName, L"ＭＳ Ｐゴシック");
        font_ = CreateFontIndirectW(&like);
        ASSERT_NE(nullptr, font_);
        SendMessageW(control_, WM_SETFONT, WPARAM(font_), FALSE);
        line_.Attach(dialog_, LineId);
    }
    void TearDown() override {
        DestroyWindow(dialog_);
        DeleteObject(font_);
    }

    HFONT Font() const { return reinterpret_cast<HFONT>(SendMessageW(control_, WM_GETFONT, 0, 0)); }
    bool Centred() const { return (GetWindowLongW(control_, GWL_STYLE) & SS_CENTERIMAGE) != 0; }

    // Each line of the text shown fits the control's width in the control's
    // font, and all of them its height.
    void ExpectLinesFit() const {
        RECT client;
        GetClientRect(control_, &client);
        HDC dc = GetDC(control_);
        HGDIOBJ previous = SelectObject(dc, Font());
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        const std::vector<std::wstring> lines = Lines(Shown());
        for (const std::wstring& line : lines) {
            SIZE size{};
            GetTextExtentPoint32W(dc, line.c_str(), int(line.size()), &size);
            EXPECT_LE(size.cx, client.right) << Utf8(line);
        }
        EXPECT_LE(int(lines.size()) * metrics.tmHeight, client.bottom);
        SelectObject(dc, previous);
        ReleaseDC(control_, dc);
    }

    std::wstring Shown() const { return WindowTextW(control_); }

    // The tooltip windows owned by the dialog, as the line makes them.
    std::vector<HWND> Tooltips() const {
        std::vector<HWND> found;
        for (HWND w = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr); w != nullptr;
             w = FindWindowExW(nullptr, w, L"tooltips_class32", nullptr)) {
            if (GetWindow(w, GW_OWNER) == dialog_) found.push_back(w);
        }
        return found;
    }

    std::wstring TooltipText(HWND tooltip) const {
        wchar_t text[512] = {};
        TTTOOLINFOW tool = {};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = dialog_;
        tool.uId = reinterpret_cast<UINT_PTR>(control_);
        tool.lpszText = text;
        SendMessageW(tooltip, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
        return text;
    }

    HWND dialog_ = nullptr;
    HWND control_ = nullptr;
    HFONT font_ = nullptr; // the dialog's font
    PadStatusLine line_;
};

TEST_F(PadStatusLineWindow, NameThenHeldButtonThenNameAgain) {
    line_.ShowPad("Pad");
    EXPECT_EQ(L"Pad", Shown());
    line_.ShowRead(0x2000 | 0x1);
    EXPECT_EQ(L"Button10", Shown());
    line_.ShowRead(0);
    EXPECT_EQ(L"Pad", Shown());
    line_.ShowPad(nullptr);
    EXPECT_EQ(WideFromShiftJis(NoControllerText).substr(0, 2), Shown().substr(0, 2));
}

// A tick whose line stays the same sets no text: the mark put there stays.
TEST_F(PadStatusLineWindow, TheTextChangesOnlyWhenTheLineDoes) {
    line_.ShowPad("Pad");
    line_.ShowRead(0x40);
    SetWindowTextW(control_, L"mark");
    line_.ShowRead(0x40);
    line_.ShowRead(0x40 | 0x100 | 0x2); // another button held after it, and a direction
    EXPECT_EQ(L"mark", Shown());
    line_.ShowRead(0x100);
    EXPECT_EQ(L"Button5", Shown());
    SetWindowTextW(control_, L"mark");
    line_.ShowRead(0x1);
    EXPECT_EQ(L"Pad", Shown());
}

// A name too long for two lines is cut; pointing at the line gives the whole
// name as a tooltip. A name that fits has none.
TEST_F(PadStatusLineWindow, ACutNameHasTheWholeNameAsTooltip) {
    const wchar_t longName[] = L"Orvanne Virtual Joypad with a very long product name";
    line_.ShowPad("Orvanne Virtual Joypad with a very long product name");
    std::vector<std::wstring> lines = Lines(Shown());
    ASSERT_EQ(2u, lines.size());
    ASSERT_FALSE(lines[1].empty());
    EXPECT_EQ(L'\u2026', lines[1].back());
    EXPECT_EQ(0u, std::wstring(longName).find(lines[0] + L" " + lines[1].substr(0, lines[1].size() - 1)));
    EXPECT_TRUE(Tooltips().empty()) << "made before the line was pointed at";

    line_.PointedAt(dialog_); // another window: nothing
    EXPECT_TRUE(Tooltips().empty());
    line_.PointedAt(control_);
    std::vector<HWND> tooltips = Tooltips();
    ASSERT_EQ(1u, tooltips.size());
    EXPECT_EQ(std::wstring(longName), TooltipText(tooltips[0]));
    line_.PointedAt(control_);
    EXPECT_EQ(1u, Tooltips().size()) << "one tooltip, however often pointed at";

    line_.ShowPad("パッド2");
    EXPECT_EQ(L"パッド2", Shown());
    EXPECT_EQ(L"", TooltipText(tooltips[0])) << "a name that fits has no tooltip";
}

// Windows' wrapper around an XInput pad's name is left off the line, which
// is then not the whole name: the tooltip gives it.
TEST_F(PadStatusLineWindow, TheWrapperIsInTheTooltipOnly) {
    line_.ShowPad("Controller (Pad)");
    EXPECT_EQ(L"Pad", Shown());
    line_.PointedAt(control_);
    std::vector<HWND> tooltips = Tooltips();
    ASSERT_EQ(1u, tooltips.size());
    EXPECT_EQ(L"Controller (Pad)", TooltipText(tooltips[0]));
}

// A name too wide for a line of the dialog's font takes two lines of a
// smaller one, which fit the control; no pad and a held button stay in the
// dialog's font, in the middle of the line's height. The smaller font is
// made once.
TEST_F(PadStatusLineWindow, TwoLinesInASmallerFontWhereTheNameNeedsThem) {
    line_.ShowPad("DualSense Wireless Controller");
    std::vector<std::wstring> lines = Lines(Shown());
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(L"DualSense", lines[0]);
    EXPECT_EQ(0u, lines[1].find(L"Wireless"));
    const HFONT smaller = Font();
    EXPECT_NE(font_, smaller);
    EXPECT_FALSE(Centred()) << "two lines fill the line from its top";
    ASSERT_NO_FATAL_FAILURE(ExpectLinesFit());
    LOGFONTW dialog{}, small{};
    ASSERT_NE(0, GetObjectW(font_, sizeof dialog, &dialog));
    ASSERT_NE(0, GetObjectW(smaller, sizeof small, &small));
    EXPECT_STREQ(dialog.lfFaceName, small.lfFaceName);

    line_.ShowRead(0x2000);
    EXPECT_EQ(L"Button10", Shown());
    EXPECT_EQ(font_, Font());
    EXPECT_TRUE(Centred());
    line_.ShowRead(0);
    EXPECT_EQ(2u, Lines(Shown()).size());
    EXPECT_EQ(smaller, Font()) << "made once";
    line_.ShowPad(nullptr);
    EXPECT_EQ(WideFromShiftJis(NoControllerText), Shown());
    EXPECT_EQ(font_, Font());
    EXPECT_TRUE(Centred());
    ASSERT_NO_FATAL_FAILURE(ExpectLinesFit());

    // A Shift-JIS name breaks between its words too.
    line_.ShowPad("ワイヤレス パッド");
    lines = Lines(Shown());
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(L"ワイヤレス", lines[0]);
    EXPECT_EQ(0u, std::wstring(L"パッド").find(lines[1].substr(0, 1)));
    EXPECT_EQ(smaller, Font());
    ASSERT_NO_FATAL_FAILURE(ExpectLinesFit());
}

// The smaller font is the line's own: deleted with it, and the control,
// should it live on, draws in the dialog's font again.
TEST_F(PadStatusLineWindow, TheSmallerFontGoesWithTheLine) {
    HFONT smaller = nullptr;
    {
        PadStatusLine line;
        line.Attach(dialog_, LineId);
        line.ShowPad("DualSense Wireless Controller");
        smaller = Font();
        ASSERT_NE(font_, smaller);
        EXPECT_EQ(DWORD(OBJ_FONT), GetObjectType(smaller));
    }
    EXPECT_EQ(0u, GetObjectType(smaller)) << "not deleted";
    EXPECT_EQ(font_, Font());
}

TEST_F(PadStatusLineWindow, ANameThatFitsMakesNoTooltip) {
    line_.ShowPad("Pad");
    line_.PointedAt(control_);
    EXPECT_TRUE(Tooltips().empty());
}

} // namespace
