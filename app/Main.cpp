// The key configuration tool: one modal dialog; the exit code is always 0.
#include "app/KeyConfigDialog.h"
#include "app/SingleCopy.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // One copy per game folder, checked before the runtime starts: a second
    // copy shows the first one and ends without a dialog, writing nothing.
    FolderClaim claim;
    if (!TakeGameFolder(claim, L".")) return 0;
    keyConfigDlg dialog;
    dialog.instanceHandle = instance;
    ShowModal(&dialog, instance);
    ReleaseGameFolder(claim);
    return 0;
}
