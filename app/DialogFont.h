// A font that can draw the dialog's texts. The template asks for the
// Japanese system font; on a system without it (another language's Windows,
// Wine in the player's own locale) its stand-in may have no Japanese glyphs
// and every label would show as boxes. Then the dialog takes an installed
// Japanese font that has them all, at the template font's size.
#pragma once

#include <windows.h>

#include <string>

class DialogFont {
public:
    DialogFont() = default;
    ~DialogFont();
    DialogFont(const DialogFont&) = delete;
    DialogFont& operator=(const DialogFont&) = delete;

    // Keeps the dialog's font when it draws every character of the dialog's
    // texts; else sets the first Japanese face that does on the dialog and
    // all its controls. Call once the controls have their texts. Returns
    // false when the font was kept (no better face found, or none needed).
    bool MakeDrawable(HWND dialog);

    // The face now in use when MakeDrawable changed it; empty otherwise.
    const std::wstring& ChosenFace() const { return face_; }

private:
    HFONT font_ = nullptr;  // ours: deleted once the dialog is gone
    std::wstring face_;
};

// Whether the font has a glyph for every character of the text (line ends
// and other control characters aside).
bool FontDrawsText(HDC dc, HFONT font, const std::wstring& text);
