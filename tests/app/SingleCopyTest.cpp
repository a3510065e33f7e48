// One copy of the tool per game folder: the name the copies of one folder
// meet by, the folder's identity as the system gives it, the claim on the
// folder, and the window of the holding copy that comes to the front.
#include "app/SingleCopy.h"
#include "app/CopyLockName.h"
#include "app/FolderIdentity.h"
#include "app/FrontWindow.h"
#include "support/ChildScenario.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <deque>
#include <string>
#include <vector>

namespace {

// A path for a test's message, in the code page the tests print in.
std::string ShiftJisOf(const std::wstring& text) {
    char bytes[4096] = {};
    WideCharToMultiByte(932, 0, text.c_str(), -1, bytes, sizeof bytes - 1, nullptr, nullptr);
    return bytes;
}

FolderIdentity ByPath(const wchar_t* path) {
    FolderIdentity folder;
    folder.path = path;
    return folder;
}

FolderIdentity ById(uint64_t volume, uint64_t high, uint64_t low, const wchar_t* path = L"C:\\Games\\Orvanne") {
    FolderIdentity folder = ByPath(path);
    folder.idKnown = true;
    folder.volumeSerial = volume;
    folder.fileIdHigh = high;
    folder.fileIdLow = low;
    return folder;
}

// ---- The key of a folder's path ---------------------------------------------

struct PathKeyCase {
    const wchar_t* path;
    const wchar_t* key;
};

TEST(FolderPathKey, DropsTheLiteralPrefixAndTheEndingBackslashesAndFoldsCase) {
    const PathKeyCase cases[] = {
        {L"C:\\Games\\Orvanne", L"C:\\GAMES\\ORVANNE"},
        {L"c:\\games\\orvanne\\", L"C:\\GAMES\\ORVANNE"},
        {L"C:\\Games\\Orvanne\\\\", L"C:\\GAMES\\ORVANNE"},
        {L"C:/Games/Orvanne/", L"C:\\GAMES\\ORVANNE"},
        {L"\\\\?\\C:\\Games\\Orvanne", L"C:\\GAMES\\ORVANNE"},
        {L"\\\\?\\UNC\\server\\share\\Orvanne", L"\\\\SERVER\\SHARE\\ORVANNE"},
        {L"\\\\server\\share\\Orvanne\\", L"\\\\SERVER\\SHARE\\ORVANNE"},
        {L"C:\\", L"C:"},
        {L"\\\\?\\C:\\", L"C:"},
        // Beyond ASCII, as the file systems compare names: accented, Cyrillic
        // and full-width letters have a case; kana, kanji and Hangul have none.
        {L"C:\\Jeux\\évasion", L"C:\\JEUX\\ÉVASION"},
        {L"C:\\Игры\\орванн", L"C:\\ИГРЫ\\ОРВАНН"},
        {L"C:\\ｇａｍｅｓ", L"C:\\ＧＡＭＥＳ"},
        {L"C:\\げーむ\\ゲーム\\遊戯\\오르반느", L"C:\\げーむ\\ゲーム\\遊戯\\오르반느"},
        {L"", L""},
    };
    for (const PathKeyCase& c : cases) {
        SCOPED_TRACE(ShiftJisOf(c.path));
        EXPECT_EQ(std::wstring(c.key), FolderPathKey(c.path));
    }
}

// The user's language does not change the key: in Turkish, "i" is the small
// letter of "İ", not of "I", but the file systems take "i" for "I".
TEST(FolderPathKey, IsTheSameInEveryLanguage) {
    const LCID before = GetThreadLocale();
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_TURKISH, SUBLANG_TURKISH_TURKEY), SORT_DEFAULT));
    const std::wstring key = FolderPathKey(L"C:\\Oyunlar\\fix");
    SetThreadLocale(before);
    EXPECT_EQ(std::wstring(L"C:\\OYUNLAR\\FIX"), key);
}

// ---- The name --------------------------------------------------------------

