// StartInput, StopInput and ReacquireInputDevices on the doubles: the three
// modes with their log lines, the system mouse and keyboard, the fatal
// failures (in child processes) and the restart rules.
#include "input/InputFixture.h"

#include "support/ChildScenario.h"
#include "support/DebugCapture.h"

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

TEST_F(InputTest, StartsOnDirectInput7WithMouseAndKeyboard) {
    StartWithDirectInput7();
    EXPECT_EQ(1, system_.creations[0]);
    EXPECT_EQ(0, system_.creations[1]);
    EXPECT_EQ(0x0700u, system_.initializedVersion[0]);
    // Every device of the 7 interface comes from CreateDeviceEx.
    EXPECT_EQ(2, system_.deviceCreationsEx);
    EXPECT_EQ(0, system_.deviceCreations8);
    Lines expected = {
        "DirectInput関係初期化処理",
        "\tDirectInput7 の取得中... 成功",
        "\t\t引き続き初期化処理... 初期化成功",
        "\tジョイパッドの初期化... ",
        "\tジョイパッドの初期化は正常に終了しました",
        "\tマウスデバイスの初期化... 初期化成功",
        "\tキーボードデバイスの初期化... 初期化成功",
        "DirectInput 関連の初期化は正常に終了しました",
    };
    EXPECT_EQ(expected, LogLines());
    EXPECT_EQ(0, Input.PadCount);
    EXPECT_EQ(0, Input.InputStarting);
}

TEST_F(InputTest, SystemDevicesAreSharedInTheBackground) {
    StartWithDirectInput7();
    FakeInputDevice* mouse = system_.mouse;
    FakeInputDevice* keyboard = system_.keyboard;
    EXPECT_EQ(&c_dfDIMouse2, mouse->dataFormat);
    EXPECT_EQ(&c_dfDIKeyboard, keyboard->dataFormat);
    EXPECT_EQ(std::vector<DWORD>{0xA}, mouse->cooperativeLevels);
    EXPECT_EQ(std::vector<DWORD>{0xA}, keyboard->cooperativeLevels);
    // The keyboard buffers 100 events; the mouse is created and never read.
    ASSERT_EQ(1u, keyboard->properties.size());
    const PropertyRecord& buffer = keyboard->properties[0];
    EXPECT_EQ(1u, buffer.property);
    EXPECT_EQ(20u, buffer.size);
    EXPECT_EQ(16u, buffer.headerSize);
    EXPECT_EQ(0u, buffer.object);
    EXPECT_EQ(DWORD(DIPH_DEVICE), buffer.how);
    EXPECT_EQ(100, buffer.first);
    EXPECT_EQ(Input.KeyboardEvent, keyboard->event);
    EXPECT_NE(nullptr, Input.KeyboardEvent);
    EXPECT_TRUE(keyboard->acquired);
    EXPECT_FALSE(mouse->acquired);
    EXPECT_EQ(0, mouse->Calls(DeviceCall::GetDeviceState));
}

struct SevenFailure {
    const char* name;
    HRESULT create7;
    HRESULT initialize7;
    Lines expected; // the log's first lines
};

class DirectInput8Fallback : public InputTest, public testing::WithParamInterface<SevenFailure> {};

