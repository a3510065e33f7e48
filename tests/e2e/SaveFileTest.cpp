// What the real tool leaves in the save file: every way to end the dialog,
// unusual saved bindings, and files it cannot read or write.
#include "E2EFixture.h"

#include <atomic>
#include <thread>

namespace {

// How a player ends the dialog, and whether the bindings are then written.
enum class Ending { OkButton, EnterKey, CancelButton, CloseBox };

struct EndingCase {
    const char* name;
    bool pressFirst; // bind button 10 to S before ending
    Ending ending;
    bool writes;
};

void PrintTo(const EndingCase& c, std::ostream* out) {
    *out << c.name;
}

class DialogEnding : public KeyConfigEndToEnd, public testing::WithParamInterface<EndingCase> {
protected:
    void End(Ending ending) {
        switch (ending) {
        case Ending::OkButton:
            ASSERT_TRUE(Tool().Click(OkId));
            break;
        case Ending::EnterKey:
            ASSERT_TRUE(Tool().PressKey(VK_RETURN));
            break;
        case Ending::CancelButton:
            ASSERT_TRUE(Tool().Click(CancelId));
            break;
        case Ending::CloseBox:
            ASSERT_TRUE(Tool().ClickCloseBox());
            break;
        }
    }
};

TEST_P(DialogEnding, WritesOnlyWhenConfirmed) {
    const EndingCase& c = GetParam();
    const std::string original = EncodeSave(SampleSave(DefaultMasks));
    PutSaveFile(original);
    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    EXPECT_EQ(DefaultTexts(), Tool().FieldTexts());
    if (c.pressFirst) {
        ASSERT_TRUE(Joypad().Press(10));
        ASSERT_EQ(ButtonText(10), Tool().FieldText(0));
    }
    ASSERT_NO_FATAL_FAILURE(End(c.ending));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());

    SaveData expected = SampleSave(DefaultMasks);
    if (c.pressFirst && c.writes) SetSlotMask(expected, 0, ButtonMask(10));
    EXPECT_EQ(EncodeSave(expected), SaveFileBytes());
    EXPECT_EQ(std::vector<std::string>{"saves.qvr"}, FolderFiles());
}

INSTANTIATE_TEST_SUITE_P(E2E, DialogEnding,
                         testing::Values(EndingCase{"OkWithoutChange", false, Ending::OkButton, true},
                                         EndingCase{"EnterWithoutChange", false, Ending::EnterKey, true},
                                         EndingCase{"OkAfterPress", true, Ending::OkButton, true},
                                         EndingCase{"EnterAfterPress", true, Ending::EnterKey, true},
                                         EndingCase{"CancelAfterPress", true, Ending::CancelButton, false},
                                         EndingCase{"CloseBoxAfterPress", true, Ending::CloseBox, false}),
                         [](const testing::TestParamInfo<EndingCase>& info) { return info.param.name; });

// Esc is the dialog's IDCANCEL, which it ignores: it stays open, keeps its
// bindings, and OK afterwards still writes them.
TEST_F(KeyConfigEndToEnd, EscapeLeavesTheDialogOpen) {
    PutSaveFile(EncodeSave(SampleSave(DefaultMasks)));
    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_TRUE(Tool().PressKey(VK_ESCAPE));
    // Timer ticks come only when no posted message is waiting: two more
    // reads of the pad mean the key has been handled.
    ASSERT_TRUE(Joypad().WaitReads(2));
    EXPECT_TRUE(Tool().Running());
    EXPECT_TRUE(Tool().DialogVisible());
    EXPECT_EQ(ButtonText(10), Tool().FieldText(0));
    EXPECT_EQ(FieldId(1), Tool().FocusedId());
    EXPECT_EQ(EncodeSave(SampleSave(DefaultMasks)), SaveFileBytes());

    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    SaveData expected = SampleSave(DefaultMasks);
    SetSlotMask(expected, 0, ButtonMask(10));
    EXPECT_EQ(EncodeSave(expected), SaveFileBytes());
}

