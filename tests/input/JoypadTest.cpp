// Joypad discovery on the doubles: what makes a pad, what drops one, the
// axis properties and the two effects exactly, the 16-pad limit; finding the
// pads again on the application's request.
#include "input/InputFixture.h"

#include "runtime/core/ApiLock.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(InputTest, NoControllerLogsTheFramingLinesOnly) {
    StartWithDirectInput7();
    EXPECT_EQ(0, Input.PadCount);
    EXPECT_EQ(1, system_.enumerations);
    EXPECT_EQ(4u, system_.enumeratedType);
    EXPECT_EQ(DWORD(DIEDFL_ATTACHEDONLY), system_.enumeratedFlags);
    Lines expected = {"\tジョイパッドの初期化... ", "\tジョイパッドの初期化は正常に終了しました",
                      "\tマウスデバイスの初期化... 初期化成功"};
    Lines lines = LogLinesFrom("\tジョイパッドの初期化... ");
    lines.resize(3);
    EXPECT_EQ(expected, lines);
}

TEST_F(InputTest, AControllerBecomesAPad) {
    FakeInputDevice* device = system_.AddController("Pad One");
    StartWithDirectInput7();
    ASSERT_EQ(1, Input.PadCount);
    const PadRecord& pad = Input.PadTable[0];
    EXPECT_EQ(static_cast<InputDevice*>(device), pad.device);
    EXPECT_STREQ("Pad One", pad.instanceName);
    EXPECT_STREQ("Fake Product", pad.productName);
    EXPECT_EQ(580u, device->deviceInfoSize);
    EXPECT_EQ(&c_dfDIJoystick, device->dataFormat);
    EXPECT_EQ(std::vector<DWORD>{DISCL_EXCLUSIVE | DISCL_FOREGROUND}, device->cooperativeLevels);
    EXPECT_EQ(pad.dataEvent, device->event);
    EXPECT_NE(nullptr, pad.dataEvent);
    EXPECT_TRUE(device->acquired);
    EXPECT_EQ(0, pad.vibrating);
    EXPECT_EQ(10000, pad.vibrationPower);
    EXPECT_EQ(0, pad.constantForcePlaying);
    EXPECT_EQ(0, pad.sinePlaying);
    Lines expected = {
        "\tジョイパッドの初期化... ",
        "\t入力装置を見つけました",
        "\t\tデバイスの登録名:Pad One",
        "\t\tデバイスの製品登録名:Fake Product",
        "\tジョイパッドの追加は正常に終了しました",
        "\tジョイパッドの初期化は正常に終了しました",
    };
    Lines lines = LogLinesFrom("\tジョイパッドの初期化... ");
    lines.resize(6);
    EXPECT_EQ(expected, lines);
}

TEST_F(InputTest, DirectInput8CreatesPadsWithCreateDevice) {
    system_.createResult[0] = ClassNotRegistered;
    FakeInputDevice* device = system_.AddController();
    ASSERT_EQ(0, StartInput());
    ASSERT_EQ(DirectInput8, Input.InputMode);
    ASSERT_EQ(1, Input.PadCount);
    EXPECT_EQ(static_cast<InputDevice*>(device), Input.PadTable[0].device);
    EXPECT_EQ(3, system_.deviceCreations8);
    EXPECT_EQ(0, system_.deviceCreationsEx);
}

TEST_F(InputTest, AxesGetRangeThenDeadZoneByOffset) {
    FakeInputDevice* device = system_.AddController();
    StartWithDirectInput7();
    struct Expected {
        uintptr_t property;
        DWORD size;
        DWORD offset;
        LONG first;
        LONG second;
    };
    const Expected expected[] = {
        {4, 24, 0, -1000, 1000}, {4, 24, 4, -1000, 1000}, {4, 24, 8, -1000, 1000}, {4, 24, 20, -1000, 1000},
        {5, 20, 0, 2500, 0},     {5, 20, 4, 2500, 0},     {5, 20, 8, 2500, 0},     {5, 20, 20, 2500, 0},
    };
    ASSERT_EQ(8u, device->properties.size());
    for (size_t i = 0; i < 8; ++i) {
        const PropertyRecord& got = device->properties[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].property, got.property);
        EXPECT_EQ(expected[i].size, got.size);
        EXPECT_EQ(16u, got.headerSize);
        EXPECT_EQ(expected[i].offset, got.object);
        EXPECT_EQ(DWORD(DIPH_BYOFFSET), got.how);
        EXPECT_EQ(expected[i].first, got.first);
        EXPECT_EQ(expected[i].second, got.second);
    }
}