TEST_P(DirectInput8Fallback, StartsOnEightWhenSevenCannotBeHad) {
    const SevenFailure& c = GetParam();
    system_.createResult[0] = c.create7;
    system_.initializeResult[0] = c.initialize7;
    ASSERT_EQ(0, StartInput());
    EXPECT_EQ(DirectInput8, Input.InputMode);
    EXPECT_EQ(0x0800u, system_.initializedVersion[1]);
    EXPECT_EQ(2, system_.deviceCreations8);
    EXPECT_EQ(0, system_.deviceCreationsEx);
    // A refused 7 interface is released before 8 is tried.
    EXPECT_EQ(1, system_.liveInterfaces);
    Lines lines = LogLines();
    lines.resize(std::min(lines.size(), c.expected.size()));
    EXPECT_EQ(c.expected, lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DirectInput8Fallback,
    testing::Values(
        SevenFailure{"NotRegistered",
                     ClassNotRegistered,
                     S_OK,
                     {"DirectInput関係初期化処理", "\tDirectInput7 の取得中... 取得に失敗。",
                      "\tエラーコード 0x80040154", "", "\tDirectInput8 の取得を試みます...成功",
                      "\t\t引き続き初期化処理... 初期化成功"}},
        SevenFailure{"InitialisationRefused",
                     S_OK,
                     DIERR_OLDDIRECTINPUTVERSION,
                     {"DirectInput関係初期化処理", "\tDirectInput7 の取得中... 成功",
                      "\t\t引き続き初期化処理... 初期化に失敗。DirectInput8 の取得を試みます...成功",
                      "\t\t引き続き初期化処理... 初期化成功"}}),
    [](const testing::TestParamInfo<SevenFailure>& info) { return std::string(info.param.name); });

TEST_F(InputTest, JoystickModeWhenNeitherGenerationWorks) {
    system_.createResult[0] = ClassNotRegistered;
    system_.createResult[1] = ClassNotRegistered;
    joysticks_.answering = 3;
    joysticks_.caps[0] = JOYCAPS_HASZ | JOYCAPS_HASR;
    joysticks_.caps[1] = JOYCAPS_HASZ;
    joysticks_.caps[2] = JOYCAPS_HASR | JOYCAPS_HASU;
    ASSERT_EQ(0, StartInput());
    EXPECT_EQ(Joystick, Input.InputMode);
    EXPECT_EQ(1, Input.DirectInputUnavailable);
    EXPECT_EQ(nullptr, Input.DirectInputInterface);
    // All 16 numbers are read later, whatever answered now.
    EXPECT_EQ(16, Input.PadCount);
    EXPECT_EQ(404u, joysticks_.capsSize);
    EXPECT_EQ(4, joysticks_.capsCalls);
    EXPECT_EQ(1, Input.PadTable[0].hasZAndR);
    EXPECT_EQ(0, Input.PadTable[1].hasZAndR);
    EXPECT_EQ(0, Input.PadTable[2].hasZAndR);
    Lines expected = {
        "DirectInput関係初期化処理",
        "\tDirectInput7 の取得中... 取得に失敗。",
        "\tエラーコード 0x80040154",
        "", // LogPrintf ends the line after the text's own line feed
        "\tDirectInput8 の取得を試みます...取得に失敗。DirectInput を使用しません。",
        "\tパッドの数は 3 個です",
        "",
        "入力関連の初期化をしました",
    };
    EXPECT_EQ(expected, LogLines());
    EXPECT_EQ(0x2C, Input.PadKeyMap[0][4][0]);
}

TEST_F(InputTest, DirectInputIsNotTriedAgainAfterItFailed) {
    system_.createResult[0] = ClassNotRegistered;
    system_.createResult[1] = ClassNotRegistered;
    ASSERT_EQ(0, StartInput());
    ASSERT_EQ(0, StopInput());
    EXPECT_EQ(16, Input.PadCount);
    // The machine would offer DirectInput now; the process has given up on it.
    system_.createResult[0] = S_OK;
    system_.createResult[1] = S_OK;
    size_t before = LogLines().size();
    ASSERT_EQ(0, StartInput());
    EXPECT_EQ(Joystick, Input.InputMode);
    EXPECT_EQ(1, system_.creations[0]);
    EXPECT_EQ(1, system_.creations[1]);
    Lines lines = LogLines();
    Lines restart(lines.begin() + before, lines.end());
    Lines expected = {"\tパッドの数は 0 個です", "", "入力関連の初期化をしました"};
    EXPECT_EQ(expected, restart);
}

TEST_F(InputTest, StopReleasesEverythingAndASecondStopDoesNothing) {
    FakeInputDevice* pad = system_.AddController();
    StartWithDirectInput7();
    HANDLE keyboardEvent = Input.KeyboardEvent;
    ASSERT_EQ(0, StopInput());
    EXPECT_EQ(NotStarted, Input.InputMode);
    EXPECT_EQ(0, system_.liveInterfaces);
    EXPECT_EQ(nullptr, Input.DirectInputInterface);
    EXPECT_EQ(nullptr, Input.MouseDevice);
    EXPECT_EQ(nullptr, Input.KeyboardDevice);
    EXPECT_EQ(0, Input.PadCount);
    for (FakeInputDevice* device : {system_.mouse, system_.keyboard, pad}) {
        EXPECT_EQ(1, device->refs) << device->instanceName; // only the machine's own reference left
        EXPECT_FALSE(device->acquired) << device->instanceName;
    }
    for (FakeEffect* effect : pad->effects) EXPECT_EQ(1, effect->refs);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(keyboardEvent, 0)); // closed
    EXPECT_EQ("DirectInput 関連の終了処理... 完了", LogLines().back());

    size_t lines = LogLines().size();
    EXPECT_EQ(0, StopInput());
    EXPECT_EQ(lines, LogLines().size());
}

TEST_F(InputTest, JoystickStopKeepsPadCount) {
    system_.createResult[0] = ClassNotRegistered;
    system_.createResult[1] = ClassNotRegistered;
    ASSERT_EQ(0, StartInput());
    ASSERT_EQ(0, StopInput());
    EXPECT_EQ(NotStarted, Input.InputMode);
    EXPECT_EQ(16, Input.PadCount);
    EXPECT_EQ("入力関連の終了処理... 完了", LogLines().back());
}

