// The name of pad 1 for the application: DirectInput's product name from the
// discovery, the winmm joystick's name in Joystick mode, nothing without a
// pad; always Shift-JIS, cut on a character boundary.
#include "input/InputFixture.h"

namespace {

constexpr int NameSize = 260;

struct NameAnswer {
    int result;
    std::string text;
    bool operator==(const NameAnswer& other) const { return result == other.result && text == other.text; }
};

void PrintTo(const NameAnswer& answer, std::ostream* out) {
    *out << answer.result << " \"" << answer.text << "\"";
}

const NameAnswer NoName = {-1, ""};

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
    EXPECT_EQ((NameAnswer{0, "Gamepad F310"}), FirstPadName());

    // Pulled out and found again: pad 1 is the other controller now.
    first->Unplug();
    ASSERT_EQ(1, RefreshJoypads());
    EXPECT_EQ((NameAnswer{0, "ゲームパッド"}), FirstPadName());

    second->Unplug();
    ASSERT_EQ(0, RefreshJoypads());
    EXPECT_EQ(NoName, FirstPadName());
}

TEST_F(InputTest, FirstPadNameWithoutAPad) {
    EXPECT_EQ(NoName, FirstPadName()) << "before input starts";
    StartWithDirectInput7();
    EXPECT_EQ(NoName, FirstPadName()) << "no controller attached";
    StopInput();
    system_.AddController();
    EXPECT_EQ(NoName, FirstPadName()) << "after the stop";
}

// A controller that gives no product name is named by its instance name.
TEST_F(InputTest, FirstPadNameFallsBackOnTheInstanceName) {
    FakeInputDevice* pad = system_.AddController("USB Joystick");
    pad->productName = "";
    StartWithDirectInput7();
    EXPECT_EQ((NameAnswer{0, "USB Joystick"}), FirstPadName());
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
    for (const Case& c : cases) EXPECT_EQ((NameAnswer{0, c.expected}), FirstPadName(c.size)) << c.size;
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
    EXPECT_EQ((NameAnswer{0, "Joystick Zero"}), FirstPadName());

    joysticks_.positionResult[0] = JOYERR_UNPLUGGED;
    EXPECT_EQ(NoName, FirstPadName()) << "described but unplugged";
    joysticks_.positionResult[0] = JOYERR_NOERROR;
    joysticks_.answering = 0;
    EXPECT_EQ(NoName, FirstPadName()) << "not described";

    // Plugged in later: found at the next call, without a restart.
    joysticks_.answering = 1;
    joysticks_.names[0] = "Another Stick";
    EXPECT_EQ((NameAnswer{0, "Another Stick"}), FirstPadName());
}

} // namespace
