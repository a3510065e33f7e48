// One run of the real KeyConfig.exe, driven from outside as a player would:
// it finds the dialog and its error boxes by their titles, reads the fields'
// texts and the focus from the live windows, and clicks, types and closes
// through the window messages the dialog's own modal loop receives.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The dialog's texts, byte for byte as the program shows them, in Shift-JIS.
// The driver reads and compares them through the wide-character API and code
// page 932, so it works whatever the system's ANSI code page.
extern const char DialogTitle[];   // "Orvanne キーコンフィグ"
extern const char ErrorBoxTitle[]; // "キーコンフィグエラー"
// Each error box opens with the line that names what failed and goes on in
// plain words.
extern const char LoadErrorText[]; // "セーブファイルの読み込みに失敗しました。", the first line of the load's boxes
extern const char UnreadableSaveText[];    // the load's box for a file there that was never whole or could not be read
extern const char MissingSaveTextBefore[]; // the load's box for a folder without saves.qvr: before the folder's line
extern const char MissingSaveTextAfter[];  // and after it
extern const char SaveErrorText[]; // the save's box, "セーブファイルの書き込みに失敗しました。" first
extern const char GameRunningText[];  // the start refused while the game (a program on the runtime) runs
extern const char StartupErrorText[]; // the start refused for any other reason
extern const char UnboundText[];      // "------"
extern const char NoControllerLine[]; // "未接続"

// Shift-JIS text as UTF-16 and back, with code page 932 on every system.
std::wstring WideFromShiftJis(const std::string& text);
std::string ShiftJisFromWide(const std::wstring& text);

// The whole text of the box for a folder without saves.qvr, the folder as
// the box shows it (shortened where long).
std::wstring MissingSaveText(const std::wstring& folderAsShown);

// Control ids of the dialog.
constexpr int FieldId(int slot) {
    return 1101 + slot;
} // slots S, Z, A, W, X, C, V, B = 0..7
constexpr int OkId = 1011;
constexpr int CancelId = 1010;
constexpr int ClearId = 1009;
constexpr int PadStatusId = 1012; // the status line
constexpr int SlotCount = 8;

// The four ways a player ends the dialog: a click on OK or キャンセル, a
// click on the caption's close box, Alt+F4.
enum class DialogEnd { Ok, Cancel, CloseBox, AltF4 };
constexpr DialogEnd AllDialogEnds[] = {DialogEnd::Ok, DialogEnd::Cancel, DialogEnd::CloseBox, DialogEnd::AltF4};
// Its name in plain letters, for reports and test names: "Ok", "Cancel", "CloseBox", "AltF4".
const char* DialogEndName(DialogEnd end);

// The virtual display has no window manager; sets the prefix up for that.
void UseWineWithoutWindowManager();

class KeyConfigSession {
public:
    // The program by its path, in the ANSI code page or, for a folder named
    // in any script, in UTF-16.
    explicit KeyConfigSession(const std::string& exePath);
    explicit KeyConfigSession(std::wstring exePath);
    ~KeyConfigSession(); // ends the program if a test left it running
    KeyConfigSession(const KeyConfigSession&) = delete;
    KeyConfigSession& operator=(const KeyConfigSession&) = delete;

    // Starts the program with `folder` as its working directory.
    bool Start(const std::string& folder);
    bool Start(const std::wstring& folder);
    // Takes over a run that was started elsewhere (under a debugger, say).
    bool Adopt(const PROCESS_INFORMATION& started);
    bool Running() const;
    // Waits for the program's end; false on time-out.
    bool WaitForExit(DWORD& exitCode, DWORD timeoutMs = 30000);

    // The dialog, once it is shown; null on time-out.
    HWND WaitForDialog(DWORD timeoutMs = 30000);
    HWND Dialog() const { return dialog_; }
    bool DialogVisible() const;

    // A shown error box of the program, null on time-out.
    HWND WaitForErrorBox(DWORD timeoutMs = 30000) const;
    HWND FindErrorBox() const;
    static std::string MessageBoxText(HWND box);
    static std::wstring MessageBoxTextW(HWND box); // for a text that names a folder in any script
    // Clicks the box's OK button and waits for the box to go.
    bool DismissErrorBox(HWND box, DWORD timeoutMs = 10000) const;

    std::string FieldText(int slot) const;
    std::vector<std::string> FieldTexts() const;
    // The id of the dialog control that has the keyboard focus; 0 for none.
    int FocusedId() const;
    bool WaitForFocus(int id, DWORD timeoutMs = 10000) const;

    // A left click in the middle of a control: it takes the focus, and a push
    // button is pressed.
    bool Click(int controlId) const;
    // A key pressed and released on the focused control (the dialog when
    // nothing has the focus), as the keyboard would deliver it.
    bool PressKey(UINT virtualKey) const;
    // The close box of the caption.
    bool ClickCloseBox() const;
    // Alt+F4 on the focused control (the dialog when nothing has the focus).
    bool PressAltF4() const;
    // Ends the dialog as a player would, the given way.
    bool End(DialogEnd end) const;
    // What Windows sends every top-level window when a device comes or goes:
    // WM_DEVICECHANGE with DBT_DEVNODES_CHANGED, posted.
    bool PostDeviceChange() const;

    // A window's text as UTF-16, and as Shift-JIS bytes.
    static std::wstring WindowTextW(HWND window);
    static std::string WindowText(HWND window);

private:
    HWND FocusedOrDialog() const;
    HWND FindShownWindow(const char* title) const;

    std::wstring exePath_;
    PROCESS_INFORMATION process_{};
    HWND dialog_ = nullptr;
};
