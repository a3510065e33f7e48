#include "app/ErrorBoxes.h"
#include "app/ShortenedFolder.h"

#include "app/Dialog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Folders as the box for a missing save file shows them, in at most 40
// characters.
TEST(ErrorBoxes, AFolderIsShortenedToItsRootAndItsLastFolders) {
    const struct {
        const wchar_t* path;
        const wchar_t* shown;
    } cases[] = {
        {L"C:\\Games\\Orvanne", L"C:\\Games\\Orvanne"},
        {L"C:\\Games\\Orvanne\\", L"C:\\Games\\Orvanne"},
        {L"C:\\", L"C:\\"},
        // Exactly 40 characters stays whole; 41 loses the middle.
        {L"C:\\Users\\player\\Downloads\\Orvanne-1.0\\ab", L"C:\\Users\\player\\Downloads\\Orvanne-1.0\\ab"},
        {L"C:\\Users\\player\\Downloads\\Orvanne-1.0\\abc", L"C:\\\u2026\\player\\Downloads\\Orvanne-1.0\\abc"},
        {L"C:\\Users\\player\\Downloads\\orvanne-keyconfig-1.0.0-x64", L"C:\\\u2026\\orvanne-keyconfig-1.0.0-x64"},
        {L"\\\\?\\C:\\Users\\player\\Games\\Orvanne", L"C:\\Users\\player\\Games\\Orvanne"},
        {L"\\\\?\\UNC\\nas\\games\\Orvanne", L"\\\\nas\\games\\Orvanne"},
        {L"\\\\nas\\games\\very long folder name\\and another one\\Orvanne",
         L"\\\\nas\\games\\\u2026\\and another one\\Orvanne"},
        // The last folder alone is too long: its end.
        {L"D:\\a-folder-name-far-longer-than-any-box-line-should-be", L"\u2026-far-longer-than-any-box-line-should-be"},
        {L"C:\\ゲーム\\オルヴァンヌ\\セーブデータのフォルダー\\とても長い名前のフォルダー\\Orvanne",
         L"C:\\\u2026\\セーブデータのフォルダー\\とても長い名前のフォルダー\\Orvanne"},
    };
    for (const auto& c : cases) {
        const std::wstring shown = ShortenedFolder(c.path);
        EXPECT_EQ(std::wstring(c.shown), shown) << c.path;
        EXPECT_LE(shown.size(), BoxFolderCharacters);
    }
}

// A letter outside the basic plane is two UTF-16 units; the cut never
// leaves half of one.
TEST(ErrorBoxes, TheCutNeverSplitsASurrogatePair) {
    std::wstring last;
    for (int i = 0; i < 30; ++i) last += L"\U0001F3AE"; // a game controller, two units each
    const std::wstring shown = ShortenedFolder(L"C:\\" + last, 10);
    ASSERT_FALSE(shown.empty());
    EXPECT_LE(shown.size(), 10u);
    EXPECT_EQ(L'\u2026', shown[0]);
    EXPECT_FALSE(shown[1] >= 0xDC00 && shown[1] <= 0xDFFF) << "starts on the second half of a pair";
    EXPECT_EQ(0u, (shown.size() - 1) % 2);
}

// The box names the folder on a line of its own, between its fixed lines.
TEST(ErrorBoxes, TheMissingFileBoxNamesTheFolderOnItsOwnLine) {
    const std::wstring text = MissingSaveBoxText(L"Z:\\home\\player\\Orvanne");
    EXPECT_EQ(WideFromShiftJis(MissingSaveBoxTextBefore) + L"\nZ:\\home\\player\\Orvanne\n" +
                  WideFromShiftJis(MissingSaveBoxTextAfter),
              text);
    EXPECT_EQ(0u, text.find(WideFromShiftJis("セーブファイルの読み込みに失敗しました。\n")));
}

} // namespace
