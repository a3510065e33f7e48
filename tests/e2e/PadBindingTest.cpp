// Binding joypad buttons to keys with the virtual joypad, in the real tool.
#include "E2EFixture.h"

namespace {

class PadBinding : public KeyConfigEndToEnd {};

TEST_F(PadBinding, PressesBindAndMoveTheFocusThroughTheKeysInOrder) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    std::vector<std::pair<int, int>> bound;
    for (int slot = 0; slot < SlotCount; ++slot) {
        int button = 13 + slot;
        SCOPED_TRACE(testing::Message() << "slot " << slot << ", button " << button);
        ASSERT_TRUE(Joypad().Press(button));
        EXPECT_EQ(ButtonText(button), Tool().FieldText(slot));
        // After B, the last key, the focus stays where it is.
        EXPECT_EQ(FieldId(slot < SlotCount - 1 ? slot + 1 : slot), Tool().FocusedId());
        bound.push_back({slot, button});
    }
    // A further press rebinds B.
    ASSERT_TRUE(Joypad().Press(24));
    EXPECT_EQ(ButtonText(24), Tool().FieldText(7));
    EXPECT_EQ(FieldId(7), Tool().FocusedId());
    bound.push_back({7, 24});
    ExpectSavedWith(bound);
}

TEST_F(PadBinding, HoldingAButtonAssignsItOnce) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({6})));
    ASSERT_TRUE(Joypad().WaitReads(5)); // held over several ticks
    std::vector<std::string> texts = DefaultTexts();
    texts[0] = ButtonText(6);
    EXPECT_EQ(texts, Tool().FieldTexts());
    EXPECT_EQ(FieldId(1), Tool().FocusedId());

    // Released and pressed again, it goes to the next key.
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().ReleaseAll()));
    ASSERT_TRUE(Joypad().Press(6));
    texts[1] = ButtonText(6);
    EXPECT_EQ(texts, Tool().FieldTexts());
    EXPECT_EQ(FieldId(2), Tool().FocusedId());
    ExpectSavedWith({{0, 6}, {1, 6}});
}

// Each tick assigns the lowest held button other than the one assigned last,
// so two held buttons fill the keys alternately, one key per tick.
TEST_F(PadBinding, TwoHeldButtonsFillTheKeysAlternately) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({2, 5})));
    ASSERT_TRUE(Joypad().WaitReads(SlotCount + 2));
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().ReleaseAll()));

    std::vector<std::string> texts = Tool().FieldTexts();
    for (int slot = 0; slot < SlotCount - 1; ++slot)
        EXPECT_EQ(ButtonText(slot % 2 == 0 ? 2 : 5), texts[slot]) << "slot " << slot;
    // B keeps taking the two in turn while they are held; either can be last.
    EXPECT_TRUE(texts[7] == ButtonText(2) || texts[7] == ButtonText(5)) << texts[7];
    EXPECT_EQ(FieldId(7), Tool().FocusedId());
    int lastOnB = texts[7] == ButtonText(2) ? 2 : 5;
    ExpectSavedWith({{0, 2}, {1, 5}, {2, 2}, {3, 5}, {4, 2}, {5, 5}, {6, 2}, {7, lastOnB}});
}

TEST_F(PadBinding, OneButtonMayBindSeveralKeys) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    for (int slot = 0; slot < 3; ++slot) ASSERT_TRUE(Joypad().Press(7));
    std::vector<std::string> texts = DefaultTexts();
    texts[0] = texts[1] = texts[2] = ButtonText(7);
    EXPECT_EQ(texts, Tool().FieldTexts());
    ExpectSavedWith({{0, 7}, {1, 7}, {2, 7}});
}

// The stick's four directions are not buttons: holding them binds nothing,
// and a tick with only directions held counts as all buttons released.
TEST_F(PadBinding, DirectionsNeverBind) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    struct Stick {
        const char* name;
        LONG x, y;
    };
    const Stick sticks[] = {
        {"left", -1000, 0}, {"right", 1000, 0}, {"up", 0, -1000}, {"down", 0, 1000}, {"down-left", -1000, 1000},
    };
    for (const Stick& stick : sticks) {
        SCOPED_TRACE(stick.name);
        ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({}, stick.x, stick.y)));
        EXPECT_EQ(DefaultTexts(), Tool().FieldTexts());
        EXPECT_EQ(FieldId(0), Tool().FocusedId());
    }

    // A button with a direction binds the button.
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({11}, -1000, 0)));
    EXPECT_EQ(ButtonText(11), Tool().FieldText(0));
    // Still held, but with only the direction left for a tick: released.
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({}, -1000, 0)));
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({11}, -1000, 0)));
    EXPECT_EQ(ButtonText(11), Tool().FieldText(1));
    EXPECT_EQ(FieldId(2), Tool().FocusedId());
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().ReleaseAll()));
    ExpectSavedWith({{0, 11}, {1, 11}});
}

