// The fixture of the end-to-end tests: a folder with a prepared save file,
// the real KeyConfig.exe started in it, the virtual joypad in the player's
// hands. The whole suite shares one registration of the joypad's DirectInput
// server in the tests' own Wine prefix.
#pragma once

#include "driver/DebuggedRun.h"
#include "driver/JoypadPlayer.h"
#include "driver/KeyConfigSession.h"
#include "driver/SaveFiles.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

// Writes a save file and dates its last write that many seconds after a day
// in 2020, as the game left it then.
void PutSaveFileDated(const std::wstring& path, const std::string& bytes, int seconds);
// A folder named as the environment has it (%ProgramFiles%).
std::wstring EnvironmentFolder(const wchar_t* name);

// The game's own defaults, as a fresh game writes them: S 2, Z 3, A 4, W 1,
// X 7, C 8, V 9, B 12.
extern const SlotMasks DefaultMasks;
std::vector<std::string> DefaultTexts();

// The program under test: KeyConfig.exe beside this test program, or the one
// KEYCONFIG_PROGRAM names, by a path relative to this program's folder or a
// whole one (a release unpacked into a folder named in any script, say).
std::wstring ToolPath();
// This program's folder for the driver's calls that take a path in the ANSI
// code page: where that code page cannot spell it (a checkout in a folder
// named in Japanese, run in another locale), its short form, which can.
std::string AnsiProgramFolder();

class KeyConfigEndToEnd : public testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The game's folder, where the tool runs: the test's own folder, or a
    // folder in it named in any script, made by UseGameFolderNamed.
    void UseGameFolderNamed(const std::wstring& name);
    // The game's folder at a full path instead, such as one under Program
    // Files: made with its parents, and removed with the per-user copy's
    // folder after the test.
    void UseGameFolderAt(const std::wstring& path);
    // The game's folder is the tool's own, as after "extract here" there:
    // only the save file is removed after the test.
    void UseToolFolder();
    std::wstring GameFolder() const;
    // The folder where Windows keeps the per-user copies of what a program
    // writes into the game's folder (%LOCALAPPDATA%\VirtualStore\<the game's
    // folder without its drive>); made.
    std::wstring MakeVirtualStoreFolder() const;

    // The save file before the tool starts; no call = no file.
    void PutSaveFile(const std::string& bytes);
    std::string SaveFileBytes() const { return ReadFileBytes(GameFolder() + L"\\saves.qvr"); }
    // The save file's path in the test's own folder (ANSI, for the attribute
    // calls); only for tests that keep the game's folder there.
    std::string SavePath() const { return folder_.File("saves.qvr"); }
    // The game folder's files; the tool must leave no other file behind.
    std::vector<std::string> FolderFiles() const { return ListFolder(GameFolder()); }

    // Starts the tool; Ready waits for its dialog and for its first reads of
    // the joypad (after any error box at start-up has been dealt with).
    void Launch();
    // Starts the tool as the debuggee of `run` instead (see DebuggedRun).
    void LaunchDebugged(DebuggedRun& run, DebuggedRun::TextHandler onText);
    void WaitReady();
    void LaunchReady() {
        Launch();
        WaitReady();
    }

    // Ends with the exit code 0 that the tool gives in every case.
    void ExpectExitZero();

    // The game's defaults in the file, the tool started and showing them.
    void StartWithDefaults();
    // Presses OK and expects the file to hold the defaults with these slots
    // (slot, button) changed, and no other file in the folder.
    void ExpectSavedWith(const std::vector<std::pair<int, int>>& slotButtons);

    // Expects an error box with the text, dismisses it.
    void DismissErrorBox(const char* text);
    void DismissErrorBox(const std::wstring& text);
    // The box for a folder without saves.qvr, naming the game's folder.
    void DismissMissingSaveBox();

    JoypadPlayer& Joypad() { return *joypad_; }
    KeyConfigSession& Tool() { return *tool_; }

    static std::wstring VirtualStoreFolder(const std::wstring& folder);

private:
    TempDirectory folder_;
    std::wstring gameFolderName_; // empty: the test's own folder
    std::wstring gameFolderPath_; // a full path given by UseGameFolderAt or UseToolFolder
    bool gameFolderIsTools_ = false;
    std::unique_ptr<KeyConfigSession> tool_;
    static JoypadServerRegistration* registration_;
    static JoypadPlayer* joypad_;
};
