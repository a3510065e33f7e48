// The tool's error box, readable where the system's message font shows
// Japanese as boxes.
//
// Needed only where the system's own fonts have no Japanese glyphs: Wine in
// a locale other than Japanese, Windows of another language. There the box's
// caption is drawn again (CaptionRedraw.h) and its text set in a Japanese
// face, the box widened to fit it; everywhere else the box is the system's,
// untouched.
#pragma once

#include <windows.h>

#include <string>

// MessageBoxW, with the box's caption and text drawn in a Japanese face
// where the system's fonts do not show them (and the box widened to the
// text in that face). Shown from the tool's one GUI thread, never nested.
int ReadableMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT type);
