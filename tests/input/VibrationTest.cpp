// Pad vibration on the doubles: which effects play for a power, the
// countdown of a timed vibration, the window's activity, the stop.
#include "input/InputFixture.h"

#include "runtime/core/Clock.h"

namespace {

class VibrationTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        device_ = system_.AddController();
        StartWithDirectInput7();
        ASSERT_EQ(1, Input.PadCount);
        sine_ = device_->Effect(GUID_Sine);
        constant_ = device_->Effect(GUID_ConstantForce);
        ASSERT_NE(nullptr, sine_);
        ASSERT_NE(nullptr, constant_);
    }

    // Switches pad 1 on as no runtime operation does: by its fields.
    PadRecord& Vibrate(int32_t power, int32_t duration = -1) {
        PadRecord& pad = Input.PadTable[0];
        pad.vibrating = 1;
        pad.vibrationPower = power;
        pad.vibrationDuration = duration;
        pad.vibrationElapsed = 0;
        pad.vibrationLastTime = NowMilliseconds();
        return pad;
    }

    FakeInputDevice* device_ = nullptr;
    FakeEffect* sine_ = nullptr;
    FakeEffect* constant_ = nullptr;
};

TEST_F(VibrationTest, SineJoinsAbovePowerFiveThousand) {
    struct Case {
        int32_t power;
        bool sine;
    };
    for (const Case& c : {Case{5000, false}, Case{5001, true}, Case{0, false}, Case{10000, true}}) {
        Vibrate(c.power);
        EXPECT_EQ(0, RefreshVibrationEffects());
        EXPECT_TRUE(constant_->playing) << c.power;
        EXPECT_EQ(c.sine, sine_->playing) << c.power;
        EXPECT_EQ(1, Input.PadTable[0].constantForcePlaying);
        EXPECT_EQ(c.sine ? 1 : 0, Input.PadTable[0].sinePlaying);
    }
    // Played once, endlessly: the constant force was started a single time.
    EXPECT_EQ(1, constant_->starts);
    EXPECT_EQ(1u, constant_->lastIterations);
    EXPECT_EQ(0u, constant_->lastFlags);
}

TEST_F(VibrationTest, NothingPlaysWhileOff) {
    EXPECT_EQ(0, RefreshVibrationEffects());
    EXPECT_EQ(0, ProcessPadVibration());
    EXPECT_EQ(0, constant_->starts + constant_->stops + sine_->starts + sine_->stops);
}

TEST_F(VibrationTest, TimedVibrationCountsDown) {
    PadRecord& pad = Vibrate(10000, 1000);
    ASSERT_EQ(0, RefreshVibrationEffects());
    ASSERT_TRUE(sine_->playing);

    pad.vibrationLastTime = NowMilliseconds() - 10;
    EXPECT_EQ(0, ProcessPadVibration());
    EXPECT_GE(pad.vibrationElapsed, 10);
    EXPECT_EQ(1, pad.vibrating);
    EXPECT_TRUE(constant_->playing);

    // The rest of the time: switched off and silenced on the same tick.
    pad.vibrationLastTime = NowMilliseconds() - 990;
    EXPECT_EQ(0, ProcessPadVibration());
    EXPECT_EQ(0, pad.vibrating);
    EXPECT_EQ(10000, pad.vibrationPower);
    EXPECT_FALSE(constant_->playing);
    EXPECT_FALSE(sine_->playing);
}

TEST_F(VibrationTest, TicksThatCountNothing) {
    struct Case {
        const char* name;
        int32_t duration;
        int32_t lastTimeOffset; // from now
    };
    const Case cases[] = {
        {"until stopped", -1, -100000},
        {"clock wrapped", 1000, 100000},
    };
    for (const Case& c : cases) {
        PadRecord& pad = Vibrate(10000, c.duration);
        pad.vibrationLastTime = NowMilliseconds() + c.lastTimeOffset;
        EXPECT_EQ(0, ProcessPadVibration());
        EXPECT_EQ(1, pad.vibrating) << c.name;
        EXPECT_EQ(0, pad.vibrationElapsed) << c.name;
    }
}

TEST_F(VibrationTest, DeactivationSilencesAndActivationResumes) {
    PadRecord& pad = Vibrate(8000);
    ASSERT_EQ(0, RefreshVibrationEffects());
    Window.WindowActive = 0;
    EXPECT_EQ(0, RefreshVibrationEffects());
    EXPECT_FALSE(constant_->playing);
    EXPECT_FALSE(sine_->playing);
    EXPECT_EQ(1, pad.vibrating);
    EXPECT_EQ(0, pad.constantForcePlaying);
    EXPECT_EQ(0, pad.sinePlaying);
    Window.WindowActive = 1;
    EXPECT_EQ(0, RefreshVibrationEffects());
    EXPECT_TRUE(constant_->playing);
    EXPECT_TRUE(sine_->playing);
    EXPECT_EQ(2, constant_->starts);
}

