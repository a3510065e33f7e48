// Ending the dialog, each way a player can (OK, キャンセル, the close box,
// Alt+F4), on a machine with a sound device and on one without: the dialog
// is off the screen before the runtime starts to shut down, and the program
// then ends. The tool runs under a debugger, which stops it at each text the
// runtime writes; at the shutdown's first text the test looks at the screen.
#include "E2EFixture.h"

#include "driver/Screenshot.h"
#include "driver/WineSetting.h"

#include <atomic>

namespace {

// The shutdown's first text comes from the input stop, before it lets go of
// any device.
const char ShutdownFirstText[] = "DirectInput 関連の終了処理";
const char SoundStartedText[] = "DirectSound の初期化は正常に終了しました";
const char SoundRefusedText[] = "初期化に失敗しました";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool AnyStartsWith(const std::vector<std::string>& texts, const char* prefix) {
    for (const std::string& text : texts)
        if (StartsWith(text, prefix)) return true;
    return false;
}

struct EndCase {
    DialogEnd end;
    bool soundDevice;
};

std::string CaseName(const EndCase& c) {
    return std::string(DialogEndName(c.end)) + (c.soundDevice ? "WithSoundDevice" : "WithoutSoundDevice");
}

void PrintTo(const EndCase& c, std::ostream* out) {
    *out << CaseName(c);
}

// What the screen and the tool showed when the runtime's shutdown began.
struct AtShutdown {
    bool seen = false;
    bool dialogVisible = true;
    bool captured = false;
    bool dialogOnScreen = true;
    double shownShare = 1; // of the dialog's pixels still on the screen
    LONG devicesOpen = 0;  // the tool's devices of the virtual joypad
};

class DialogEnds : public KeyConfigEndToEnd, public testing::WithParamInterface<EndCase> {};

TEST_P(DialogEnds, OffTheScreenBeforeTheRuntimeShutsDownThenTheProgramEnds) {
    const EndCase& c = GetParam();
    std::unique_ptr<SoundlessMachine> soundless;
    if (!c.soundDevice) {
        soundless = std::make_unique<SoundlessMachine>();
        ASSERT_TRUE(soundless->Ready()) << "cannot take the sound device away (this needs Wine)";
    }
    PutSaveFile(EncodeSave(SampleSave(DefaultMasks)));

    // Set before the command; the debugger's thread reads them once it is sent.
    std::atomic<bool> sent{false};
    HWND dialog = nullptr;
    RECT area{};
    ScreenshotResult shown;
    AtShutdown atShutdown;
    JoypadPlayer& joypad = Joypad();
    auto onText = [&](const std::string& text) {
        if (!sent.load() || atShutdown.seen || !StartsWith(text, ShutdownFirstText)) return;
        atShutdown.seen = true;
        atShutdown.dialogVisible = IsWindowVisible(dialog) != FALSE;
        const ScreenshotResult now = CaptureScreenArea(area);
        atShutdown.captured = !now.pixels.empty();
        atShutdown.dialogOnScreen = StillShows(shown, now);
        atShutdown.shownShare = SamePixelShare(shown, now);
        atShutdown.devicesOpen = joypad.DevicesOpen();
    };
    DebuggedRun run;
    ASSERT_NO_FATAL_FAILURE(LaunchDebugged(run, onText));
    ASSERT_NO_FATAL_FAILURE(WaitReady());
    ASSERT_TRUE(Joypad().WaitReads(3)); // a few ticks for the first paint
    dialog = Tool().Dialog();
    ASSERT_TRUE(GetWindowRect(dialog, &area));
    shown = CaptureStillScreenArea(area);
    ASSERT_FALSE(shown.pixels.empty()) << "the screen cannot be read";

    sent.store(true);
    ASSERT_TRUE(Tool().End(c.end));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    ASSERT_TRUE(run.WaitFinished(30000)) << "the debugger never saw the program end";
    ASSERT_TRUE(run.Result().finished);

    const std::vector<std::string>& texts = run.Result().texts;
    if (c.soundDevice)
        EXPECT_TRUE(AnyStartsWith(texts, SoundStartedText)) << "the sound device did not start";
    else
        EXPECT_TRUE(AnyStartsWith(texts, SoundRefusedText) && !AnyStartsWith(texts, SoundStartedText))
            << "the tool found a sound device";
    ASSERT_TRUE(atShutdown.seen) << "the runtime's shutdown wrote nothing";
    EXPECT_FALSE(atShutdown.dialogVisible) << "the dialog was still shown when the shutdown began";
    ASSERT_TRUE(atShutdown.captured) << "the screen could not be read when the shutdown began";
    EXPECT_FALSE(atShutdown.dialogOnScreen) << "the dialog was still on the screen when the shutdown began ("
                                            << atShutdown.shownShare * 100 << " % of its pixels)";
    EXPECT_GT(atShutdown.devicesOpen, 0) << "the shutdown had already let go of the controller";
}

std::vector<EndCase> AllEndCases() {
    std::vector<EndCase> cases;
    for (bool soundDevice : {true, false})
        for (DialogEnd end : AllDialogEnds) cases.push_back({end, soundDevice});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(E2E, DialogEnds, testing::ValuesIn(AllEndCases()),
                         [](const testing::TestParamInfo<EndCase>& info) { return CaseName(info.param); });

} // namespace