// Identities in groups: those of one group stand for one folder and give one
// name; no two groups give the same name.
TEST(CopyLockName, OneFolderOneNameAndAnotherFolderAnother) {
    const std::vector<std::vector<FolderIdentity>> groups = {
        {ByPath(L"C:\\Games\\Orvanne"), ByPath(L"c:\\GAMES\\orvanne\\"), ByPath(L"\\\\?\\C:\\Games\\Orvanne"),
         ByPath(L"C:/Games/Orvanne")},
        {ByPath(L"C:\\Games\\Orvanne 2")},
        {ByPath(L"C:\\Games")},
        {ByPath(L"D:\\Games\\Orvanne")},
        {ByPath(L"\\\\server\\share\\Orvanne"), ByPath(L"\\\\?\\UNC\\SERVER\\share\\Orvanne\\")},
        {ByPath(L"C:\\ゲーム")},
        {ByPath(L"C:\\げーむ")}, // hiragana and katakana are different names
        // Full-width letters have a case, but are not the letters of "C:\Games".
        {ByPath(L"C:\\ＧＡＭＥＳ"), ByPath(L"C:\\ｇａｍｅｓ")},
        // By id the path does not count: a junction, a substituted drive or
        // a short name reaches the same folder by another path.
        {ById(0x1234ABCD, 0, 0x5000000000A2F), ById(0x1234ABCD, 0, 0x5000000000A2F, L"S:\\"),
         ById(0x1234ABCD, 0, 0x5000000000A2F, L"C:\\GAMES~1\\ORVANN~1")},
        {ById(0x1234ABCE, 0, 0x5000000000A2F)}, // another volume
        {ById(0x1234ABCD, 0, 0x5000000000A30)}, // another folder on it
        {ById(0x1234ABCD, 1, 0x5000000000A2F)}, // a 128-bit id differing in its upper half only
    };
    std::vector<std::wstring> names;
    for (size_t group = 0; group < groups.size(); ++group) {
        const std::wstring name = CopyLockName(groups[group][0]);
        for (const FolderIdentity& folder : groups[group]) {
            SCOPED_TRACE(testing::Message() << "group " << group << ", " << ShiftJisOf(folder.path));
            EXPECT_EQ(name, CopyLockName(folder));
        }
        for (size_t other = 0; other < names.size(); ++other)
            EXPECT_NE(names[other], name) << "groups " << other << " and " << group;
        names.push_back(name);
    }
}

// The namespace, then a part without a backslash, which a kernel object's
// name may not hold past the namespace, short whatever the path's length.
TEST(CopyLockName, IsASessionLocalNameOfFixedLength) {
    const std::wstring longPath = L"\\\\?\\C:\\" + std::wstring(32000, L'a');
    const std::wstring prefix = CopyLockNamePrefix;
    ASSERT_EQ(0u, prefix.find(L"Local\\"));
    for (const FolderIdentity& folder : {ByPath(L"C:\\Games\\Orvanne"), ByPath(longPath.c_str()), ById(1, 2, 3)}) {
        const std::wstring name = CopyLockName(folder);
        SCOPED_TRACE(ShiftJisOf(name));
        ASSERT_EQ(prefix.size() + 16, name.size());
        EXPECT_EQ(prefix, name.substr(0, prefix.size()));
        EXPECT_EQ(std::wstring::npos, name.find_first_not_of(L"0123456789abcdef", prefix.size()));
        EXPECT_EQ(std::wstring::npos, name.find(L'\\', 6));
    }
}

// Copies of two releases of the tool, or the 32-bit and the 64-bit program,
// in one folder meet only if they derive the same name: the derivation is
// fixed, and these values hold it.
TEST(CopyLockName, StaysTheSameFromReleaseToRelease) {
    EXPECT_EQ(std::wstring(L"Local\\OrvanneKeyConfig-62c37dabfaa32908"),
              CopyLockName(ById(0x1234ABCD, 0, 0x5000000000A2F)));
    EXPECT_EQ(std::wstring(L"Local\\OrvanneKeyConfig-6fc9341192731623"), CopyLockName(ByPath(L"c:\\games\\orvanne")));
}

// ---- A folder's identity from the system -------------------------------------

