// The key configuration tool: one modal dialog; the exit code is always 0.
#include "app/KeyConfigDialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    keyConfigDlg dialog;
    dialog.instanceHandle = instance;
    ShowModal(&dialog, instance);
    return 0;
}
