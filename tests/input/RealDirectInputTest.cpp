// The input subsystem on Wine's own DirectInput 7 and 8, with no joypad
// attached: the system keyboard and mouse are set up, no pad is found, and
// the pad query answers 0. Needs a display for the window (xvfb-run).
#include "input/InputFixture.h"

#include <objbase.h>

namespace {

// DirectInput 7 refused, so that the start goes on to Wine's DirectInput 8.
HRESULT WithoutDirectInput7(REFCLSID clsid, REFIID iid, void** object) {
    if (IsEqualGUID(clsid, CLSID_DirectInput)) {
        *object = nullptr;
        return REGDB_E_CLASSNOTREG;
    }
    return CreateDirectInputWithCom(clsid, iid, object);
}

class RealDirectInputTest : public InputTest, public testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        InputTest::SetUp();
        CoInitialize(nullptr);
        CreateDirectInputObject = GetParam() == DirectInput7 ? CreateDirectInputWithCom : WithoutDirectInput7;
        JoystickFunctions = WinmmJoystickFunctions;
        window_ = CreateWindowExA(0, "STATIC", "input test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, window_) << "a display is needed (xvfb-run)";
        Window.MainWindowHandle = window_;
    }
    void TearDown() override {
        InputTest::TearDown();
        Window.MainWindowHandle = nullptr;
        if (window_) DestroyWindow(window_);
        CoUninitialize();
    }

    HWND window_ = nullptr;
};

TEST_P(RealDirectInputTest, StartQueryStop) {
    ASSERT_EQ(0, StartInput());
    EXPECT_EQ(GetParam(), Input.InputMode);
    EXPECT_NE(nullptr, Input.DirectInputInterface);
    EXPECT_NE(nullptr, Input.MouseDevice);
    EXPECT_NE(nullptr, Input.KeyboardDevice);
    EXPECT_NE(nullptr, Input.KeyboardEvent);
    EXPECT_EQ(0, Input.PadCount);
    EXPECT_TRUE(LogHas("DirectInput 関連の初期化は正常に終了しました"));
    EXPECT_EQ(0, ReadPadInput(1));
    EXPECT_EQ(0, ReadPadInput(0x1001));
    EXPECT_EQ(0, ReacquireInputDevices());
    EXPECT_EQ(0, StopInput());
    EXPECT_EQ(NotStarted, Input.InputMode);
    EXPECT_EQ(nullptr, Input.DirectInputInterface);
    EXPECT_EQ(nullptr, Input.KeyboardDevice);
    EXPECT_EQ(nullptr, Input.MouseDevice);
}

INSTANTIATE_TEST_SUITE_P(Wine, RealDirectInputTest, testing::Values(int(DirectInput7), int(DirectInput8)),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == DirectInput7 ? "DirectInput7" : "DirectInput8");
                         });

} // namespace
