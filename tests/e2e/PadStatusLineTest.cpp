// The dialog's status line in the real tool: where it sits among the
// template's controls, what it shows as the virtual joypad comes, is
// pressed, is released and goes, and how it shows the names real
// controllers give.
#include "E2EFixture.h"

#include "driver/PadNames.h"

namespace {

const wchar_t Ellipsis = L'\u2026';

// The ids of the dialog's controls in creation order: the template's 19,
// then the status line.
const std::vector<int> ControlIds = {FieldId(0), FieldId(1), FieldId(2), FieldId(3), FieldId(4), FieldId(5), FieldId(6),
                                     FieldId(7), OkId,       CancelId,   ClearId,    -1,         -1,         -1,
                                     -1,         -1,         -1,         -1,         -1,         PadStatusId};

BOOL CALLBACK CollectControl(HWND control, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(control);
    return TRUE;
}

// The mouse moved as a player moves it, to a point of the screen.
void MoveMouseTo(int x, int y) {
    // Absolute moves are in 0..65535 across the screen, rounded to the pixel.
    const int width = GetSystemMetrics(SM_CXSCREEN) - 1, height = GetSystemMetrics(SM_CYSCREEN) - 1;
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = LONG((x * 65535 + width / 2) / width);
    input.mi.dy = LONG((y * 65535 + height / 2) / height);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

class PadStatus : public KeyConfigEndToEnd {
protected:
    HWND Line() { return GetDlgItem(Tool().Dialog(), PadStatusId); }
    std::wstring LineText() { return KeyConfigSession::WindowTextW(Line()); }

    // The line shows the whole text, or a beginning of it cut with an ellipsis.
    static bool Shows(const std::wstring& lines, const std::wstring& whole) {
        const std::wstring shown = AsOneLine(lines);
        if (shown == whole) return true;
        if (shown.size() < 2 || shown.back() != Ellipsis) return false;
        return whole.compare(0, shown.size() - 1, shown, 0, shown.size() - 1) == 0;
    }
    bool WaitForLine(const std::string& whole) {
        const std::wstring wide = WideFromShiftJis(whole);
        return WaitUntil([&] { return Shows(LineText(), wide); }, 10000);
    }
    ::testing::AssertionResult LineShows(const std::string& whole) {
        if (Shows(LineText(), WideFromShiftJis(whole))) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "the line shows \"" << ShiftJisFromWide(LineText()) << "\", not \"" << whole << "\"";
    }

    void DeviceChange() {
        LONG enumerations = Joypad().Enumerations();
        ASSERT_TRUE(Tool().PostDeviceChange());
        ASSERT_TRUE(Joypad().WaitEnumerations(enumerations + 1)) << "the tool did not look for pads again";
    }

    // The tooltip window the line made, shown; null when there is none.
    HWND ShownTooltip() {
        for (HWND w = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr); w != nullptr;
             w = FindWindowExW(nullptr, w, L"tooltips_class32", nullptr)) {
            if (GetWindow(w, GW_OWNER) == Tool().Dialog() && IsWindowVisible(w)) return w;
        }
        return nullptr;
    }

    // The mouse comes to rest on the line, as a player's does: a tooltip
    // shows once the mouse has not moved for a moment. Its text; empty when
    // none shows.
    std::wstring RestMouseOnLine() {
        RECT line;
        GetWindowRect(Line(), &line);
        int x = (line.left + line.right) / 2, y = (line.top + line.bottom) / 2;
        HWND tooltip = nullptr;
        for (int attempt = 0; attempt < 5 && tooltip == nullptr; ++attempt) {
            MoveMouseTo(x + attempt, y);
            WaitUntil([&] { return (tooltip = ShownTooltip()) != nullptr; }, 3000);
        }
        std::wstring text = tooltip ? KeyConfigSession::WindowTextW(tooltip) : std::wstring();
        MoveMouseTo(0, 0);
        return text;
    }
};

// One control more, after the template's, that no Tab reaches: every id, the
// tab order and the first focus stay. It takes the free corner left of
// クリア: the fields' column, the buttons' row.
TEST_F(PadStatus, TheLineIsOneControlMoreOutsideTheTabOrder) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    EXPECT_EQ(FieldId(0), Tool().FocusedId()) << "the first focus";
    HWND dialog = Tool().Dialog();
    std::vector<HWND> controls;
    EnumChildWindows(dialog, CollectControl, reinterpret_cast<LPARAM>(&controls));
    std::vector<int> ids;
    for (HWND control : controls) ids.push_back(GetDlgCtrlID(control));
    EXPECT_EQ(ControlIds, ids);

    HWND line = Line();
    ASSERT_NE(nullptr, line);
    wchar_t className[16] = {};
    GetClassNameW(line, className, 16);
    EXPECT_EQ(0, lstrcmpiW(className, L"Static")) << "class " << ShiftJisFromWide(className);
    EXPECT_EQ(0, GetWindowLongW(line, GWL_STYLE) & WS_TABSTOP);
    EXPECT_TRUE(IsWindowVisible(line));
    RECT place, field, clear;
    GetWindowRect(line, &place);
    GetWindowRect(GetDlgItem(dialog, FieldId(4)), &field);
    GetWindowRect(GetDlgItem(dialog, ClearId), &clear);
    EXPECT_EQ(field.left, place.left);
    EXPECT_EQ(field.right, place.right);
    EXPECT_EQ(clear.top, place.top);
    EXPECT_EQ(clear.bottom, place.bottom);

