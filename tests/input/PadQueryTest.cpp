// ReadPadInput and RefreshPadState on the doubles: the bits of a state, the
// keyboard keys mapped onto a pad, the selector's range, the refresh rate,
// the recovery of a lost device, and the winmm path with Convert.
#include "input/InputFixture.h"

#include <climits>
#include <initializer_list>

namespace {

// A stored poll time that cannot equal the next timeGetTime, so the next
// query reads the device.
void ForceNextRead(int pad) {
    Input.PadTable[pad].lastPollTime = timeGetTime() - 1;
}

void ForceNextKeyboardRead() {
    Input.LastKeyboardPollTime = timeGetTime() - 1;
}

class PadQueryTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        // Before Vista the keyboard part reads the DirectInput keyboard double.
        Environment.OsVersionCode = 0x105;
        pad_ = system_.AddController();
        StartWithDirectInput7();
        ASSERT_EQ(1, Input.PadCount);
    }

    int ReadFresh(int selector) {
        ForceNextRead(0);
        ForceNextKeyboardRead();
        return ReadPadInput(selector);
    }

    void SetState(LONG x, LONG y, std::initializer_list<int> buttons) {
        std::memset(&pad_->joyState, 0, sizeof pad_->joyState);
        pad_->joyState.lX = x;
        pad_->joyState.lY = y;
        for (int b : buttons) pad_->PressButton(b);
    }

    FakeInputDevice* pad_ = nullptr;
};

TEST_F(PadQueryTest, BitsOfThePadState) {
    struct Case {
        const char* name;
        LONG x;
        LONG y;
        std::initializer_list<int> buttons; // rgbButtons indices held
        int expected;
    };
    const Case cases[] = {
        {"centre", 0, 0, {}, 0},
        {"left and down", -1, 1, {}, 0x3},
        {"right", 1, 0, {}, 0x4},
        {"up", 0, -1, {}, 0x8},
        {"full up left", -1000, -1000, {}, 0xA},
        {"button 1", 0, 0, {0}, 0x10},
        {"button 24", 0, 0, {23}, 0x8000000},
        {"buttons 25 to 32", 0, 0, {24, 25, 26, 27, 28, 29, 30, 31}, 0},
        {"every button", 0, 0, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31}, 0x0FFFFFF0},
        {"right and button 2", 500, 0, {1}, 0x24},
    };
    for (const Case& c : cases) {
        SetState(c.x, c.y, c.buttons);
        EXPECT_EQ(c.expected, ReadFresh(1)) << c.name;
    }
}

TEST_F(PadQueryTest, OtherSourcesNeverShow) {
    SetState(0, 0, {});
    pad_->joyState.lZ = 1000;
    pad_->joyState.lRz = -1000;
    pad_->joyState.rglSlider[0] = 1000;
    pad_->joyState.rgdwPOV[0] = 0; // the hat held up
    pad_->joyState.rgbButtons[0] = 0x7F; // bit 7 clear: not down
    EXPECT_EQ(0, ReadFresh(1));
}

TEST_F(PadQueryTest, KeyboardKeysMappedOntoThePad) {
    struct Case {
        const char* name;
        int selector;
        std::initializer_list<int> keys;    // key codes held
        std::initializer_list<int> buttons; // pad 1's buttons held
        int expected;
    };
    const Case cases[] = {
        {"Z alone", 0x1000, {0x2C}, {}, 0x10},
        {"Down arrow", 0x1000, {0xD0}, {}, 0x1},
        {"keypad 2", 0x1000, {0x50}, {}, 0x1},
        {"Space is button 10", 0x1000, {0x39}, {}, 0x2000},
        {"unmapped key", 0x1000, {0x30}, {}, 0},
        {"pad and keys merge", 0x1001, {0x2D}, {0}, 0x30},
        {"keys ignored without the flag", 1, {0x2D}, {0}, 0x10},
        {"pad 2 has no keys", 0x1002, {0x2C}, {}, 0},
        // PadKeyMap has 16 entries: pad 17 must not read beyond them.
        {"pad 17 with the flag", 0x1011, {0x2C, 0xD0}, {}, 0},
        {"pad 0x7FF with the flag", 0x17FF, {0x2C}, {}, 0},
        // A negative index uses pad 1's map: -1 carries the flag.
        {"selector -1", -1, {0x2C}, {}, 0x10},
    };
    for (const Case& c : cases) {
        std::memset(system_.keyboard->keys, 0, sizeof system_.keyboard->keys);
        for (int key : c.keys) system_.keyboard->keys[key] = 0x80;
        SetState(0, 0, c.buttons);
        EXPECT_EQ(c.expected, ReadFresh(c.selector)) << c.name;
    }
}

