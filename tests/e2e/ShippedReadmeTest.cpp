// The player's guide that ships beside the program (KeyConfig_readme.txt in
// the release zip) names every box the tool can show by the box's own words,
// each of its lines as the box shows it, so that a player who meets one finds
// it in the guide. It runs on a release unpacked as a player would (CTest
// test e2e_dist); beside the build tree's program there is no guide.
#include "E2EFixture.h"

namespace {

std::wstring WideFromUtf8(const std::string& text) {
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &wide[0], length);
    return wide;
}

struct BoxText {
    const char* what;
    const char* text; // Shift-JIS, as the program shows it
};

const BoxText BoxTexts[] = {
    {"the error boxes' title", ErrorBoxTitle},
    {"the box when the folder has no save file (before the folder)", MissingSaveTextBefore},
    {"the box when the folder has no save file (after the folder)", MissingSaveTextAfter},
    {"the box when the save file cannot be read", UnreadableSaveText},
    {"the box when the save file cannot be written", SaveErrorText},
    {"the box when the game is running", GameRunningText},
    {"the box when the tool cannot start for another reason", StartupErrorText},
};

// A box's text, line by line.
std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST(ShippedReadme, NamesEveryBoxTheToolShowsByItsWords) {
    const std::wstring program = ToolPath();
    const std::wstring guide = program.substr(0, program.find_last_of(L"\\/") + 1) + L"KeyConfig_readme.txt";
    if (!FileExists(guide)) GTEST_SKIP() << "no KeyConfig_readme.txt beside " << program << ": not a release's program";

    const std::wstring readme = WideFromUtf8(ReadFileBytes(guide));
    ASSERT_FALSE(readme.empty()) << guide << " is empty or not UTF-8";
    for (const BoxText& box : BoxTexts) {
        // Quoted in the Japanese part as 「…」 and in the English one as "…".
        for (const std::wstring& line : Lines(WideFromShiftJis(box.text))) {
            EXPECT_NE(std::wstring::npos, readme.find(L"\u300c" + line + L"\u300d"))
                << box.what << " (" << line << ") is not quoted in the Japanese part of " << guide;
            EXPECT_NE(std::wstring::npos, readme.find(L"\"" + line + L"\""))
                << box.what << " (" << line << ") is not quoted in the English part of " << guide;
        }
    }
}

} // namespace
