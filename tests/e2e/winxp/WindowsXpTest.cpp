// The real tool on Windows XP, as Wine reports it in a prefix of its own
// (WINE_WINDOWS_VERSION=winxp; the 64-bit build's prefix is 64-bit XP). Its
// runtime then takes the paths it keeps for the systems before Vista: the
// keyboard read from DirectInput's system keyboard, the version-dependent
// memory report. One scenario, the tool's whole job: bind and save.
#include "E2EFixture.h"

namespace {

// What Wine reports for XP: NT 5.1, or 5.2 for 64-bit XP.
bool ReportsWindowsXp(const OSVERSIONINFOA& version) {
    DWORD minor = sizeof(void*) == 8 ? 2 : 1;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 5 &&
           version.dwMinorVersion == minor;
}

class OnWindowsXp : public KeyConfigEndToEnd {
protected:
    void SetUp() override {
        // The tool runs in this program's prefix, so it sees the version seen here.
        OSVERSIONINFOA version;
        ZeroMemory(&version, sizeof version);
        version.dwOSVersionInfoSize = sizeof version;
        ASSERT_TRUE(GetVersionExA(&version));
        ASSERT_TRUE(ReportsWindowsXp(version))
            << "Wine reports Windows " << version.dwMajorVersion << "." << version.dwMinorVersion
            << ": run this suite in an XP prefix (WINE_WINDOWS_VERSION=winxp)";
        KeyConfigEndToEnd::SetUp();
    }
};

TEST_F(OnWindowsXp, PressesBindAndOkSavesTheRightBytes) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(13));
    EXPECT_EQ(ButtonText(13), Tool().FieldText(0));
    ASSERT_TRUE(Joypad().Press(5));
    EXPECT_EQ(ButtonText(5), Tool().FieldText(1));
    EXPECT_EQ(FieldId(2), Tool().FocusedId());

    ExpectSavedWith({{0, 13}, {1, 5}});
}

// Windows XP redirects no file writes: a per-user copy beside a game under
// Program Files, even a newer one, is not the game's, and the tool edits the
// game folder's file.
TEST_F(OnWindowsXp, APerUserCopyIsNotTheGamesFile) {
    ASSERT_NO_FATAL_FAILURE(UseGameFolderAt(EnvironmentFolder(L"ProgramFiles") + L"\\Orvanne"));
    const std::wstring copy = MakeVirtualStoreFolder() + L"\\saves.qvr";
    SlotMasks copyMasks = DefaultMasks;
    copyMasks[0] = ButtonMask(15);
    const std::string copyBytes = EncodeSave(SampleSave(copyMasks));
    ASSERT_NO_FATAL_FAILURE(
        PutSaveFileDated(GameFolder() + L"\\saves.qvr", EncodeSave(SampleSave(DefaultMasks)), 1000));
    ASSERT_NO_FATAL_FAILURE(PutSaveFileDated(copy, copyBytes, 2000));
    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    EXPECT_EQ(DefaultTexts(), Tool().FieldTexts());
    ASSERT_TRUE(Joypad().Press(13));
    ExpectSavedWith({{0, 13}});
    EXPECT_EQ(copyBytes, ReadFileBytes(copy));
}

} // namespace