// Saved masks that are not a single button bit show as unbound and are
// written back as 0; bits 28 to 31, which no pad press makes, are buttons
// 25 to 28 and are written back unchanged.
TEST_F(KeyConfigEndToEnd, UnusualSavedMasks) {
    struct SlotCase {
        uint32_t saved;
        const char* shown;
        uint32_t written;
    };
    const SlotCase slots[SlotCount] = {
        {0x00000000, "------", 0},                    // S: unbound
        {0x00000001, "------", 0},                    // Z: down
        {0x00000008, "------", 0},                    // A: up
        {0x00000030, "------", 0},                    // W: two buttons
        {0x80000000, "Button28", 0x80000000},         // X: bit 31
        {0x10000000, "Button25", 0x10000000},         // C: bit 28
        {ButtonMask(12), "Button12", ButtonMask(12)}, // V: an ordinary button
        {0xFFFFFFFF, "------", 0},                    // B: every bit
    };
    SlotMasks saved, written;
    std::vector<std::string> shown;
    for (int slot = 0; slot < SlotCount; ++slot) {
        saved[slot] = slots[slot].saved;
        written[slot] = slots[slot].written;
        shown.push_back(slots[slot].shown);
    }
    PutSaveFile(EncodeSave(SampleSave(saved)));
    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    EXPECT_EQ(shown, Tool().FieldTexts());
    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    EXPECT_EQ(EncodeSave(SampleSave(written)), SaveFileBytes());
}

// A save file the tool cannot read: the error box comes before the dialog,
// the fields stay empty, buttons can still be bound, and OK shows the box
// again and ends without writing anything. A missing file's box names the
// folder the tool looked in; one that is there but never whole (after the
// wait for a game halfway through its write) says it could not be read.
struct LoadFailureCase {
    const char* name;
    bool present;
    std::string bytes;
};

void PrintTo(const LoadFailureCase& c, std::ostream* out) {
    *out << c.name;
}

std::string Damaged(size_t offset, char value) {
    std::string bytes = EncodeSave(SampleSave(DefaultMasks));
    bytes[offset] = value;
    return bytes;
}

class LoadFailure : public KeyConfigEndToEnd, public testing::WithParamInterface<LoadFailureCase> {};

TEST_P(LoadFailure, ShowsTheErrorAndWritesNothing) {
    const LoadFailureCase& c = GetParam();
    if (c.present) PutSaveFile(c.bytes);
    const auto dismissBox = [&] { c.present ? DismissErrorBox(UnreadableSaveText) : DismissMissingSaveBox(); };
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(dismissBox());
    ASSERT_NO_FATAL_FAILURE(WaitReady());
    EXPECT_EQ(std::vector<std::string>(SlotCount, ""), Tool().FieldTexts());

    ASSERT_TRUE(Joypad().Press(5));
    EXPECT_EQ(ButtonText(5), Tool().FieldText(0));
    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(dismissBox());
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());

    if (c.present) {
        EXPECT_EQ(c.bytes, SaveFileBytes());
        EXPECT_EQ(std::vector<std::string>{"saves.qvr"}, FolderFiles());
    } else {
        EXPECT_EQ(std::vector<std::string>{}, FolderFiles()) << "the tool never creates a save file";
    }
}

INSTANTIATE_TEST_SUITE_P(E2E, LoadFailure,
                         testing::Values(LoadFailureCase{"Missing", false, ""}, LoadFailureCase{"Empty", true, ""},
                                         LoadFailureCase{"ShorterThanTheMagic", true, "QV"},
                                         LoadFailureCase{"WrongMagic", true, Damaged(2, 'X')},
                                         LoadFailureCase{"ChecksumMismatch", true,
                                                         Damaged(SaveRecordsOffset + 5, '\x5A')}),
                         [](const testing::TestParamInfo<LoadFailureCase>& info) { return info.param.name; });

