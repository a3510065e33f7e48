// StartSoundDevice on the scripted device: the primary format, the device
// set-up, every failure branch and the device report.
#include "SoundFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct FormatCase {
    const char* name;
    DWORD flags;
    DWORD maxRate;
    WORD channels;
    DWORD rate;
    WORD bits;
    WORD blockAlign;
    DWORD bytesPerSecond;
};

const FormatCase FormatCases[] = {
    {"stereo 16-bit above CD rate", DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT, 48000, 2, 44100, 16, 4, 176400},
    {"stereo 16-bit far above", DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT, 200000, 2, 44100, 16, 4, 176400},
    {"stereo 16-bit at CD rate", DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT, 44100, 2, 44100, 16, 4, 176400},
    {"stereo 16-bit below", DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT, 22050, 2, 22050, 16, 4, 88200},
    {"mono 16-bit", DSCAPS_PRIMARYMONO | DSCAPS_PRIMARY16BIT, 44100, 1, 44100, 16, 2, 88200},
    {"stereo 8-bit", DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT, 22050, 2, 22050, 8, 2, 44100},
    {"mono 8-bit", DSCAPS_PRIMARYMONO | DSCAPS_PRIMARY8BIT, 11025, 1, 11025, 8, 1, 11025},
};

TEST_F(SoundTest, PrimaryFormatFollowsTheDeviceCapabilities) {
    for (const FormatCase& c : FormatCases) {
        SCOPED_TRACE(c.name);
        CurrentSoundScript.caps = MakeCaps(c.flags, c.maxRate);
        CurrentSoundRecord.buffers.clear();
        ASSERT_EQ(0, StartSoundDevice());
        ASSERT_FALSE(CurrentSoundRecord.buffers.empty());
        const SoundBufferRecord& primary = CurrentSoundRecord.buffers[0];
        ASSERT_TRUE(primary.setFormatCalled);
        const WAVEFORMATEX& f = primary.setFormat;
        EXPECT_EQ(WAVE_FORMAT_PCM, f.wFormatTag);
        EXPECT_EQ(c.channels, f.nChannels);
        EXPECT_EQ(c.rate, f.nSamplesPerSec);
        EXPECT_EQ(c.bits, f.wBitsPerSample);
        EXPECT_EQ(c.blockAlign, f.nBlockAlign);
        EXPECT_EQ(c.bytesPerSecond, f.nAvgBytesPerSec);
        EXPECT_EQ(0, f.cbSize);
        EXPECT_EQ(0, StopSoundDevice());
    }
}

TEST_F(SoundTest, DeviceIsSetUpOnTheDesktopWithAPrimaryAndALoopingSilenceBuffer) {
    ASSERT_EQ(0, StartSoundDevice());
    EXPECT_EQ(1, CurrentSoundRecord.createCalls);
    EXPECT_TRUE(CurrentSoundRecord.initializeGuidNull) << "the default device";
    EXPECT_EQ(GetDesktopWindow(), CurrentSoundRecord.cooperativeWindow);
    EXPECT_EQ(DWORD(DSSCL_PRIORITY), CurrentSoundRecord.cooperativeLevel);
    ASSERT_EQ(2u, CurrentSoundRecord.buffers.size());

    // 36 bytes in a 32-bit process; the format pointer widens it to 40 on 64-bit.
    const DWORD descriptionSize = sizeof(void*) == 4 ? 36 : 40;
    const SoundBufferRecord& primary = CurrentSoundRecord.buffers[0];
    EXPECT_EQ(descriptionSize, primary.description.dwSize);
    EXPECT_EQ(DWORD(DSBCAPS_PRIMARYBUFFER), primary.description.dwFlags);
    EXPECT_EQ(0u, primary.description.dwBufferBytes);
    EXPECT_EQ(nullptr, primary.description.lpwfxFormat);

    const SoundBufferRecord& silence = CurrentSoundRecord.buffers[1];
    EXPECT_EQ(descriptionSize, silence.description.dwSize);
    EXPECT_EQ(0x8002u, silence.description.dwFlags);
    EXPECT_EQ(400u, silence.description.dwBufferBytes);
    EXPECT_EQ(WAVE_FORMAT_PCM, silence.format.wFormatTag);
    EXPECT_EQ(2, silence.format.nChannels);
    EXPECT_EQ(44100u, silence.format.nSamplesPerSec);
    EXPECT_EQ(16, silence.format.wBitsPerSample);
    EXPECT_EQ(4, silence.format.nBlockAlign);
    EXPECT_EQ(176400u, silence.format.nAvgBytesPerSec);
    EXPECT_EQ(1, silence.playCalls);
    EXPECT_EQ(0u, silence.playReserved);
    EXPECT_EQ(0u, silence.playPriority);
    EXPECT_EQ(DWORD(DSBPLAY_LOOPING), silence.playFlags);
    EXPECT_NE(nullptr, Sound.PrimaryBuffer);
    EXPECT_NE(nullptr, Sound.SilenceBuffer);

    ASSERT_EQ(0, StopSoundDevice());
    EXPECT_EQ(1, CurrentSoundRecord.buffers[0].stopCalls);
    EXPECT_EQ(1, CurrentSoundRecord.buffers[1].stopCalls);
    EXPECT_EQ(nullptr, Sound.PrimaryBuffer);
    EXPECT_EQ(nullptr, Sound.SilenceBuffer);
    EXPECT_EQ(nullptr, Sound.SoundDevice);
    EXPECT_EQ(0, CurrentSoundRecord.liveObjects);
}