TEST_F(VibrationTest, StopSwitchesThePadOff) {
    const int selectors[] = {1, 0x1001};
    for (int selector : selectors) {
        PadRecord& pad = Vibrate(6000);
        ASSERT_EQ(0, RefreshVibrationEffects());
        EXPECT_EQ(0, StopPadVibration(selector));
        EXPECT_EQ(0, pad.vibrating) << selector;
        EXPECT_EQ(10000, pad.vibrationPower) << selector;
        EXPECT_FALSE(constant_->playing) << selector;
        EXPECT_FALSE(sine_->playing) << selector;
    }
    EXPECT_EQ(0, StopPadVibration(0));
    EXPECT_EQ(0, StopPadVibration(2));
}

TEST_F(VibrationTest, StopNeedsTheConstantForceEffect) {
    PadRecord& pad = Vibrate(6000);
    IDirectInputEffect* constant = pad.constantForceEffect;
    pad.constantForceEffect = nullptr;
    EXPECT_EQ(0, StopPadVibration(1));
    EXPECT_EQ(1, pad.vibrating);
    EXPECT_EQ(6000, pad.vibrationPower);
    pad.constantForceEffect = constant;
}

TEST_F(InputTest, JoystickModeHasNoVibration) {
    system_.createResult[0] = ClassNotRegistered;
    system_.createResult[1] = ClassNotRegistered;
    ASSERT_EQ(0, StartInput());
    PadRecord& pad = Input.PadTable[0];
    pad.vibrating = 1;
    pad.vibrationDuration = 10;
    pad.vibrationLastTime = NowMilliseconds() - 1000;
    EXPECT_EQ(0, ProcessPadVibration());
    EXPECT_EQ(0, RefreshVibrationEffects());
    EXPECT_EQ(0, StopPadVibration(1));
    EXPECT_EQ(1, pad.vibrating);
    EXPECT_EQ(0, pad.vibrationElapsed);
}

TEST_F(InputTest, StopVibrationStartsInput) {
    EXPECT_EQ(0, StopPadVibration(1));
    EXPECT_EQ(DirectInput7, Input.InputMode);
}

} // namespace

// The runtime's own window follows its activation: the pads are taken again
// at the level of the new state and the effects follow it, silent while
// inactive and playing again once active. While the window is still being
// created only the flag changes.
TEST_F(VibrationTest, WindowActivationReacquiresAndRefreshesTheEffects) {
    Window.WindowModeFlag = 1;
    Window.WindowCreating = 0;
    Vibrate(10000);
    ASSERT_EQ(0, RefreshVibrationEffects());
    struct Case {
        const char* name;
        UINT message;
        WPARAM wParam;
        int32_t creating;
        int32_t active;
        bool reacquired;
        DWORD level; // when reacquired
        bool playing;
    };
    const DWORD exclusive = DISCL_EXCLUSIVE | DISCL_FOREGROUND;
    const DWORD shared = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
    const Case cases[] = {
        {"deactivated", WM_ACTIVATE, WA_INACTIVE, 0, 0, true, shared, false},
        {"activated", WM_ACTIVATE, WA_ACTIVE, 0, 1, true, exclusive, true},
        {"another application activated", WM_ACTIVATEAPP, FALSE, 0, 0, true, shared, false},
        {"activated while being created", WM_ACTIVATE, WA_CLICKACTIVE, 1, 1, false, 0, false},
        {"this application activated", WM_ACTIVATEAPP, TRUE, 0, 1, false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Window.WindowCreating = c.creating;
        const int acquires = device_->Calls(DeviceCall::Acquire);
        const size_t levels = device_->cooperativeLevels.size();
        RuntimeWindowProcedure(nullptr, c.message, c.wParam, 0);
        EXPECT_EQ(c.active, Window.WindowActive);
        EXPECT_EQ(c.reacquired ? acquires + 1 : acquires, device_->Calls(DeviceCall::Acquire));
        ASSERT_EQ(c.reacquired ? levels + 1 : levels, device_->cooperativeLevels.size());
        if (c.reacquired) {
            EXPECT_EQ(c.level, device_->cooperativeLevels.back());
        }
        EXPECT_EQ(c.playing, constant_->playing);
        EXPECT_EQ(c.playing, sine_->playing);
    }
    Window.WindowCreating = 0;
}