// The spellings of one folder that a player's shortcut or command line may
// hold, and the working folder itself.
class FolderIdentityTest : public testing::Test {
protected:
    void SetUp() override {
        base_ = WidePath(temp_.Path());
        folder_ = base_ + L"\\Orvanne Game Folder";
        sibling_ = base_ + L"\\Orvanne Game Folder 2";
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(sibling_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\saves").c_str(), nullptr));
    }

    std::wstring ShortName(const std::wstring& path) const {
        wchar_t shortPath[MAX_PATH];
        DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
        return length > 0 && length < MAX_PATH ? std::wstring(shortPath, length) : std::wstring();
    }

    static std::wstring Upper(std::wstring text) {
        CharUpperBuffW(&text[0], DWORD(text.size()));
        return text;
    }

    TempDirectory temp_;
    std::wstring base_, folder_, sibling_;
};

TEST_F(FolderIdentityTest, EverySpellingOfAFolderGivesItsName) {
    const std::wstring shortName = ShortName(folder_);
    ASSERT_FALSE(shortName.empty());
    ASSERT_NE(folder_, shortName);
    const std::wstring spellings[] = {
        folder_,
        folder_ + L"\\",
        Upper(folder_),
        shortName,
        L"\\\\?\\" + folder_,
        folder_ + L"\\saves\\..",
        sibling_ + L"\\..\\Orvanne Game Folder",
    };
    const FolderIdentity reference = ReadFolderIdentity(folder_.c_str());
    const std::wstring name = CopyLockName(reference);
    for (const std::wstring& spelling : spellings) {
        SCOPED_TRACE(ShiftJisOf(spelling));
        const FolderIdentity identity = ReadFolderIdentity(spelling.c_str());
        EXPECT_EQ(reference.idKnown, identity.idKnown);
        EXPECT_EQ(name, CopyLockName(identity));
        // Where the file system gives no id, the path alone must do as well.
        EXPECT_EQ(FolderPathKey(reference.path), FolderPathKey(identity.path));
    }
    EXPECT_NE(name, CopyLockName(ReadFolderIdentity(sibling_.c_str())));
    EXPECT_NE(name, CopyLockName(ReadFolderIdentity((folder_ + L"\\saves").c_str())));
}

TEST_F(FolderIdentityTest, TheWorkingFolderIsReadAsDot) {
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(ShortName(folder_).c_str()));
    const FolderIdentity identity = ReadFolderIdentity(L".");
    SetCurrentDirectoryW(before);
    EXPECT_EQ(CopyLockName(ReadFolderIdentity(folder_.c_str())), CopyLockName(identity));
    EXPECT_EQ(FolderPathKey(folder_), FolderPathKey(identity.path));
}

// ---- The claim on a folder ---------------------------------------------------

class FolderClaimTest : public FolderIdentityTest {
protected:
    void TearDown() override {
        for (FolderClaim& claim : claims_) ReleaseGameFolder(claim);
    }
    FolderClaim& Claim(const std::wstring& folder, ClaimResult expected) {
        claims_.emplace_back();
        EXPECT_EQ(int(expected), int(ClaimGameFolder(claims_.back(), folder.c_str()))) << ShiftJisOf(folder);
        return claims_.back();
    }

    std::deque<FolderClaim> claims_; // a deque: the references handed out stay valid
};

TEST_F(FolderClaimTest, TheFirstHoldsTheFolderAndTheNextFindsItHeldByIt) {
    FolderClaim& first = Claim(folder_, ClaimResult::Claimed);
    ASSERT_NE(nullptr, first.record);
    EXPECT_EQ(GetCurrentProcessId(), DWORD(first.record->processId));

    FolderClaim& second = Claim(ShortName(folder_) + L"\\", ClaimResult::HeldElsewhere);
    EXPECT_EQ(GetCurrentProcessId(), HoldingCopyProcessId(second, 0));
    Claim(sibling_, ClaimResult::Claimed); // another folder, side by side
}

