// The release as a player meets it after "extract here" in the game's
// folder: KeyConfig.exe lands beside saves.qvr and the game's own files,
// starts there, binds and saves, and leaves no file behind. It runs on a
// release unpacked into a game's folder (CTest test e2e_dist); beside the
// build tree's program, which is no release, it is skipped.
#include "E2EFixture.h"

#include <algorithm>

namespace {

class ExtractedRelease : public KeyConfigEndToEnd {
protected:
    void SetUp() override {
        KeyConfigEndToEnd::SetUp();
        const std::wstring tool = ToolPath();
        folder_ = tool.substr(0, tool.find_last_of(L"\\/"));
        if (!FileExists(folder_ + L"\\KeyConfig_readme.txt"))
            GTEST_SKIP() << "no KeyConfig_readme.txt beside " << tool << ": not a release's program";
        UseToolFolder();
    }

    std::wstring folder_;
};

// The zip's files keep the tool's own names beside the game's.
TEST_F(ExtractedRelease, LiesBesideTheGamesOwnFiles) {
    const std::vector<std::string> files = ListFolder(folder_);
    for (const char* tools : {"KeyConfig.exe", "KeyConfig_readme.txt", "KeyConfig_LICENSE.txt"})
        EXPECT_NE(files.end(), std::find(files.begin(), files.end(), tools)) << tools << " is not in the folder";
    // scripts/unpack-dist --game-folder laid these first, and checked that
    // the zip left them as they were.
    for (const char* games : {"readme.txt", "LICENSE.txt"})
        EXPECT_NE(files.end(), std::find(files.begin(), files.end(), games)) << "the game's " << games << " is gone";
}

// Double-clicked there, the tool reads the saves.qvr beside it, binds and
// writes the binding, and adds no file to the game's folder.
TEST_F(ExtractedRelease, StartsBesideTheSaveAndWritesIt) {
    const std::vector<std::string> before = ListFolder(folder_);
    PutSaveFile(EncodeSave(SampleSave(DefaultMasks)));
    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    ASSERT_EQ(DefaultTexts(), Tool().FieldTexts());
    ASSERT_TRUE(Joypad().Press(17));
    EXPECT_EQ(ButtonText(17), Tool().FieldText(0));
    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());

    SaveData expected = SampleSave(DefaultMasks);
    SetSlotMask(expected, 0, ButtonMask(17));
    EXPECT_EQ(EncodeSave(expected), SaveFileBytes());
    std::vector<std::string> after = ListFolder(folder_);
    after.erase(std::remove(after.begin(), after.end(), "saves.qvr"), after.end());
    EXPECT_EQ(before, after) << "the tool left a file in the game's folder";
}

} // namespace
