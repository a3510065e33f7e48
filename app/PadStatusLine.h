// The dialog's status line: which controller the tool reads, or that none is
// connected, and while a button of it is held, that button as the fields name
// it. The line shows the player a dead pad, the wrong pad and a field without
// the focus apart. A name too long for the line takes two lines of a smaller
// font, so that the words telling two pads apart show; the tooltip gives the
// name whole.
#pragma once

#include "app/Tooltip.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Shown when no controller is there to read.
extern const char NoControllerText[];

// The line's text, Shift-JIS: the held button (bit 4..31 of a pad read, -1
// for none) as the fields name it, else the pad's name, else
// NoControllerText (padName null: no pad).
std::string PadStatusText(const char* padName, int heldButtonBit);

// The lowest button bit (4..31) set in a pad read; -1 when no button is held.
int HeldButtonBit(uint32_t padBits);

// A text as it is shown in a given width: whole where it fits, else its
// longest beginning that fits with an ellipsis after it; `cut` then asks for
// the whole text as a tooltip.
struct FittedText {
    std::wstring shown;
    bool cut = false;
};
// The width of a text in one of the line's fonts, in pixels.
using TextWidth = std::function<int(const std::wstring& text)>;
FittedText FitToWidth(const std::wstring& text, int width, const TextWidth& measure);

// A controller's name as the line shows it: every run of spaces (tabs and
// other control characters among them; drivers pad names) one space, none
// at either end, and the "Controller (...)" that Windows wraps around the
// names of XInput pads taken off, since it tells no pad from another.
struct TidyName {
    std::wstring text;
    bool unwrapped = false; // the wrapper was taken off
};
TidyName TidyPadName(const std::wstring& name);

// The line's text laid out: one line in the dialog's font where the tidied
// text fits; else one line in the line's smaller font; else two lines of
// it, broken between words (and between Japanese characters), a word wider
// than a line broken where the line ends, and the second line cut with an
// ellipsis where the rest does not fit.
struct StatusLineText {
    std::wstring shown;     // the lines, joined by CR LF
    bool smallFont = false; // shown in the line's smaller font
    bool twoLines = false;
    bool cut = false; // not all of the name is there: the tooltip gives it whole
};
StatusLineText LayOutStatusText(const std::wstring& text, int width, const TextWidth& inDialogFont,
                                const TextWidth& inSmallFont);

// The cell height of the line's smaller font: the largest, no larger than
// the dialog font's, at which two lines fit the line's client height (at
// least 1). `lineHeight` tells the height of a line of the font made at a
// cell height.
int SmallFontCellHeight(int clientHeight, int dialogCellHeight, const std::function<int(int cellHeight)>& lineHeight);

class PadStatusLine {
public:
    PadStatusLine() = default;
    ~PadStatusLine();
    PadStatusLine(const PadStatusLine&) = delete;
    PadStatusLine& operator=(const PadStatusLine&) = delete;

    // The line is the dialog's control `id`, in the dialog's font.
    void Attach(HWND dialog, int id);
    HWND Window() const { return line_; }
    // The pad found: its name (null: no pad). Shows it unless a button is held.
    void ShowPad(const char* padName);
    // One tick's pad read: shows the lowest held button, or the pad again once
    // none is held. Changes the control's text only when the line changes.
    void ShowRead(uint32_t padBits);
    // The mouse is over a dialog control (WM_SETCURSOR): over a cut line, the
    // whole text gets its tooltip. Made only then, so that comctl32 loads only
    // for a player who points at a cut line.
    void PointedAt(HWND control);

private:
    void Show();
    void Apply(const StatusLineText& text);
    HFONT BaseFont() const;
    HFONT SmallFont();
    int LineWidth() const;

    HWND line_ = nullptr;
    HFONT dialogFont_ = nullptr; // the dialog's, which the line has at the start; null: the system font
    HFONT smallFont_ = nullptr;  // ours, made the first time two lines are needed
    std::string padName_;        // Shift-JIS
    bool hasPad_ = false;
    int heldBit_ = -1; // the held button bit shown; -1 none
    bool cut_ = false; // the line shows a cut text
    Tooltip tooltip_;  // made the first time a cut line is pointed at
};