TEST_F(InputTest, EffectsAreMadeWithTheirExactParameters) {
    FakeInputDevice* device = system_.AddController();
    StartWithDirectInput7();
    ASSERT_EQ(2u, device->effects.size());
    // The sine comes first.
    FakeEffect* sine = device->effects[0];
    FakeEffect* constant = device->effects[1];
    EXPECT_TRUE(IsEqualGUID(GUID_Sine, sine->guid));
    EXPECT_TRUE(IsEqualGUID(GUID_ConstantForce, constant->guid));
    EXPECT_EQ(static_cast<IDirectInputEffect*>(sine), Input.PadTable[0].sineEffect);
    EXPECT_EQ(static_cast<IDirectInputEffect*>(constant), Input.PadTable[0].constantForceEffect);

    struct Expected {
        FakeEffect* effect;
        DWORD flags;
        DWORD typeSpecificSize;
    };
    const Expected both[] = {{sine, 0x22, 16}, {constant, 0x12, 4}};
    for (const Expected& e : both) {
        const DIEFFECT& p = e.effect->params;
        EXPECT_EQ(sizeof(void*) == 4 ? 56u : 80u, p.dwSize); // the pointers widen it on 64-bit
        EXPECT_EQ(e.flags, p.dwFlags);
        EXPECT_EQ(0xFFFFFFFFu, p.dwDuration);
        EXPECT_EQ(0u, p.dwSamplePeriod);
        EXPECT_EQ(10000u, p.dwGain);
        EXPECT_EQ(0xFFFFFFFFu, p.dwTriggerButton);
        EXPECT_EQ(0u, p.dwTriggerRepeatInterval);
        EXPECT_EQ(2u, p.cAxes);
        EXPECT_EQ((std::vector<DWORD>{0, 4}), e.effect->axes);
        EXPECT_EQ((std::vector<LONG>{0, 0}), e.effect->directions);
        EXPECT_EQ(e.typeSpecificSize, p.cbTypeSpecificParams);
        EXPECT_EQ(0u, p.dwStartDelay);
        EXPECT_EQ(0, e.effect->starts); // made, never played
    }

    ASSERT_TRUE(sine->hasEnvelope);
    EXPECT_EQ(20u, sine->envelope.dwSize);
    EXPECT_EQ(0u, sine->envelope.dwAttackLevel);
    EXPECT_EQ(500000u, sine->envelope.dwAttackTime);
    EXPECT_EQ(0u, sine->envelope.dwFadeLevel);
    EXPECT_EQ(1000000u, sine->envelope.dwFadeTime);
    DIPERIODIC periodic;
    ASSERT_EQ(sizeof periodic, sine->typeSpecific.size());
    std::memcpy(&periodic, sine->typeSpecific.data(), sizeof periodic);
    EXPECT_EQ(10000u, periodic.dwMagnitude);
    EXPECT_EQ(0, periodic.lOffset);
    EXPECT_EQ(0u, periodic.dwPhase);
    EXPECT_EQ(1500000u, periodic.dwPeriod);

    EXPECT_FALSE(constant->hasEnvelope);
    DICONSTANTFORCE force;
    ASSERT_EQ(sizeof force, constant->typeSpecific.size());
    std::memcpy(&force, constant->typeSpecific.data(), sizeof force);
    EXPECT_EQ(10000, force.lMagnitude);
}

