// A controller plugged in or pulled out while the real tool is open: the
// device-change message as Windows posts it, the virtual joypad attached and
// detached as a cable would be.
#include "E2EFixture.h"

namespace {

constexpr int HeldButton = 4;

class PadHotplug : public KeyConfigEndToEnd {
protected:
    // The tool started with no controller plugged in: its start-up found none.
    void StartWithoutPad() {
        PutSaveFile(EncodeSave(SampleSave(DefaultMasks)));
        Joypad().Detach();
        LONG enumerations = Joypad().Enumerations();
        ASSERT_NO_FATAL_FAILURE(Launch());
        ASSERT_TRUE(Tool().WaitForDialog()) << "the dialog did not appear";
        ASSERT_TRUE(Joypad().WaitEnumerations(enumerations + 1)) << "the start-up looked for no controller";
        ASSERT_TRUE(Tool().WaitForFocus(FieldId(0)));
        ASSERT_EQ(DefaultTexts(), Tool().FieldTexts());
        EXPECT_EQ(0, Joypad().DevicesOpen());
    }

    // Windows' device-change message, then the tool's one search for pads.
    void DeviceChange() {
        LONG enumerations = Joypad().Enumerations();
        ASSERT_TRUE(Tool().PostDeviceChange());
        ASSERT_TRUE(Joypad().WaitEnumerations(enumerations + 1)) << "the tool did not look for pads again";
    }

    void PlugIn() {
        Joypad().Attach();
        ASSERT_NO_FATAL_FAILURE(DeviceChange());
        ASSERT_TRUE(Joypad().WaitInUse()) << "the tool does not read the plugged-in controller";
    }

    void PullOut() {
        Joypad().Detach();
        ASSERT_NO_FATAL_FAILURE(DeviceChange());
        ASSERT_TRUE(Joypad().WaitNoDevice()) << "the tool keeps the pulled-out controller";
    }

    // Still running, still showing its dialog, no error box.
    void ExpectToolUnharmed() {
        EXPECT_TRUE(Tool().Running());
        EXPECT_TRUE(Tool().DialogVisible());
        EXPECT_EQ(nullptr, Tool().FindErrorBox());
    }
};

// Started without a pad, plugged in, pulled out, plugged in again: presses
// bind whenever the controller is in, and change nothing while it is out.
TEST_F(PadHotplug, APadPluggedInWhileTheDialogIsOpenBindsAtOnce) {
    ASSERT_NO_FATAL_FAILURE(StartWithoutPad());
    ASSERT_NO_FATAL_FAILURE(PlugIn());
    ASSERT_TRUE(Joypad().Press(5));
    std::vector<std::string> texts = DefaultTexts();
    texts[0] = ButtonText(5);
    EXPECT_EQ(texts, Tool().FieldTexts());
    EXPECT_EQ(FieldId(1), Tool().FocusedId());

    // Out, before the tool has heard of it: its reads of the old device fail.
    Joypad().Detach();
    ASSERT_TRUE(Joypad().WaitFailedReads(2));
    Joypad().Hold({6});
    ASSERT_TRUE(Joypad().WaitFailedReads(3));
    EXPECT_EQ(texts, Tool().FieldTexts());
    EXPECT_EQ(FieldId(1), Tool().FocusedId());
    ExpectToolUnharmed();

    // The tool has looked again and holds no pad; it still answers the player.
    ASSERT_NO_FATAL_FAILURE(DeviceChange());
    ASSERT_TRUE(Joypad().WaitNoDevice());
    ASSERT_TRUE(Tool().Click(FieldId(2)));
    ASSERT_TRUE(Tool().WaitForFocus(FieldId(2)));
    EXPECT_EQ(texts, Tool().FieldTexts());
    ExpectToolUnharmed();
    Joypad().ReleaseAll();

    // Back in: it is pad 1 again.
    ASSERT_NO_FATAL_FAILURE(PlugIn());
    ASSERT_TRUE(Joypad().Press(7));
    texts[2] = ButtonText(7);
    EXPECT_EQ(texts, Tool().FieldTexts());
    EXPECT_EQ(FieldId(3), Tool().FocusedId());
    ExpectSavedWith({{0, 5}, {2, 7}});
}

// Plugging in sends a burst of messages over a while; the tool looks for pads
// once, after they have stopped. The messages come 50 ms apart, so the burst
// outlasts the settle time: a timer that is not restarted by each message
// would fire in the middle of it.
TEST_F(PadHotplug, ABurstOfDeviceChangesLooksForPadsOnce) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    LONG enumerations = Joypad().Enumerations();
    constexpr int Burst = 10;
    for (int i = 0; i < Burst; ++i) {
        if (i > 0) Sleep(50);
        ASSERT_TRUE(Tool().PostDeviceChange());
    }
    EXPECT_EQ(enumerations, Joypad().Enumerations()) << "looked for pads during the burst";
    ASSERT_TRUE(Joypad().WaitEnumerations(enumerations + 1));
    // Forty ticks of at least 10 ms each: well past any second settle time.
    ASSERT_TRUE(Joypad().WaitInUse());
    ASSERT_TRUE(Joypad().WaitReads(40));
    EXPECT_EQ(enumerations + 1, Joypad().Enumerations());