    const int tabOrder[] = {FieldId(1), FieldId(2), FieldId(3), FieldId(4), FieldId(5), FieldId(6),
                            FieldId(7), OkId,       CancelId,   ClearId,    FieldId(0)};
    for (int id : tabOrder) {
        ASSERT_TRUE(Tool().PressKey(VK_TAB));
        ASSERT_TRUE(Tool().WaitForFocus(id)) << "Tab should reach " << id << "; the focus is on " << Tool().FocusedId();
    }
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// No controller, then the virtual joypad plugged in: its name; a button held
// with the focus on OK: the button, binding nothing; released: the name
// again; a press in a field binds as ever; pulled out: the name is gone.
TEST_F(PadStatus, TheLineFollowsTheControllerAndItsHeldButton) {
    PutSaveFile(EncodeSave(SampleSave(DefaultMasks)));
    Joypad().Detach();
    LONG enumerations = Joypad().Enumerations();
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_TRUE(Tool().WaitForDialog());
    ASSERT_TRUE(Joypad().WaitEnumerations(enumerations + 1));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(0)));
    EXPECT_TRUE(WaitForLine(NoControllerLine)) << ShiftJisFromWide(LineText());

    Joypad().Attach();
    ASSERT_NO_FATAL_FAILURE(DeviceChange());
    ASSERT_TRUE(Joypad().WaitInUse());
    EXPECT_TRUE(WaitForLine(VirtualJoypadProductName)) << ShiftJisFromWide(LineText());

    ASSERT_TRUE(Tool().Click(FieldId(7)));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(7)));
    ASSERT_TRUE(Tool().PressKey(VK_TAB));
    ASSERT_TRUE(Tool().WaitForFocus(OkId));
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({10})));
    EXPECT_TRUE(LineShows(ButtonText(10)));
    ASSERT_TRUE(Joypad().WaitReads(5)); // held over several ticks
    EXPECT_TRUE(LineShows(ButtonText(10)));
    EXPECT_EQ(DefaultTexts(), Tool().FieldTexts());
    EXPECT_EQ(OkId, Tool().FocusedId());
    // A second button held as well: the line keeps the lower one.
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({10, 12})));
    EXPECT_TRUE(LineShows(ButtonText(10)));
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({12})));
    EXPECT_TRUE(LineShows(ButtonText(12)));
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().ReleaseAll()));
    EXPECT_TRUE(LineShows(VirtualJoypadProductName));
    EXPECT_EQ(DefaultTexts(), Tool().FieldTexts());

    ASSERT_TRUE(Tool().Click(FieldId(0)));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(0)));
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({3})));
    EXPECT_EQ(ButtonText(3), Tool().FieldText(0));
    EXPECT_EQ(FieldId(1), Tool().FocusedId());
    // The tick that binds leaves the line to the next one.
    EXPECT_TRUE(WaitForLine(ButtonText(3))) << ShiftJisFromWide(LineText());
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().ReleaseAll()));
    EXPECT_TRUE(LineShows(VirtualJoypadProductName));

    Joypad().Detach();
    ASSERT_NO_FATAL_FAILURE(DeviceChange());
    ASSERT_TRUE(Joypad().WaitNoDevice());
    EXPECT_TRUE(WaitForLine(NoControllerLine)) << ShiftJisFromWide(LineText());
    Joypad().Attach();
    ExpectSavedWith({{0, 3}});
}

// The joypad's name is longer than the line: cut with an ellipsis, and whole
// in the tooltip when the mouse rests on the line.
TEST_F(PadStatus, ACutNameIsWholeInTheTooltip) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(WaitForLine(VirtualJoypadProductName));
    const std::wstring shown = LineText();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(Ellipsis, shown.back()) << "the name fits: no cut to test";

    EXPECT_EQ(WideFromShiftJis(VirtualJoypadProductName), RestMouseOnLine()) << "no tooltip over the cut line";
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// The line as a player reads it: at most two lines, each without spaces at
// its ends or runs of them, that read as a beginning of the tidied name,
// with the words that tell the pad apart whole.
::testing::AssertionResult ReadsAs(const std::wstring& lines, const RealPadName& real) {
    const std::string shown = ShiftJisFromWide(lines);
    if (StatusLines(lines).size() > 2) return ::testing::AssertionFailure() << "more than two lines: " << shown;
    const std::wstring one = AsOneLine(lines);
    if (one.empty() || one.front() == L' ' || one.back() == L' ' || one.find(L"  ") != std::wstring::npos)
        return ::testing::AssertionFailure() << "spaces at a line's end or in a run: " << shown;
    const std::wstring beginning = one.back() == Ellipsis ? one.substr(0, one.size() - 1) : one;
    if (std::wstring(real.tidied).compare(0, beginning.size(), beginning) != 0)
        return ::testing::AssertionFailure() << shown << " is not a beginning of " << ShiftJisFromWide(real.tidied);
    if (!ShowsWordsWhole(one, real.words))
        return ::testing::AssertionFailure() << shown << " does not show " << ShiftJisFromWide(real.words) << " whole";
    return ::testing::AssertionSuccess();
}

// The virtual joypad named as real controllers are, one after another: the
// line shows each as the player needs to read it. Windows' wrapper around an
// XInput pad's name is left off the line, and the tooltip gives it back.
TEST_F(PadStatus, RealNamesShowTheWordsThatTellPadsApart) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    for (const RealPadName& real : RealPadNames) {
        SCOPED_TRACE(ShiftJisFromWide(real.name));
        Joypad().NameProduct(real.name);
        ASSERT_NO_FATAL_FAILURE(DeviceChange());
        EXPECT_TRUE(WaitUntil([&] { return ReadsAs(LineText(), real); }, 10000)) << ReadsAs(LineText(), real).message();
        if (real.tidied != std::wstring(L"Xbox One For Windows")) continue;
        EXPECT_EQ(std::wstring(real.name), RestMouseOnLine()) << "the tooltip gives the whole name";
    }
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

} // namespace