// The lock may hand back the 400 bytes as one region or split across the
// buffer's end; both regions are silenced and handed back as they came.
TEST_F(SoundTest, BothLockRegionsOfTheSilenceBufferAreZeroed) {
    for (DWORD firstBytes : {DWORD(400), DWORD(100), DWORD(0)}) {
        SCOPED_TRACE(firstBytes);
        CurrentSoundScript.firstRegionBytes = firstBytes;
        CurrentSoundRecord.buffers.clear();
        ASSERT_EQ(0, StartSoundDevice());
        ASSERT_EQ(2u, CurrentSoundRecord.buffers.size());
        const SoundBufferRecord& silence = CurrentSoundRecord.buffers[1];
        EXPECT_EQ(1, silence.lockCalls);
        EXPECT_EQ(0u, silence.lockOffset);
        EXPECT_EQ(400u, silence.lockBytes);
        EXPECT_EQ(0u, silence.lockFlags);
        EXPECT_TRUE(silence.unlockedRegions);
        EXPECT_TRUE(silence.unlockedZeroed);
        EXPECT_EQ(0, StopSoundDevice());
    }
}

struct FailureCase {
    const char* name;
    void (*script)(SoundScript& s);
    int result;
    const char* logText;         // the failure's text as it stands in the log line
    bool silenceBuffer;          // the silence buffer survives
    bool report;                 // the capability lines are written
};

const FailureCase FailureCases[] = {
    {"no DirectSound object", [](SoundScript& s) { s.create = REGDB_E_CLASSNOTREG; }, -1,
     "DirectSoundインターフェースの作成に失敗しました", false, false},
    {"Initialize fails", [](SoundScript& s) { s.initialize = DSERR_NODRIVER; }, -1,
     "引き続きインターフェースの初期化処理... 初期化に失敗しました", false, false},
    {"cooperative level refused", [](SoundScript& s) { s.cooperativeLevel = DSERR_INVALIDPARAM; }, -1,
     "DirectSoundの協調レベルの設定に失敗しました", false, false},
    // A success code other than DS_OK still counts as a refusal.
    {"cooperative level not plain DS_OK", [](SoundScript& s) { s.cooperativeLevel = S_FALSE; }, -1,
     "DirectSoundの協調レベルの設定に失敗しました", false, false},
    {"no primary buffer", [](SoundScript& s) { s.primaryBuffer = DSERR_OUTOFMEMORY; }, -1,
     "DirectSoundのプライマリサウンドバッファの作成に失敗しました", false, false},
    {"primary format refused", [](SoundScript& s) { s.setFormat = DSERR_BADFORMAT; }, 0,
     "DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました", true, true},
    {"silence buffer refused", [](SoundScript& s) { s.silenceBuffer = DSERR_OUTOFMEMORY; }, 0,
     "無音バッファの作成に失敗しました", false, true},
    {"silence buffer not lockable", [](SoundScript& s) { s.silenceLock = DSERR_BUFFERLOST; }, 0,
     "無音バッファのロックに失敗しました", false, true},
    {"no DSOUND.DLL", [](SoundScript& s) { s.libraryLoads = false; }, 0, "DSOUND.DLL のロードに失敗しました",
     true, false},
    {"no enumeration function", [](SoundScript& s) { s.enumerateExported = false; }, 0,
     "DirectSound デバイスの列挙用関数のポインタ取得に失敗しました", true, false},
};