TEST_F(InputTest, WithoutForceFeedbackThePadIsKept) {
    FakeInputDevice* device = system_.AddController();
    device->Fail(DeviceCall::CreateSine, DIERR_UNSUPPORTED);
    device->Fail(DeviceCall::CreateConstantForce, DIERR_UNSUPPORTED);
    StartWithDirectInput7();
    ASSERT_EQ(1, Input.PadCount);
    EXPECT_EQ(nullptr, Input.PadTable[0].sineEffect);
    EXPECT_EQ(nullptr, Input.PadTable[0].constantForceEffect);
    Lines lines = LogLinesFrom("\t入力装置を見つけました");
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ("\t周期的エフェクトの作成に失敗しました。", lines[3]);
    EXPECT_EQ("\tジョイパッドの追加は正常に終了しました", lines[4]);
}

struct DroppingFailure {
    const char* name;
    DeviceCall call;
    const char* line; // the text that follows the device's names
};

class PadDropped : public InputTest, public testing::WithParamInterface<DroppingFailure> {};

// The first controller fails; the second becomes pad 1.
TEST_P(PadDropped, NextControllerBecomesPadOne) {
    const DroppingFailure& c = GetParam();
    FakeInputDevice* refused = system_.AddController("Refused");
    FakeInputDevice* taken = system_.AddController("Taken");
    refused->Fail(c.call, DIERR_GENERIC);
    StartWithDirectInput7();
    ASSERT_EQ(1, Input.PadCount);
    EXPECT_EQ(static_cast<InputDevice*>(taken), Input.PadTable[0].device);
    EXPECT_STREQ("Taken", Input.PadTable[0].instanceName);
    EXPECT_EQ(1, refused->refs); // released again
    for (FakeEffect* effect : refused->effects) {
        EXPECT_EQ(1, effect->refs);
        EXPECT_EQ(1, effect->stops);
    }
    Lines lines = LogLinesFrom("\t入力装置を見つけました");
    // After the two name lines, unless the device could not even be made.
    size_t at = c.call == DeviceCall::CreateDevice ? 1 : 3;
    ASSERT_GT(lines.size(), at);
    EXPECT_EQ(std::string("\t") + c.line, lines[at]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PadDropped,
    testing::Values(
        DroppingFailure{"Create", DeviceCall::CreateDevice, "入力装置の取得に失敗しました"},
        DroppingFailure{"DataFormat", DeviceCall::SetDataFormat,
                        "ジョイパッドデバイスではありませんでした、又は設定に失敗しました"},
        DroppingFailure{"RangeX", DeviceCall::RangeX, "ジョイパッドデバイスのＸ軸関係の設定に失敗しました"},
        DroppingFailure{"RangeY", DeviceCall::RangeY, "ジョイパッドデバイスのＹ軸関係の設定に失敗しました"},
        DroppingFailure{"DeadZoneX", DeviceCall::DeadZoneX,
                        "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました"},
        DroppingFailure{"DeadZoneY", DeviceCall::DeadZoneY,
                        "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました"},
        DroppingFailure{"EventNotification", DeviceCall::SetEventNotification,
                        "ジョイパッドイベントのセットアップが失敗しました"}),
    [](const testing::TestParamInfo<DroppingFailure>& info) { return std::string(info.param.name); });

TEST_F(InputTest, RefusalsThatKeepThePad) {
    const DeviceCall kept[] = {DeviceCall::SetCooperativeLevel, DeviceCall::RangeZ,    DeviceCall::RangeRz,
                               DeviceCall::DeadZoneZ,           DeviceCall::DeadZoneRz, DeviceCall::Acquire};
    for (DeviceCall call : kept) system_.AddController()->Fail(call, DIERR_GENERIC);
    FakeInputDevice* polled = system_.AddController();
    polled->Fail(DeviceCall::SetEventNotification, DI_POLLEDDEVICE);
    StartWithDirectInput7();
    EXPECT_EQ(7, Input.PadCount);
    // Only the cooperative level is reported.
    Lines lines = LogLinesFrom("\t入力装置を見つけました");
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ("\tジョイパッドデバイスの協調レベルの設定に失敗しました", lines[3]);
    EXPECT_EQ("\tジョイパッドの追加は正常に終了しました", lines[4]);
}

TEST_F(InputTest, SeventeenControllersMakeSixteenPads) {
    for (int i = 0; i < 17; ++i) system_.AddController();
    StartWithDirectInput7();
    EXPECT_EQ(16, Input.PadCount);
    EXPECT_EQ(16, system_.callbacks);
    EXPECT_EQ(0, system_.controllers[16]->Calls(DeviceCall::CreateDevice));
    EXPECT_EQ(static_cast<InputDevice*>(system_.controllers[15]), Input.PadTable[15].device);
}

TEST_F(InputTest, FindingAgainReleasesTheFirstSet) {
    FakeInputDevice* first = system_.AddController("First");
    StartWithDirectInput7();
    HANDLE firstEvent = Input.PadTable[0].dataEvent;
    // The first controller goes away and a second comes.
    system_.controllers.clear();
    FakeInputDevice* second = system_.AddController("Second");
    ASSERT_EQ(0, FindJoypads());
    ASSERT_EQ(1, Input.PadCount);
    EXPECT_STREQ("Second", Input.PadTable[0].instanceName);
    EXPECT_EQ(static_cast<InputDevice*>(second), Input.PadTable[0].device);
    EXPECT_EQ(1, first->refs);
    EXPECT_FALSE(first->acquired);
    EXPECT_EQ(nullptr, first->event); // notification switched off
    // Closed, unless the new pad's event reuses the handle value.
    if (firstEvent != Input.PadTable[0].dataEvent) {
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(firstEvent, 0));
    }
    first->Release();
}