TEST_F(PadQueryTest, SelectorsThatNameNoPad) {
    SetState(-1, 0, {0});
    int reads = pad_->Calls(DeviceCall::GetDeviceState);
    const int selectors[] = {0, 2, 16, 17, 0x10001, INT_MIN, INT_MAX};
    for (int selector : selectors) EXPECT_EQ(0, ReadFresh(selector)) << selector;
    EXPECT_EQ(reads, pad_->Calls(DeviceCall::GetDeviceState));
    EXPECT_EQ(0x12, ReadFresh(1));
}

TEST_F(PadQueryTest, ReadsOncePerMillisecondUnlessDataArrives) {
    // Two calls inside one millisecond of timeGetTime read the device once;
    // a signalled data event allows a second read. Retried until a pair of
    // calls falls inside one millisecond.
    struct Case {
        bool signal;
        int reads;
    };
    for (const Case& c : {Case{false, 1}, Case{true, 2}}) {
        bool sameMillisecond = false;
        for (int attempt = 0; attempt < 1000 && !sameMillisecond; ++attempt) {
            int before = pad_->Calls(DeviceCall::GetDeviceState);
            DWORD start = timeGetTime();
            ForceNextRead(0);
            ReadPadInput(1);
            if (c.signal) pad_->SignalData();
            ReadPadInput(1);
            if (timeGetTime() != start) continue;
            sameMillisecond = true;
            EXPECT_EQ(c.reads, pad_->Calls(DeviceCall::GetDeviceState) - before) << c.signal;
        }
        EXPECT_TRUE(sameMillisecond);
        // A read leaves the event reset.
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(Input.PadTable[0].dataEvent, 0));
    }
}

TEST_F(PadQueryTest, LostDeviceRecovery) {
    struct Case {
        const char* name;
        DeviceCall failing;  // Count: none
        int failures;
        int quit;            // the end signal is up during the recovery
        int expectedBits;    // button 1 was down before the loss, nothing after
        int expectedResult;  // of RefreshPadState
        int expectedAcquires;
        int expectedReads;
    };
    const Case cases[] = {
        {"acquired again", DeviceCall::Count, 0, 0, 0, 0, 1, 2},
        {"acquisition refused keeps the last state", DeviceCall::Acquire, -1, 0, 0x10, 0, 1, 1},
        {"second read fails too", DeviceCall::GetDeviceState, 2, 0, 0x10, 0, 1, 2},
        {"end signal stops the recovery", DeviceCall::Count, 0, 1, 0x10, -1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetState(0, 0, {0});
        ASSERT_EQ(0x10, ReadFresh(1));
        SetState(0, 0, {});
        pad_->Lose();
        if (c.failing != DeviceCall::Count) pad_->Fail(c.failing, DIERR_OTHERAPPHASPRIO, c.failures);
        Window.QuitRequested = c.quit;
        int acquires = pad_->Calls(DeviceCall::Acquire);
        int reads = pad_->Calls(DeviceCall::GetDeviceState);
        ForceNextRead(0);
        EXPECT_EQ(c.expectedResult, RefreshPadState(0));
        EXPECT_EQ(c.expectedAcquires, pad_->Calls(DeviceCall::Acquire) - acquires);
        EXPECT_EQ(c.expectedReads, pad_->Calls(DeviceCall::GetDeviceState) - reads);
        // The query still answers from what is stored.
        EXPECT_EQ(c.expectedBits, int(PadBitsFromState(Input.PadTable[0].state)));
        Window.QuitRequested = 0;
        pad_->Fail(c.failing == DeviceCall::Count ? DeviceCall::Poll : c.failing, DI_OK, 0);
        pad_->Acquire();
    }
}

TEST_F(PadQueryTest, RefreshOfAPadBeyondTheTable) {
    EXPECT_EQ(-1, RefreshPadState(16));
    EXPECT_EQ(-1, RefreshPadState(-1));
}

TEST_F(PadQueryTest, QueryStartsInputAfterAStop) {
    ASSERT_EQ(0, StopInput());
    int creations = system_.creations[0];
    // The call that starts returns the start's result and reads nothing.
    SetState(0, 0, {0});
    EXPECT_EQ(0, ReadPadInput(1));
    EXPECT_EQ(creations + 1, system_.creations[0]);
    EXPECT_EQ(DirectInput7, Input.InputMode);
    EXPECT_EQ(0x10, ReadFresh(1));

    // Once the window is closing, nothing starts: the stored (cleared) state answers.
    ASSERT_EQ(0, StopInput());
    Window.CloseRequested = 1;
    EXPECT_EQ(0, ReadPadInput(1));
    EXPECT_EQ(NotStarted, Input.InputMode);
}

TEST(InputConvert, JoystickAxisBoundaries) {
    struct Case {
        uint32_t raw;
        int32_t expected;
    };
    const Case cases[] = {
        {0, -1000},    {1, -999},     {0x5FE7, -1},  {0x5FE8, 0},   {0x5FFF, 0},   {0x6000, 0},
        {0x7FFF, 0},   {0xA000, 0},   {0xA018, 0},   {0xA019, 1},   {0xFFFE, 999}, {0xFFFF, 1000},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Convert(c.raw)) << std::hex << c.raw;
}

class JoystickQueryTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        system_.createResult[0] = ClassNotRegistered;
        system_.createResult[1] = ClassNotRegistered;
        joysticks_.answering = 1;
        joysticks_.caps[0] = JOYCAPS_HASZ | JOYCAPS_HASR;
        ASSERT_EQ(0, StartInput());
        ASSERT_EQ(Joystick, Input.InputMode);
        for (JOYINFOEX& position : joysticks_.positions) {
            position.dwXpos = 0x7FFF;
            position.dwYpos = 0x7FFF;
            position.dwZpos = 0x7FFF;
            position.dwRpos = 0x7FFF;
        }
    }
};

