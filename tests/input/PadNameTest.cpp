// The name of pad 1 for the application: DirectInput's product name from the
// discovery, the winmm joystick's name in Joystick mode, nothing without a
// pad; always Shift-JIS, cut on a character boundary.
#include "input/InputFixture.h"

namespace {

constexpr int NameSize = 260;

struct NameAnswer {
    int result;
    std::string text;
};

NameAnswer FirstPadName(int size = NameSize) {
    char text[NameSize * 2];
    std::memset(text, 'x', sizeof text);
    int result = GetFirstPadProductName(text, size);
    return {result, size > 0 ? std::string(text) : std::string()};
}

TEST_F(InputTest, FirstPadNameFromTheDiscovery) {
    FakeInputDevice* first = system_.AddController("First");
    first->productName = "Gamepad F310";
    FakeInputDevice* second = system_.AddController("Second");
    second->productName = "ゲームパッド";
    StartWithDirectInput7();
    NameAnswer name = FirstPadName();
    EXPECT_EQ(0, name.result);
    EXPECT_EQ("Gamepad F310", name.text);

    // Pulled out and found again: pad 1 is the other controller now.
    first->Unplug();
    ASSERT_EQ(1, RefreshJoypads());
    name = FirstPadName();
    EXPECT_EQ(0, name.result);
    EXPECT_EQ("ゲームパッド", name.text);

    second->Unplug();
    ASSERT_EQ(0, RefreshJoypads());
    name = FirstPadName();
    EXPECT_EQ(-1, name.result);
    EXPECT_EQ("", name.text);
}

TEST_F(InputTest, FirstPadNameWithoutAPad) {
    EXPECT_EQ(-1, FirstPadName().result) << "before input starts";
    EXPECT_EQ("", FirstPadName().text);
    StartWithDirectInput7();
    EXPECT_EQ(-1, FirstPadName().result) << "no controller attached";
    EXPECT_EQ("", FirstPadName().text);
    StopInput();
    system_.AddController();
    EXPECT_EQ(-1, FirstPadName().result) << "after the stop";
}

// A controller that gives no product name is named by its instance name.
TEST_F(InputTest, FirstPadNameFallsBackOnTheInstanceName) {
    FakeInputDevice* pad = system_.AddController("USB Joystick");
    pad->productName = "";
    StartWithDirectInput7();
    NameAnswer name = FirstPadName();
    EXPECT_EQ(0, name.result);
    EXPECT_EQ("USB Joystick", name.text);
}

// Cut to the room given, never between the two bytes of a character.
TEST_F(InputTest, FirstPadNameCutToTheRoomGiven) {
    FakeInputDevice* pad = system_.AddController();
    pad->productName = "Pad ゲーム";
    StartWithDirectInput7();
    struct Case {
        int size;
        const char* expected;
    };
    const Case cases[] = {
        {1, ""},       {4, "Pad"},    {5, "Pad "},     {6, "Pad "},
        {7, "Pad ゲ"}, {8, "Pad ゲ"}, {9, "Pad ゲー"}, {NameSize, "Pad ゲーム"},
    };
    for (const Case& c : cases) {
        NameAnswer name = FirstPadName(c.size);
        EXPECT_EQ(0, name.result) << c.size;
        EXPECT_EQ(c.expected, name.text) << c.size;
    }
    EXPECT_EQ(-1, GetFirstPadProductName(nullptr, 10));
    char untouched = 'x';
    EXPECT_EQ(-1, GetFirstPadProductName(&untouched, 0));
    EXPECT_EQ('x', untouched);
}

// Names arrive in the system's ANSI code page and leave as Shift-JIS, which
// has Cyrillic and Greek as well as Japanese.
TEST(ShiftJisDeviceNameTest, FromTheAnsiCodePage) {
    struct Case {
        UINT codePage;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {1252, "Wireless Controller", "Wireless Controller"},
        {1251, "\xC4\xE6\xEE\xE9\xF1\xF2\xE8\xEA", "Джойстик"},
        {932, "ゲームパッド", "ゲームパッド"},
    };
    for (const Case& c : cases) {
        char text[NameSize];
        ShiftJisDeviceName(c.name, c.codePage, text, sizeof text);
        EXPECT_EQ(std::string(c.expected), text) << c.codePage;
    }
}

// winmm has no discovery: joystick 0 is asked at each call, and counts only
// when it is both described and read.
TEST_F(InputTest, FirstPadNameOfTheWinmmJoystick) {
    system_.createResult[0] = system_.createResult[1] = ClassNotRegistered;
    joysticks_.answering = 1;
    joysticks_.names[0] = "Joystick Zero";
    ASSERT_EQ(0, StartInput());
    ASSERT_EQ(Joystick, Input.InputMode);
    NameAnswer name = FirstPadName();
    EXPECT_EQ(0, name.result);
    EXPECT_EQ("Joystick Zero", name.text);

    joysticks_.positionResult[0] = JOYERR_UNPLUGGED;
    EXPECT_EQ(-1, FirstPadName().result) << "described but unplugged";
    joysticks_.positionResult[0] = JOYERR_NOERROR;
    joysticks_.answering = 0;
    EXPECT_EQ(-1, FirstPadName().result) << "not described";

    // Plugged in later: found at the next call, without a restart.
    joysticks_.answering = 1;
    joysticks_.names[0] = "Another Stick";
    EXPECT_EQ("Another Stick", FirstPadName().text);
}

} // namespace
