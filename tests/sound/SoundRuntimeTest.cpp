// The sound device inside the runtime and on the machine's own DirectSound.
#include "SoundFixture.h"

#include "runtime/Runtime.h"
#include "support/ChildScenario.h"
#include "support/DebugCapture.h"
#include "support/PlainWindow.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>

namespace {

// Wine's DirectSound on the test environment's ALSA null sink (set up by
// scripts/wine-run): the real device starts, reports and stops. Without that
// environment a machine may have no device at all, and then the start must
// fail the way a soundless machine does.
TEST_F(SoundTest, MachineDeviceStartsReportsAndStops) {
    CurrentSoundPlatform = &DefaultSoundPlatform;
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    char path[MAX_PATH];
    bool nullSink = GetEnvironmentVariableA("ALSA_CONFIG_PATH", path, sizeof path) > 0;

    int result = StartSoundDevice();
    if (result != 0) {
        EXPECT_FALSE(nullSink) << "the null sink is configured, yet the device did not start";
        EXPECT_NE(-1, FindLine("初期化に失敗しました"));
        EXPECT_EQ(nullptr, Sound.SoundDevice);
        CoUninitialize();
        return;
    }
    EXPECT_NE(nullptr, Sound.PrimaryBuffer);
    EXPECT_NE(nullptr, Sound.SilenceBuffer);
    EXPECT_EQ(-1, FindLine("失敗しました"));
    std::vector<std::string> lines = LogLines();
    int heading = FindLine("DirectSound デバイスを列挙します");
    int rates = FindLine("最大サンプリングレート:");
    ASSERT_NE(-1, heading);
    ASSERT_GT(rates, heading + 1) << "at least one device is enumerated";
    for (int i = heading + 1; i < rates; ++i) {
        EXPECT_NE(std::string::npos, lines[i].find("モジュール名:")) << lines[i];
        EXPECT_EQ(2, IndentOf(lines[i]));
    }
    EXPECT_NE(-1, FindLine("DirectSound の初期化は正常に終了しました"));
    EXPECT_EQ(0, SoundTick());

    EXPECT_EQ(0, StopSoundDevice());
    EXPECT_EQ(SoundWorkerEnded, Sound.SoundWorkerState);
    EXPECT_NE(-1, FindLine("DirectSound の終了処理は正常に終了しました"));
    EXPECT_EQ(nullptr, Sound.SoundDevice);
    CoUninitialize();
}

constexpr int ScenarioStarted = 0;
constexpr int ScenarioStartRefused = 1;
constexpr int ScenarioDeviceStarted = 2;
constexpr int ScenarioPumpEnded = 3;

// A machine without sound: no DirectSound object can be made. The runtime
// still starts, runs its ticks and shuts down.
CHILD_SCENARIO(SoundlessMachineStartsTheRuntime) {
    InstallSoundDouble();
    CurrentSoundScript.create = REGDB_E_CLASSNOTREG;
    HWND host = CreatePlainWindow("SoundTestHost", DefWindowProcA, WS_POPUP, 200, 100);
    SetDrawingDisabled(1);
    SetLogOutput(0);
    SetHostWindow(host);
    if (LibraryStartup() != 0) return ScenarioStartRefused;
    int code = ScenarioStarted;
    if (Sound.SoundDevice != nullptr) code = ScenarioDeviceStarted;
    else if (PumpMessages() != 0) code = ScenarioPumpEnded;
    LibraryShutdown();
    DestroyWindow(host);
    return code;
}

TEST(SoundRuntimeTest, AMachineWithoutSoundStillStartsTheRuntime) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("SoundlessMachineStartsTheRuntime");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(ScenarioStarted, result.exitCode);
    const std::vector<std::string>& texts = result.texts;
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "DirectSoundインターフェースの作成に失敗しました\r\n"));
    EXPECT_EQ(texts.end(), std::find(texts.begin(), texts.end(), "DirectSound の終了処理は正常に終了しました\r\n"))
        << "the shutdown's stop finds no device";
}

} // namespace
