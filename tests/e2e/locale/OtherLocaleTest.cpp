// The real tool as a player outside Japan runs it: Windows, or Wine in the
// player's own locale, with an ANSI code page other than 932. Every text must
// still be the Japanese one, read back through the wide-character API, and
// be drawn with glyphs. The expected texts here are UTF-16 literals, apart
// from the Shift-JIS ones the tool itself holds.
#include "E2EFixture.h"

#include "app/ShortenedFolder.h"
#include "driver/PadNames.h"

#include "driver/Screenshot.h"

#include <algorithm>

namespace {

const wchar_t Caption[] = L"Orvanne キーコンフィグ";

BOOL CALLBACK CollectStatic(HWND control, LPARAM list) {
    wchar_t className[16] = {};
    GetClassNameW(control, className, 16);
    if (lstrcmpiW(className, L"Static") == 0 && GetDlgCtrlID(control) != PadStatusId)
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(control);
    return TRUE;
}

// The key labels, in the template's order S, Z, A, W, X, C, V, B (the status
// line is no label).
std::vector<HWND> Labels(HWND dialog) {
    std::vector<HWND> labels;
    EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&labels));
    return labels;
}

class OtherLocale : public KeyConfigEndToEnd {
protected:
    void SetUp() override {
        // The suite means nothing in the Japanese locale: it must run where
        // the ANSI API would turn the texts into question marks.
        ASSERT_NE(932u, GetACP()) << "run this suite with a non-Japanese locale (WINE_LOCALE)";
        KeyConfigEndToEnd::SetUp();
    }

    HWND Control(int id) { return GetDlgItem(Tool().Dialog(), id); }
};

TEST_F(OtherLocale, EveryDialogTextIsTheJapaneseOne) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    HWND dialog = Tool().Dialog();
    EXPECT_EQ(std::wstring(Caption), KeyConfigSession::WindowTextW(dialog));

    const std::vector<std::wstring> labelTexts = {L"Sキー", L"Zキー", L"Aキー", L"Wキー",
                                                  L"Xキー", L"Cキー", L"Vキー", L"Bキー"};
    std::vector<std::wstring> shown;
    for (HWND label : Labels(dialog)) shown.push_back(KeyConfigSession::WindowTextW(label));
    EXPECT_EQ(labelTexts, shown);

    EXPECT_EQ(L"OK", KeyConfigSession::WindowTextW(Control(OkId)));
    EXPECT_EQ(L"キャンセル", KeyConfigSession::WindowTextW(Control(CancelId)));
    EXPECT_EQ(L"クリア", KeyConfigSession::WindowTextW(Control(ClearId)));

    const std::vector<std::wstring> fieldTexts = {L"Button2", L"Button3", L"Button4", L"Button1",
                                                  L"Button7", L"Button8", L"Button9", L"Button12"};
    for (int slot = 0; slot < SlotCount; ++slot)
        EXPECT_EQ(fieldTexts[size_t(slot)], KeyConfigSession::WindowTextW(Control(FieldId(slot)))) << slot;
    ASSERT_TRUE(Tool().Click(ClearId));
    ASSERT_TRUE(Joypad().WaitReads(2));
    for (int slot = 0; slot < SlotCount; ++slot)
        EXPECT_EQ(L"------", KeyConfigSession::WindowTextW(Control(FieldId(slot)))) << slot;

    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

TEST_F(OtherLocale, LoadErrorBoxReadsInJapanese) {
    ASSERT_NO_FATAL_FAILURE(Launch()); // no save file
    HWND box = Tool().WaitForErrorBox();
    ASSERT_TRUE(box) << "no error box";
    EXPECT_EQ(L"キーコンフィグエラー", KeyConfigSession::WindowTextW(box));
    // The box's text: the folder as the system names it, the rest Japanese.
    EXPECT_EQ(MissingSaveText(ShortenedFolder(GameFolder())), KeyConfigSession::MessageBoxTextW(box));
    ASSERT_TRUE(Tool().DismissErrorBox(box));
    ASSERT_NO_FATAL_FAILURE(WaitReady());
    EXPECT_EQ(std::wstring(Caption), KeyConfigSession::WindowTextW(Tool().Dialog()));
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    EXPECT_TRUE(FolderFiles().empty());
}

TEST_F(OtherLocale, ABindAndOkSaveTheRightBytes) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(13));
    EXPECT_EQ(L"Button13", KeyConfigSession::WindowTextW(Control(FieldId(0))));
    ASSERT_TRUE(Joypad().Press(5));
    EXPECT_EQ(L"Button5", KeyConfigSession::WindowTextW(Control(FieldId(1))));

    ExpectSavedWith({{0, 13}, {1, 5}});
}

