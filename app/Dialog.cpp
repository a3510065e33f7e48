#include "app/Dialog.h"

#include "app/ReadableMessageBox.h"
#include "app/resources/ResourceIds.h"

CDialog* pendingDialog = nullptr;

namespace {

constexpr UINT ShiftJisCodePage = 932;

BOOL CALLBACK CollectControl(HWND control, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(control);
    return TRUE;
}

} // namespace

INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(pendingDialog));
        pendingDialog = nullptr;
    }
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // Messages before WM_INITDIALOG (WM_SETFONT among them) have no object yet.
    if (dialog == nullptr) return FALSE;
    return dialog->DialogProc(window, message, wParam, lParam);
}

INT_PTR ShowModal(CDialog* dialog, HINSTANCE instance) {
    pendingDialog = dialog;
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_KEYCONFIG), nullptr, StaticDialogProc, 0);
}

std::wstring WideFromShiftJis(const char* text) {
    int length = MultiByteToWideChar(ShiftJisCodePage, 0, text, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(ShiftJisCodePage, 0, text, -1, &wide[0], length);
    wide.resize(size_t(length) - 1); // the terminator
    return wide;
}

void SetWindowShiftJisText(HWND window, const char* text) {
    SetWindowTextW(window, WideFromShiftJis(text).c_str());
}

int ShowShiftJisMessageBox(HWND owner, const char* text, const char* title, UINT type) {
    return ReadableMessageBox(owner, WideFromShiftJis(text), WideFromShiftJis(title), type);
}

std::wstring WindowTextW(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return std::wstring();
    std::wstring text(size_t(length) + 1, L'\0');
    length = GetWindowTextW(window, &text[0], length + 1);
    text.resize(size_t(length > 0 ? length : 0));
    return text;
}

std::vector<HWND> ChildWindows(HWND window) {
    std::vector<HWND> controls;
    EnumChildWindows(window, CollectControl, reinterpret_cast<LPARAM>(&controls));
    return controls;
}