TEST_F(InputTest, DiscoveryAndReleaseNeedTheInterface) {
    EXPECT_EQ(-1, FindJoypads());
    EXPECT_EQ(-1, ReleaseJoypads());
}

// ---- RefreshJoypads ----

// Where there is no discovery to run again, the refresh answers -1 and
// touches nothing: no enumeration, the pad count as it was, and no API lock
// made (one made before the first start-up, or after the shutdown that
// destroyed it, would never be destroyed).
enum class NoDiscovery { BeforeStart, JoystickMode, AfterStop };

struct NoDiscoveryCase {
    const char* name;
    NoDiscovery when;
    int32_t padCount; // what the refresh must leave
};

void PrintTo(const NoDiscoveryCase& c, std::ostream* out) {
    *out << c.name;
}

class RefreshWithoutDiscovery : public InputTest, public testing::WithParamInterface<NoDiscoveryCase> {};

TEST_P(RefreshWithoutDiscovery, ReturnsMinusOneAndTouchesNothing) {
    const NoDiscoveryCase& c = GetParam();
    system_.AddController();
    if (c.when == NoDiscovery::JoystickMode) {
        system_.createResult[0] = system_.createResult[1] = ClassNotRegistered;
        ASSERT_EQ(0, StartInput());
        ASSERT_EQ(Joystick, Input.InputMode);
    }
    if (c.when == NoDiscovery::AfterStop) {
        StartWithDirectInput7();
        StopInput();
    }
    DestroyApiLock();
    int enumerations = system_.enumerations;
    EXPECT_EQ(-1, RefreshJoypads());
    EXPECT_EQ(enumerations, system_.enumerations);
    EXPECT_EQ(c.padCount, Input.PadCount);
    EXPECT_EQ(0, ApiLock.initialised);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefreshWithoutDiscovery,
                         testing::Values(NoDiscoveryCase{"BeforeStart", NoDiscovery::BeforeStart, 0},
                                         NoDiscoveryCase{"JoystickMode", NoDiscovery::JoystickMode, 16},
                                         NoDiscoveryCase{"AfterStop", NoDiscovery::AfterStop, 0}),
                         [](const testing::TestParamInfo<NoDiscoveryCase>& info) { return info.param.name; });

