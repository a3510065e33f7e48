// The save file of a game under Program Files: the per-user copy that
// Windows keeps for it where the game wrote that copy last.
#include "app/SaveFileLocation.h"
#include "app/SaveData.h"
#include "app/SaveFileLocationFunctions.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

namespace {

// ---- The per-user copy's path ----------------------------------------------

// A path for a test's message, in the code page the tests print in.
std::string ShiftJisOf(const wchar_t* text) {
    char bytes[1024] = {};
    WideCharToMultiByte(932, 0, text, -1, bytes, sizeof bytes - 1, nullptr, nullptr);
    return bytes;
}

struct StorePathCase {
    const char* name;
    const wchar_t* workingFolder;
    const wchar_t* localAppData;
    const wchar_t* expected; // null: no copy to look for
};

TEST(VirtualStoreSavePath, FollowsTheWorkingFolderUnderTheVirtualisedFolders) {
    const wchar_t* const folders[] = {L"C:\\Program Files", L"C:\\Program Files (x86)", L"", L"C:\\Windows\\",
                                      L"C:\\ProgramData"};
    const wchar_t* const local = L"C:\\Users\\p\\AppData\\Local";
    const StorePathCase cases[] = {
        {"under Program Files", L"C:\\Program Files\\Orvanne", local,
         L"C:\\Users\\p\\AppData\\Local\\VirtualStore\\Program Files\\Orvanne\\saves.qvr"},
        {"deeper, in another case", L"c:\\PROGRAM FILES (X86)\\Games\\Orvanne", local,
         L"C:\\Users\\p\\AppData\\Local\\VirtualStore\\PROGRAM FILES (X86)\\Games\\Orvanne\\saves.qvr"},
        {"the folder itself", L"C:\\ProgramData", local,
         L"C:\\Users\\p\\AppData\\Local\\VirtualStore\\ProgramData\\saves.qvr"},
        {"under a folder given with a backslash", L"C:\\Windows\\Orvanne", local,
         L"C:\\Users\\p\\AppData\\Local\\VirtualStore\\Windows\\Orvanne\\saves.qvr"},
        {"named in Hangul", L"C:\\Program Files\\오르반느", L"C:\\Users\\p\\AppData\\Local\\",
         L"C:\\Users\\p\\AppData\\Local\\VirtualStore\\Program Files\\오르반느\\saves.qvr"},
        {"a look-alike folder", L"C:\\Program Files Games\\Orvanne", local, nullptr},
        {"another drive", L"D:\\Program Files\\Orvanne", local, nullptr},
        {"outside", L"C:\\Games\\Orvanne", local, nullptr},
        {"a network folder", L"\\\\server\\Program Files\\Orvanne", local, nullptr},
        {"without LOCALAPPDATA", L"C:\\Program Files\\Orvanne", L"", nullptr},
    };
    for (const StorePathCase& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t path[SavePathCapacity];
        const bool found = VirtualStoreSavePath(c.workingFolder, folders, 5, c.localAppData, path, SavePathCapacity);
        EXPECT_EQ(c.expected != nullptr, found);
        EXPECT_EQ(std::wstring(c.expected ? c.expected : L""), std::wstring(path));
    }
}

TEST(VirtualStoreSavePath, APathThatDoesNotFitIsNoPath) {
    const wchar_t* const folders[] = {L"C:\\Program Files"};
    const wchar_t* const working = L"C:\\Program Files\\Orvanne";
    const std::wstring expected = L"L:\\VirtualStore\\Program Files\\Orvanne\\saves.qvr";
    wchar_t path[64];
    EXPECT_TRUE(VirtualStoreSavePath(working, folders, 1, L"L:", path, expected.size() + 1));
    EXPECT_EQ(expected, std::wstring(path));
    EXPECT_FALSE(VirtualStoreSavePath(working, folders, 1, L"L:", path, expected.size()));
    EXPECT_EQ(std::wstring(), std::wstring(path));
}

// An environment value that is empty, or a folder without its drive, names
// no folder: it never stands for every path, nor for one on any drive.
TEST(VirtualStoreSavePath, AFolderEmptyOrWithoutADriveIsNoVirtualisedFolder) {
    const wchar_t* const local = L"C:\\Users\\p\\AppData\\Local";
    const wchar_t* const notFolders[] = {L"", L"Program Files", L"\\Program Files", L"C:", L"C:Program Files",
                                         L"\\\\server\\Program Files"};
    for (const wchar_t* folder : notFolders) {
        SCOPED_TRACE(testing::Message() << "folder " << ShiftJisOf(folder));
        for (const wchar_t* working : {L"C:\\Program Files\\Orvanne", L"D:\\Program Files", L"C:\\Orvanne"}) {
            wchar_t path[SavePathCapacity];
            EXPECT_FALSE(VirtualStoreSavePath(working, &folder, 1, local, path, SavePathCapacity))
                << ShiftJisOf(working);
            EXPECT_EQ(std::wstring(), std::wstring(path));
        }
    }
}

// ---- Which file the game wrote last ----------------------------------------

struct ChoiceCase {
    const char* name;
    SaveFileState original, copy;
    SaveFileChoice expected;
};

TEST(ChooseSaveFile, TakesTheFileTheGameWroteLast) {
    const ChoiceCase cases[] = {
        {"no copy", {true, 100}, {false, 0}, SaveFileChoice::Original},
        {"the copy is newer", {true, 100}, {true, 200}, SaveFileChoice::CopyIsNewer},
        {"written at the same time", {true, 100}, {true, 100}, SaveFileChoice::CopyIsNewer},
        {"the original is newer", {true, 200}, {true, 100}, SaveFileChoice::Original},
        {"only the copy", {false, 0}, {true, 1}, SaveFileChoice::CopyAlone},
        {"neither", {false, 0}, {false, 0}, SaveFileChoice::Original},
    };
    for (const ChoiceCase& c : cases) {
        EXPECT_EQ(c.expected, ChooseSaveFile(c.original, c.copy)) << c.name;
    }
}

// ---- Loading and saving the chosen file ------------------------------------

// The environment and the system as a test sets them; the working folder is
// the real one.
std::map<std::wstring, std::wstring> Environment;
bool VistaOrLater;

DWORD WINAPI TestEnvironmentVariable(LPCWSTR name, LPWSTR buffer, DWORD size) {
    auto found = Environment.find(name);
    if (found == Environment.end()) return 0;
    const std::wstring& value = found->second;
    if (value.size() >= size) return DWORD(value.size() + 1);
    wcscpy(buffer, value.c_str());
    return DWORD(value.size());
}

bool TestVistaOrLater() {
    return VistaOrLater;
}

// The working folder as a test names it.
std::wstring ShortWorkingFolder;

DWORD WINAPI ShortCurrentDirectory(DWORD size, LPWSTR buffer) {
    if (ShortWorkingFolder.size() >= size) return DWORD(ShortWorkingFolder.size() + 1);
    wcscpy(buffer, ShortWorkingFolder.c_str());
    return DWORD(ShortWorkingFolder.size());
}

SaveData WithMaskS(int32_t mask) {
    SaveData data;
    data.maskS = mask;
    return data;
}

// A save file with a mask of S of its own, made by the test and dated that
// many seconds after a day in 2020.
void PutSave(const std::wstring& path, int32_t maskS, int seconds) {
    uint8_t keystream[SaveKeystreamLength];
    MakeSaveKeystream(SaveFileSeed, keystream);
    uint8_t bytes[SaveFileSize];
    EncodeSaveFile(WithMaskS(maskS), keystream, bytes);
    ASSERT_TRUE(WriteFileBytes(path, std::string(bytes, bytes + SaveFileSize)));
    ASSERT_TRUE(DateLastWrite(path, seconds));
}

int32_t MaskSOf(const std::wstring& path) {
    const std::string bytes = ReadFileBytes(path);
    if (bytes.size() < 13) return -1;
    return int32_t(uint8_t(bytes[9]) | uint8_t(bytes[10]) << 8 | uint8_t(bytes[11]) << 16 | uint8_t(bytes[12]) << 24);
}

// A prefix of its own under the test's folder: "Program Files" with the game's
// folder in it, and LOCALAPPDATA with the VirtualStore beside.
class PerUserCopyTest : public testing::Test {
protected:
    PerUserCopyTest() {
        SaveFileLocationFunctions = {TestEnvironmentVariable, GetCurrentDirectoryW, TestVistaOrLater};
        VistaOrLater = true;
        Environment = {{L"ProgramFiles", root_ + L"\\Program Files"},
                       {L"SystemRoot", L"C:\\windows"},
                       {L"LOCALAPPDATA", root_ + L"\\Local"}};
    }
    ~PerUserCopyTest() override {
        SetCurrentDirectoryW(WidePath(temp_.Path()).c_str());
        SaveFileLocationFunctions = Kernel32SaveFileLocationFunctions;
        Environment.clear();
    }

