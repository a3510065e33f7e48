// The status line: its text from a pad's name, no pad or a held button; the
// cut with an ellipsis; and on a real static control, the tooltip of a cut
// line and no text update while the line stays the same.
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

// The line on a real static control, as the dialog has it.
class PadStatusLineWindow : public testing::Test {
protected:
    static constexpr int LineId = 1012;

    void SetUp() override {
        dialog_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, dialog_);
        control_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY | SS_NOPREFIX, 5, 5, 200, 20,
                                   dialog_, reinterpret_cast<HMENU>(LineId), nullptr, nullptr);
        ASSERT_NE(nullptr, control_);
        line_.Attach(dialog_, LineId);
    }
    void TearDown() override { DestroyWindow(dialog_); }

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

// A name too long for the line is cut; pointing at the line gives the whole
// name as a tooltip. A name that fits has none.
TEST_F(PadStatusLineWindow, ACutNameHasTheWholeNameAsTooltip) {
    const char longName[] = "Orvanne Virtual Joypad with a very long product name";
    line_.ShowPad(longName);
    std::wstring shown = Shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(L'\u2026', shown.back());
    EXPECT_EQ(
        0u,
        std::wstring(L"Orvanne Virtual Joypad with a very long product name").find(shown.substr(0, shown.size() - 1)));
    EXPECT_TRUE(Tooltips().empty()) << "made before the line was pointed at";

    line_.PointedAt(dialog_); // another window: nothing
    EXPECT_TRUE(Tooltips().empty());
    line_.PointedAt(control_);
    std::vector<HWND> tooltips = Tooltips();
    ASSERT_EQ(1u, tooltips.size());
    EXPECT_EQ(std::wstring(L"Orvanne Virtual Joypad with a very long product name"), TooltipText(tooltips[0]));
    line_.PointedAt(control_);
    EXPECT_EQ(1u, Tooltips().size()) << "one tooltip, however often pointed at";

    line_.ShowPad("ゲームパッド2");
    EXPECT_EQ(L"ゲームパッド2", Shown());
    EXPECT_EQ(L"", TooltipText(tooltips[0])) << "a name that fits has no tooltip";
}

TEST_F(PadStatusLineWindow, ANameThatFitsMakesNoTooltip) {
    line_.ShowPad("Pad");
    line_.PointedAt(control_);
    EXPECT_TRUE(Tooltips().empty());
}

} // namespace
