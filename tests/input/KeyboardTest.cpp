// The keyboard state table: the Windows path (Vista and later, keys set with
// SetKeyboardState on this thread), the DirectInput path before Vista, the
// refreshes that read nothing, and CheckKeyDown.
#include "input/InputFixture.h"

#include "runtime/core/ApiLock.h"

#include <climits>
#include <initializer_list>
#include <set>
#include <thread>

namespace {

struct HeldKey {
    int virtualKey;
    BYTE state; // 0x80 held, 0x01 toggled on
};

void SetWindowsKeys(std::initializer_list<HeldKey> keys) {
    BYTE state[256] = {};
    for (const HeldKey& key : keys) state[key.virtualKey] = key.state;
    SetKeyboardState(state);
}

void ForceNextKeyboardRead() {
    Input.LastKeyboardPollTime = timeGetTime() - 1;
}

// A refresh made inside the ApiLock, as PumpMessages makes it.
int RefreshUnderLock() {
    EnterApiLock();
    ForceNextKeyboardRead();
    int result = RefreshKeyboardState();
    LeaveApiLock();
    return result;
}

class WindowsKeyboardTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        Environment.OsVersionCode = 0x109; // Windows 7
        system_.createResult[0] = ClassNotRegistered;
        ASSERT_EQ(0, StartInput());
        ASSERT_EQ(DirectInput8, Input.InputMode);
    }
    void TearDown() override {
        SetWindowsKeys({});
        InputTest::TearDown();
    }
};

TEST_F(WindowsKeyboardTest, WindowsStateThroughTheTable) {
    struct Expected {
        int code;
        uint8_t value;
    };
    struct Case {
        const char* name;
        std::initializer_list<HeldKey> held;
        std::initializer_list<Expected> expected; // every other code reads 0
    };
    const Case cases[] = {
        {"Up arrow", {{VK_UP, 0x80}}, {{0xC8, 0x80}}},
        {"Enter is read twice", {{VK_RETURN, 0x80}}, {{0x1C, 0x80}, {0x9C, 0x80}}},
        {"Caps Lock toggled, not held", {{VK_CAPITAL, 0x01}}, {{0x3A, 0x01}}},
        {"Z and right Shift", {{'Z', 0x80}, {VK_RSHIFT, 0x80}}, {{0x2C, 0x80}, {0x36, 0x80}}},
        {"Yen key", {{0xDC, 0x80}}, {{0x7D, 0x80}}},
        {"keys the table does not name", {{VK_LWIN, 0x80}, {VK_SHIFT, 0x80}, {VK_F13, 0x80}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetWindowsKeys(c.held);
        ASSERT_EQ(1, RefreshUnderLock());
        uint8_t expected[256] = {};
        for (const Expected& e : c.expected) expected[e.code] = e.value;
        for (int code = 0; code < 256; ++code) ASSERT_EQ(expected[code], Input.KeyState[code]) << "code " << code;
    }
    // The DirectInput keyboard exists but is not the source.
    EXPECT_EQ(0, system_.keyboard->Calls(DeviceCall::GetDeviceState));
}

TEST_F(WindowsKeyboardTest, CheckKeyDownReadsBitSeven) {
    SetWindowsKeys({{VK_CAPITAL, 0x01}, {VK_UP, 0x81}});
    EnterApiLock();
    ForceNextKeyboardRead();
    EXPECT_EQ(1, CheckKeyDown(0xC8));
    EXPECT_EQ(0, CheckKeyDown(0x3A)); // toggled only
    EXPECT_EQ(0, CheckKeyDown(0x2C));
    LeaveApiLock();
}

TEST_F(WindowsKeyboardTest, RefreshesThatReadNothing) {
    SetWindowsKeys({{'Z', 0x80}});
    struct Case {
        const char* name;
        int (*refresh)();
    };
    const Case cases[] = {
        {"lock free", [] {
             ForceNextKeyboardRead();
             return RefreshKeyboardState();
         }},
        {"lock held by another thread", [] {
             EnterApiLock();
             int result = -1;
             std::thread other([&result] {
                 ForceNextKeyboardRead();
                 result = RefreshKeyboardState();
             });
             other.join();
             LeaveApiLock();
             return result;
         }},
        {"refresh already running", [] {
             Input.KeyboardRefreshBusy = 1;
             int result = RefreshUnderLock();
             Input.KeyboardRefreshBusy = 0;
             return result;
         }},
        {"end signal", [] {
             Window.QuitRequested = 1;
             int result = RefreshUnderLock();
             Window.QuitRequested = 0;
             return result;
         }},
    };
    for (const Case& c : cases) {
        std::memset(Input.KeyState, 0x55, sizeof Input.KeyState);
        EXPECT_EQ(0, c.refresh()) << c.name;
        EXPECT_EQ(0x55, Input.KeyState[0x2C]) << c.name;
        EXPECT_EQ(0, Input.KeyboardRefreshBusy) << c.name;
    }
}

TEST_F(WindowsKeyboardTest, SecondRefreshInTheSameMillisecondReadsNothing) {
    bool sameMillisecond = false;
    EnterApiLock();
    for (int attempt = 0; attempt < 1000 && !sameMillisecond; ++attempt) {
        DWORD start = timeGetTime();
        ForceNextKeyboardRead();
        int first = RefreshKeyboardState();
        int second = RefreshKeyboardState();
        if (timeGetTime() != start) continue;
        sameMillisecond = true;
        EXPECT_EQ(1, first);
        EXPECT_EQ(0, second);
    }
    LeaveApiLock();
    EXPECT_TRUE(sameMillisecond);
}

TEST(InputKeyTable, NinetyNinePairsWithDistinctCodes) {
    std::set<int> codes;
    int pairs = 0;
    for (const VirtualKeyPair* pair = VirtualKeyToKeyCode; pair->virtualKey != 0xFFFF; ++pair) {
        EXPECT_LT(pair->keyCode, 256);
        EXPECT_LT(pair->virtualKey, 256);
        codes.insert(pair->keyCode);
        ++pairs;
    }
    EXPECT_EQ(99, pairs);
    EXPECT_EQ(99u, codes.size());
    EXPECT_EQ(0xFFFF, VirtualKeyToKeyCode[99].keyCode);
}

class DirectInputKeyboardTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        Environment.OsVersionCode = 0x107; // Windows XP
        StartWithDirectInput7();
    }
    void TearDown() override {
        SetWindowsKeys({});
        InputTest::TearDown();
    }
};