    // The game's folder, made and entered, and the matching store folder made.
    void EnterGameFolder(const std::wstring& gameFolder) {
        game_ = gameFolder;
        MakeFolders(game_);
        store_ = root_ + L"\\Local\\VirtualStore" + game_.substr(2);
        MakeFolders(store_);
        ASSERT_TRUE(SetCurrentDirectoryW(game_.c_str()));
    }
    std::wstring Original() const { return game_ + L"\\saves.qvr"; }
    std::wstring Copy() const { return store_ + L"\\saves.qvr"; }

    TempDirectory temp_{TempDirectory::Enter::Yes};
    const std::wstring root_ = WidePath(temp_.Path());
    std::wstring game_, store_;
};

enum class Where { Original, Copy };

struct PerUserCopyCase {
    const char* name;
    const wchar_t* gameFolder; // under the test's own folder
    bool original, copy;       // the files that exist, the original written at second 2000
    int copyTime;
    bool vistaOrLater;
    Where expected;
};

// Load shows the chosen file's bindings, Save writes that file, the other
// stays as it was, and no file is made.
TEST_F(PerUserCopyTest, LoadAndSaveTheFileTheGameWroteLast) {
    const PerUserCopyCase cases[] = {
        {"the copy is newer", L"\\Program Files\\Orvanne", true, true, 3000, true, Where::Copy},
        {"the original is newer", L"\\Program Files\\Orvanne", true, true, 1000, true, Where::Original},
        {"no copy", L"\\Program Files\\Orvanne", true, false, 0, true, Where::Original},
        {"only the copy", L"\\Program Files\\Orvanne", false, true, 1000, true, Where::Copy},
        {"a look-alike copy outside the folders", L"\\Games\\Orvanne", true, true, 3000, true, Where::Original},
        {"Windows XP", L"\\Program Files\\Orvanne", true, true, 3000, false, Where::Original},
        {"a folder named in Hangul", L"\\Program Files\\오르반느", true, true, 3000, true, Where::Copy},
    };
    constexpr int32_t OriginalMask = 0x100, CopyMask = 0x200, NewMask = 0x400;
    for (const PerUserCopyCase& c : cases) {
        SCOPED_TRACE(c.name);
        EnterGameFolder(root_ + c.gameFolder);
        VistaOrLater = c.vistaOrLater;
        if (c.original) PutSave(Original(), OriginalMask, 2000);
        if (c.copy) PutSave(Copy(), CopyMask, c.copyTime);

        SaveData data;
        ASSERT_EQ(0, data.Load());
        EXPECT_EQ(c.expected == Where::Copy ? CopyMask : OriginalMask, data.maskS);
        data.maskS = NewMask;
        ASSERT_TRUE(data.Save());
        if (c.copy) {
            EXPECT_EQ(c.expected == Where::Copy ? NewMask : CopyMask, MaskSOf(Copy()));
        }
        if (c.original) {
            EXPECT_EQ(c.expected == Where::Original ? NewMask : OriginalMask, MaskSOf(Original()));
        }
        EXPECT_EQ(c.original ? std::vector<std::string>{"saves.qvr"} : std::vector<std::string>{}, ListFolder(game_));
        DeleteFileW(Original().c_str());
        DeleteFileW(Copy().c_str());
    }
}

// The working folder as Windows may give it, by its short 8.3 name (a
// shortcut or a batch file that names it so): the copy is looked for under
// the folder's long name, the one that Windows stores the copy under.
TEST_F(PerUserCopyTest, AWorkingFolderGivenByItsShortNameFindsTheCopy) {
    EnterGameFolder(root_ + L"\\Program Files\\Orvanne Key Configuration");
    wchar_t shortName[MAX_PATH];
    const DWORD length = GetShortPathNameW(game_.c_str(), shortName, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, DWORD(MAX_PATH));
    if (game_ == shortName) GTEST_SKIP() << "the file system keeps no short names";
    ShortWorkingFolder = shortName;
    SaveFileLocationFunctions.getCurrentDirectoryW = ShortCurrentDirectory;
    PutSave(Copy(), 0x200, 3000);
    SaveFileLocation location;
    LocateSaveFile(location);
    EXPECT_EQ(Copy(), std::wstring(location.path));
}

// A copy whose path is MAX_PATH characters or longer is named in the literal
// form, which Windows opens at any length; a shorter one in the plain form.
TEST_F(PerUserCopyTest, ALongCopyPathIsNamedInTheLiteralForm) {
    const std::wstring longLocal = root_ + L"\\Local\\" + std::wstring(100, L'l');
    Environment[L"LOCALAPPDATA"] = longLocal;
    for (size_t nameLength : {size_t(10), size_t(120)}) {
        SCOPED_TRACE(nameLength);
        game_ = root_ + L"\\Program Files\\" + std::wstring(nameLength, L'g');
        MakeFolders(game_);
        ASSERT_TRUE(SetCurrentDirectoryW(game_.c_str()));
        const std::wstring copy = longLocal + L"\\VirtualStore" + game_.substr(2) + L"\\saves.qvr";
        const bool literal = copy.size() >= MAX_PATH;
        ASSERT_EQ(nameLength > 100, literal) << copy.size();
        MakeFolders(L"\\\\?\\" + copy.substr(0, copy.rfind(L'\\')));
        PutSave(L"\\\\?\\" + copy, 0x200, 3000);
        SaveFileLocation location;
        LocateSaveFile(location);
        EXPECT_EQ((literal ? L"\\\\?\\" : L"") + copy, std::wstring(location.path));
        SaveData data;
        EXPECT_EQ(0, data.Load());
        EXPECT_EQ(0x200, data.maskS);
    }
}

// A 32-bit program on 64-bit Windows sees Program Files (x86) as
// ProgramFiles and the 64-bit Program Files as ProgramW6432 only; a game
// installed there is virtualised all the same. (A 64-bit program sees the
// same folder under both names, and 32-bit Windows has no ProgramW6432.)
TEST_F(PerUserCopyTest, TheSixtyFourBitProgramFilesIsAVirtualisedFolder) {
    wchar_t programFiles64[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"ProgramW6432", programFiles64, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) GTEST_SKIP() << "no ProgramW6432: 32-bit Windows";
    for (const wchar_t* name : VirtualisedFolderVariables) {
        wchar_t value[MAX_PATH];
        const DWORD valueLength = GetEnvironmentVariableW(name, value, MAX_PATH);
        if (valueLength > 0 && valueLength < MAX_PATH) Environment[name] = value;
    }
    ShortWorkingFolder = std::wstring(programFiles64) + L"\\Orvanne";
    SaveFileLocationFunctions.getCurrentDirectoryW = ShortCurrentDirectory;
    const std::wstring copy = root_ + L"\\Local\\VirtualStore" + ShortWorkingFolder.substr(2) + L"\\saves.qvr";
    MakeFolders(copy.substr(0, copy.rfind(L'\\')));
    PutSave(copy, 0x200, 3000);
    SaveFileLocation location;
    LocateSaveFile(location);
    EXPECT_EQ(copy, std::wstring(location.path));
}

// Without a copy and without the original, nothing is made anywhere.
TEST_F(PerUserCopyTest, NeitherFileIsNoFile) {
    EnterGameFolder(root_ + L"\\Program Files\\Orvanne");
    SaveData data;
    EXPECT_EQ(1, data.Load());
    EXPECT_FALSE(data.Save());
    EXPECT_EQ(std::vector<std::string>{}, ListFolder(game_));
    EXPECT_EQ(std::vector<std::string>{}, ListFolder(store_));
}

} // namespace
