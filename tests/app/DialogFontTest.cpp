// The dialog's font choice on real windows: a window with static controls
// stands in for the dialog, its font set as the dialog manager would.
#include "app/Dialog.h"
#include "app/CaptionRedraw.h"
#include "app/DialogFont.h"
#include "app/JapaneseFace.h"
#include "MadeUpFont.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

HFONT MakeFont(const std::wstring& face) {
    LOGFONTW font{};
    font.lfHeight = -12;
    // Not DEFAULT_CHARSET: that is the system's, and in Japanese the font
    // mapper would pass over a face without Japanese for one with it.
    font.lfCharSet = ANSI_CHARSET;
    face.copy(font.lfFaceName, LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
}

std::wstring FaceOf(HFONT font) {
    LOGFONTW description{};
    GetObjectW(font, sizeof description, &description);
    return description.lfFaceName;
}

bool DrawsText(HFONT font, const std::wstring& text) {
    HDC dc = GetDC(nullptr);
    bool draws = FontDrawsText(dc, font, text);
    ReleaseDC(nullptr, dc);
    return draws;
}

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM list) {
    reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(font->lfFaceName);
    return 1;
}

// An installed face with Latin letters and no Japanese ones, as the template
// font's stand-in is on a system without Japanese fonts. Which one depends on the system (a missing face is
// mapped to a Japanese one in Japanese).
std::wstring LatinOnlyFace() {
    LOGFONTW query{};
    query.lfCharSet = ANSI_CHARSET;
    std::vector<std::wstring> faces;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &query, CollectFace, reinterpret_cast<LPARAM>(&faces), 0);
    ReleaseDC(nullptr, dc);
    for (const std::wstring& face : faces) {
        HFONT font = MakeFont(face);
        bool latinOnly = DrawsText(font, L"OK Button") && !DrawsText(font, L"キ");
        DeleteObject(font);
        if (latinOnly) return face;
    }
    return std::wstring();
}

// A parent window with a control per text, all in the given font.
class TextWindows {
public:
    TextWindows(HFONT font, const std::vector<std::wstring>& texts) {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        SendMessageW(parent_, WM_SETFONT, WPARAM(font), FALSE);
        for (const std::wstring& text : texts) {
            HWND control = CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD, 0, 0, 100, 20, parent_, nullptr,
                                           GetModuleHandleW(nullptr), nullptr);
            SendMessageW(control, WM_SETFONT, WPARAM(font), FALSE);
            controls_.push_back(control);
        }
    }
    ~TextWindows() { DestroyWindow(parent_); }
    HWND Parent() const { return parent_; }
    const std::vector<HWND>& Controls() const { return controls_; }
    static HFONT FontOf(HWND window) { return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)); }

private:
    HWND parent_ = nullptr;
    std::vector<HWND> controls_;
};

TEST(DialogText, ShiftJisBecomesUtf16WhateverTheAnsiCodePage) {
    const struct {
        const char* shiftJis;
        std::wstring wide;
    } cases[] = {
        {"", L""},
        {"------", L"------"},
        {"Orvanne キーコンフィグ", L"Orvanne キーコンフィグ"},
        {"セーブファイルの読み込みに失敗しました。", L"セーブファイルの読み込みに失敗しました。"},
        {"ｶﾅ", L"ｶﾅ"}, // single-byte katakana
    };
    for (const auto& c : cases) EXPECT_EQ(c.wide, WideFromShiftJis(c.shiftJis)) << c.shiftJis;
}

// The glyph test on a Latin face and on the Japanese face the dialog would take.
TEST(DialogFont, MissingGlyphsAreTold) {
    const std::wstring latinFace = LatinOnlyFace();
    ASSERT_FALSE(latinFace.empty()) << "no installed font without Japanese glyphs";
    LOGFONTW like{};
    like.lfHeight = -12;
    std::wstring japaneseFace;
    HFONT japanese = CreateJapaneseFontLike(like, L"Sキー", japaneseFace);
    ASSERT_TRUE(japanese) << "no installed Japanese font";
    HFONT latin = MakeFont(latinFace);
    const struct {
        HFONT font;
        std::wstring text;
        bool shown;
    } cases[] = {
        {latin, L"", true},
        {latin, L"Button12 OK ------", true},
        {latin, L"OK\r\n\t", true}, // control characters are not drawn
        {latin, L"Sキー", false},
        {latin, L"\uE000", false}, // a private-use character: no font has it
        {japanese, L"Sキー", true},
        {japanese, L"セーブファイルの読み込みに失敗しました。", true},
        {japanese, L"\uE000", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.font == latin ? "Latin face, text " : "Japanese face, text ")
                                        << c.text.size() << " characters long");
        EXPECT_EQ(c.shown, DrawsText(c.font, c.text));
    }
    DeleteObject(latin);
    DeleteObject(japanese);
}

