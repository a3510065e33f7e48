#include "app/Dialog.h"

#include "app/resources/ResourceIds.h"

CDialog* pendingDialog = nullptr;

INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, GWLP_USERDATA, LONG_PTR(pendingDialog));
        pendingDialog = nullptr;
    }
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    // Messages before WM_INITDIALOG (WM_SETFONT among them) have no object yet.
    if (dialog == nullptr) return FALSE;
    return dialog->DialogProc(window, message, wParam, lParam);
}

INT_PTR ShowModal(CDialog* dialog, HINSTANCE instance) {
    pendingDialog = dialog;
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_KEYCONFIG), nullptr, StaticDialogProc, 0);
}
