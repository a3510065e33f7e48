// A tooltip over one control, through comctl32's tooltip class. comctl32 is
// loaded the first time a tooltip is made, not with the program: linked, it
// would load at every start (see WindowSubclass.h).
#pragma once

#include <windows.h>

#include <string>

class Tooltip {
public:
    Tooltip() = default;
    Tooltip(const Tooltip&) = delete;
    Tooltip& operator=(const Tooltip&) = delete;

    // Makes the tooltip over `control`, in the control's font; false when
    // comctl32 or its tooltip class cannot be had.
    bool Make(HWND control);
    bool Made() const { return window_ != nullptr; }
    // The tooltip's text; an empty one switches the tooltip off.
    void SetText(const std::wstring& text);

private:
    HWND window_ = nullptr; // owned by the control's dialog, which destroys it
    HWND control_ = nullptr;
    std::wstring text_; // the tooltip keeps a copy; ours outlives every call
};