// The face search on a system whose Japanese faces do not all have every
// character: a face of the Japanese character set with only some of the
// texts' characters (made up for the test) is listed beside an installed
// face that has them all, in both orders.
std::vector<std::wstring> ListedFaces;

std::vector<std::wstring> TheListedFaces(HDC) {
    return ListedFaces;
}

TEST(DialogFont, TheSearchPassesOverAFaceWithoutEveryCharacter) {
    const std::wstring texts = L"Sキー OK キャンセル Button2";
    const std::wstring partialFace = L"Orvanne Partial Test";
    PrivateFont partial(MakeJapaneseFontFile(partialFace, L"SOKBnotu2 キー"));
    ASSERT_TRUE(partial.Installed());
    LOGFONTW like{};
    like.lfHeight = -12;
    std::wstring fullFace;
    HFONT full = CreateJapaneseFontLike(like, texts, fullFace);
    ASSERT_TRUE(full) << "no installed Japanese font";
    DeleteObject(full);

    const JapaneseFaceListFunction installedFaces = ListJapaneseFaces;
    ListJapaneseFaces = TheListedFaces;
    const struct {
        std::vector<std::wstring> faces;
        std::wstring text;
        std::wstring chosen; // empty: none
    } cases[] = {
        {{partialFace, fullFace}, texts, fullFace},
        {{fullFace, partialFace}, texts, fullFace},
        {{partialFace}, texts, L""},
        {{}, texts, L""},
        // The made-up face is a real candidate: where it has every character, it is taken.
        {{partialFace, fullFace}, L"Sキー OK", partialFace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.faces.size() << " faces, the first "
                                        << (c.faces.empty() || c.faces[0] != partialFace ? "full" : "partial")
                                        << ", text " << c.text.size() << " characters long");
        ListedFaces = c.faces;
        std::wstring face = L"untouched";
        HFONT font = CreateJapaneseFontLike(like, c.text, face);
        EXPECT_EQ(!c.chosen.empty(), font != nullptr);
        if (font == nullptr) continue;
        EXPECT_TRUE(c.chosen == face) << "another face was chosen";
        EXPECT_TRUE(DrawsText(font, c.text));
        DeleteObject(font);
    }
    ListJapaneseFaces = installedFaces;
}

TEST(DialogFont, AFontWithoutTheJapaneseGlyphsIsReplacedOnEveryControl) {
    const std::wstring latinFace = LatinOnlyFace();
    ASSERT_FALSE(latinFace.empty()) << "no installed font without Japanese glyphs";
    HFONT latin = MakeFont(latinFace);
    const std::vector<std::wstring> texts = {L"Sキー", L"OK", L"キャンセル", L"Button2"};
    DialogFont chosen;
    {
        TextWindows windows(latin, texts);
        ASSERT_TRUE(chosen.MakeDrawable(windows.Parent())) << "no installed Japanese font draws the texts";
        HFONT font = TextWindows::FontOf(windows.Parent());
        EXPECT_NE(latin, font);
        EXPECT_EQ(chosen.ChosenFace(), FaceOf(font));
        for (HWND control : windows.Controls()) EXPECT_EQ(font, TextWindows::FontOf(control));
        for (const std::wstring& text : texts) EXPECT_TRUE(DrawsText(font, text));

        LOGFONTW before{}, after{};
        GetObjectW(latin, sizeof before, &before);
        GetObjectW(font, sizeof after, &after);
        EXPECT_EQ(before.lfHeight, after.lfHeight); // the template's size
        EXPECT_EQ(SHIFTJIS_CHARSET, after.lfCharSet);
    }

    // A dialog whose own font draws its texts keeps it; so does one whose
    // texts any font draws.
    const struct {
        std::wstring face;
        std::vector<std::wstring> texts;
    } kept[] = {
        {chosen.ChosenFace(), texts},
        {latinFace, {L"OK", L"Button2", L"------"}},
    };
    for (const auto& c : kept) {
        HFONT font = MakeFont(c.face);
        TextWindows windows(font, c.texts);
        DialogFont unchanged;
        EXPECT_FALSE(unchanged.MakeDrawable(windows.Parent()));
        EXPECT_TRUE(unchanged.ChosenFace().empty());
        EXPECT_EQ(font, TextWindows::FontOf(windows.Parent()));
        for (HWND control : windows.Controls()) EXPECT_EQ(font, TextWindows::FontOf(control));
        DeleteObject(font);
    }
    DeleteObject(latin);
}

} // namespace
