#include "driver/KeyConfigSession.h"

#include "driver/JoypadPlayer.h"

#include <dbt.h>

const char DialogTitle[] = "Orvanne キーコンフィグ";
const char ErrorBoxTitle[] = "キーコンフィグエラー";
const char LoadErrorText[] = "セーブファイルの読み込みに失敗しました。";
const char SaveErrorText[] = "セーブファイルの書き込みに失敗しました。\n"
                             "ほかのプログラムが saves.qvr を使っているか、saves.qvr に書き込めません"
                             "（読み取り専用など）。割り当てはまだ書き込まれていません。"
                             "少し待ってから、もう一度 OK を押してください。";
const char UnreadableSaveText[] = "セーブファイルの読み込みに失敗しました。\n"
                                  "saves.qvr を読み込めませんでした。ゲームが書き込み中か、"
                                  "ファイルが壊れている可能性があります。"
                                  "ゲームを終了してから、もう一度試してください。"
                                  "saves.qvr は削除しないでください。";
const char MissingSaveTextBefore[] = "セーブファイルの読み込みに失敗しました。\n"
                                     "次のフォルダーに saves.qvr がありません。";
const char MissingSaveTextAfter[] = "KeyConfig.exe を、saves.qvr のあるゲームのフォルダーに入れて"
                                    "起動してください。saves.qvr がまだないときは、"
                                    "先にゲームを起動して一度セーブしてください。";
const char GameRunningText[] = "ゲームが起動中です。\n"
                               "ゲームを終了してから、キーコンフィグをもう一度起動してください。"
                               "ゲームのウィンドウが見当たらないときは、タスク バーかタスク マネージャーで"
                               "確かめてください。";
const char StartupErrorText[] = "キーコンフィグを起動できませんでした。\n"
                                "しばらく待ってから、もう一度起動してください。"
                                "何度も出るときは、Windows を再起動してから試してください。";
const char UnboundText[] = "------";
const char NoControllerLine[] = "未接続";

std::wstring MissingSaveText(const std::wstring& folderAsShown) {
    return WideFromShiftJis(MissingSaveTextBefore) + L"\n" + folderAsShown + L"\n" +
           WideFromShiftJis(MissingSaveTextAfter);
}

namespace {

// The static control that carries a message box's text.
constexpr int MessageBoxTextId = 0xFFFF;

struct WindowSearch {
    DWORD processId;
    const char* title;
    HWND found;
};

BOOL CALLBACK MatchShownWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    if (KeyConfigSession::WindowText(window) != search->title) return TRUE;
    search->found = window;
    return FALSE;
}

constexpr UINT ShiftJisCodePage = 932;

std::wstring WideFromAnsi(const std::string& text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 1), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
}

POINT ClientCentre(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    return {(client.left + client.right) / 2, (client.top + client.bottom) / 2};
}

} // namespace

// Without a window manager, Wine draws captions and frames itself only when
// told not to leave them to one (so screenshots show the dialog as a player
// sees it), and with unmanaged windows it does not wait two seconds for a
// window manager to confirm each hidden window.
void UseWineWithoutWindowManager() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(key);
}

std::wstring WideFromShiftJis(const std::string& text) {
    if (text.empty()) return std::wstring();
    int length = MultiByteToWideChar(ShiftJisCodePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(ShiftJisCodePage, 0, text.data(), int(text.size()), &wide[0], length);
    return wide;
}

std::string ShiftJisFromWide(const std::wstring& text) {
    if (text.empty()) return std::string();
    int length = WideCharToMultiByte(ShiftJisCodePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(ShiftJisCodePage, 0, text.data(), int(text.size()), &bytes[0], length, nullptr, nullptr);
    return bytes;
}

KeyConfigSession::KeyConfigSession(const std::string& exePath) : exePath_(WideFromAnsi(exePath)) {}

KeyConfigSession::KeyConfigSession(std::wstring exePath) : exePath_(std::move(exePath)) {}

KeyConfigSession::~KeyConfigSession() {
    if (!process_.hProcess) return;
    if (Running()) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

bool KeyConfigSession::Start(const std::string& folder) {
    return Start(WideFromAnsi(folder));
}

bool KeyConfigSession::Start(const std::wstring& folder) {
    std::wstring commandLine = L"\"" + exePath_ + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(exePath_.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                          &startup, &process_) != FALSE;
}

bool KeyConfigSession::Adopt(const PROCESS_INFORMATION& started) {
    HANDLE self = GetCurrentProcess();
    process_.dwProcessId = started.dwProcessId;
    process_.dwThreadId = started.dwThreadId;
    return DuplicateHandle(self, started.hProcess, self, &process_.hProcess, 0, FALSE, DUPLICATE_SAME_ACCESS) &&
           DuplicateHandle(self, started.hThread, self, &process_.hThread, 0, FALSE, DUPLICATE_SAME_ACCESS);
}

bool KeyConfigSession::Running() const {
    return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool KeyConfigSession::WaitForExit(DWORD& exitCode, DWORD timeoutMs) {
    if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(process_.hProcess, &exitCode) != FALSE;
}

HWND KeyConfigSession::FindShownWindow(const char* title) const {
    WindowSearch search{process_.dwProcessId, title, nullptr};
    EnumWindows(MatchShownWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND KeyConfigSession::WaitForDialog(DWORD timeoutMs) {
    WaitUntil([&] { return (dialog_ = FindShownWindow(DialogTitle)) != nullptr || !Running(); }, timeoutMs);
    return dialog_;
}

bool KeyConfigSession::DialogVisible() const {
    return dialog_ && IsWindow(dialog_) && IsWindowVisible(dialog_);
}

HWND KeyConfigSession::FindErrorBox() const {
    return FindShownWindow(ErrorBoxTitle);
}

HWND KeyConfigSession::WaitForErrorBox(DWORD timeoutMs) const {
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindErrorBox()) != nullptr || !Running(); }, timeoutMs);
    return box;
}

std::wstring KeyConfigSession::MessageBoxTextW(HWND box) {
    return WindowTextW(GetDlgItem(box, MessageBoxTextId));
}

std::string KeyConfigSession::MessageBoxText(HWND box) {
    return WindowText(GetDlgItem(box, MessageBoxTextId));
}

bool KeyConfigSession::DismissErrorBox(HWND box, DWORD timeoutMs) const {
    HWND ok = GetDlgItem(box, IDOK);
    if (!ok || !PostMessageA(ok, BM_CLICK, 0, 0)) return false;
    return WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, timeoutMs);
}

std::wstring KeyConfigSession::WindowTextW(HWND window) {
    if (!window) return std::wstring();
    wchar_t text[512];
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &length))
        return std::wstring();
    return std::wstring(text, length < 512 ? length : 511);
}

