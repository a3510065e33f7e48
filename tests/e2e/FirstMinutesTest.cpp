// A new player's first minutes around the save: the tool started before the
// game made its save, OK while the game writes its file anew, and commands
// that reach the dialog while a save waits.
#include "E2EFixture.h"

#include <thread>

namespace {

// The game's bindings when it finally saves: not the tool's defaults, so
// that a key written from the dialog shows.
SlotMasks GamesMasks() {
    return {ButtonMask(6),  ButtonMask(7),  ButtonMask(8),  ButtonMask(5),
            ButtonMask(11), ButtonMask(13), ButtonMask(14), ButtonMask(15)};
}

struct LateSaveCase {
    const char* name;
    int pressed; // the button bound to S before OK; 0 for none
};

void PrintTo(const LateSaveCase& c, std::ostream* out) {
    *out << c.name;
}

class GameSavesAfterTheStart : public KeyConfigEndToEnd, public testing::WithParamInterface<LateSaveCase> {};

// The tool starts before the game has made its save (the read-error box),
// then the game saves. OK writes the keys the player bound and nothing else:
// every other key keeps the game's binding.
TEST_P(GameSavesAfterTheStart, OkWritesOnlyTheKeysThePlayerBound) {
    const LateSaveCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(DismissMissingSaveBox());
    ASSERT_NO_FATAL_FAILURE(WaitReady());
    if (c.pressed != 0) {
        ASSERT_TRUE(Joypad().Press(c.pressed));
        ASSERT_EQ(ButtonText(c.pressed), Tool().FieldText(0));
    }
    const SaveData game = SampleSave(GamesMasks());
    ASSERT_NO_FATAL_FAILURE(PutSaveFile(EncodeSave(game)));

    ASSERT_TRUE(Tool().Click(OkId));
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());
    SaveData expected = game;
    if (c.pressed != 0) SetSlotMask(expected, 0, ButtonMask(c.pressed));
    EXPECT_EQ(EncodeSave(expected), SaveFileBytes());
    EXPECT_EQ(std::vector<std::string>{"saves.qvr"}, FolderFiles());
}

INSTANTIATE_TEST_SUITE_P(E2E, GameSavesAfterTheStart,
                         testing::Values(LateSaveCase{"NothingPressed", 0}, LateSaveCase{"OneKeyBound", 10}),
                         [](const testing::TestParamInfo<LateSaveCase>& info) { return info.param.name; });

// The game writing its file anew, as it does at every save: the file emptied,
// then written in pieces with pauses between them.
struct RewriteCase {
    const char* name;
    DWORD firstWriteAfter; // milliseconds after OK
    int pieces;
    DWORD pauseBetween; // milliseconds
};

void PrintTo(const RewriteCase& c, std::ostream* out) {
    *out << c.name;
}

class OkWhileTheGameRewritesItsFile : public KeyConfigEndToEnd, public testing::WithParamInterface<RewriteCase> {};

// OK finds the file empty or half written: the tool waits for the game to
// finish, with no box, and writes its bindings into what the game wrote.
TEST_P(OkWhileTheGameRewritesItsFile, WaitsAndSavesIntoTheGamesFile) {
    const RewriteCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_EQ(ButtonText(10), Tool().FieldText(0));

    SaveData game = SampleSave(GamesMasks());
    game.headerValue = uint16_t(game.headerValue ^ 0x0101);
    game.records[3].valueA += 7;
    const std::string gameBytes = EncodeSave(game);
    HANDLE file = CreateFileA(SavePath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::thread writer([&] {
        Sleep(c.firstWriteAfter);
        const size_t piece = (gameBytes.size() + size_t(c.pieces) - 1) / size_t(c.pieces);
        for (size_t at = 0; at < gameBytes.size(); at += piece) {
            if (at > 0) Sleep(c.pauseBetween);
            DWORD written = 0;
            WriteFile(file, gameBytes.data() + at, DWORD(std::min(piece, gameBytes.size() - at)), &written, nullptr);
        }
    });
    const bool clicked = Tool().Click(OkId);
    writer.join();
    CloseHandle(file);
    ASSERT_TRUE(clicked);
    ASSERT_NO_FATAL_FAILURE(ExpectExitZero());

    SaveData expected = game;
    for (int slot = 0; slot < SlotCount; ++slot) SetSlotMask(expected, slot, DefaultMasks[size_t(slot)]);
    SetSlotMask(expected, 0, ButtonMask(10));
    EXPECT_EQ(EncodeSave(expected), SaveFileBytes());
}

INSTANTIATE_TEST_SUITE_P(E2E, OkWhileTheGameRewritesItsFile,
                         testing::Values(RewriteCase{"EmptyThenWholeAMomentLater", 300, 1, 0},
                                         RewriteCase{"WrittenInPiecesWithPauses", 100, 6, 30}),
                         [](const testing::TestParamInfo<RewriteCase>& info) { return info.param.name; });

// While a save waits for a program that holds the file, the dialog answers
// what is sent to it, and acts on none of its commands: no second save, no
// ending halfway, no cleared fields. The save gives up after about two
// seconds with one box, and the dialog stays open with the player's
// bindings.
TEST_F(KeyConfigEndToEnd, NoCommandRunsWhileTheSaveWaits) {
    ASSERT_NO_FATAL_FAILURE(StartWithDefaults());
    ASSERT_TRUE(Joypad().Press(10));
    ASSERT_EQ(ButtonText(10), Tool().FieldText(0));
    HANDLE holder = CreateFileA(SavePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    ASSERT_TRUE(Tool().Click(OkId));
    Sleep(700); // the save waits for the holder by now
    const struct {
        UINT message;
        WPARAM wParam;
    } commands[] = {{WM_COMMAND, OkId}, {WM_COMMAND, CancelId}, {WM_COMMAND, ClearId}, {WM_SYSCOMMAND, SC_CLOSE}};
    for (const auto& command : commands) {
        DWORD_PTR answer = 0;
        EXPECT_TRUE(
            SendMessageTimeoutW(Tool().Dialog(), command.message, command.wParam, 0, SMTO_NORMAL, 10000, &answer))
            << "not answered while the save waits: " << command.message << " " << command.wParam;
    }
    ASSERT_NO_FATAL_FAILURE(DismissErrorBox(SaveErrorText));
    ASSERT_TRUE(Joypad().WaitReads(2));
    EXPECT_EQ(nullptr, Tool().FindErrorBox()) << "a second save ran";
    EXPECT_TRUE(Tool().DialogVisible());
    EXPECT_EQ(ButtonText(10), Tool().FieldText(0));
    CloseHandle(holder);

    ASSERT_NO_FATAL_FAILURE(ExpectSavedWith({{0, 10}}));
}

} // namespace
