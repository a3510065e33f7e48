// Controllers' product names as real drivers give them, for the virtual
// joypad to give in their stead, and the status line's text read as a
// player reads it.
#pragma once

#include <string>
#include <vector>

struct RealPadName {
    const wchar_t* name;   // as the driver gives it
    const wchar_t* tidied; // runs of spaces one space, Windows' "Controller (...)" off
    const wchar_t* words;  // the words that tell the pad from the others, which the line shows whole
};
extern const std::vector<RealPadName> RealPadNames;

// The status line's lines (one or two, CR LF between them).
std::vector<std::wstring> StatusLines(const std::wstring& text);
// The lines read as one: joined by the space between the words where the
// line broke.
std::wstring AsOneLine(const std::wstring& text);
// Whether `words` stand whole in a text read as one: not cut, and not joined
// to another word.
bool ShowsWordsWhole(const std::wstring& oneLine, const std::wstring& words);
