#include "app/KeyConfigDialog.h"

#include "app/ErrorBoxes.h"
#include "app/ReadableMessageBox.h"
#include "app/SaveData.h"
#include "app/resources/ResourceIds.h"
#include "runtime/Runtime.h"

#include <dbt.h>

namespace {

constexpr UINT_PTR TickTimerId = 100;
constexpr UINT TickMilliseconds = 10;
// Plugging a pad in or pulling it out sends a burst of device-change
// messages while the system installs or removes the device's nodes; the
// pads are found again once the messages have stopped for this long.
constexpr UINT_PTR SettleTimerId = 101;
constexpr UINT SettleMilliseconds = 300;
constexpr int FieldTextSize = 32;
// A controller's name of up to 259 characters, two bytes each in Shift-JIS.
constexpr int PadNameSize = 520;

// The save data's mask of each key, in the dialog's key order.
int32_t* KeyMasks(SaveData& data, int key) {
    int32_t* masks[KeyCount] = {&data.maskS, &data.maskZ, &data.maskA, &data.maskW,
                                &data.maskX, &data.maskC, &data.maskV, &data.maskB};
    return masks[key];
}

// The folder the tool was started in, where it looks for saves.qvr.
std::wstring WorkingFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD length = size > 0 ? GetCurrentDirectoryW(size, &folder[0]) : 0;
    folder.resize(length < size ? length : 0);
    return folder;
}

} // namespace

keyConfigDlg::keyConfigDlg() {
    for (int32_t& slot : slots) slot = Unbound;
}

INT_PTR keyConfigDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(window);
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam));
    case WM_SYSCOMMAND:
        // The close box and Alt+F4 end the dialog without saving; default
        // processing goes on. Not in the middle of a load or a save.
        if (wParam != SC_CLOSE) return FALSE;
        if (fileBusy) return TRUE;
        EndDialog(window, IDC_CANCEL);
        return FALSE;
    case WM_TIMER:
        if (wParam == SettleTimerId) {
            RefreshPads();
            return FALSE;
        }
        return OnTimer();
    case WM_DEVICECHANGE:
        return OnDeviceChange(wParam);
    case WM_SETCURSOR:
        statusLine.PointedAt(reinterpret_cast<HWND>(wParam));
        return FALSE;
    case WM_DESTROY:
        KillTimer(window, TickTimerId);
        KillTimer(window, SettleTimerId);
        LibraryShutdown();
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR keyConfigDlg::OnInitDialog(HWND window) {
    windowHandle = window;
    // Before the runtime starts: it keeps the window's procedure as it finds
    // it, the caption's drawing included, and puts it back at the end.
    font.MakeDrawable(window);
    caption.Attach(window);
    SetDrawingDisabled(1);
    SetHostWindow(window);
    SetLogOutput(0);
    if (LibraryStartup() == -1) {
        ShowStartupRefusal();
        EndDialog(window, -1);
        return -1;
    }
    HICON icon = LoadIconW(instanceHandle, MAKEINTRESOURCEW(IDI_KEYCONFIG));
    PostMessageW(window, WM_SETICON, ICON_BIG, LPARAM(icon));
    CentreOnWorkArea();
    for (int key = 0; key < KeyCount; ++key)
        SetWindowLongPtrW(GetDlgItem(window, IDC_FIELD_FIRST + key), GWLP_USERDATA, key);
    LoadBindings();
    statusLine.Attach(window, IDC_PAD_STATUS);
    ShowPadName();
    SetTimer(window, TickTimerId, TickMilliseconds, nullptr);
    return TRUE; // the dialog manager gives the focus to the first field, key S
}

// The tool never ends without a word: the player learns why it will not
// start, and that a running game is the usual reason.
void keyConfigDlg::ShowStartupRefusal() {
    ShowError(StartupRefusal() == StartupRefusedAnotherProgramRuns ? GameRunningBoxText : StartupErrorBoxText);
}

// A load or a save that waits for the file answers what is sent to the
// dialog meanwhile (another program may send OK, キャンセル or クリア), and
// so do its error boxes: no command runs inside one, so that no second save
// starts inside the first and the dialog does not end halfway through.
INT_PTR keyConfigDlg::OnCommand(int id) {
    if (fileBusy) return TRUE;
    switch (id) {
    case IDC_CLEAR:
        ClearFields();
        return FALSE;
    case IDC_CANCEL:
        EndDialog(windowHandle, IDC_CANCEL);
        return TRUE;
    case IDC_OK:
        if (SaveBindings()) EndDialog(windowHandle, IDC_OK);
        return TRUE;
    default:
        return FALSE; // IDCANCEL from Esc among them: the dialog stays open
    }
}

INT_PTR keyConfigDlg::OnTimer() {
    if (PumpMessages() == -1) {
        EndDialog(windowHandle, IDC_CANCEL);
        return TRUE;
    }
    PollPad();
    return FALSE;
}

// Windows sends every top-level window DBT_DEVNODES_CHANGED when a device
// comes or goes. Each one restarts the one-shot settle timer, so a burst
// ends in a single refresh.
INT_PTR keyConfigDlg::OnDeviceChange(WPARAM event) {
    if (event != DBT_DEVNODES_CHANGED) return FALSE;
    SetTimer(windowHandle, SettleTimerId, SettleMilliseconds, nullptr);
    return TRUE;
}