// A press while a push button has the focus changes nothing: no field, no
// binding, no caption, no focus. Each case reaches its push button with Tab
// from B, the way a player would, and ends with OK, which must write the
// loaded bindings.
struct PushButtonCase {
    const char* name;
    int focusedButton;
    const char* caption; // the button's own text, which must stay
    int tabs;
};

void PrintTo(const PushButtonCase& c, std::ostream* out) {
    *out << c.name;
}

class PressOnPushButton : public PadBinding, public testing::WithParamInterface<PushButtonCase> {};

TEST_P(PressOnPushButton, ChangesNothing) {
    const PushButtonCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    const std::vector<std::string> texts = DefaultTexts();
    ASSERT_TRUE(Tool().Click(FieldId(7)));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(7)));
    for (int i = 0; i < c.tabs; ++i) ASSERT_TRUE(Tool().PressKey(VK_TAB));
    ASSERT_TRUE(Tool().WaitForFocus(c.focusedButton));
    ASSERT_TRUE(WaitUntil([&] { return Tool().FieldTexts() == texts; }, 10000));

    ASSERT_TRUE(Joypad().Press(4));
    EXPECT_EQ(texts, Tool().FieldTexts());
    EXPECT_EQ(c.focusedButton, Tool().FocusedId());
    EXPECT_EQ(c.caption, KeyConfigSession::WindowText(GetDlgItem(Tool().Dialog(), c.focusedButton)));
    ExpectSavedWith({});
}

INSTANTIATE_TEST_SUITE_P(E2E, PressOnPushButton,
                         testing::Values(PushButtonCase{"Ok", OkId, "OK", 1},
                                         PushButtonCase{"Cancel", CancelId, "キャンセル", 2},
                                         PushButtonCase{"Clear", ClearId, "クリア", 3}),
                         [](const testing::TestParamInfo<PushButtonCase>& info) { return info.param.name; });

// Clear starts over: the fields are blank and the focus is on S, so the
// next presses bind S, Z, A and on in order, as at the start; clicked with
// the mouse or pressed with the space bar, from any field.
TEST_F(PadBinding, ClearStartsOverAtTheFirstKey) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(20));
    ASSERT_TRUE(Joypad().Press(21));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(2)));
    ASSERT_TRUE(Tool().Click(ClearId));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(0))) << "focused: " << Tool().FocusedId();
    EXPECT_EQ(std::vector<std::string>(SlotCount, UnboundText), Tool().FieldTexts());

    std::vector<std::pair<int, int>> bound;
    for (int slot = 0; slot < 3; ++slot) {
        ASSERT_TRUE(Joypad().Press(5 + slot));
        EXPECT_EQ(ButtonText(5 + slot), Tool().FieldText(slot));
        bound.push_back({slot, 5 + slot});
    }
    EXPECT_EQ(FieldId(3), Tool().FocusedId());

    // From the keyboard: Tab to クリア, then the space bar.
    ASSERT_TRUE(Tool().Click(FieldId(7)));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(7)));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Tool().PressKey(VK_TAB));
    ASSERT_TRUE(Tool().WaitForFocus(ClearId));
    ASSERT_TRUE(Tool().PressKey(VK_SPACE));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(0))) << "focused: " << Tool().FocusedId();
    ASSERT_TRUE(Joypad().Press(9));
    EXPECT_EQ(ButtonText(9), Tool().FieldText(0));
    bound[0] = {0, 9};
    // Keys not assigned again keep what they had: S 9, Z 6, A 7, the rest the
    // file's.
    ExpectSavedWith(bound);
}

// Clear blanks the fields only: OK writes the bindings that were loaded,
// except for a key assigned again after Clear.
TEST_F(PadBinding, ClearKeepsEveryBindingNotAssignedAgain) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Tool().Click(ClearId));
    ASSERT_TRUE(
        WaitUntil([&] { return Tool().FieldTexts() == std::vector<std::string>(SlotCount, UnboundText); }, 10000));
    ASSERT_TRUE(Tool().Click(FieldId(1)));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(1)));
    ASSERT_TRUE(Joypad().Press(9));
    std::vector<std::string> texts(SlotCount, UnboundText);
    texts[1] = ButtonText(9);
    EXPECT_EQ(texts, Tool().FieldTexts());
    EXPECT_EQ(FieldId(2), Tool().FocusedId());
    ExpectSavedWith({{1, 9}});
}

} // namespace
