// The dialog's status line: which controller the tool reads, or that none is
// connected, and while a button of it is held, that button as the fields name
// it. The line shows the player a dead pad, the wrong pad and a field without
// the focus apart.
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
// The width of a text in the line's font, in pixels.
using TextWidth = std::function<int(const std::wstring& text)>;
FittedText FitToWidth(const std::wstring& text, int width, const TextWidth& measure);

class PadStatusLine {
public:
    PadStatusLine() = default;
    PadStatusLine(const PadStatusLine&) = delete;
    PadStatusLine& operator=(const PadStatusLine&) = delete;

    // The line is the dialog's control `id`.
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
    int LineWidth() const;

    HWND line_ = nullptr;
    std::string padName_; // Shift-JIS
    bool hasPad_ = false;
    int heldBit_ = -1; // the held button bit shown; -1 none
    bool cut_ = false; // the line shows a cut text
    Tooltip tooltip_;  // made the first time a cut line is pointed at
};