std::string KeyConfigSession::WindowText(HWND window) {
    return ShiftJisFromWide(WindowTextW(window));
}

std::string KeyConfigSession::FieldText(int slot) const {
    return WindowText(GetDlgItem(dialog_, FieldId(slot)));
}

std::vector<std::string> KeyConfigSession::FieldTexts() const {
    std::vector<std::string> texts;
    for (int slot = 0; slot < SlotCount; ++slot) texts.push_back(FieldText(slot));
    return texts;
}

int KeyConfigSession::FocusedId() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(dialog_, nullptr);
    if (!GetGUIThreadInfo(thread, &info) || !info.hwndFocus) return 0;
    if (GetParent(info.hwndFocus) != dialog_) return 0;
    return GetDlgCtrlID(info.hwndFocus);
}

bool KeyConfigSession::WaitForFocus(int id, DWORD timeoutMs) const {
    return WaitUntil([&] { return FocusedId() == id; }, timeoutMs);
}

// Posted, not sent: the clicks go through the dialog's own message loop, in
// order with everything else it receives.
bool KeyConfigSession::Click(int controlId) const {
    HWND control = GetDlgItem(dialog_, controlId);
    if (!control) return false;
    POINT at = ClientCentre(control);
    LPARAM where = MAKELPARAM(at.x, at.y);
    return PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, where) && PostMessageA(control, WM_LBUTTONUP, 0, where);
}

HWND KeyConfigSession::FocusedOrDialog() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog_, nullptr), &info);
    return info.hwndFocus ? info.hwndFocus : dialog_;
}

// Keys go to the focused control, where the modal loop's IsDialogMessage
// turns Esc, Enter and Tab into the dialog's own commands.
bool KeyConfigSession::PressKey(UINT virtualKey) const {
    HWND target = FocusedOrDialog();
    LPARAM scan = LPARAM(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    LPARAM down = scan | 1;
    LPARAM up = scan | 1 | (LPARAM(1) << 30) | (LPARAM(1) << 31);
    return PostMessageA(target, WM_KEYDOWN, virtualKey, down) && PostMessageA(target, WM_KEYUP, virtualKey, up);
}

bool KeyConfigSession::ClickCloseBox() const {
    return PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
}

// With Alt held, the keyboard sends F4 as a system key with the context
// bit set; the control's default processing asks its top-level window to
// close (WM_SYSCOMMAND with SC_CLOSE), as the close box does.
bool KeyConfigSession::PressAltF4() const {
    HWND target = FocusedOrDialog();
    LPARAM scan = LPARAM(MapVirtualKeyA(VK_F4, MAPVK_VK_TO_VSC)) << 16;
    LPARAM altDown = LPARAM(KF_ALTDOWN) << 16;
    LPARAM down = scan | altDown | 1;
    LPARAM up = scan | altDown | 1 | (LPARAM(1) << 30) | (LPARAM(1) << 31);
    return PostMessageA(target, WM_SYSKEYDOWN, VK_F4, down) && PostMessageA(target, WM_SYSKEYUP, VK_F4, up);
}

bool KeyConfigSession::End(DialogEnd end) const {
    switch (end) {
    case DialogEnd::Ok:
        return Click(OkId);
    case DialogEnd::Cancel:
        return Click(CancelId);
    case DialogEnd::CloseBox:
        return ClickCloseBox();
    case DialogEnd::AltF4:
        return PressAltF4();
    }
    return false;
}

const char* DialogEndName(DialogEnd end) {
    switch (end) {
    case DialogEnd::Ok:
        return "Ok";
    case DialogEnd::Cancel:
        return "Cancel";
    case DialogEnd::CloseBox:
        return "CloseBox";
    case DialogEnd::AltF4:
        return "AltF4";
    }
    return "?";
}

bool KeyConfigSession::PostDeviceChange() const {
    return PostMessageA(dialog_, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0) != FALSE;
}