TEST_F(DirectInputKeyboardTest, RightShiftComesFromWindows) {
    struct Case {
        const char* name;
        BYTE directInput; // what DirectInput reports for 0x36
        BYTE windows;     // the Windows state of VK_RSHIFT
    };
    const Case cases[] = {
        {"DirectInput down, Windows up", 0x80, 0x00},
        {"DirectInput up, Windows down", 0x00, 0x80},
    };
    for (const Case& c : cases) {
        std::memset(system_.keyboard->keys, 0, sizeof system_.keyboard->keys);
        system_.keyboard->keys[0x36] = c.directInput;
        system_.keyboard->keys[0x2C] = 0x80;
        SetWindowsKeys({{VK_RSHIFT, c.windows}});
        ForceNextKeyboardRead();
        // No lock needed: the DirectInput path reads on any thread.
        ASSERT_EQ(1, RefreshKeyboardState()) << c.name;
        EXPECT_EQ(c.windows, Input.KeyState[0x36]) << c.name;
        EXPECT_EQ(0x80, Input.KeyState[0x2C]) << c.name;
    }
}

TEST_F(DirectInputKeyboardTest, LostKeyboardKeepsItsLastState) {
    system_.keyboard->keys[0x2C] = 0x80;
    ForceNextKeyboardRead();
    ASSERT_EQ(1, RefreshKeyboardState());
    system_.keyboard->keys[0x2C] = 0;
    system_.keyboard->Lose();
    system_.keyboard->Fail(DeviceCall::Acquire, DIERR_OTHERAPPHASPRIO);
    ForceNextKeyboardRead();
    EXPECT_EQ(0, RefreshKeyboardState());
    EXPECT_EQ(0x80, Input.KeyState[0x2C]);
    // Given back: one acquisition and one more read.
    system_.keyboard->Fail(DeviceCall::Acquire, DI_OK, 0);
    ForceNextKeyboardRead();
    EXPECT_EQ(1, RefreshKeyboardState());
    EXPECT_EQ(0, Input.KeyState[0x2C]);
}

TEST_F(DirectInputKeyboardTest, CheckKeyDownOutsideTheTable) {
    std::memset(system_.keyboard->keys, 0x80, sizeof system_.keyboard->keys);
    const struct {
        int code;
        int expected;
    } cases[] = {{0, 1}, {255, 1}, {-1, 0}, {256, 0}, {0x10000, 0}, {INT_MIN, 0}};
    for (const auto& c : cases) {
        ForceNextKeyboardRead();
        EXPECT_EQ(c.expected, CheckKeyDown(c.code)) << c.code;
    }
}

TEST_F(InputTest, CheckKeyDownStartsInput) {
    EXPECT_EQ(0, CheckKeyDown(0x2C));
    EXPECT_EQ(DirectInput7, Input.InputMode);
    ASSERT_EQ(0, StopInput());
    Window.CloseRequested = 1;
    EXPECT_EQ(0, CheckKeyDown(0x2C));
    EXPECT_EQ(NotStarted, Input.InputMode);
}

} // namespace