TEST_F(InputTest, SecondStartWhileRunningOrStartingDoesNothing) {
    StartWithDirectInput7();
    size_t lines = LogLines().size();
    EXPECT_EQ(0, StartInput());
    EXPECT_EQ(1, system_.creations[0]);
    EXPECT_EQ(lines, LogLines().size());

    ASSERT_EQ(0, StopInput());
    Input.InputStarting = 1; // a start further up the stack
    EXPECT_EQ(0, StartInput());
    EXPECT_EQ(NotStarted, Input.InputMode);
    EXPECT_EQ(1, system_.creations[0]);
}

TEST_F(InputTest, RestartRestoresTheDefaultKeyMapAndRediscovers) {
    system_.AddController();
    StartWithDirectInput7();
    ASSERT_EQ(0, StopInput());
    Input.PadKeyMap[0][4][0] = 0x10;
    Input.KeyState[0x2C] = 0x80;
    system_.AddController();
    StartWithDirectInput7();
    EXPECT_EQ(2, Input.PadCount);
    EXPECT_EQ(0, Input.KeyState[0x2C]);
    const int32_t pad1Button1[4] = {0x2C, -1, 0, 0};
    const int32_t pad6Button1[4] = {-1, -1, 0, 0};
    EXPECT_EQ(0, std::memcmp(pad1Button1, Input.PadKeyMap[0][4], sizeof pad1Button1));
    EXPECT_EQ(0, std::memcmp(pad6Button1, Input.PadKeyMap[5][4], sizeof pad6Button1));
}

TEST(InputKeyMap, DefaultMapOfPadOne) {
    static PadKeyMapEntry map[PadTableSize];
    std::memset(map, 0, sizeof map);
    ResetPadKeyMap(map);
    struct Case {
        int bit;
        int32_t first;
        int32_t second;
    };
    const Case cases[] = {
        {0, 0x50, 0xD0}, {1, 0x4B, 0xCB}, {2, 0x4D, 0xCD}, {3, 0x48, 0xC8}, {4, 0x2C, -1},
        {5, 0x2D, -1},   {6, 0x2E, -1},   {7, 0x1E, -1},   {8, 0x1F, -1},   {9, 0x20, -1},
        {10, 0x10, -1},  {11, 0x11, -1},  {12, 0x01, -1},  {13, 0x39, -1},  {14, -1, -1},
        {31, -1, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.first, map[0][c.bit][0]) << "bit " << c.bit;
        EXPECT_EQ(c.second, map[0][c.bit][1]) << "bit " << c.bit;
        EXPECT_EQ(0, map[0][c.bit][2]) << "bit " << c.bit;
        EXPECT_EQ(0, map[0][c.bit][3]) << "bit " << c.bit;
    }
    for (int pad = 1; pad < PadTableSize; ++pad) {
        for (int bit = 0; bit < PadInputBitCount; ++bit) {
            ASSERT_EQ(-1, map[pad][bit][0]);
            ASSERT_EQ(-1, map[pad][bit][1]);
        }
    }
}

TEST_F(InputTest, RefusedKeyboardEventFailsTheStart) {
    system_.keyboard->Fail(DeviceCall::SetEventNotification, DIERR_INVALIDPARAM);
    EXPECT_EQ(-1, StartInput());
    EXPECT_EQ(0, Input.InputStarting);
    // What was made stays until the stop; the key map stays cleared.
    EXPECT_EQ(DirectInput7, Input.InputMode);
    EXPECT_NE(nullptr, Input.KeyboardDevice);
    EXPECT_EQ(0, Input.PadKeyMap[0][4][0]);
    EXPECT_EQ("\tキーボードデバイスの初期化... キーボードイベントのセットアップが失敗しました", LogLines().back());
    EXPECT_EQ(0, StopInput());
    EXPECT_EQ(0, system_.liveInterfaces);
    EXPECT_EQ(1, system_.keyboard->refs);
}

TEST_F(InputTest, PolledKeyboardAndRefusedBufferSizeStillStart) {
    system_.keyboard->Fail(DeviceCall::SetEventNotification, DI_POLLEDDEVICE);
    system_.keyboard->Fail(DeviceCall::BufferSize, DIERR_UNSUPPORTED);
    system_.keyboard->Fail(DeviceCall::Acquire, DIERR_OTHERAPPHASPRIO, 1); // the second try works
    StartWithDirectInput7();
    EXPECT_EQ(2, system_.keyboard->Calls(DeviceCall::Acquire));
    EXPECT_TRUE(LogHas("\tキーボードデバイスの初期化... キーボードのプロパティ設定に失敗しました"));
}

