// A window's caption drawn again in a Japanese face, for systems whose own
// caption font shows the caption's Japanese text as boxes.
//
// Needed only where the system's caption font has no Japanese glyphs: Wine in
// a locale other than Japanese (on Linux and handhelds), and Windows of
// another language (there font linking may draw the caption all the same;
// the redraw then shows the same text in a Japanese face). Never under
// desktop composition (Windows Vista and later with composition on), where
// drawing over the composed frame would not be seen. Elsewhere Attach finds
// the system's caption font able and does nothing.
#pragma once

#include <windows.h>

#include <string>

// Whether the desktop composes window frames itself (Windows Vista and
// later with composition on). The tool then leaves captions to the system:
// drawing over a composed frame is not seen, or seen through.
bool DesktopComposesFrames();

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
