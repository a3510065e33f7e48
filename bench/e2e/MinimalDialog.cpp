// The start-up baseline of the end-to-end benchmark: the key configuration
// tool's own dialog resource shown by a program with no runtime, nothing but
// the dialog manager. It ends on OK, Cancel and the close box.
#include <windows.h>

namespace {

constexpr int DialogTemplateId = 101;
constexpr int OkId = 1011;
constexpr int CancelId = 1010;

INT_PTR CALLBACK MinimalDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == OkId || LOWORD(wParam) == CancelId) EndDialog(window, 0);
        return TRUE;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE) EndDialog(window, 0);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(DialogTemplateId), nullptr, MinimalDialogProc, 0);
    return 0;
}