TEST_F(SoundTest, EachFailureLogsItsTextAndEndsOrGoesOn) {
    for (const FailureCase& c : FailureCases) {
        SCOPED_TRACE(c.name);
        InstallSoundDouble();
        c.script(CurrentSoundScript);
        StartLog(); // a fresh, empty log for each case

        EXPECT_EQ(c.result, StartSoundDevice());
        EXPECT_NE(-1, FindLine(c.logText));
        EXPECT_EQ(c.result == 0, Sound.SoundDevice != nullptr);
        EXPECT_EQ(c.result == 0, FindLine("DirectSound の初期化は正常に終了しました") != -1);
        EXPECT_EQ(c.silenceBuffer, Sound.SilenceBuffer != nullptr);
        EXPECT_EQ(c.report, FindLine("最大サンプリングレート:") != -1);
        EXPECT_EQ(0, Log.LogIndentLevel) << "the indent is restored";
        if (c.result == 0) {
            EXPECT_EQ(0, SoundTick());
            EXPECT_EQ(0, StopSoundDevice());
        } else {
            EXPECT_EQ(-1, SoundTick());
            EXPECT_EQ(-1, StopSoundDevice());
        }
        EXPECT_EQ(0, CurrentSoundRecord.liveObjects);
        // Every library the report loaded is freed again.
        int loaded = CurrentSoundScript.libraryLoads ? CurrentSoundRecord.libraryLoads : 0;
        EXPECT_EQ(loaded, CurrentSoundRecord.libraryFrees);
    }
}

// The failed starts above leave nothing behind: a start after each works.
TEST_F(SoundTest, AStartAfterAFailedStartWorks) {
    CurrentSoundScript.primaryBuffer = DSERR_OUTOFMEMORY;
    ASSERT_EQ(-1, StartSoundDevice());
    CurrentSoundScript.primaryBuffer = DS_OK;
    ASSERT_EQ(0, StartSoundDevice());
    EXPECT_EQ(0, StopSoundDevice());
}

TEST_F(SoundTest, ASecondStartIsRefusedWithoutALogText) {
    ASSERT_EQ(0, StartSoundDevice());
    std::string before = LogText();
    EXPECT_EQ(-1, StartSoundDevice());
    EXPECT_EQ(before, LogText());
    EXPECT_EQ(1, CurrentSoundRecord.createCalls);
}

TEST_F(SoundTest, WithoutADeviceEveryOperationIsRefusedOrDoesNothing) {
    SoundHandle handle{};
    SoundWorkerEntry entry{};
    EXPECT_EQ(-1, StopSoundDevice());
    EXPECT_EQ(-1, SoundTick());
    EXPECT_EQ(-1, AddSoundHandle(&handle));
    EXPECT_EQ(-1, AddSoundWorkerEntry(&entry));
    RemoveSoundHandle(&handle);
    RemoveSoundWorkerEntry(&entry);
    StopAllSoundHandles();
    ReleasePlayerHandles();
    StopSoundCapture();
    ReleaseMusicHandles();
    DeleteMusicTempFile();
    EXPECT_EQ("", LogText());
    EXPECT_EQ(0, CurrentSoundRecord.createCalls);
}

struct ReportCase {
    const char* name;
    std::vector<ScriptedSoundDevice> devices;
};

