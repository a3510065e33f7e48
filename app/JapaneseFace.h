// Whether a font can draw the tool's Japanese texts, and the search for an
// installed Japanese face that can.
//
// The dialog template asks for the Japanese system font; on a system without
// it (another language's Windows, Wine in the player's own locale) its
// stand-in may have no Japanese glyphs and every label would show as boxes.
// The dialog font, the caption redraw and the readable message box use these
// tests to decide, and this search to find the face that takes its place.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Whether the font has a glyph for every character of the text (line ends
// and other control characters aside).
bool FontDrawsText(HDC dc, HFONT font, const std::wstring& text);

// The same for text in a window, with the window's device context. A font
// that lacks a glyph is replaced even where the system's font linking would
// have drawn the character from another face: the Japanese face draws it too.
bool WindowFontDrawsText(HWND window, HFONT font, const std::wstring& text);

// A font like `like` (its height, weight and style) in the first installed
// face of the Japanese character set that draws every character of the
// texts; null when no face does. The face goes to `face`.
HFONT CreateJapaneseFontLike(const LOGFONTW& like, const std::wstring& texts, std::wstring& face);

// The faces CreateJapaneseFontLike tries, in turn: by default the installed
// faces of the Japanese character set in the system's order, without the
// vertical-writing ones. Tests list faces of their own here.
using JapaneseFaceListFunction = std::vector<std::wstring> (*)(HDC dc);
extern JapaneseFaceListFunction ListJapaneseFaces;