// The folder is free again once the holder and every copy that found it held
// have let go; a copy that found it held lets go as it shows the holder.
TEST_F(FolderClaimTest, NoLockOutlivesTheCopies) {
    FolderClaim& first = Claim(folder_, ClaimResult::Claimed);
    FolderClaim& second = Claim(folder_, ClaimResult::HeldElsewhere);
    ShowHoldingCopy(second); // the holder is this process: nothing to wait for
    EXPECT_EQ(nullptr, second.section);
    ReleaseGameFolder(first);
    EXPECT_EQ(nullptr, first.section);
    Claim(folder_, ClaimResult::Claimed);
}

// A copy that opens the object between the holder's making it and writing
// its id reads the id once it is there.
TEST_F(FolderClaimTest, TheHoldersIdIsReadOnceWritten) {
    const std::wstring name = CopyLockName(ReadFolderIdentity(folder_.c_str()));
    HANDLE section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(CopyRecord), name.c_str());
    ASSERT_NE(nullptr, section);
    auto* record = static_cast<CopyRecord*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(CopyRecord)));
    ASSERT_NE(nullptr, record);

    FolderClaim& second = Claim(folder_, ClaimResult::HeldElsewhere);
    EXPECT_EQ(0u, HoldingCopyProcessId(second, 0));
    record->processId = 4242;
    EXPECT_EQ(4242u, HoldingCopyProcessId(second, 0));
    UnmapViewOfFile(record);
    CloseHandle(section);
}

TEST_F(FolderClaimTest, AFolderTheSystemCannotNameIsNotChecked) {
    Claim(L"", ClaimResult::Unchecked);
    Claim(L"", ClaimResult::Unchecked); // and so never held
}

// The holder in a process of its own, which claims the folder that the
// environment names, says so, and ends after the time the environment gives,
// or when it is killed.
constexpr wchar_t HolderFolderVariable[] = L"SINGLE_COPY_TEST_FOLDER";
constexpr wchar_t HolderReadyVariable[] = L"SINGLE_COPY_TEST_READY";
constexpr wchar_t HolderLifeVariable[] = L"SINGLE_COPY_TEST_LIFE";

CHILD_SCENARIO(SingleCopyHolder) {
    wchar_t folder[MAX_PATH], ready[MAX_PATH], life[16];
    if (!GetEnvironmentVariableW(HolderFolderVariable, folder, MAX_PATH) ||
        !GetEnvironmentVariableW(HolderReadyVariable, ready, MAX_PATH) ||
        !GetEnvironmentVariableW(HolderLifeVariable, life, 16))
        return 10;
    FolderClaim claim;
    if (ClaimGameFolder(claim, folder) != ClaimResult::Claimed) return 11;
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready);
    if (event == nullptr || !SetEvent(event)) return 12;
    Sleep(DWORD(std::wcstoul(life, nullptr, 10)));
    return 0;
}

class HolderProcessTest : public FolderClaimTest {
protected:
    void TearDown() override {
        if (holder_.hProcess != nullptr) {
            TerminateProcess(holder_.hProcess, 1);
            WaitForSingleObject(holder_.hProcess, 30000);
            CloseHandle(holder_.hProcess);
            CloseHandle(holder_.hThread);
        }
        FolderClaimTest::TearDown();
    }

    // Starts the holder of folder_ and waits until it holds it.
    void StartHolder(DWORD lifeMs) {
        wchar_t readyName[64], life[16];
        std::swprintf(readyName, 64, L"SingleCopyTestReady%lu", GetCurrentProcessId());
        std::swprintf(life, 16, L"%lu", lifeMs);
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName);
        ASSERT_NE(nullptr, ready);
        ResetEvent(ready);
        SetEnvironmentVariableW(HolderFolderVariable, folder_.c_str());
        SetEnvironmentVariableW(HolderReadyVariable, readyName);
        SetEnvironmentVariableW(HolderLifeVariable, life);
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        std::string commandLine = std::string("\"") + exe + "\" " + ChildScenarioSwitch + "SingleCopyHolder";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        const bool started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                            &startup, &holder_) != FALSE;
        HANDLE waits[2] = {ready, holder_.hProcess};
        const DWORD waited = started ? WaitForMultipleObjects(2, waits, FALSE, 60000) : WAIT_FAILED;
        CloseHandle(ready);
        ASSERT_TRUE(started);
        ASSERT_EQ(WAIT_OBJECT_0, waited) << "the holder did not claim the folder";
    }

    PROCESS_INFORMATION holder_ = {};
};

