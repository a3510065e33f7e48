#include "app/KeyConfigDialog.h"

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
constexpr uint32_t ButtonBits = ~uint32_t(0) << FirstButtonBit;
constexpr int FieldTextSize = 32;
// A controller's name of up to 259 characters, two bytes each in Shift-JIS.
constexpr int PadNameSize = 520;

const char ErrorTitle[] = "キーコンフィグエラー";
const char LoadErrorText[] = "セーブファイルの読み込みに失敗しました。";
const char SaveErrorText[] = "セーブファイルの書き込みに失敗しました。";
const char GameRunningText[] = "ゲーム（または同じランタイムで動く別のソフト）が起動中です。"
                               "ゲームを終了してから、キーコンフィグをもう一度起動してください。";
const char StartupErrorText[] = "キーコンフィグを起動できませんでした（ランタイムの初期化に失敗しました）。"
                                "しばらくしてから、もう一度起動してください。";

// The save data's mask of each key, in the dialog's key order.
int32_t* KeyMasks(SaveData& data, int key) {
    int32_t* masks[KeyCount] = {&data.maskS, &data.maskZ, &data.maskA, &data.maskW,
                                &data.maskX, &data.maskC, &data.maskV, &data.maskB};
    return masks[key];
}

} // namespace

keyConfigDlg::keyConfigDlg() : latchedBit(Unbound) {
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
    ShowError(StartupRefusal() == StartupRefusedAnotherProgramRuns ? GameRunningText : StartupErrorText);
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

// The pads after the refresh are new devices, possibly in a new order: the
// latch of the old pad 1 means nothing for them. Whatever was down at the
// last read of a pad must be released before it binds, so that a button held
// through the change neither binds again nor binds without being pressed.
// A -1 (an input mode without discovery) counts as pads there: their reads
// go on as before.
void keyConfigDlg::RefreshPads() {
    KillTimer(windowHandle, SettleTimerId);
    padFound = RefreshJoypads() != 0;
    latchedBit = Unbound;
    heldAcrossRefresh = buttonsDown;
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
    ShowShiftJisMessageBox(windowHandle, text, ErrorTitle, MB_ICONERROR);
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
        ShowError(LoadErrorText);
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
        ShowError(LoadErrorText);
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
    ShowError(SaveErrorText);
    return false;
}

// Clear blanks the fields only: a key not assigned again keeps its binding.
void keyConfigDlg::ClearFields() {
    for (int key = 0; key < KeyCount; ++key)
        SetWindowShiftJisText(GetDlgItem(windowHandle, IDC_FIELD_FIRST + key), "------");
}

void keyConfigDlg::PollPad() {
    uint32_t bits = uint32_t(ReadPadInput(1));
    // The status line from the same read. A tick that bound a press leaves
    // the line to the next one, 10 ms on, so that the field is not kept
    // waiting for the line's text.
    if (!AssignPress(bits)) statusLine.ShowRead(padFound ? bits : 0);
}

// True when the read bound a button to the focused field.
bool keyConfigDlg::AssignPress(uint32_t bits) {
    // Without a pad the reads are empty, which is no release: a button held
    // while the cable slipped out is still held when it is back.
    if (padFound) {
        buttonsDown = bits & ButtonBits;
        heldAcrossRefresh &= bits; // a released button counts again at its next press
    }
    bool anyButtonDown = false;
    int bit = FindButtonToAssign(bits & ~heldAcrossRefresh, latchedBit, anyButtonDown);
    if (bit < 0) {
        if (!anyButtonDown) latchedBit = Unbound; // all buttons released
        return false;
    }
    HWND focus = GetFocus();
    int id = focus ? GetDlgCtrlID(focus) : 0;
    if (focus == nullptr || GetParent(focus) != windowHandle || id < IDC_FIELD_FIRST || id > IDC_FIELD_LAST)
        return false;
    int key = int(GetWindowLongPtrW(focus, GWLP_USERDATA));
    latchedBit = bit;
    slots[key] = bit - FirstButtonBit;
    slotSet[key] = true;
    ShowSlot(key);
    if (key < KeyCount - 1) SetFocus(GetDlgItem(windowHandle, IDC_FIELD_FIRST + key + 1));
    return true;
}