// Drawn with a font that has no Japanese glyphs, "Sキー" shows "S" and two
// equal boxes; drawn right, the long-vowel mark "ー" is a horizontal stroke,
// far flatter than any letter. Every text checked here has one.
void ExpectAStroke(const ScreenshotResult& shot, RECT area, const char* what) {
    std::vector<RECT> glyphs = InkRuns(shot, area);
    ASSERT_GE(glyphs.size(), 3u) << what;
    LONG flattest = glyphs[0].bottom - glyphs[0].top, tallest = flattest;
    for (const RECT& glyph : glyphs) {
        flattest = std::min(flattest, glyph.bottom - glyph.top);
        tallest = std::max(tallest, glyph.bottom - glyph.top);
    }
    std::printf("%s: %zu glyphs, the tallest %ld px high, the flattest %ld px\n", what, glyphs.size(), tallest,
                flattest);
    EXPECT_LE(3 * flattest, tallest) << what << ": no glyph is a stroke; the long-vowel mark shows as a box";
}

TEST_F(OtherLocale, TheCaptionAndTheLabelsAreDrawnWithJapaneseGlyphs) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().WaitReads(3)); // a few ticks for the first paint
    HWND dialog = Tool().Dialog();

    const std::string path = AnsiProgramFolder() + "\\..\\e2e-keyconfig-other-locale.bmp";
    ScreenshotResult shot = CaptureWindow(dialog, path);
    ASSERT_TRUE(shot.saved) << path;
    std::printf("screenshot: %s (%dx%d, %d colours)\n", path.c_str(), shot.width, shot.height, shot.distinctColours);

    ExpectAStroke(shot, CaptionTextArea(dialog), "the caption");
    std::vector<HWND> labels = Labels(dialog);
    ASSERT_EQ(8u, labels.size());
    for (HWND label : labels) {
        const std::wstring text = KeyConfigSession::WindowTextW(label);
        const std::string what = std::string("the label of key ") + (text.empty() ? '?' : char(text[0]));
        ExpectAStroke(shot, ChildArea(dialog, label), what.c_str());
    }

    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// The box is laid out by the system for its text in the system's font; in
// the Japanese face the text is wider, and the box grows with it.
TEST_F(OtherLocale, TheLoadErrorBoxIsDrawnWithJapaneseGlyphsAndFitsItsText) {
    ASSERT_NO_FATAL_FAILURE(Launch()); // no save file
    HWND box = Tool().WaitForErrorBox();
    ASSERT_TRUE(box) << "no error box";
    Sleep(300); // the first paint

    const std::string path = AnsiProgramFolder() + "\\..\\e2e-error-box-other-locale.bmp";
    ScreenshotResult shot = CaptureWindow(box, path);
    ASSERT_TRUE(shot.saved) << path;
    std::printf("screenshot: %s (%dx%d)\n", path.c_str(), shot.width, shot.height);
    ExpectAStroke(shot, CaptionTextArea(box), "the box's caption");
    const RECT textArea = ChildArea(box, GetDlgItem(box, 0xFFFF));
    ExpectAStroke(shot, textArea, "the box's text");

    // The whole text shows: it ends with the full stop "。", which sits at
    // the foot of the line (a text cut off ends in a full-height glyph).
    // The control lies inside the box, and the OK button in its middle.
    std::vector<RECT> glyphs = InkRuns(shot, textArea);
    ASSERT_FALSE(glyphs.empty());
    LONG top = glyphs[0].top, bottom = glyphs[0].bottom;
    for (const RECT& glyph : glyphs) top = std::min(top, glyph.top), bottom = std::max(bottom, glyph.bottom);
    EXPECT_GT(glyphs.back().top, (top + bottom) / 2) << "the text is cut off before its full stop";
    EXPECT_LE(textArea.right, shot.width);
    const RECT ok = ChildArea(box, GetDlgItem(box, IDOK));
    EXPECT_NEAR(shot.width / 2, (ok.left + ok.right) / 2, 3) << "the OK button is off centre";

    ASSERT_TRUE(Tool().DismissErrorBox(box));
    ASSERT_NO_FATAL_FAILURE(WaitReady());
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// A controller named with letters of this locale's ANSI code page that
// Shift-JIS, the runtime's text, lacks (é): DirectInput gives the name in
// this code page, and the line shows the nearest letters Shift-JIS has,
// never question marks or a name cut short.
TEST_F(OtherLocale, APadNamedInThisCodePageShowsItsLetters) {
    Joypad().NameProduct(L"Manette sp\u00E9ciale");
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    HWND line = Control(PadStatusId);
    const std::wstring shown = L"Manette speciale";
    ASSERT_TRUE(WaitUntil([&] { return AsOneLine(KeyConfigSession::WindowTextW(line)) == shown; }, 10000))
        << "the line shows " << ShiftJisFromWide(KeyConfigSession::WindowTextW(line));
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// A game folder named in Japanese, which this locale's ANSI code page cannot
// spell: the tool loads and saves there all the same.
TEST_F(OtherLocale, SavesInAFolderNamedInJapanese) {
    ASSERT_NO_FATAL_FAILURE(UseGameFolderNamed(L"オルヴァンヌ"));
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_EQ(ButtonText(10), Tool().FieldText(0));
    ASSERT_NO_FATAL_FAILURE(ExpectSavedWith({{0, 10}}));
}

} // namespace
