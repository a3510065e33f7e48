// The player's guide that ships beside the program (readme.txt in the
// release zip) names every box the tool can show by the box's own words, so
// that a player who meets one finds it in the guide. It runs on a release
// unpacked as a player would (CTest test e2e_dist); beside the build tree's
// program there is no guide.
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
    {"the box when the save file cannot be read", LoadErrorText},
    {"the box when the save file cannot be written", SaveErrorText},
    {"the box when the game is running", GameRunningText},
    {"the box when the tool cannot start for another reason", StartupErrorText},
};

TEST(ShippedReadme, NamesEveryBoxTheToolShowsByItsWords) {
    const std::wstring program = ToolPath();
    const std::wstring guide = program.substr(0, program.find_last_of(L"\\/") + 1) + L"readme.txt";
    if (!FileExists(guide)) GTEST_SKIP() << "no readme.txt beside " << program << ": not a release's program";

    const std::wstring readme = WideFromUtf8(ReadFileBytes(guide));
    ASSERT_FALSE(readme.empty()) << guide << " is empty or not UTF-8";
    for (const BoxText& box : BoxTexts) {
        const std::wstring words = WideFromShiftJis(box.text);
        EXPECT_NE(std::wstring::npos, readme.find(words)) << box.what << " (" << words << ") is not in " << guide;
    }
}

} // namespace