// Pads follow the new enumeration: one pulled out, one plugged in, and the
// numbers close up. The log tells the discovery as the start-up's does.
TEST_F(InputTest, RefreshNumbersThePadsAttachedNow) {
    FakeInputDevice* first = system_.AddController("First");
    system_.AddController("Second");
    StartWithDirectInput7();
    ASSERT_EQ(2, Input.PadCount);
    first->Unplug();
    FakeInputDevice* third = system_.AddController("Third");
    third->PressButton(2);

    EXPECT_EQ(2, RefreshJoypads());
    EXPECT_EQ(2, system_.enumerations);
    ASSERT_EQ(2, Input.PadCount);
    EXPECT_STREQ("Second", Input.PadTable[0].instanceName);
    EXPECT_STREQ("Third", Input.PadTable[1].instanceName);
    EXPECT_EQ(static_cast<InputDevice*>(third), Input.PadTable[1].device);
    EXPECT_EQ(nullptr, Input.PadTable[2].device);
    EXPECT_EQ(1, first->refs); // the runtime's reference given back
    EXPECT_EQ(nullptr, first->event);
    EXPECT_EQ(0x40, ReadPadInput(2)); // the new pad 2 is Third, holding button 3
    EXPECT_EQ(0, ReadPadInput(1));
    EXPECT_EQ(0, ReadPadInput(3));

    Lines expected = {
        "ジョイパッドの初期化... ",
        "入力装置を見つけました",
        "\tデバイスの登録名:Second",
        "\tデバイスの製品登録名:Fake Product",
        "ジョイパッドの追加は正常に終了しました",
        "入力装置を見つけました",
        "\tデバイスの登録名:Third",
        "\tデバイスの製品登録名:Fake Product",
        "ジョイパッドの追加は正常に終了しました",
        "ジョイパッドの初期化は正常に終了しました",
    };
    EXPECT_EQ(expected, LogLinesFrom("ジョイパッドの初期化... "));
}

// The cable slips out and back: until the pads are found again the lost
// device keeps its last state; after, pad 1 is gone and reads nothing; found
// once more after it is back, it is pad 1 again.
TEST_F(InputTest, APadPulledOutAndPluggedBack) {
    FakeInputDevice* pad = system_.AddController();
    StartWithDirectInput7();
    pad->PressButton(0);
    auto readPadOne = [] {
        Input.PadTable[0].lastPollTime = 0xFFFFFFFFu; // never a timeGetTime value: the read goes through
        return ReadPadInput(1);
    };
    ASSERT_EQ(0x10, readPadOne());

    pad->Unplug();
    EXPECT_EQ(0x10, readPadOne());
    EXPECT_EQ(DIERR_UNPLUGGED, pad->Acquire());

    EXPECT_EQ(0, RefreshJoypads());
    EXPECT_EQ(0, Input.PadCount);
    EXPECT_EQ(0, ReadPadInput(1));

    pad->PlugIn();
    EXPECT_EQ(1, RefreshJoypads());
    EXPECT_EQ(static_cast<InputDevice*>(pad), Input.PadTable[0].device);
    EXPECT_EQ(0x10, readPadOne());
}

// The refresh replaces the pad table under the API lock, so it cannot run
// in the middle of another thread's tick: while this thread holds the lock,
// a refresh on another thread waits in its queue and enumerates nothing.
TEST_F(InputTest, RefreshWaitsForTheApiLock) {
    system_.AddController();
    StartWithDirectInput7();
    int enumerations = system_.enumerations;
    EnterApiLock();
    struct Refresher {
        volatile LONG result = -2;
        static DWORD WINAPI Run(void* self) {
            InterlockedExchange(&static_cast<Refresher*>(self)->result, RefreshJoypads());
            return 0;
        }
    } refresher;
    HANDLE thread = CreateThread(nullptr, 0, Refresher::Run, &refresher, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    auto queued = [] {
        AcquireApiLockGuard();
        int32_t waiting = ApiLock.waitCount;
        ReleaseApiLockGuard();
        return waiting == 1;
    };
    bool sawQueued = false;
    for (DWORD start = GetTickCount(); !sawQueued && GetTickCount() - start < 10000; Sleep(1)) sawQueued = queued();
    EXPECT_TRUE(sawQueued) << "the refresh never waited for the lock";
    EXPECT_EQ(enumerations, system_.enumerations);
    EXPECT_EQ(-2, refresher.result);

    LeaveApiLock();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
    EXPECT_EQ(1, refresher.result);
    EXPECT_EQ(enumerations + 1, system_.enumerations);
    DestroyApiLock();
}

} // namespace
