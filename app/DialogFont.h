// Fonts that can draw the tool's Japanese texts on any system.
//
// The dialog template asks for the Japanese system font; on a system without
// it (another language's Windows, Wine in the player's own locale) its
// stand-in may have no Japanese glyphs and every label would show as boxes.
// The same holds for what the system draws with its own fonts: captions and
// message-box texts. Where a font cannot draw a text, an installed Japanese
// face that can takes its place at the same size.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Whether the font has a glyph for every character of the text (line ends
// and other control characters aside).
bool FontDrawsText(HDC dc, HFONT font, const std::wstring& text);

// Whether text drawn in the font shows every character: the font has the
// glyphs, or the system finds them in a linked font. A character drawn as
// the same picture as a character no font has (a box), or as nothing,
// is not shown.
bool FontShowsText(HFONT font, const std::wstring& text);

// A font like `like` (its height, weight and style) in the first installed
// face of the Japanese character set that draws every character of the
// texts; null when no face does. The face goes to `face`.
HFONT CreateJapaneseFontLike(const LOGFONTW& like, const std::wstring& texts, std::wstring& face);

// The faces CreateJapaneseFontLike tries, in turn: by default the installed
// faces of the Japanese character set in the system's order, without the
// vertical-writing ones. Tests list faces of their own here.
using JapaneseFaceListFunction = std::vector<std::wstring> (*)(HDC dc);
extern JapaneseFaceListFunction ListJapaneseFaces;

// Whether the desktop composes window frames itself (Windows Vista and
// later with composition on). The tool then leaves captions to the system:
// drawing over a composed frame is not seen, or seen through.
bool DesktopComposesFrames();

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
    HFONT font_ = nullptr;  // ours: deleted once the dialog is gone
    std::wstring face_;
};

// A window's caption, drawn again after the system's drawing with a
// Japanese face where the system's caption font does not show it (and the
// desktop does not compose frames).
class CaptionFont {
public:
    CaptionFont() = default;
    ~CaptionFont();
    CaptionFont(const CaptionFont&) = delete;
    CaptionFont& operator=(const CaptionFont&) = delete;

    // Takes over the caption's text when it needs to; true when it does. The
    // object must outlive the window.
    bool Attach(HWND window);

    const std::wstring& ChosenFace() const { return face_; }

private:
    static LRESULT CALLBACK CaptionProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR self);
    void Draw(HWND window, bool active) const;

    HFONT font_ = nullptr;
    std::wstring face_;
};

// MessageBoxW, with the box's caption and text drawn in a Japanese face
// where the system's fonts do not show them (and the box widened to the
// text in that face).
int ReadableMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT type);
