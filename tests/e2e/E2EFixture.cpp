#include "E2EFixture.h"

#include "app/ShortenedFolder.h"

const SlotMasks DefaultMasks = {ButtonMask(2), ButtonMask(3), ButtonMask(4), ButtonMask(1),
                                ButtonMask(7), ButtonMask(8), ButtonMask(9), ButtonMask(12)};

std::vector<std::string> DefaultTexts() {
    return {ButtonText(2), ButtonText(3), ButtonText(4), ButtonText(1),
            ButtonText(7), ButtonText(8), ButtonText(9), ButtonText(12)};
}

JoypadServerRegistration* KeyConfigEndToEnd::registration_;
JoypadPlayer* KeyConfigEndToEnd::joypad_;

namespace {

// This program's folder, spelled whatever its script.
std::wstring ProgramFolderW() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : folder.substr(0, slash);
}

// Text in the ANSI code page; lossy when a character has no spelling there.
std::string AnsiFromWide(const std::wstring& text, bool& lossy) {
    BOOL replaced = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, nullptr, &replaced);
    std::string ansi(size_t(length > 0 ? length : 1), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, &ansi[0], length, nullptr, nullptr);
    ansi.resize(ansi.size() - 1);
    lossy = replaced || length == 0;
    return ansi;
}

} // namespace

