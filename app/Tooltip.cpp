#include "app/Tooltip.h"

#include <commctrl.h>

namespace {

using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

// Loaded once and kept to the end of the process, as the tooltip's window
// class lives in it.
bool TooltipClassRegistered() {
    static const bool registered = [] {
        HMODULE comctl32 = LoadLibraryW(L"comctl32.dll");
        if (comctl32 == nullptr) return false;
        auto init =
            reinterpret_cast<InitFunction>(reinterpret_cast<void*>(GetProcAddress(comctl32, "InitCommonControlsEx")));
        if (init == nullptr) return false;
        INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES};
        return init(&classes) != FALSE;
    }();
    return registered;
}

// The structure's size that every comctl32 takes: version 5 (Windows XP
// without a manifest asking for version 6) refuses the later, larger one.
TTTOOLINFOW ToolFor(HWND control, const wchar_t* text) {
    TTTOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(text);
    return tool;
}

} // namespace

bool Tooltip::Make(HWND control) {
    if (window_ != nullptr) return true;
    if (!TooltipClassRegistered()) return false;
    // Shown also while the dialog is not the active window; an "&" in a
    // controller's name is a character, not a mnemonic.
    window_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, GetParent(control), nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) return false;
    control_ = control;
    // The control's font draws Japanese where the system's tooltip font may not.
    SendMessageW(window_, WM_SETFONT, SendMessageW(control, WM_GETFONT, 0, 0), FALSE);
    TTTOOLINFOW tool = ToolFor(control_, text_.c_str());
    SendMessageW(window_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(window_, TTM_ACTIVATE, !text_.empty(), 0);
    return true;
}

void Tooltip::SetText(const std::wstring& text) {
    text_ = text;
    if (window_ == nullptr) return;
    TTTOOLINFOW tool = ToolFor(control_, text_.c_str());
    SendMessageW(window_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(window_, TTM_ACTIVATE, !text_.empty(), 0);
}
