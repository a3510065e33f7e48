// A game installed under Program Files, whose writes Windows has redirected
// to a per-user copy: the tool shows and saves the file the game wrote last.
// Wine does not redirect; the folders and the copy are made here by hand, as
// Windows would have left them.
#include "E2EFixture.h"

namespace {

struct PerUserCopyCase {
    const char* name;
    bool underProgramFiles; // else under C:\Games, which Windows does not redirect
    const wchar_t* folder;
    bool copy;       // a copy in the per-user store, beside the original of second 1000
    int copySeconds; // when the copy was written
    bool copyEdited; // the tool shows and saves the copy; else the original
};

void PrintTo(const PerUserCopyCase& c, std::ostream* out) {
    *out << c.name;
}

// Field texts of masks.
std::vector<std::string> TextsOf(const SlotMasks& masks) {
    std::vector<std::string> texts;
    for (uint32_t mask : masks) {
        int button = 1;
        while (button < 28 && ButtonMask(button) != mask) ++button;
        texts.push_back(ButtonText(button));
    }
    return texts;
}

class PerUserCopy : public KeyConfigEndToEnd, public testing::WithParamInterface<PerUserCopyCase> {};

TEST_P(PerUserCopy, TheToolEditsTheFileTheGameWroteLast) {
    const PerUserCopyCase& c = GetParam();
    const std::wstring base = c.underProgramFiles ? EnvironmentFolder(L"ProgramFiles") : std::wstring(L"C:\\Games");
    ASSERT_FALSE(base.empty());
    ASSERT_NO_FATAL_FAILURE(UseGameFolderAt(base + L"\\" + c.folder));
    const std::wstring original = GameFolder() + L"\\saves.qvr";
    const std::wstring copy = MakeVirtualStoreFolder() + L"\\saves.qvr";
    SlotMasks copyMasks = DefaultMasks;
    copyMasks[0] = ButtonMask(15), copyMasks[1] = ButtonMask(16);
    const std::string originalBytes = EncodeSave(SampleSave(DefaultMasks));
    const std::string copyBytes = EncodeSave(SampleSave(copyMasks));
    ASSERT_NO_FATAL_FAILURE(PutSaveFileDated(original, originalBytes, 1000));
    if (c.copy) {
        ASSERT_NO_FATAL_FAILURE(PutSaveFileDated(copy, copyBytes, c.copySeconds));
    }

    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    EXPECT_EQ(TextsOf(c.copyEdited ? copyMasks : DefaultMasks), Tool().FieldTexts());
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_EQ(ButtonText(10), Tool().FieldText(0));
    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());

    SaveData edited = SampleSave(c.copyEdited ? copyMasks : DefaultMasks);
    SetSlotMask(edited, 0, ButtonMask(10));
    EXPECT_EQ(c.copyEdited ? originalBytes : EncodeSave(edited), ReadFileBytes(original));
    if (c.copy) {
        EXPECT_EQ(c.copyEdited ? EncodeSave(edited) : copyBytes, ReadFileBytes(copy));
    }
    EXPECT_EQ(std::vector<std::string>{"saves.qvr"}, FolderFiles());
}

INSTANTIATE_TEST_SUITE_P(E2E, PerUserCopy,
                         testing::Values(PerUserCopyCase{"CopyIsNewer", true, L"Orvanne", true, 2000, true},
                                         PerUserCopyCase{"OriginalIsNewer", true, L"Orvanne", true, 500, false},
                                         PerUserCopyCase{"NoCopy", true, L"Orvanne", false, 0, false},
                                         PerUserCopyCase{"LookAlikeOutsideProgramFiles", false, L"Orvanne", true, 2000,
                                                         false},
                                         PerUserCopyCase{"FolderNamedInHangul", true, L"오르반느", true, 2000, true}),
                         [](const testing::TestParamInfo<PerUserCopyCase>& info) { return info.param.name; });

} // namespace
