// One copy of the tool per game folder, in the real program: a second copy
// started for the folder brings the first one's dialog, or the box it shows,
// to the front and ends without a dialog, writing nothing; copies for two
// folders run side by side.
#include "E2EFixture.h"

namespace {

// Waits for a condition while answering this thread's own window's messages.
template <class Condition> bool WaitPumping(Condition condition, DWORD timeoutMs = 10000) {
    return WaitUntil(
        [&] {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            return condition();
        },
        timeoutMs);
}

// Another program's window in front, as the player's browser or the game's
// launcher would be when the player starts the tool again.
class WindowInFront {
public:
    WindowInFront() {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"SingleCopyWindowInFront";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"front", WS_POPUP | WS_CAPTION | WS_VISIBLE, 300, 300,
                                  200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    }
    ~WindowInFront() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    WindowInFront(const WindowInFront&) = delete;
    WindowInFront& operator=(const WindowInFront&) = delete;

    bool TakeFront() const {
        return window_ != nullptr && SetForegroundWindow(window_) &&
               WaitPumping([&] { return GetForegroundWindow() == window_; });
    }

private:
    HWND window_ = nullptr;
};

class SingleCopy : public KeyConfigEndToEnd {
protected:
    // Starts another copy in the folder and expects it to end with exit code
    // 0 without ever showing its dialog.
    void StartSecondCopyIn(const std::wstring& folder) {
        KeyConfigSession second(ToolPath());
        ASSERT_TRUE(second.Start(folder)) << "cannot start " << ToolPath();
        EXPECT_EQ(nullptr, second.WaitForDialog()) << "the second copy shows a dialog";
        DWORD exitCode = 0xDEAD;
        ASSERT_TRUE(second.WaitForExit(exitCode)) << "the second copy did not end";
        EXPECT_EQ(0u, exitCode);
    }

    // The window in front is this one (the first copy's dialog or box).
    static void ExpectInFront(HWND window) {
        EXPECT_TRUE(WaitPumping([&] { return GetForegroundWindow() == window; }))
            << "in front: " << KeyConfigSession::WindowText(GetForegroundWindow());
    }

    // A folder beside the game's folder, for another game's copy.
    std::wstring MakeFolderBeside(const std::wstring& name) const {
        const std::wstring game = GameFolder();
        const std::wstring folder = game.substr(0, game.find_last_of(L'\\') + 1) + name;
        EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        return folder;
    }
};

TEST_F(SingleCopy, ASecondStartBringsTheFirstToTheFrontAndWritesNothing) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(10)); // the first copy's unsaved change
    WindowInFront other;
    ASSERT_TRUE(other.TakeFront());

    ASSERT_NO_FATAL_FAILURE(StartSecondCopyIn(GameFolder()));
    ExpectInFront(Tool().Dialog());
    EXPECT_EQ(EncodeSave(SampleSave(DefaultMasks)), SaveFileBytes());
    EXPECT_EQ(std::vector<std::string>{"saves.qvr"}, FolderFiles());

    // The first copy goes on as it was.
    EXPECT_EQ(ButtonText(10), Tool().FieldText(0));
    ASSERT_TRUE(Joypad().Press(11));
    ExpectSavedWith({{0, 10}, {1, 11}});
}