// A holder that is killed, as by the task manager, leaves no lock: the
// system removes the object with the process's last handle.
TEST_F(HolderProcessTest, AKilledHolderLeavesTheFolderFree) {
    ASSERT_NO_FATAL_FAILURE(StartHolder(INFINITE));
    FolderClaim& second = Claim(folder_, ClaimResult::HeldElsewhere);
    EXPECT_EQ(holder_.dwProcessId, HoldingCopyProcessId(second, 0));
    ReleaseGameFolder(second);

    TerminateProcess(holder_.hProcess, 1);
    WaitForSingleObject(holder_.hProcess, 30000);
    Claim(folder_, ClaimResult::Claimed);
}

// A holder that ends before it shows anything, as one that was closing when
// the next copy started, leaves the folder to that copy, which runs.
TEST_F(HolderProcessTest, AHolderThatEndsUnseenLeavesTheFolderToTheNextCopy) {
    ASSERT_NO_FATAL_FAILURE(StartHolder(500));
    claims_.emplace_back();
    EXPECT_TRUE(TakeGameFolder(claims_.back(), folder_.c_str()));
    ASSERT_NE(nullptr, claims_.back().record);
    EXPECT_EQ(GetCurrentProcessId(), DWORD(claims_.back().record->processId));
}

// ---- The holder's window ---------------------------------------------------

class PlayerWindowTest : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = ClassName;
        RegisterClassW(&windowClass); // a second registration fails harmlessly
    }
    void TearDown() override {
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) DestroyWindow(*it);
    }
    // A top-level window of this process, owned by another where given.
    HWND Make(DWORD style, DWORD exStyle = 0, HWND owner = nullptr) {
        HWND window = CreateWindowExW(exStyle, ClassName, L"", style, 0, 0, 200, 100, owner, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(nullptr, window);
        windows_.push_back(window);
        return window;
    }
    static HWND Mine() { return PlayerWindowOf(GetCurrentProcessId()); }

    static constexpr const wchar_t* ClassName = L"SingleCopyTestWindow";
    std::vector<HWND> windows_;
};

constexpr DWORD Dialog = WS_POPUP | WS_CAPTION | WS_SYSMENU;

TEST_F(PlayerWindowTest, NoneWhileTheProcessShowsNothing) {
    Make(Dialog); // made, not yet shown: a copy still starting
    EXPECT_EQ(nullptr, Mine());
}

TEST_F(PlayerWindowTest, TheDialog) {
    HWND dialog = Make(Dialog | WS_VISIBLE);
    EXPECT_EQ(dialog, Mine());
}

// A box over its dialog, which is disabled meanwhile; also while the dialog
// is not yet shown, as for the box about a save file that cannot be read.
TEST_F(PlayerWindowTest, TheBoxOverItsDialog) {
    for (bool dialogShown : {true, false}) {
        SCOPED_TRACE(dialogShown ? "dialog shown" : "dialog not yet shown");
        HWND dialog = Make(Dialog | (dialogShown ? WS_VISIBLE : 0));
        HWND box = Make(Dialog | WS_VISIBLE, 0, dialog);
        EnableWindow(dialog, FALSE);
        EXPECT_EQ(box, Mine());
        DestroyWindow(box);
        DestroyWindow(dialog);
        windows_.clear();
    }
}

// A tooltip stands above everything, but takes no input; it is shown
// without being activated, and also where it was.
TEST_F(PlayerWindowTest, NotATooltipAboveTheDialog) {
    HWND dialog = Make(Dialog | WS_VISIBLE);
    HWND tooltip = Make(WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, dialog);
    ShowWindow(tooltip, SW_SHOWNOACTIVATE);
    EXPECT_EQ(dialog, Mine());
    SetActiveWindow(tooltip);
    EXPECT_EQ(dialog, Mine());
}

} // namespace