TEST_F(JoystickQueryTest, BitsFromWinmmPositions) {
    struct Case {
        const char* name;
        DWORD x;
        DWORD y;
        DWORD buttons;
        int expected;
    };
    const Case cases[] = {
        {"centre", 0x7FFF, 0x7FFF, 0, 0},
        {"just left", 0x5FE7, 0x7FFF, 0, 0x2},
        {"inside the dead zone", 0x5FE8, 0xA018, 0, 0},
        {"just right and down", 0xA019, 0xA019, 0, 0x5},
        {"full right", 0xFFFF, 0x7FFF, 0, 0x4},
        {"full up", 0x7FFF, 0, 0, 0x8},
        {"button 1 and 24", 0x7FFF, 0x7FFF, 0x00800001, 0x8000010},
        {"button 25 and up", 0x7FFF, 0x7FFF, 0xFF000000, 0},
    };
    for (const Case& c : cases) {
        joysticks_.positions[0].dwXpos = c.x;
        joysticks_.positions[0].dwYpos = c.y;
        joysticks_.positions[0].dwButtons = c.buttons;
        ForceNextRead(0);
        EXPECT_EQ(c.expected, ReadPadInput(1)) << c.name;
    }
    EXPECT_EQ(52u, joysticks_.positionSize);
    EXPECT_EQ(0xFFu, joysticks_.positionFlags);
}

TEST_F(JoystickQueryTest, ZAndRAreReadOnlyWhenBothExist) {
    joysticks_.positions[0].dwZpos = 0;
    joysticks_.positions[0].dwRpos = 0xFFFF;
    joysticks_.positions[1] = joysticks_.positions[0];
    ForceNextRead(0);
    ForceNextRead(1);
    ReadPadInput(1);
    ReadPadInput(2); // joystick 1 did not answer at start: no Z and R
    EXPECT_EQ(-1000, Input.PadTable[0].state.lZ);
    EXPECT_EQ(1000, Input.PadTable[0].state.lRz);
    EXPECT_EQ(0, Input.PadTable[1].state.lZ);
    EXPECT_EQ(0, Input.PadTable[1].state.lRz);
}

TEST_F(JoystickQueryTest, EverySixteenNumbersAreReadAndFailuresZero) {
    joysticks_.positions[15].dwButtons = 1;
    ForceNextRead(15);
    EXPECT_EQ(0x10, ReadPadInput(16));
    EXPECT_EQ(1, joysticks_.positionCalls[15]);
    // Unplugged: the whole state goes to zero.
    joysticks_.positionResult[15] = JOYERR_UNPLUGGED;
    Input.PadTable[15].state.rgdwPOV[0] = 123;
    ForceNextRead(15);
    EXPECT_EQ(0, ReadPadInput(16));
    DIJOYSTATE zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(0, std::memcmp(&zero, &Input.PadTable[15].state, sizeof zero));
    EXPECT_EQ(0, ReadPadInput(17));
}

TEST_F(JoystickQueryTest, ReadsOncePerMillisecond) {
    bool sameMillisecond = false;
    for (int attempt = 0; attempt < 1000 && !sameMillisecond; ++attempt) {
        int before = joysticks_.positionCalls[0];
        DWORD start = timeGetTime();
        ForceNextRead(0);
        ReadPadInput(1);
        ReadPadInput(1);
        if (timeGetTime() != start) continue;
        sameMillisecond = true;
        EXPECT_EQ(1, joysticks_.positionCalls[0] - before);
    }
    EXPECT_TRUE(sameMillisecond);
}

} // namespace