// The folder as a shortcut or a command line may spell it: in another case,
// with a backslash at the end, by its short 8.3 name.
TEST_F(SingleCopy, EverySpellingOfTheFolderIsTheSameFolder) {
    ASSERT_NO_FATAL_FAILURE(UseGameFolderNamed(L"Orvanne Game Folder"));
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    std::wstring upper = GameFolder();
    CharUpperBuffW(&upper[0], DWORD(upper.size()));
    wchar_t shortName[MAX_PATH];
    const DWORD length = GetShortPathNameW(GameFolder().c_str(), shortName, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    ASSERT_NE(GameFolder(), std::wstring(shortName, length));

    for (const std::wstring& spelling : {upper, GameFolder() + L"\\", std::wstring(shortName, length)}) {
        SCOPED_TRACE(ShiftJisFromWide(spelling));
        WindowInFront other;
        ASSERT_TRUE(other.TakeFront());
        ASSERT_NO_FATAL_FAILURE(StartSecondCopyIn(spelling));
        ExpectInFront(Tool().Dialog());
    }
    ExpectSavedWith({});
}

// The first copy shows the box about a save file it cannot read, before its
// dialog: the box comes to the front, and the first copy goes on from there.
TEST_F(SingleCopy, TheFirstCopysBoxComesToTheFront) {
    const std::string unreadable = "QVR but not a save file";
    PutSaveFile(unreadable);
    ASSERT_NO_FATAL_FAILURE(Launch());
    HWND box = Tool().WaitForErrorBox();
    ASSERT_TRUE(box) << "no error box";
    WindowInFront other;
    ASSERT_TRUE(other.TakeFront());

    ASSERT_NO_FATAL_FAILURE(StartSecondCopyIn(GameFolder()));
    ExpectInFront(box);
    ASSERT_NO_FATAL_FAILURE(DismissErrorBox(UnreadableSaveText));
    ASSERT_NO_FATAL_FAILURE(WaitReady());
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    EXPECT_EQ(unreadable, SaveFileBytes());
}

// Started twice at once, as by a double click that went through twice: one
// copy shows its dialog, in front; the other ends without one.
TEST_F(SingleCopy, TwoCopiesStartedAtOnceShowOneDialog) {
    PutSaveFile(EncodeSave(SampleSave(DefaultMasks)));
    KeyConfigSession copies[2] = {KeyConfigSession(ToolPath()), KeyConfigSession(ToolPath())};
    ASSERT_TRUE(copies[0].Start(GameFolder()));
    ASSERT_TRUE(copies[1].Start(GameFolder()));
    HWND dialogs[2] = {nullptr, nullptr};
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (int i = 0; i < 2; ++i) dialogs[i] = copies[i].Running() ? copies[i].WaitForDialog(0) : nullptr;
            return (dialogs[0] != nullptr || dialogs[1] != nullptr) && !(copies[0].Running() && copies[1].Running());
        },
        30000))
        << "not one dialog and one copy ended";
    const int shown = dialogs[0] != nullptr ? 0 : 1;
    ASSERT_TRUE(dialogs[shown]);
    EXPECT_FALSE(copies[1 - shown].Running());
    DWORD exitCode = 0xDEAD;
    ASSERT_TRUE(copies[1 - shown].WaitForExit(exitCode));
    EXPECT_EQ(0u, exitCode);
    ExpectInFront(dialogs[shown]);

    ASSERT_TRUE(copies[shown].ClickCloseBox());
    ASSERT_TRUE(copies[shown].WaitForExit(exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(EncodeSave(SampleSave(DefaultMasks)), SaveFileBytes());
}

// Two games' folders, two dialogs: each copy shows and saves its own file.
TEST_F(SingleCopy, CopiesForTwoFoldersRunSideBySide) {
    ASSERT_NO_FATAL_FAILURE(UseGameFolderNamed(L"Orvanne"));
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    const std::wstring otherFolder = MakeFolderBeside(L"Orvanne 2");
    SlotMasks otherMasks = DefaultMasks;
    otherMasks[0] = ButtonMask(20);
    const std::string otherBytes = EncodeSave(SampleSave(otherMasks));
    ASSERT_TRUE(WriteFileBytes(otherFolder + L"\\saves.qvr", otherBytes));

    KeyConfigSession other(ToolPath());
    ASSERT_TRUE(other.Start(otherFolder));
    ASSERT_TRUE(other.WaitForDialog()) << "the second folder's copy shows no dialog";
    EXPECT_EQ(ButtonText(20), other.FieldText(0));
    EXPECT_TRUE(Tool().DialogVisible());
    EXPECT_EQ(DefaultTexts(), Tool().FieldTexts());

    ASSERT_TRUE(other.Click(CancelId));
    DWORD exitCode = 0xDEAD;
    ASSERT_TRUE(other.WaitForExit(exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(otherBytes, ReadFileBytes(otherFolder + L"\\saves.qvr"));
    ExpectSavedWith({});
}

// A first copy that was killed, as from the task manager, holds nothing: the
// next start shows its dialog.
TEST_F(SingleCopy, AKilledCopyLeavesNoLock) {
    PutSaveFile(EncodeSave(SampleSave(DefaultMasks)));
    {
        KeyConfigSession first(ToolPath());
        ASSERT_TRUE(first.Start(GameFolder()));
        ASSERT_TRUE(first.WaitForDialog());
    } // the session kills the program it leaves running
    Joypad().ResetDeviceCounts();
    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    ExpectSavedWith({});
}

} // namespace