std::string AnsiProgramFolder() {
    const std::wstring folder = ProgramFolderW();
    bool lossy = false;
    const std::string ansi = AnsiFromWide(folder, lossy);
    if (!lossy) return ansi;
    wchar_t shortPath[MAX_PATH];
    DWORD length = GetShortPathNameW(folder.c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ansi;
    return AnsiFromWide(std::wstring(shortPath, length), lossy);
}

std::wstring ToolPath() {
    const std::wstring folder = ProgramFolderW();
    wchar_t named[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"KEYCONFIG_PROGRAM", named, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return folder + L"\\KeyConfig.exe";
    const std::wstring path(named, length);
    const bool whole = path[0] == L'\\' || (path.size() > 1 && path[1] == L':');
    return whole ? path : folder + L"\\" + path;
}

void KeyConfigEndToEnd::SetUpTestSuite() {
    UseWineWithoutWindowManager();
    registration_ = new JoypadServerRegistration(AnsiProgramFolder() + "\\virtualjoypad.dll");
    joypad_ = new JoypadPlayer;
}

void KeyConfigEndToEnd::TearDownTestSuite() {
    delete joypad_;
    joypad_ = nullptr;
    delete registration_;
    registration_ = nullptr;
}

void KeyConfigEndToEnd::SetUp() {
    ASSERT_TRUE(FileExists(ToolPath())) << "no program at " << ToolPath();
    ASSERT_TRUE(FileExists(AnsiProgramFolder() + "\\virtualjoypad.dll")) << "the virtual joypad is not built";
    ASSERT_TRUE(registration_->Registered()) << "cannot register the virtual joypad's DirectInput server";
    ASSERT_TRUE(joypad_->Valid()) << "cannot open the virtual joypad's shared state";
    joypad_->ReleaseAll();
    joypad_->Attach();         // a test that failed while the controller was out leaves it out
    joypad_->NameProduct(L""); // and one that renamed it, its name
    joypad_->ResetDeviceCounts();
}

void KeyConfigEndToEnd::TearDown() {
    tool_.reset(); // ends a tool that a failed test left running
    SetFileAttributesA(SavePath().c_str(), FILE_ATTRIBUTE_NORMAL);
    if (gameFolderIsTools_) {
        SetFileAttributesW((gameFolderPath_ + L"\\saves.qvr").c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((gameFolderPath_ + L"\\saves.qvr").c_str());
    } else if (!gameFolderPath_.empty()) {
        RemoveTree(gameFolderPath_);
        RemoveTree(VirtualStoreFolder(gameFolderPath_));
    }
}

std::wstring EnvironmentFolder(const wchar_t* name) {
    wchar_t value[MAX_PATH + 1];
    DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::wstring(value, length) : std::wstring();
}

void PutSaveFileDated(const std::wstring& path, const std::string& bytes, int seconds) {
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    ASSERT_TRUE(DateLastWrite(path, seconds));
}

std::wstring KeyConfigEndToEnd::VirtualStoreFolder(const std::wstring& folder) {
    return EnvironmentFolder(L"LOCALAPPDATA") + L"\\VirtualStore" + folder.substr(2);
}

void KeyConfigEndToEnd::UseGameFolderAt(const std::wstring& path) {
    RemoveTree(path);
    RemoveTree(VirtualStoreFolder(path));
    gameFolderPath_ = path;
    MakeFolders(path);
    ASSERT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring KeyConfigEndToEnd::MakeVirtualStoreFolder() const {
    const std::wstring folder = VirtualStoreFolder(GameFolder());
    MakeFolders(folder);
    return folder;
}

void KeyConfigEndToEnd::UseToolFolder() {
    const std::wstring tool = ToolPath();
    gameFolderPath_ = tool.substr(0, tool.find_last_of(L"\\/"));
    gameFolderIsTools_ = true;
}

void KeyConfigEndToEnd::UseGameFolderNamed(const std::wstring& name) {
    gameFolderName_ = name;
    ASSERT_TRUE(CreateDirectoryW(GameFolder().c_str(), nullptr));
}

std::wstring KeyConfigEndToEnd::GameFolder() const {
    if (!gameFolderPath_.empty()) return gameFolderPath_;
    std::wstring folder = WidePath(folder_.Path());
    return gameFolderName_.empty() ? folder : folder + L"\\" + gameFolderName_;
}

void KeyConfigEndToEnd::PutSaveFile(const std::string& bytes) {
    ASSERT_TRUE(WriteFileBytes(GameFolder() + L"\\saves.qvr", bytes));
}

void KeyConfigEndToEnd::Launch() {
    tool_ = std::make_unique<KeyConfigSession>(ToolPath());
    ASSERT_TRUE(tool_->Start(GameFolder())) << "cannot start " << ToolPath();
}

void KeyConfigEndToEnd::LaunchDebugged(DebuggedRun& run, DebuggedRun::TextHandler onText) {
    tool_ = std::make_unique<KeyConfigSession>(ToolPath());
    ASSERT_TRUE(run.Start(ToolPath(), GameFolder(), std::move(onText))) << "cannot start " << ToolPath();
    ASSERT_TRUE(tool_->Adopt(run.Process()));
}

void KeyConfigEndToEnd::WaitReady() {
    ASSERT_TRUE(tool_->WaitForDialog()) << "the dialog did not appear";
    ASSERT_TRUE(joypad_->WaitInUse()) << "the tool never read the virtual joypad";
    ASSERT_TRUE(tool_->WaitForFocus(FieldId(0))) << "the focus is not on the S field at start";
}

void KeyConfigEndToEnd::ExpectExitZero() {
    DWORD exitCode = 0xDEAD;
    ASSERT_TRUE(tool_->WaitForExit(exitCode)) << "the tool did not end";
    EXPECT_EQ(0u, exitCode);
}

void KeyConfigEndToEnd::StartWithDefaults() {
    PutSaveFile(EncodeSave(SampleSave(DefaultMasks)));
    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    ASSERT_EQ(DefaultTexts(), Tool().FieldTexts());
}

void KeyConfigEndToEnd::ExpectSavedWith(const std::vector<std::pair<int, int>>& slotButtons) {
    SaveData expected = SampleSave(DefaultMasks);
    for (auto [slot, button] : slotButtons) SetSlotMask(expected, slot, ButtonMask(button));
    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    EXPECT_EQ(EncodeSave(expected), SaveFileBytes());
    EXPECT_EQ(std::vector<std::string>{"saves.qvr"}, FolderFiles());
}

void KeyConfigEndToEnd::DismissErrorBox(const char* text) {
    DismissErrorBox(WideFromShiftJis(text));
}

void KeyConfigEndToEnd::DismissErrorBox(const std::wstring& text) {
    HWND box = tool_->WaitForErrorBox();
    ASSERT_TRUE(box) << "no error box";
    EXPECT_EQ(text, KeyConfigSession::MessageBoxTextW(box));
    ASSERT_TRUE(tool_->DismissErrorBox(box));
}

// The folder is shortened by the tool's own rule, tested apart; here it must
// be the game's folder.
void KeyConfigEndToEnd::DismissMissingSaveBox() {
    DismissErrorBox(MissingSaveText(ShortenedFolder(GameFolder())));
}