// A button held through the change neither binds again nor binds without
// being pressed (PadsFoundAgain). A -1 (an input mode without discovery)
// counts as pads there: their reads go on as before.
void keyConfigDlg::RefreshPads() {
    KillTimer(windowHandle, SettleTimerId);
    PadsFoundAgain(presses, RefreshJoypads() != 0);
    ShowPadName();
}

void keyConfigDlg::ShowPadName() {
    char name[PadNameSize];
    statusLine.ShowPad(GetFirstPadProductName(name, sizeof name) == 0 ? name : nullptr);
}

void keyConfigDlg::CentreOnWorkArea() {
    RECT work, dialog;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(windowHandle, &dialog);
    int width = dialog.right - dialog.left;
    int height = dialog.bottom - dialog.top;
    MoveWindow(windowHandle, (work.left + work.right - width) / 2, (work.top + work.bottom - height) / 2, width,
               height, TRUE);
}

void keyConfigDlg::ShowSlot(int key) {
    char text[FieldTextSize];
    FormatBindingText(slots[key], text, sizeof text);
    SetWindowShiftJisText(GetDlgItem(windowHandle, IDC_FIELD_FIRST + key), text);
}

void keyConfigDlg::ShowError(const char* text) {
    ShowShiftJisMessageBox(windowHandle, text, ErrorBoxTitle, MB_ICONERROR);
}

// The player learns whether there is no save file where the tool looked,
// and which folder that is, or a file that could not be read.
void keyConfigDlg::ShowLoadError(const SaveData& data) {
    if (!data.FileMissing()) {
        ShowError(UnreadableSaveBoxText);
        return;
    }
    ReadableMessageBox(windowHandle, MissingSaveBoxText(WorkingFolder()), WideFromShiftJis(ErrorBoxTitle),
                       MB_ICONERROR);
}

// Marks the dialog busy with the save file for as long as it lives.
class FileBusy {
public:
    explicit FileBusy(bool& busy) : busy_(busy) { busy_ = true; }
    ~FileBusy() { busy_ = false; }
    FileBusy(const FileBusy&) = delete;
    FileBusy& operator=(const FileBusy&) = delete;

private:
    bool& busy_;
};

void keyConfigDlg::LoadBindings() {
    FileBusy busy(fileBusy);
    SaveData data;
    if (data.Load() != 0) {
        ShowLoadError(data);
        return;
    }
    for (int key = 0; key < KeyCount; ++key) {
        slots[key] = ButtonIndexFromMask(uint32_t(*KeyMasks(data, key)));
        slotSet[key] = true;
        ShowSlot(key);
    }
}

bool keyConfigDlg::SaveBindings() {
    FileBusy busy(fileBusy);
    // A file that cannot be read is the load error, as at start-up. Save
    // writes only the eight masks, into the file as it is when written.
    SaveData data;
    if (data.Load() != 0) {
        ShowLoadError(data);
        return true;
    }
    // A key the dialog could not load and the player did not assign keeps
    // what the file holds now (the game may have made its save since the
    // start): the player never chose to unbind it.
    for (int key = 0; key < KeyCount; ++key) {
        int32_t* mask = KeyMasks(data, key);
        *mask = int32_t(MaskToSave(slots[key], slotSet[key], uint32_t(*mask)));
    }
    if (data.Save()) return true;
    // The player's new bindings are not lost: the dialog stays open so the
    // file can be fixed and OK pressed again, or the change cancelled.
    ShowError(SaveErrorBoxText);
    return false;
}

// Clear blanks the fields only: a key not assigned again keeps its binding.
// The player starts over at the first key, so the focus goes to the S field,
// where the next press binds.
void keyConfigDlg::ClearFields() {
    for (int key = 0; key < KeyCount; ++key)
        SetWindowShiftJisText(GetDlgItem(windowHandle, IDC_FIELD_FIRST + key), "------");
    SendMessageW(windowHandle, WM_NEXTDLGCTL, WPARAM(GetDlgItem(windowHandle, IDC_FIELD_FIRST)), TRUE);
}

void keyConfigDlg::PollPad() {
    const int32_t read = ReadPadInput(1);
    // A failed read (the input could not be restarted) binds nothing, and the
    // line says that no controller is read until a read succeeds again.
    if (read == FailedPadRead) {
        if (readFailing) return;
        readFailing = true;
        statusLine.ShowRead(0);
        statusLine.ShowPad(nullptr);
        return;
    }
    if (readFailing) {
        readFailing = false;
        ShowPadName();
    }
    // The status line from the same read. A tick that bound a press leaves
    // the line to the next one, 10 ms on, so that the field is not kept
    // waiting for the line's text.
    const int bit = TakePadRead(presses, read);
    if (bit >= 0 && BindToFocusedField(bit)) return;
    statusLine.ShowRead(presses.padFound ? uint32_t(read) : 0);
}

// Binds the button to the field that has the focus; false, changing nothing,
// when the focus is on no field (a push button, another window).
bool keyConfigDlg::BindToFocusedField(int bit) {
    HWND focus = GetFocus();
    int id = focus ? GetDlgCtrlID(focus) : 0;
    if (focus == nullptr || GetParent(focus) != windowHandle || id < IDC_FIELD_FIRST || id > IDC_FIELD_LAST)
        return false;
    int key = int(GetWindowLongPtrW(focus, GWLP_USERDATA));
    PressBound(presses, bit);
    slots[key] = bit - FirstButtonBit;
    slotSet[key] = true;
    ShowSlot(key);
    if (key < KeyCount - 1) SetFocus(GetDlgItem(windowHandle, IDC_FIELD_FIRST + key + 1));
    return true;
}