TEST_F(SoundTest, ReportListsEachDeviceTwoLevelsInAndTheCapabilitiesOneLevelIn) {
    const ReportCase cases[] = {
        {"no device", {}},
        {"one device", {{"dsound.vxd", "Scripted Device"}}},
        {"two devices", {{"", "Primary Sound Driver"}, {"winemm.vxd", "Out: default"}}},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.name);
        InstallSoundDouble();
        CurrentSoundScript.devices = c.devices;
        StartLog();
        ASSERT_EQ(0, StartSoundDevice());

        std::vector<std::string> lines = LogLines();
        int heading = FindLine("DirectSound デバイスを列挙します");
        int rates = FindLine("最大サンプリングレート:");
        ASSERT_NE(-1, heading);
        ASSERT_EQ(heading + 1 + int(c.devices.size()), rates) << "only device lines between the two";
        EXPECT_EQ(1, IndentOf(lines[heading]));
        for (size_t i = 0; i < c.devices.size(); ++i) {
            const std::string& line = lines[heading + 1 + i];
            EXPECT_EQ(2, IndentOf(line));
            EXPECT_NE(std::string::npos, line.find("モジュール名:")) << line;
            EXPECT_NE(std::string::npos, line.find(c.devices[i].description)) << line;
        }
        for (const char* text : {"最大サンプリングレート:", "総サウンドメモリ領域:", "利用可能サンプリング精度",
                                 " プライマリ １６bit", " セカンダリ １６bit", "利用可能チャンネル",
                                 " プライマリ MONO", " セカンダリ MONO"}) {
            int index = FindLine(text);
            ASSERT_NE(-1, index) << text;
            EXPECT_EQ(1, IndentOf(lines[index])) << text;
        }
        int done = FindLine("DirectSound の初期化は正常に終了しました");
        ASSERT_NE(-1, done);
        EXPECT_EQ(0, IndentOf(lines[done]));
        EXPECT_EQ(0, Log.LogIndentLevel);
        EXPECT_EQ("DSOUND.DLL", CurrentSoundRecord.loadedName);
        EXPECT_EQ("DirectSoundEnumerateA", CurrentSoundRecord.exportName);
        EXPECT_EQ(1, CurrentSoundRecord.libraryFrees);
        ASSERT_EQ(0, StopSoundDevice());
    }
}

TEST_F(SoundTest, ReportLinesCarryTheDeviceNamesRatesMemoryAndFlags) {
    CurrentSoundScript.devices = {{"dsound.vxd", "Scripted Device"}};
    CurrentSoundScript.caps = MakeCaps(DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT | DSCAPS_SECONDARY8BIT |
                                           DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO,
                                       96000, 4000, 2048, 1536);
    ASSERT_EQ(0, StartSoundDevice());
    std::vector<std::string> lines = LogLines();
    std::vector<std::string> expected = {
        "T:DirectSound の初期化を行います",
        "T:DirectSound インターフェースの取得を行います....  成功",
        "T:引き続きインターフェースの初期化処理... 成功",
        "T:\tDirectSound デバイスを列挙します",
        "T:\t\tモジュール名:     dsound.vxd  ドライバ記述:Scripted Device ",
        "T:\t最大サンプリングレート:96.00KHz 最小サンプリングレート:4.00KHz ",
        "T:\t総サウンドメモリ領域:2.00KB 空きサウンドメモリ領域:1.50KB ",
    };
    ASSERT_GE(lines.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(expected[i], lines[i]) << "line " << i;
    // The memory line's own line end leaves an empty line after it.
    EXPECT_EQ(std::string::npos, lines[expected.size()].find_first_not_of("T:\t"));
    std::vector<std::string> rest(lines.begin() + expected.size() + 1, lines.end());
    std::vector<std::string> expectedRest = {
        "T:\t利用可能サンプリング精度",
        "T:\t プライマリ １６bit = OK  ８bit = NO ",
        "T:\t セカンダリ １６bit = NO  ８bit = OK ",
        "",
        "T:\t利用可能チャンネル",
        "T:\t プライマリ MONO = NO  STEREO = OK ",
        "T:\t セカンダリ MONO = OK  STEREO = OK ",
        "",
        "T:DirectSound の初期化は正常に終了しました",
    };
    ASSERT_GE(rest.size(), expectedRest.size());
    for (size_t i = 0; i < expectedRest.size(); ++i) {
        if (expectedRest[i].empty()) {
            EXPECT_EQ(std::string::npos, rest[i].find_first_not_of("T:\t")) << "empty line " << i;
            continue;
        }
        EXPECT_EQ(expectedRest[i], rest[i]) << "line " << i;
    }
}

} // namespace