// A folder too long for a line of the box is named by its root and its last
// folders, the game's own folder whole.
TEST_F(KeyConfigEndToEnd, TheMissingFileBoxNamesALongFolderByItsEnd) {
    const std::wstring name = L"オルヴァンヌ のセーブデータを置いた長い名前のフォルダー";
    ASSERT_NO_FATAL_FAILURE(UseGameFolderNamed(name));
    ASSERT_GT(GameFolder().size(), 40u);
    ASSERT_NO_FATAL_FAILURE(Launch());
    HWND box = Tool().WaitForErrorBox();
    ASSERT_TRUE(box);
    const std::wstring text = KeyConfigSession::MessageBoxTextW(box);
    EXPECT_NE(std::wstring::npos, text.find(L"\u2026\\")) << "the folder is not shortened";
    EXPECT_NE(std::wstring::npos, text.find(L"\\" + name + L"\n")) << "the game's folder is not named whole";
    ASSERT_NO_FATAL_FAILURE(DismissMissingSaveBox());
    ASSERT_NO_FATAL_FAILURE(WaitReady());
    ASSERT_TRUE(Tool().Click(CancelId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
}

// A read-only save file: OK reports the failed write and keeps the dialog
// open with the player's bindings; once the file is writable again, OK
// writes them.
TEST_F(KeyConfigEndToEnd, UnwritableFileKeepsTheDialogOpen) {
    const std::string original = EncodeSave(SampleSave(DefaultMasks));
    PutSaveFile(original);
    ASSERT_TRUE(SetFileAttributesA(SavePath().c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_NO_FATAL_FAILURE(LaunchReady());
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(DismissErrorBox(SaveErrorText));

    ASSERT_TRUE(Joypad().WaitReads(2));
    EXPECT_TRUE(Tool().Running());
    EXPECT_TRUE(Tool().DialogVisible());
    EXPECT_EQ(ButtonText(10), Tool().FieldText(0));
    EXPECT_EQ(original, SaveFileBytes());
    EXPECT_EQ(std::vector<std::string>{"saves.qvr"}, FolderFiles());

    ASSERT_TRUE(SetFileAttributesA(SavePath().c_str(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    SaveData expected = SampleSave(DefaultMasks);
    SetSlotMask(expected, 0, ButtonMask(10));
    EXPECT_EQ(EncodeSave(expected), SaveFileBytes());
}

// A game folder named in a script that the ANSI code page cannot spell: the
// tool finds, loads and saves the file by its relative name all the same.
struct FolderNameCase {
    const char* name;
    const wchar_t* folder;
};

void PrintTo(const FolderNameCase& c, std::ostream* out) {
    *out << c.name;
}

class FolderNamedOutsideTheCodePage : public KeyConfigEndToEnd, public testing::WithParamInterface<FolderNameCase> {};

TEST_P(FolderNamedOutsideTheCodePage, SavesThere) {
    ASSERT_EQ(932u, GetACP()) << "this suite runs in the Japanese locale";
    ASSERT_NO_FATAL_FAILURE(UseGameFolderNamed(GetParam().folder));
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_EQ(ButtonText(10), Tool().FieldText(0));
    ASSERT_NO_FATAL_FAILURE(ExpectSavedWith({{0, 10}}));
}

INSTANTIATE_TEST_SUITE_P(E2E, FolderNamedOutsideTheCodePage,
                         testing::Values(FolderNameCase{"Hangul", L"세이브"}, FolderNameCase{"Latin1", L"Müller"}),
                         [](const testing::TestParamInfo<FolderNameCase>& info) { return info.param.name; });

// The game may save while the dialog is open: OK writes the bindings into the
// file as the game left it, and the game's part of it survives.
TEST_F(KeyConfigEndToEnd, WhatTheGameWroteWhileTheDialogWasOpenSurvives) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_EQ(ButtonText(10), Tool().FieldText(0));

    SaveData game = SampleSave(DefaultMasks);
    game.headerValue = uint16_t(game.headerValue ^ 0x0101);
    game.records[2].valueA += 5;
    game.records[7].flag = uint8_t(game.records[7].flag ^ 1);
    SetSlotMask(game, 3, ButtonMask(20)); // the dialog's binding of W wins
    ASSERT_NO_FATAL_FAILURE(PutSaveFile(EncodeSave(game)));

    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    SaveData expected = game;
    for (int slot = 0; slot < SlotCount; ++slot) SetSlotMask(expected, slot, DefaultMasks[size_t(slot)]);
    SetSlotMask(expected, 0, ButtonMask(10));
    EXPECT_EQ(EncodeSave(expected), SaveFileBytes());
    EXPECT_EQ(std::vector<std::string>{"saves.qvr"}, FolderFiles());
}

// A running game that holds the file open, sharing everything, reads the new
// bindings through its own handle: the tool wrote into that file, not a new
// one beside it.
TEST_F(KeyConfigEndToEnd, AGameHoldingTheFileReadsTheSaveThroughItsHandle) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    HANDLE game = CreateFileA(SavePath().c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, game);
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_EQ(ButtonText(10), Tool().FieldText(0));
    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());

    std::string seen(SaveFileSize, '\0');
    DWORD count = 0;
    EXPECT_TRUE(ReadFile(game, &seen[0], DWORD(seen.size()), &count, nullptr));
    CloseHandle(game);
    seen.resize(count);
    SaveData expected = SampleSave(DefaultMasks);
    SetSlotMask(expected, 0, ButtonMask(10));
    EXPECT_EQ(EncodeSave(expected), seen);
    EXPECT_EQ(EncodeSave(expected), SaveFileBytes());
}

// A virus scanner or backup program holding the file without write sharing
// when OK is pressed: the tool waits for it, answering what is sent to the
// dialog meanwhile, and saves once it lets go, without a box.
TEST_F(KeyConfigEndToEnd, AHolderForASecondIsWaitedFor) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_EQ(ButtonText(10), Tool().FieldText(0));
    HANDLE holder = CreateFileA(SavePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    ASSERT_TRUE(Tool().Click(OkId));
    Sleep(500);
    // The dialog is waiting for the holder, and answers all the same.
    EXPECT_EQ(ButtonText(10), Tool().FieldText(0));
    Sleep(500);
    CloseHandle(holder);
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    SaveData expected = SampleSave(DefaultMasks);
    SetSlotMask(expected, 0, ButtonMask(10));
    EXPECT_EQ(EncodeSave(expected), SaveFileBytes());
}

// The game saving while OK writes the bindings, from a process of its own:
// what the game wrote stays, and the tool's bindings are in the file unless
// the game wrote its whole file after the tool had read its bindings back.
struct GameWriteCase {
    const char* name;
    bool wholeFileOnce; // else only the records, over and over
};

void PrintTo(const GameWriteCase& c, std::ostream* out) {
    *out << c.name;
}

class GameSavingDuringTheSave : public KeyConfigEndToEnd, public testing::WithParamInterface<GameWriteCase> {};

TEST_P(GameSavingDuringTheSave, KeepsWhatTheGameWrote) {
    const GameWriteCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_EQ(ButtonText(10), Tool().FieldText(0));

    SaveData game = SampleSave(DefaultMasks);
    game.headerValue = uint16_t(game.headerValue ^ 0x0101);
    game.records[1].valueA += 9;
    game.records[8].flag = uint8_t(game.records[8].flag ^ 1);
    SetSlotMask(game, 2, ButtonMask(21));
    const std::string gameBytes = EncodeSave(game);
    SaveData ours = SampleSave(DefaultMasks);
    SetSlotMask(ours, 0, ButtonMask(10));
    const std::string ourMasks = EncodeSave(ours).substr(SaveMasksOffset, SaveMasksSize);

    std::atomic<bool> done{false};
    std::thread writer([&] {
        HANDLE file = CreateFileA(SavePath().c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        const size_t from = c.wholeFileOnce ? 0 : SaveChecksumOffset;
        while (!done) {
            if (c.wholeFileOnce) {
                // Waits for the tool's bindings to land, then writes over them once.
                std::string seen(SaveFileSize, '\0');
                DWORD count = 0;
                SetFilePointer(file, 0, nullptr, FILE_BEGIN);
                if (!ReadFile(file, &seen[0], DWORD(seen.size()), &count, nullptr) ||
                    seen.compare(SaveMasksOffset, SaveMasksSize, ourMasks) != 0)
                    continue;
            }
            DWORD written = 0;
            SetFilePointer(file, LONG(from), nullptr, FILE_BEGIN);
            WriteFile(file, gameBytes.data() + from, DWORD(gameBytes.size() - from), &written, nullptr);
            if (c.wholeFileOnce) break;
        }
        CloseHandle(file);
    });
    ASSERT_TRUE(Tool().Click(OkId));
    DWORD exitCode = 0xDEAD;
    const bool ended = Tool().WaitForExit(exitCode);
    done = true;
    writer.join();
    ASSERT_TRUE(ended) << "the tool did not end: a write-failure box?";
    EXPECT_EQ(0u, exitCode);

    const std::string after = SaveFileBytes();
    ASSERT_EQ(SaveFileSize, after.size());
    // The game's part: its whole file, or the tool's file with the game's records.
    std::string expected = c.wholeFileOnce ? gameBytes : EncodeSave(SampleSave(DefaultMasks));
    expected.replace(SaveChecksumOffset, SaveFileSize - SaveChecksumOffset, gameBytes, SaveChecksumOffset,
                     std::string::npos);
    expected.replace(SaveMasksOffset, SaveMasksSize, ourMasks);
    if (c.wholeFileOnce && after != expected) {
        EXPECT_EQ(gameBytes, after) << "neither the tool's bindings nor the game's last write";
    } else {
        EXPECT_EQ(expected, after);
    }
}

INSTANTIATE_TEST_SUITE_P(E2E, GameSavingDuringTheSave,
                         testing::Values(GameWriteCase{"RecordsOverAndOver", false},
                                         GameWriteCase{"WholeFileOnceTheBindingsLand", true}),
                         [](const testing::TestParamInfo<GameWriteCase>& info) { return info.param.name; });

} // namespace