    ASSERT_TRUE(Joypad().Press(9));
    EXPECT_EQ(ButtonText(9), Tool().FieldText(0));
    ExpectSavedWith({{0, 9}});
}

// A button held through the change binds at most once, and only a button the
// tool has not seen held before binds without a new press.
struct HeldButtonCase {
    const char* name;
    bool pluggedAtStart; // else the tool starts without a pad and the button is held while plugging in
    bool cableSlips;     // pulled out and plugged back, else another device came
};

void PrintTo(const HeldButtonCase& c, std::ostream* out) {
    *out << c.name;
}

class HeldThroughTheChange : public PadHotplug, public testing::WithParamInterface<HeldButtonCase> {};

TEST_P(HeldThroughTheChange, BindsOnce) {
    const HeldButtonCase& c = GetParam();
    std::vector<std::string> texts = DefaultTexts();
    texts[0] = ButtonText(HeldButton);
    if (c.pluggedAtStart) {
        ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
        ASSERT_TRUE(Joypad().WaitHandled(Joypad().Hold({HeldButton})));
        ASSERT_EQ(texts, Tool().FieldTexts());
    } else {
        ASSERT_NO_FATAL_FAILURE(StartWithoutPad());
        Joypad().Hold({HeldButton});
    }
    if (c.cableSlips) {
        ASSERT_NO_FATAL_FAILURE(PullOut());
    }
    ASSERT_NO_FATAL_FAILURE(PlugIn());
    ASSERT_TRUE(Joypad().WaitReads(5)); // held over several ticks of the new device

    EXPECT_EQ(texts, Tool().FieldTexts());
    EXPECT_EQ(FieldId(1), Tool().FocusedId());
    // Released and pressed again, it binds the next key.
    ASSERT_TRUE(Joypad().WaitHandled(Joypad().ReleaseAll()));
    ASSERT_TRUE(Joypad().Press(HeldButton));
    texts[1] = ButtonText(HeldButton);
    EXPECT_EQ(texts, Tool().FieldTexts());
    EXPECT_EQ(FieldId(2), Tool().FocusedId());
    ExpectSavedWith({{0, HeldButton}, {1, HeldButton}});
}

INSTANTIATE_TEST_SUITE_P(E2E, HeldThroughTheChange,
                         testing::Values(HeldButtonCase{"WhileAnotherDeviceComes", true, false},
                                         HeldButtonCase{"WhileTheCableSlipsOutAndBack", true, true},
                                         HeldButtonCase{"WhilePluggingIn", false, false}),
                         [](const testing::TestParamInfo<HeldButtonCase>& info) { return info.param.name; });

} // namespace
