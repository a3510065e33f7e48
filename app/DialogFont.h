// The dialog's font, made able to draw the tool's Japanese texts.
//
// The template asks for the Japanese system font. Where that font, or its
// stand-in, shows the texts (Windows and Wine in the Japanese locale) the
// font is kept; elsewhere the first installed Japanese face that draws them
// takes its place at the same size, on the dialog and every control.
#pragma once

#include <windows.h>

#include <string>

class DialogFont {
public:
    DialogFont() = default;
    ~DialogFont();
    DialogFont(const DialogFont&) = delete;
    DialogFont& operator=(const DialogFont&) = delete;

    // Keeps the dialog's font when it shows every character of the dialog's
    // texts; else sets the first Japanese face that does on the dialog and
    // all its controls. Call once the controls have their texts. Returns
    // false when the font was kept (no better face found, or none needed).
    bool MakeDrawable(HWND dialog);

    // The face now in use when MakeDrawable changed it; empty otherwise.
    const std::wstring& ChosenFace() const { return face_; }

private:
    HFONT font_ = nullptr; // ours: deleted once the dialog is gone
    std::wstring face_;
};