TEST_F(InputTest, ReacquireFollowsTheWindowsActivity) {
    FakeInputDevice* pad = system_.AddController();
    StartWithDirectInput7();
    struct Case {
        int32_t active;
        DWORD level;
    };
    const Case cases[] = {{0, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND}, {1, DISCL_EXCLUSIVE | DISCL_FOREGROUND}};
    for (const Case& c : cases) {
        Window.WindowActive = c.active;
        int padAcquires = pad->Calls(DeviceCall::Acquire);
        int keyboardAcquires = system_.keyboard->Calls(DeviceCall::Acquire);
        EXPECT_EQ(0, ReacquireInputDevices());
        EXPECT_EQ(c.level, pad->cooperativeLevels.back());
        EXPECT_EQ(padAcquires + 1, pad->Calls(DeviceCall::Acquire));
        EXPECT_EQ(keyboardAcquires + 1, system_.keyboard->Calls(DeviceCall::Acquire));
        EXPECT_TRUE(pad->acquired);
        EXPECT_TRUE(system_.keyboard->acquired);
    }
    // The mouse is never read, so never re-acquired.
    EXPECT_EQ(0, system_.mouse->Calls(DeviceCall::Acquire));
}

TEST_F(InputTest, ReacquireOutsideDirectInputDoesNothing) {
    EXPECT_EQ(0, ReacquireInputDevices());
    system_.createResult[0] = ClassNotRegistered;
    system_.createResult[1] = ClassNotRegistered;
    ASSERT_EQ(0, StartInput());
    EXPECT_EQ(0, ReacquireInputDevices());
}

// ---- Fatal failures: the process ends with -1 after the message ------------

FakeDirectInputSystem* ChildSystem;

// The child reports to the debugger (host-window mode) and runs on doubles.
void PrepareFatalChild() {
    Window.HostWindowMode = 1;
    Window.MainWindowHandle = nullptr;
    Window.WindowActive = 1;
    std::memset(&Input, 0, sizeof Input);
    ChildSystem = new FakeDirectInputSystem;
    ActiveFakeSystem() = ChildSystem;
    CreateDirectInputObject = FakeDirectInputSystem::Create;
}

int StartInChild(FakeInputDevice* device, DeviceCall call) {
    device->Fail(call, DIERR_GENERIC);
    StartInput();
    return 0; // not reached: the start ends the process
}

CHILD_SCENARIO(InputMouseCreateFails) {
    PrepareFatalChild();
    return StartInChild(ChildSystem->mouse, DeviceCall::CreateDevice);
}
CHILD_SCENARIO(InputMouseFormatFails) {
    PrepareFatalChild();
    return StartInChild(ChildSystem->mouse, DeviceCall::SetDataFormat);
}
CHILD_SCENARIO(InputMouseLevelFails) {
    PrepareFatalChild();
    return StartInChild(ChildSystem->mouse, DeviceCall::SetCooperativeLevel);
}
CHILD_SCENARIO(InputKeyboardCreateFails) {
    PrepareFatalChild();
    return StartInChild(ChildSystem->keyboard, DeviceCall::CreateDevice);
}
CHILD_SCENARIO(InputKeyboardFormatFails) {
    PrepareFatalChild();
    return StartInChild(ChildSystem->keyboard, DeviceCall::SetDataFormat);
}
CHILD_SCENARIO(InputKeyboardLevelFails) {
    PrepareFatalChild();
    return StartInChild(ChildSystem->keyboard, DeviceCall::SetCooperativeLevel);
}
CHILD_SCENARIO(InputKeyboardAcquireFailsTwice) {
    PrepareFatalChild();
    return StartInChild(ChildSystem->keyboard, DeviceCall::Acquire);
}

TEST(InputFatal, DeviceFailuresEndTheProcessWithTheirMessage) {
    struct Case {
        const char* scenario;
        const char* message;
    };
    const Case cases[] = {
        {"InputMouseCreateFails", "マウスデバイスの取得に失敗しました"},
        {"InputMouseFormatFails", "マウスデバイスのデータ形式の設定に失敗しました"},
        {"InputMouseLevelFails", "マウスデバイスの協調レベルの設定に失敗しました"},
        {"InputKeyboardCreateFails", "キーボードデバイスの取得に失敗しました"},
        {"InputKeyboardFormatFails", "キーボードデバイスのデータ形式の設定に失敗しました"},
        {"InputKeyboardLevelFails", "キーボードデバイスの協調レベルの設定に失敗しました"},
        {"InputKeyboardAcquireFailsTwice", "キーボードデバイスの取得に失敗しました"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        DebugCaptureResult result = RunChildScenarioUnderDebugger(c.scenario);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(-1, result.exitCode);
        EXPECT_NE(result.texts.end(), std::find(result.texts.begin(), result.texts.end(), std::string(c.message)));
        // The start got as far as the device's opening text, and no further.
        EXPECT_EQ(result.texts.end(),
                  std::find(result.texts.begin(), result.texts.end(),
                            std::string("DirectInput 関連の初期化は正常に終了しました\n")));
    }
}

} // namespace
