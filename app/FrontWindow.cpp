#include "app/FrontWindow.h"

namespace {

struct WindowSearch {
    DWORD processId;
    HWND found;
};

// A window the player can answer: shown, enabled, and no tool window such as
// a tooltip, which stands above everything but takes no input.
bool Answerable(HWND window) {
    return window != nullptr && IsWindowVisible(window) && IsWindowEnabled(window) &&
           !(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
}

// EnumWindows goes through the top-level windows from the top of the screen
// down.
BOOL CALLBACK MatchPlayerWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !Answerable(window)) return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

HWND PlayerWindowOf(DWORD processId) {
    WindowSearch search = {processId, nullptr};
    EnumWindows(MatchPlayerWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return nullptr;
    // The window its owner last had active, where that is another one the
    // player can answer: the box rather than a dialog beside it.
    HWND popup = GetLastActivePopup(GetAncestor(search.found, GA_ROOTOWNER));
    return Answerable(popup) ? popup : search.found;
}

void BringToFront(HWND window) {
    HWND root = GetAncestor(window, GA_ROOTOWNER);
    // Asynchronous: a copy that does not answer must not hold this one up.
    if (root != nullptr && IsIconic(root)) ShowWindowAsync(root, SW_RESTORE);
    SetForegroundWindow(window);
}
