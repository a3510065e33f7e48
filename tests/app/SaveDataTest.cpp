#include "app/SaveData.h"
#include "app/SaveFileFunctions.h"
#include "runtime/Runtime.h"
#include "support/ChildScenario.h"
#include "support/DebugCapture.h"
#include "support/PlainWindow.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Keystream(int32_t seed) {
    Bytes keystream(SaveKeystreamLength);
    MakeSaveKeystream(seed, keystream.data());
    return keystream;
}

Bytes Encode(const SaveData& data, const Bytes& keystream) {
    Bytes file(SaveFileSize);
    EncodeSaveFile(data, keystream.data(), file.data());
    return file;
}

uint32_t ReadLe(const Bytes& file, size_t offset, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) value |= uint32_t(file[offset + i]) << (8 * i);
    return value;
}

// A save object whose every field differs from the others and from the defaults.
SaveData Sample() {
    SaveData data;
    data.headerValue = 0xBEEF;
    data.maskW = 0x10;
    data.maskS = 0x100;
    data.maskZ = 0x2000;
    data.maskA = 0x40000;
    data.maskX = 0x800000;
    data.maskC = 0x1000000;
    data.maskV = 0x20000000;
    data.maskB = int32_t(0x80000000u);
    for (int i = 0; i < SaveRecordCount; ++i) {
        data.records[i].valueA = int32_t(0x11223344u * (i + 1));
        data.records[i].valueB = uint16_t(0xA1B2 + i * 0x101);
        data.records[i].valueC = int32_t(0xCAFEF00Du - i * 0x01010101u);
        data.records[i].flag = uint8_t(i * 37);
    }
    return data;
}

void ExpectSame(const SaveData& expected, const SaveData& actual) {
    EXPECT_EQ(expected.headerValue, actual.headerValue);
    EXPECT_EQ(expected.maskS, actual.maskS);
    EXPECT_EQ(expected.maskZ, actual.maskZ);
    EXPECT_EQ(expected.maskA, actual.maskA);
    EXPECT_EQ(expected.maskW, actual.maskW);
    EXPECT_EQ(expected.maskX, actual.maskX);
    EXPECT_EQ(expected.maskC, actual.maskC);
    EXPECT_EQ(expected.maskV, actual.maskV);
    EXPECT_EQ(expected.maskB, actual.maskB);
    for (int i = 0; i < SaveRecordCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected.records[i].valueA, actual.records[i].valueA);
        EXPECT_EQ(expected.records[i].valueB, actual.records[i].valueB);
        EXPECT_EQ(expected.records[i].valueC, actual.records[i].valueC);
        EXPECT_EQ(expected.records[i].flag, actual.records[i].flag);
    }
}

// ---- The codec on plain bytes ---------------------------------------------

TEST(SaveCodec, LayoutWithAZeroKeystream) {
    const Bytes zeros(SaveKeystreamLength, 0);
    SaveData data = Sample();
    Bytes file = Encode(data, zeros);

    EXPECT_EQ(0, std::memcmp(file.data(), "QVR", 3));
    EXPECT_EQ(0xBEEFu, ReadLe(file, 3, 2));
    // The masks stand in the order W, S, Z, A, X, C, V, B.
    const int32_t inFileOrder[] = {data.maskW, data.maskS, data.maskZ, data.maskA,
                                   data.maskX, data.maskC, data.maskV, data.maskB};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(uint32_t(inFileOrder[k]), ReadLe(file, 5 + 4 * k, 4)) << k;

    uint32_t sum = 0;
    for (int i = 0; i < SaveRecordCount; ++i) {
        size_t at = SaveRecordsOffset + SaveRecordSize * i;
        EXPECT_EQ(uint32_t(data.records[i].valueA), ReadLe(file, at, 4)) << i;
        EXPECT_EQ(data.records[i].flag, file[at + 4]) << i;
        EXPECT_EQ(data.records[i].valueB, ReadLe(file, at + 5, 2)) << i;
        EXPECT_EQ(uint32_t(data.records[i].valueC), ReadLe(file, at + 7, 4)) << i;
        sum += uint32_t(data.records[i].valueA) + data.records[i].flag + data.records[i].valueB +
               uint32_t(data.records[i].valueC);
    }
    EXPECT_EQ(sum & 0xFFFF, ReadLe(file, SaveChecksumOffset, 2));
}

TEST(SaveCodec, KeystreamScramblesOnlyTheLowestByteOfEachField) {
    Bytes keystream(SaveKeystreamLength);
    for (int i = 0; i < SaveKeystreamLength; ++i) keystream[i] = uint8_t(0xF0 + i % 4);
    SaveData data;
    data.records[0].valueA = 0x11223344;
    data.records[0].flag = 0x01;
    data.records[0].valueB = 0x5566;
    data.records[0].valueC = 0x778899AA;
    Bytes file = Encode(data, keystream);
    const uint8_t expected[11] = {0x44 ^ 0xF0, 0x33,        0x22, 0x11, 0x01 ^ 0xF1, 0x66 ^ 0xF2,
                                  0x55,        0xAA ^ 0xF3, 0x99, 0x88, 0x77};
    EXPECT_EQ(0, std::memcmp(expected, file.data() + SaveRecordsOffset, sizeof expected));
}

TEST(SaveCodec, TopBitMaskIsStoredLittleEndian) {
    SaveData data;
    data.maskB = int32_t(0x80000000u);
    Bytes file = Encode(data, Keystream(SaveFileSeed));
    const uint8_t expected[4] = {0x00, 0x00, 0x00, 0x80};
    EXPECT_EQ(0, std::memcmp(expected, file.data() + 33, 4));
}

TEST(SaveCodec, DecodeInvertsEncode) {
    const Bytes keystream = Keystream(SaveFileSeed);
    const SaveData original = Sample();
    SaveData decoded;
    Bytes file = Encode(original, keystream);
    ASSERT_EQ(0, DecodeSaveFile(file.data(), file.size(), keystream.data(), decoded));
    ExpectSame(original, decoded);
    EXPECT_EQ(file, Encode(decoded, keystream));
}

// Each case edits a well-formed file and says what decoding it must give.
struct FileEditCase {
    const char* name;
    std::function<void(Bytes&)> edit;
    int32_t expected;
};

TEST(SaveCodec, EditedFilesAreJudgedByMagicAndChecksum) {
    const FileEditCase cases[] = {
        {"untouched", [](Bytes&) {}, 0},
        {"150 bytes, the excess ignored", [](Bytes& f) { f.push_back(0x55); }, 0},
        {"header value changed", [](Bytes& f) { f[3] ^= 0xFF; }, 0},
        {"a mask changed", [](Bytes& f) { f[20] ^= 0x01; }, 0},
        {"lowest byte of valueA changed", [](Bytes& f) { f[39] ^= 0x01; }, 2},
        {"second byte of valueC changed", [](Bytes& f) { f[39 + 11 * 9 + 8] ^= 0x01; }, 2},
        {"flag changed", [](Bytes& f) { f[39 + 4] ^= 0x80; }, 2},
        {"checksum changed", [](Bytes& f) { f[37] ^= 0x01; }, 2},
        // The checksum keeps only the lowest 16 bits of the sum.
        {"upper bytes of valueA changed", [](Bytes& f) { f[39 + 2] ^= 0x10, f[39 + 3] ^= 0x01; }, 0},
        {"upper bytes of valueC changed", [](Bytes& f) { f[39 + 10] ^= 0x7F; }, 0},
        {"magic only", [](Bytes& f) { f.resize(3); }, 2},
        {"wrong magic", [](Bytes& f) { f[2] = 'X'; }, 2},
        {"shorter than the magic", [](Bytes& f) { f.resize(2); }, 2},
        {"empty", [](Bytes& f) { f.clear(); }, 2},
    };
    const Bytes keystream = Keystream(SaveFileSeed);
    const Bytes wellFormed = Encode(Sample(), keystream);
    for (const FileEditCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = wellFormed;
        c.edit(file);
        SaveData data;
        EXPECT_EQ(c.expected, DecodeSaveFile(file.data(), file.size(), keystream.data(), data));
    }
}

TEST(SaveCodec, WrongMagicLeavesTheObjectAlone) {
    const Bytes keystream = Keystream(SaveFileSeed);
    Bytes file = Encode(Sample(), keystream);
    file[0] = 'q';
    SaveData data;
    ASSERT_EQ(2, DecodeSaveFile(file.data(), file.size(), keystream.data(), data));
    ExpectSame(SaveData(), data);
}

TEST(SaveCodec, ChecksumMismatchStillDecodes) {
    const Bytes keystream = Keystream(SaveFileSeed);
    const SaveData original = Sample();
    Bytes file = Encode(original, keystream);
    file[38] ^= 0x40;
    SaveData data;
    ASSERT_EQ(2, DecodeSaveFile(file.data(), file.size(), keystream.data(), data));
    ExpectSame(original, data);
}

TEST(SaveCodec, ShortFileKeepsTheFieldsItDoesNotReach) {
    const Bytes keystream = Keystream(SaveFileSeed);
    const SaveData original = Sample();
    Bytes file = Encode(original, keystream);
    // Ends after the first byte of record 1's valueA.
    file.resize(SaveRecordsOffset + SaveRecordSize + 1);
    SaveData data;
    DecodeSaveFile(file.data(), file.size(), keystream.data(), data);

    EXPECT_EQ(original.maskB, data.maskB);
    EXPECT_EQ(original.records[0].valueC, data.records[0].valueC);
    // Record 1's valueA: the lowest byte from the file, the rest kept (0),
    // then unscrambled like every record field.
    EXPECT_EQ(int32_t(original.records[1].valueA & 0xFF), data.records[1].valueA);
    // Unreached record fields keep their bytes but are XOR-ed all the same.
    EXPECT_EQ(uint8_t(1 ^ keystream[4 * 2 + 1]), data.records[2].flag);
}

TEST(SaveCodec, MagicOnlyGivesTwoBecauseTheInitialFlagsSumToTen) {
    const Bytes keystream(SaveKeystreamLength, 0);
    const uint8_t magic[3] = {'Q', 'V', 'R'};
    SaveData data;
    EXPECT_EQ(2, DecodeSaveFile(magic, sizeof magic, keystream.data(), data));
    // With a stored checksum of 10 the same initial records pass.
    uint8_t withChecksum[39] = {'Q', 'V', 'R'};
    withChecksum[37] = 10;
    SaveData fresh;
    EXPECT_EQ(0, DecodeSaveFile(withChecksum, sizeof withChecksum, keystream.data(), fresh));
}

// ---- Writing the bindings into the file as it is ----------------------------

// Merging the bindings into a file is the save's decision on plain bytes.
TEST(SaveCodec, MergeTakesTheMasksFromTheBindingsAndTheRestFromTheFile) {
    const Bytes keystream = Keystream(SaveFileSeed);
    SaveData game = Sample();
    game.maskS = 0x20;
    const Bytes file = Encode(game, keystream);
    SaveData bindings; // the defaults' records and header, Sample's masks
    bindings.maskS = 0x40;
    bindings.maskB = int32_t(0x80000000u);

    Bytes merged(SaveFileSize, 0xAA);
    ASSERT_TRUE(MergeSaveBindings(file.data(), file.size(), keystream.data(), bindings, merged.data()));
    SaveData expected = game;
    expected.maskS = bindings.maskS, expected.maskZ = bindings.maskZ, expected.maskA = bindings.maskA;
    expected.maskW = bindings.maskW, expected.maskX = bindings.maskX, expected.maskC = bindings.maskC;
    expected.maskV = bindings.maskV, expected.maskB = bindings.maskB;
    EXPECT_EQ(Encode(expected, keystream), merged);
    // Only the masks' bytes differ from the file's.
    for (size_t i = 0; i < SaveFileSize; ++i) {
        if (i < 5 || i >= 37) {
            EXPECT_EQ(file[i], merged[i]) << "byte " << i;
        }
    }
}

TEST(SaveCodec, MergeRefusesAFileThatDoesNotDecode) {
    const Bytes keystream = Keystream(SaveFileSeed);
    Bytes file = Encode(Sample(), keystream);
    file[SaveRecordsOffset] ^= 0x01; // checksum mismatch
    Bytes merged(SaveFileSize, 0xAA);
    EXPECT_FALSE(MergeSaveBindings(file.data(), file.size(), keystream.data(), SaveData(), merged.data()));
    EXPECT_FALSE(MergeSaveBindings(file.data(), 2, keystream.data(), SaveData(), merged.data()));
    EXPECT_EQ(Bytes(SaveFileSize, 0xAA), merged);
}

// ---- Load and Save on the file --------------------------------------------

// The game's own file for Sample's records and header, with the game's
// default masks: what a save of Sample's bindings writes into.
Bytes GameFile() {
    SaveData game = Sample();
    const SaveData defaults;
    game.maskS = defaults.maskS, game.maskZ = defaults.maskZ, game.maskA = defaults.maskA;
    game.maskW = defaults.maskW, game.maskX = defaults.maskX, game.maskC = defaults.maskC;
    game.maskV = defaults.maskV, game.maskB = defaults.maskB;
    return Encode(game, Keystream(SaveFileSeed));
}

// ---- The seam of the file calls -------------------------------------------

// One planned failure among the file calls of a save. Each call of the step
// fails until `times` calls have failed; the others are the real calls.
struct PlannedFailure {
    enum class Step {
        None,
        WriteStops,            // writes goodBytes of the first failing call, none of later ones, and
                               // fails as on a full disk
        WriteStoresAWrongByte, // reports success with the byte after goodBytes flipped
        WriteLocked,           // fails as on a locked range and writes nothing
        FlushRefused,
        ReadBackRefused, // a read once something was written
        ReadBackLocked,  // the same, refused as on a locked range
    } step = Step::None;
    DWORD goodBytes = 0;
    int times = 1;
};
constexpr int EveryTime = 1 << 30;

// Another program writing the file through a handle of its own at one moment
// of the save, in as many of the save's rounds as `rounds` says.
struct OtherWriter {
    enum class When { AfterTheRead, BeforeTheWrite, BeforeTheReadBack } when = When::BeforeTheWrite;
    std::function<void()> write;
    int rounds = 1;
};

// What the seam does: the plan, the other writer, and a clock that runs only
// when the save pauses, with what happens at each pause (a holder letting
// go); and what the save did through it.
struct SaveSeam {
    PlannedFailure plan;
    OtherWriter other;
    DWORD now = 0;
    std::function<void(DWORD now)> atPause;
    DWORD readPiece = 0;         // the most one read call delivers; 0: as much as asked for
    std::vector<DWORD> accesses; // the access each open of the file asked for
    int failed = 0;              // planned failures so far
    int writes = 0;              // write calls so far
    bool inOther = false;        // the other writer is at work: its own calls are plain
} Seam;

bool Fails(PlannedFailure::Step step) {
    if (Seam.inOther || Seam.plan.step != step || Seam.failed >= Seam.plan.times) return false;
    ++Seam.failed;
    return true;
}

void LetTheOtherWriterIn(OtherWriter::When when) {
    if (Seam.inOther || !Seam.other.write || Seam.other.when != when || Seam.other.rounds == 0) return;
    --Seam.other.rounds;
    Seam.inOther = true;
    Seam.other.write();
    Seam.inOther = false;
}

HANDLE WINAPI SeamCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile) {
    Seam.accesses.push_back(access);
    return CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI SeamReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    if (Seam.writes > 0 && Fails(PlannedFailure::Step::ReadBackRefused)) {
        SetLastError(ERROR_IO_DEVICE);
        return FALSE;
    }
    if (Seam.writes > 0 && Fails(PlannedFailure::Step::ReadBackLocked)) {
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    }
    if (Seam.readPiece != 0) size = std::min(size, Seam.readPiece);
    BOOL result = ReadFile(file, buffer, size, read, overlapped);
    LetTheOtherWriterIn(OtherWriter::When::AfterTheRead);
    return result;
}

BOOL WINAPI SeamWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    using Step = PlannedFailure::Step;
    if (!Seam.inOther) ++Seam.writes;
    LetTheOtherWriterIn(OtherWriter::When::BeforeTheWrite);
    DWORD good = std::min(Seam.plan.goodBytes, size);
    const bool firstFailure = Seam.failed == 0;
    if (Fails(Step::WriteStops)) {
        DWORD done = 0;
        if (!firstFailure) good = 0;
        if (good > 0) WriteFile(file, buffer, good, &done, overlapped);
        *written = done;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    if (Fails(Step::WriteLocked)) {
        *written = 0;
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    }
    if (good < size && Fails(Step::WriteStoresAWrongByte)) {
        const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
        Bytes wrong(bytes, bytes + size);
        wrong[good] ^= 0xFF;
        return WriteFile(file, wrong.data(), size, written, overlapped);
    }
    return WriteFile(file, buffer, size, written, overlapped);
}

BOOL WINAPI SeamFlushFileBuffers(HANDLE file) {
    if (Fails(PlannedFailure::Step::FlushRefused)) {
        SetLastError(ERROR_IO_DEVICE);
        return FALSE;
    }
    BOOL flushed = FlushFileBuffers(file);
    LetTheOtherWriterIn(OtherWriter::When::BeforeTheReadBack);
    return flushed;
}

DWORD WINAPI SeamTickCount() {
    return Seam.now;
}

void SeamPause(DWORD milliseconds) {
    Seam.now += milliseconds;
    if (Seam.atPause) Seam.atPause(Seam.now);
}

// The file tests run the save through the seam, which does nothing of its
// own until a test plans it, and never wait for real.
class SaveFileTest : public testing::Test {
protected:
    SaveFileTest() {
        Seam = SaveSeam{};
        SaveFileFunctions = {SeamCreateFileW,      SeamReadFile,  SeamWriteFile,
                             SeamFlushFileBuffers, SeamTickCount, SeamPause};
    }
    ~SaveFileTest() override {
        SaveFileFunctions = Kernel32SaveFileFunctions;
        Seam = SaveSeam{};
    }
    // A plan for the next save, counted from its first call.
    void Arm(const PlannedFailure& plan) {
        Seam.plan = plan;
        Seam.failed = 0;
        Seam.writes = 0;
    }

    TempDirectory dir{TempDirectory::Enter::Yes};
    std::string path = dir.File("saves.qvr");

    void Put(const Bytes& bytes) { ASSERT_TRUE(WriteFileBytes(path, std::string(bytes.begin(), bytes.end()))); }
    Bytes Get() const {
        std::string bytes = ReadFileBytes(path);
        return Bytes(bytes.begin(), bytes.end());
    }
    void ExpectOnlyTheSaveFile() { EXPECT_EQ(std::vector<std::string>{"saves.qvr"}, dir.List()); }
};

TEST_F(SaveFileTest, LoadOfAMissingFileGivesOneAndChangesNothing) {
    SaveData data = Sample();
    EXPECT_EQ(1, data.Load());
    ExpectSame(Sample(), data);
}

// The dialog tells a folder without saves.qvr (where the player learns which
// folder the tool looked in) from a file it could not read. A missing file
// is never waited for: the player's box comes at once.
TEST_F(SaveFileTest, LoadTellsAMissingFileFromOneItCannotRead) {
    const struct {
        const char* name;
        std::function<void()> put;
        int32_t result;
        bool missing;
        bool waited;
    } cases[] = {
        {"no file", [] {}, 1, true, false},
        {"a folder named saves.qvr", [this] { ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)); }, 1, false, false},
        {"a file that never decodes",
         [this] {
             Bytes bytes = GameFile();
             bytes[SaveRecordsOffset] ^= 0x01;
             Put(bytes);
         },
         2, false, true},
        {"a whole file", [this] { Put(GameFile()); }, 0, false, false},
        // The format allows a file that ends after its checksum: the records
        // it does not reach keep their initial values, whose flags sum to 10.
        {"a short file that decodes",
         [this] {
             Bytes bytes = GameFile();
             bytes.resize(SaveRecordsOffset);
             bytes[SaveChecksumOffset] = 10;
             bytes[SaveChecksumOffset + 1] = 0;
             Put(bytes);
         },
         0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveDirectoryA(path.c_str());
        DeleteFileA(path.c_str());
        ASSERT_NO_FATAL_FAILURE(c.put());
        Seam.now = 0;
        SaveData data;
        EXPECT_EQ(c.result, data.Load());
        EXPECT_EQ(c.missing, data.FileMissing());
        EXPECT_EQ(c.waited, Seam.now > 0) << Seam.now << " ms waited";
    }
    RemoveDirectoryA(path.c_str());
}

// A file that some program holds for longer than the wait cannot be opened:
// that is no missing file.
TEST_F(SaveFileTest, AFileHeldThroughTheWaitIsNoMissingFile) {
    Put(GameFile());
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    SaveData data;
    EXPECT_EQ(1, data.Load());
    CloseHandle(holder);
    EXPECT_FALSE(data.FileMissing());
    EXPECT_GE(Seam.now, 2000u);
}

// The load reads through a handle that cannot write, so that it never
// touches the file, whatever the system lets a writer do (Wine run by root
// opens a read-only file for writing all the same); the save asks to write.
TEST_F(SaveFileTest, LoadOpensTheFileForReadingOnly) {
    Put(GameFile());
    SaveData data;
    ASSERT_EQ(0, data.Load());
    EXPECT_EQ(std::vector<DWORD>{GENERIC_READ}, Seam.accesses);
    Seam.accesses.clear();
    ASSERT_TRUE(data.Save());
    EXPECT_EQ(std::vector<DWORD>{GENERIC_READ | GENERIC_WRITE}, Seam.accesses);
}

// The file is the same byte for byte whichever build writes it, 32-bit or
// 64-bit: both suites check the same bytes, worked out apart from the code
// (the header and masks, then one line per scrambled record).
TEST_F(SaveFileTest, SavedBytesAreTheSameInEveryBuild) {
    const std::string expected = "515652efbe10000000000100000020000000000400000080000000000100000020000000801fc2"
                                 "bf3322113fd7a179f0feca"
                                 "de664422d436a25eeffdc9"
                                 "c0996633f1e1a3f9eefcc8"
                                 "eacd8844ea23a418edfbc7"
                                 "2800ab557c7da5f3ecfac6"
                                 "cc33cd66bac8a6f0ebf9c5"
                                 "4f66ef77b1a1a7bfeaf8c4"
                                 "709a1189bcaea86de9f7c3"
                                 "f7cd339ac1ffa90ce8f6c2"
                                 "ef0056ab78aaaa24e7f5c1";
    Put(GameFile());
    ASSERT_TRUE(Sample().Save());
    std::string hex;
    for (uint8_t byte : Get()) {
        static const char digits[] = "0123456789abcdef";
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    EXPECT_EQ(expected, hex);
}

// Whatever seed wrote the file, Load then Save gives it back byte for byte;
// only the decoded record values depend on the seed.
TEST_F(SaveFileTest, LoadThenSaveReproducesTheFile) {
    for (int32_t seed : {int32_t(SaveFileSeed), 0, 200, 255}) {
        SCOPED_TRACE(seed);
        const Bytes original = Encode(Sample(), Keystream(seed));
        Put(original);
        SaveData data;
        ASSERT_EQ(0, data.Load());
        ASSERT_TRUE(data.Save());
        EXPECT_EQ(original, Get());
        ExpectOnlyTheSaveFile();
    }
}

TEST_F(SaveFileTest, ChangedMaskIsWrittenAndTheRestPassesThrough) {
    const Bytes original = Encode(Sample(), Keystream(SaveFileSeed));
    Put(original);
    SaveData data;
    ASSERT_EQ(0, data.Load());
    data.maskZ = 0x80;
    ASSERT_TRUE(data.Save());
    Bytes expected = original;
    expected[13] = 0x80, expected[14] = expected[15] = expected[16] = 0;
    EXPECT_EQ(expected, Get());
}

// The game may write its part of the file while the dialog is open: the save
// writes the bindings into the file as it is then, not as it was loaded.
TEST_F(SaveFileTest, WhatTheGameWroteAfterTheLoadSurvives) {
    Put(GameFile());
    SaveData dialog;
    ASSERT_EQ(0, dialog.Load());
    dialog.maskS = 0x200;

    SaveData game = Sample(); // the game saves: other records, other header, its own masks
    game.headerValue = 0x1234;
    game.records[3].valueA = 77;
    game.records[9].flag = 0;
    Put(Encode(game, Keystream(SaveFileSeed)));

    ASSERT_TRUE(dialog.Save());
    SaveData expected = game;
    expected.maskS = 0x200, expected.maskZ = dialog.maskZ, expected.maskA = dialog.maskA;
    expected.maskW = dialog.maskW, expected.maskX = dialog.maskX, expected.maskC = dialog.maskC;
    expected.maskV = dialog.maskV, expected.maskB = dialog.maskB;
    EXPECT_EQ(Encode(expected, Keystream(SaveFileSeed)), Get());
}

// The file keeps its length and everything after the masks, a file longer
// than 149 bytes as well as a shorter one that decodes.
TEST_F(SaveFileTest, TheFileKeepsWhatLiesAfterTheSavedBytes) {
    Bytes longer = GameFile();
    longer.insert(longer.end(), 60, 0xEE);
    Put(longer);
    ASSERT_TRUE(Sample().Save());
    Bytes expected = Encode(Sample(), Keystream(SaveFileSeed));
    expected.insert(expected.end(), 60, 0xEE);
    EXPECT_EQ(expected, Get());

    // Header, masks and a checksum of 10: the ten initial records that the
    // file does not reach sum to it.
    const Bytes game = GameFile();
    Bytes shorter(game.begin(), game.begin() + SaveChecksumOffset);
    shorter.push_back(10), shorter.push_back(0);
    Put(shorter);
    SaveData loaded;
    ASSERT_EQ(0, loaded.Load());
    loaded.maskS = 0x100;
    ASSERT_TRUE(loaded.Save());
    Bytes expectedShorter = shorter;
    const uint8_t maskS[4] = {0x00, 0x01, 0x00, 0x00}; // 0x100
    std::copy(maskS, maskS + 4, expectedShorter.begin() + 9);
    EXPECT_EQ(expectedShorter, Get());
    SaveData reread;
    ASSERT_EQ(0, reread.Load());
    ExpectSame(loaded, reread);
}

TEST_F(SaveFileTest, GeneratorContinuesFromTheFileSeedsSequence) {
    Put(Encode(Sample(), Keystream(SaveFileSeed)));
    SeedRandom(SaveFileSeed);
    for (int i = 0; i < SaveKeystreamLength; ++i) RandomUpTo(255);
    const int next = RandomUpTo(255);
    SaveData data;
    ASSERT_EQ(0, data.Load());
    EXPECT_EQ(next, RandomUpTo(255));
    ASSERT_TRUE(data.Save());
    EXPECT_EQ(next, RandomUpTo(255));
}

// Files that Save must leave exactly as they are (and never create), with no
// other file left in the folder.
struct RefusedFileCase {
    const char* name;
    std::function<void()> prepare;
};

TEST_F(SaveFileTest, RefusesWhatIsNoSaveFileToWriteInto) {
    const Bytes game = GameFile();
    auto edited = [&](size_t offset, uint8_t flip) {
        Bytes bytes = game;
        bytes[offset] ^= flip;
        Put(bytes);
    };
    const RefusedFileCase cases[] = {
        {"missing", [] {}},
        {"empty", [&] { Put({}); }},
        {"wrong magic", [&] { edited(1, 0x01); }},
        {"checksum mismatch", [&] { edited(SaveRecordsOffset + 4, 0x10); }},
        {"read-only",
         [&] {
             Put(game);
             ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
         }},
        {"a folder", [&] { ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)); }},
    };
    for (const RefusedFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        const bool present = FileExists(path);
        const Bytes before = Get();
        EXPECT_FALSE(Sample().Save());
        EXPECT_EQ(before, Get());
        EXPECT_EQ(present ? std::vector<std::string>{"saves.qvr"} : std::vector<std::string>{}, dir.List());
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        RemoveDirectoryA(path.c_str());
    }
}

TEST_F(SaveFileTest, LoadReadsAFileThatAnotherProcessHasOpenForWriting) {
    const Bytes original = Encode(Sample(), Keystream(SaveFileSeed));
    Put(original);
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    SaveData data;
    EXPECT_EQ(0, data.Load());
    CloseHandle(writer);
}

// The file is the same file after the save: a second name for it sees the
// new bytes.
TEST_F(SaveFileTest, AHardLinkSeesTheNewBytes) {
    Put(GameFile());
    const std::wstring link = L"saves-link.qvr";
    ASSERT_TRUE(CreateHardLinkW(link.c_str(), L"saves.qvr", nullptr)) << GetLastError();
    ASSERT_TRUE(Sample().Save());
    const Bytes saved = Encode(Sample(), Keystream(SaveFileSeed));
    EXPECT_EQ(saved, Get());
    std::string linked = ReadFileBytes(dir.File("saves-link.qvr"));
    EXPECT_EQ(saved, Bytes(linked.begin(), linked.end()));
}

// A player's game folder may be named in any script, whatever the system's
// code page: the save works by the file's relative name. Each name here lies
// outside the ANSI code page the suite runs under.
TEST_F(SaveFileTest, SavesInAFolderNamedOutsideTheCodePage) {
    const std::vector<std::wstring> names = GetACP() == 932 ? std::vector<std::wstring>{L"세이브", L"Müller", L"save_🎮"}
                                                            : std::vector<std::wstring>{L"オルヴァンヌ", L"세이브"};
    const Bytes game = GameFile();
    const Bytes saved = Encode(Sample(), Keystream(SaveFileSeed));
    for (const std::wstring& name : names) {
        SCOPED_TRACE(testing::PrintToString(name));
        ASSERT_TRUE(CreateDirectoryW(name.c_str(), nullptr));
        ASSERT_TRUE(SetCurrentDirectoryW(name.c_str()));
        ASSERT_TRUE(WriteFileBytes("saves.qvr", std::string(game.begin(), game.end())));
        SaveData data;
        EXPECT_EQ(0, data.Load());
        EXPECT_TRUE(Sample().Save());
        std::string bytes = ReadFileBytes("saves.qvr");
        EXPECT_EQ(saved, Bytes(bytes.begin(), bytes.end()));
        DeleteFileA("saves.qvr");
        ASSERT_TRUE(SetCurrentDirectoryA(dir.Path().c_str()));
        EXPECT_TRUE(RemoveDirectoryW(name.c_str()));
    }
}

// ---- Save beside another program that holds the file ----------------------

// How another program (the game) holds the save file while the tool saves.
enum class Holder {
    Nobody,
    ReadWriteSharing, // open for update, sharing reading and writing but not deleting
    EverySharing,     // open for update, sharing reading, writing and deleting
    CRuntimeUpdate,   // fopen(..., "r+b"), which shares reading and writing
    ReaderSharingAll, // open for reading, sharing everything
    ReadSharingOnly,  // open for reading, refusing writers
};

// Holds the file the way the holder does until released.
class HeldFile {
public:
    HeldFile(const std::string& path, Holder holder) {
        constexpr DWORD ReadWrite = GENERIC_READ | GENERIC_WRITE;
        switch (holder) {
        case Holder::Nobody:
            return;
        case Holder::ReadWriteSharing:
            Open(path, ReadWrite, FILE_SHARE_READ | FILE_SHARE_WRITE);
            return;
        case Holder::EverySharing:
            Open(path, ReadWrite, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            return;
        case Holder::CRuntimeUpdate:
            stream_ = std::fopen(path.c_str(), "r+b");
            return;
        case Holder::ReaderSharingAll:
            Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            return;
        case Holder::ReadSharingOnly:
            Open(path, GENERIC_READ, FILE_SHARE_READ);
            return;
        }
    }
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool Failed(Holder holder) const {
        return holder != Holder::Nobody && handle_ == INVALID_HANDLE_VALUE && stream_ == nullptr;
    }
    // The file's first bytes as the holder reads them through its own handle
    // (empty for a holder without one).
    Bytes ReadThroughHandle(size_t size) const {
        Bytes bytes(size);
        DWORD count = 0;
        if (handle_ == INVALID_HANDLE_VALUE) return {};
        LARGE_INTEGER start = {};
        SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN);
        if (!ReadFile(handle_, bytes.data(), DWORD(size), &count, nullptr)) return {};
        bytes.resize(count);
        return bytes;
    }
    void Release() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        if (stream_) std::fclose(stream_);
        handle_ = INVALID_HANDLE_VALUE;
        stream_ = nullptr;
    }

private:
    void Open(const std::string& path, DWORD access, DWORD sharing) {
        handle_ = CreateFileA(path.c_str(), access, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    FILE* stream_ = nullptr;
};

// The attributes a save keeps or loses; the archive bit is the file system's.
constexpr DWORD WatchedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

class HeldSaveFileTest : public SaveFileTest {
protected:
    // The game's file, longer than the tool writes: what lies after the
    // save's bytes must stay.
    static Bytes Tail() { return Bytes(60, 0xEE); }
    static Bytes Original() {
        Bytes bytes = Encode(Sample(), Keystream(SaveFileSeed));
        bytes.insert(bytes.end(), 60, 0xEE);
        return bytes;
    }
    static SaveData Changed() {
        SaveData data = Sample();
        data.maskS = 0x10;
        return data;
    }
    static Bytes Saved() {
        Bytes bytes = Encode(Changed(), Keystream(SaveFileSeed));
        bytes.insert(bytes.end(), 60, 0xEE);
        return bytes;
    }
    void PutOriginal(DWORD attributes) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        Put(Original());
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes));
    }
    DWORD Attributes() const { return GetFileAttributesA(path.c_str()) & WatchedAttributes; }
};

struct HeldSaveCase {
    const char* name;
    DWORD attributes; // of the save file before the save
    Holder holder;
    bool saved; // the new bytes are in the file; otherwise it is as it was
};

TEST_F(HeldSaveFileTest, SavesWhereverTheFileCanBeWrittenAndKeepsItsAttributes) {
    const HeldSaveCase cases[] = {
        {"nobody holds it", FILE_ATTRIBUTE_NORMAL, Holder::Nobody, true},
        {"held with read and write sharing", FILE_ATTRIBUTE_NORMAL, Holder::ReadWriteSharing, true},
        {"held with every sharing", FILE_ATTRIBUTE_NORMAL, Holder::EverySharing, true},
        {"held by fopen r+b", FILE_ATTRIBUTE_NORMAL, Holder::CRuntimeUpdate, true},
        {"held by a reader sharing everything", FILE_ATTRIBUTE_NORMAL, Holder::ReaderSharingAll, true},
        {"held without write sharing", FILE_ATTRIBUTE_NORMAL, Holder::ReadSharingOnly, false},
        {"hidden", FILE_ATTRIBUTE_HIDDEN, Holder::Nobody, true},
        {"hidden and system", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, Holder::Nobody, true},
        {"hidden, held by fopen r+b", FILE_ATTRIBUTE_HIDDEN, Holder::CRuntimeUpdate, true},
        {"read-only, held by a reader sharing everything", FILE_ATTRIBUTE_READONLY, Holder::ReaderSharingAll, false},
    };
    for (const HeldSaveCase& c : cases) {
        SCOPED_TRACE(c.name);
        PutOriginal(c.attributes);
        HeldFile held(path, c.holder);
        ASSERT_FALSE(held.Failed(c.holder));
        EXPECT_EQ(c.saved, Changed().Save());
        // The holder has the same file open, not an old one beside a new one.
        const Bytes seen = held.ReadThroughHandle(Original().size());
        if (!seen.empty()) {
            EXPECT_EQ(c.saved ? Saved() : Original(), seen);
        }
        held.Release();
        EXPECT_EQ(c.saved ? Saved() : Original(), Get());
        EXPECT_EQ(c.attributes & WatchedAttributes, Attributes());
        ExpectOnlyTheSaveFile();
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// ---- A step of the write that fails ---------------------------------------

// The file with the masks of one save object and every other byte of
// another: what a save of `masks` into `file` leaves.
Bytes WithMasksOf(const SaveData& masks, const Bytes& file) {
    Bytes bytes = file;
    const Bytes encoded = Encode(masks, Keystream(SaveFileSeed));
    std::copy(encoded.begin() + SaveMasksOffset, encoded.begin() + SaveMasksOffset + SaveMasksSize,
              bytes.begin() + SaveMasksOffset);
    return bytes;
}

struct FailingStepCase {
    const char* name;
    PlannedFailure plan;
    bool saved; // a later round heals the failure
};

// When a step of the write fails, Save gives false and the old masks are
// back, the rest of the file never having changed, with the game holding the
// file or not. A write that stored a wrong byte is read back as not this
// save's, and the next round writes the masks again.
TEST_F(HeldSaveFileTest, AFailingStepPutsTheOldMasksBack) {
    using Step = PlannedFailure::Step;
    const FailingStepCase cases[] = {
        {"write stops before the first byte", {Step::WriteStops, 0}, false},
        {"write stops midway", {Step::WriteStops, 14}, false},
        {"write stops before the last byte", {Step::WriteStops, SaveMasksSize - 1}, false},
        {"flush refused", {Step::FlushRefused}, false},
        {"read-back refused", {Step::ReadBackRefused}, false},
        {"the read-back differs from what was written", {Step::WriteStoresAWrongByte, 5}, true},
    };
    for (Holder holder : {Holder::Nobody, Holder::ReadWriteSharing}) {
        for (const FailingStepCase& c : cases) {
            SCOPED_TRACE(c.name);
            PutOriginal(FILE_ATTRIBUTE_NORMAL);
            HeldFile held(path, holder);
            ASSERT_FALSE(held.Failed(holder));
            Arm(c.plan);
            EXPECT_EQ(c.saved, Changed().Save());
            EXPECT_EQ(1, Seam.failed) << "the step was not reached";
            held.Release();
            EXPECT_EQ(c.saved ? Saved() : Original(), Get());
            ExpectOnlyTheSaveFile();
        }
    }
}

// A shorter file that decodes keeps its length whether the save works or not.
TEST_F(SaveFileTest, AShortFileKeepsItsLength) {
    using Step = PlannedFailure::Step;
    const Bytes game = GameFile();
    Bytes shorter(game.begin(), game.begin() + SaveChecksumOffset);
    shorter.push_back(10), shorter.push_back(0);
    const FailingStepCase cases[] = {
        {"nothing fails", {}, true},
        {"write stops midway", {Step::WriteStops, 16}, false},
        {"flush refused", {Step::FlushRefused}, false},
    };
    for (const FailingStepCase& c : cases) {
        SCOPED_TRACE(c.name);
        Put(shorter);
        Arm(c.plan);
        SaveData changed;
        changed.maskS = 0x10;
        EXPECT_EQ(c.saved, changed.Save());
        EXPECT_EQ(c.saved ? WithMasksOf(changed, shorter) : shorter, Get());
    }
}

// Where the old masks cannot be put back either, only the masks can be
// wrong: the file still loads, with every record as it was, and keeps its
// length and what lies after the masks.
TEST_F(HeldSaveFileTest, TheGamesRecordsSurviveWhenNothingCanBePutBack) {
    using Step = PlannedFailure::Step;
    const FailingStepCase cases[] = {
        {"every write stops midway through the changed mask", {Step::WriteStops, 5, EveryTime}, false},
        {"every write stores a wrong mask byte", {Step::WriteStoresAWrongByte, 14, EveryTime}, false},
        {"every flush refused", {Step::FlushRefused, 0, EveryTime}, false},
    };
    for (const FailingStepCase& c : cases) {
        SCOPED_TRACE(c.name);
        PutOriginal(FILE_ATTRIBUTE_NORMAL);
        Arm(c.plan);
        EXPECT_FALSE(Changed().Save());
        Arm({});
        SaveData loaded;
        EXPECT_EQ(0, loaded.Load());
        for (int i = 0; i < SaveRecordCount; ++i) {
            EXPECT_EQ(Sample().records[i].valueA, loaded.records[i].valueA) << i;
            EXPECT_EQ(Sample().records[i].flag, loaded.records[i].flag) << i;
        }
        const Bytes original = Original(), after = Get();
        ASSERT_EQ(original.size(), after.size());
        EXPECT_EQ(Bytes(original.begin() + SaveChecksumOffset, original.end()),
                  Bytes(after.begin() + SaveChecksumOffset, after.end()));
        ExpectOnlyTheSaveFile();
    }
}

// ---- Another writer at work during the save -------------------------------

// The game's next save, written while the tool saves: other records, another
// header, and the game's own masks, which are neither the file's nor the
// tool's.
SaveData GamesNextSave() {
    SaveData game = Sample();
    game.maskW = 0x4000;
    game.headerValue = 0x5A5A;
    game.records[0].valueA = 1234;
    game.records[4].flag = 9;
    game.records[9].valueB = 0x4321;
    return game;
}

// Writes bytes at offset through a handle of the writer's own, as the game
// or another copy of the tool does.
void WriteAsAnotherProgram(const std::string& path, size_t offset, const Bytes& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    DWORD written = 0;
    EXPECT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
    EXPECT_TRUE(WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

enum class Writes { Records, WholeFile, Nothing };

struct OtherWriterCase {
    const char* name;
    Writes writes;
    OtherWriter::When when;
    int rounds;
    PlannedFailure plan;
    bool saved; // the save's masks are in the file, and Save says so
};

// Whatever the other writer writes stays; the save's masks are in the file
// exactly when Save gives true; where they are not, the masks are the ones
// the file held before the save, or the other writer's.
TEST_F(HeldSaveFileTest, WhatAnotherWriterWritesDuringTheSaveStays) {
    using Step = PlannedFailure::Step;
    using When = OtherWriter::When;
    const OtherWriterCase cases[] = {
        {"the records, between the read and the write", Writes::Records, When::BeforeTheWrite, 1, {}, true},
        {"the records, between the write and the read-back", Writes::Records, When::BeforeTheReadBack, 1, {}, true},
        {"the records in every round", Writes::Records, When::BeforeTheReadBack, EveryTime, {}, true},
        {"the whole file, between the read and the write", Writes::WholeFile, When::BeforeTheWrite, 1, {}, true},
        {"the whole file, between the write and the read-back",
         Writes::WholeFile,
         When::BeforeTheReadBack,
         1,
         {},
         true},
        {"the whole file in three rounds", Writes::WholeFile, When::BeforeTheReadBack, 3, {}, true},
        {"the whole file in four rounds", Writes::WholeFile, When::BeforeTheReadBack, 4, {}, false},
        {"the whole file in every round", Writes::WholeFile, When::BeforeTheReadBack, EveryTime, {}, false},
        {"nothing, and the flush fails", Writes::Nothing, When::BeforeTheWrite, 1, {Step::FlushRefused}, false},
        {"the records, and the flush fails", Writes::Records, When::BeforeTheWrite, 1, {Step::FlushRefused}, false},
        {"the records, and the write and the put-back stop midway",
         Writes::Records,
         When::BeforeTheWrite,
         1,
         {Step::WriteStops, 5, EveryTime},
         false},
        {"the whole file, and the read-back fails",
         Writes::WholeFile,
         When::BeforeTheReadBack,
         1,
         {Step::ReadBackRefused},
         false},
        {"the whole file, and the read-back and the put-back cannot read",
         Writes::WholeFile,
         When::BeforeTheReadBack,
         1,
         {Step::ReadBackRefused, 0, EveryTime},
         false},
    };
    const Bytes game = Encode(GamesNextSave(), Keystream(SaveFileSeed));
    for (const OtherWriterCase& c : cases) {
        SCOPED_TRACE(c.name);
        PutOriginal(FILE_ATTRIBUTE_NORMAL);
        Arm(c.plan);
        Seam.other = {c.when, nullptr, c.rounds};
        if (c.writes == Writes::Records) {
            const Bytes records(game.begin() + SaveChecksumOffset, game.end());
            Seam.other.write = [this, records] { WriteAsAnotherProgram(path, SaveChecksumOffset, records); };
        } else if (c.writes == Writes::WholeFile) {
            Seam.other.write = [&] { WriteAsAnotherProgram(path, 0, game); };
        }
        const bool result = Changed().Save();
        const Bytes after = Get();
        ASSERT_EQ(Original().size(), after.size());
        // The other writer's part of the file, or the file's own where it wrote nothing.
        const Bytes othersPart = c.writes == Writes::Nothing ? Original() : game;
        const size_t from = c.writes == Writes::WholeFile ? 0 : SaveChecksumOffset;
        for (size_t at = from; at < SaveFileSize; ++at) {
            if (at < SaveMasksOffset || at >= SaveMasksOffset + SaveMasksSize) {
                ASSERT_EQ(othersPart[at], after[at]) << "byte " << at;
            }
        }
        EXPECT_EQ(Tail(), Bytes(after.begin() + SaveFileSize, after.end()));
        const Bytes masks(after.begin() + SaveMasksOffset, after.begin() + SaveMasksOffset + SaveMasksSize);
        const Bytes saved = Saved();
        const Bytes ours(saved.begin() + SaveMasksOffset, saved.begin() + SaveMasksOffset + SaveMasksSize);
        EXPECT_EQ(c.saved, result);
        EXPECT_EQ(result, masks == ours);
        if (!result && c.plan.times != EveryTime) {
            const Bytes before = c.writes == Writes::WholeFile ? game : Original();
            EXPECT_EQ(Bytes(before.begin() + SaveMasksOffset, before.begin() + SaveMasksOffset + SaveMasksSize), masks);
        }
        ExpectOnlyTheSaveFile();
    }
}

// Two copies of the tool press OK together: the one that writes last wins,
// and both say so only once their masks were in the file; the file never
// ends with the masks from before both.
TEST_F(SaveFileTest, TwoCopiesSavingTogetherLeaveTheLastOnesMasks) {
    using When = OtherWriter::When;
    for (When when : {When::BeforeTheWrite, When::BeforeTheReadBack}) {
        SCOPED_TRACE(when == When::BeforeTheWrite ? "between the read and the write"
                                                  : "between the write and the read-back");
        Put(GameFile());
        SaveData first = Sample();
        first.maskS = 0x10, first.maskB = 0x20;
        SaveData second = Sample();
        second.maskS = 0x40, second.maskB = 0x80;
        bool secondSaved = false;
        Seam.other = {when, [&] { secondSaved = second.Save(); }, 1};
        EXPECT_TRUE(first.Save());
        EXPECT_TRUE(secondSaved);
        EXPECT_EQ(WithMasksOf(first, GameFile()), Get());
    }
}

// ---- A program that holds the file for a moment ---------------------------

struct HoldCase {
    const char* name;
    Holder holder;          // Nobody: the bytes are locked instead, through the seam
    DWORD heldMilliseconds; // on the save's clock
    bool saved;
};

// A scanner, an indexer or a backup program holding the file, without write
// sharing or with the bytes locked, is waited for about two seconds.
TEST_F(HeldSaveFileTest, AHolderIsWaitedForAboutTwoSeconds) {
    const HoldCase cases[] = {
        {"held without write sharing for a second", Holder::ReadSharingOnly, 1000, true},
        {"held without write sharing for three seconds", Holder::ReadSharingOnly, 3000, false},
        {"locked for a second", Holder::Nobody, 1000, true},
        {"locked for three seconds", Holder::Nobody, 3000, false},
    };
    for (const HoldCase& c : cases) {
        SCOPED_TRACE(c.name);
        PutOriginal(FILE_ATTRIBUTE_NORMAL);
        Seam.now = 0;
        HeldFile held(path, c.holder);
        ASSERT_FALSE(held.Failed(c.holder));
        // Each pause is 50 ms on the clock: as many locked writes as fit in the hold.
        if (c.holder == Holder::Nobody) Arm({PlannedFailure::Step::WriteLocked, 0, int(c.heldMilliseconds / 50)});
        Seam.atPause = [&](DWORD now) {
            if (now >= c.heldMilliseconds) held.Release();
        };
        EXPECT_EQ(c.saved, Changed().Save());
        EXPECT_GE(Seam.now, c.saved ? c.heldMilliseconds : 2000u);
        EXPECT_LE(Seam.now, c.saved ? c.heldMilliseconds + 50 : 2050u) << "waited too long";
        held.Release();
        EXPECT_EQ(c.saved ? Saved() : Original(), Get());
        Seam.atPause = nullptr;
    }
}

// A file that does not decode at the save, though it did at the load, is
// most likely halfway through the game's write: the save waits for the game
// to finish, and writes into what the game wrote.
TEST_F(HeldSaveFileTest, AFileHalfwayThroughTheGamesWriteIsWaitedFor) {
    const Bytes game = Encode(GamesNextSave(), Keystream(SaveFileSeed));
    Bytes halfway = Original();
    std::copy(game.begin() + SaveRecordsOffset, game.begin() + SaveRecordsOffset + 20,
              halfway.begin() + SaveRecordsOffset);
    Put(halfway);
    Seam.atPause = [&](DWORD now) {
        if (now == 200) WriteAsAnotherProgram(path, 0, game);
    };
    EXPECT_TRUE(Changed().Save());
    EXPECT_EQ(200u, Seam.now);
    Bytes expected = WithMasksOf(Changed(), game);
    const Bytes tail = Tail();
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(expected, Get());
}

// The load waits as long for a program that lets nobody read the file.
TEST_F(SaveFileTest, LoadWaitsForAProgramThatHoldsTheFileForAMoment) {
    Put(GameFile());
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    Seam.atPause = [&](DWORD now) {
        if (now >= 500 && holder != INVALID_HANDLE_VALUE) CloseHandle(holder), holder = INVALID_HANDLE_VALUE;
    };
    SaveData data;
    EXPECT_EQ(0, data.Load());
    EXPECT_EQ(500u, Seam.now);
}

// ---- A file read in pieces, torn masks, a put-back that fails ---------------

// A read may deliver fewer bytes than asked for (a network folder, a filter
// driver): the load and every read of the save take the file whole.
TEST_F(HeldSaveFileTest, AFileDeliveredInPiecesIsReadWhole) {
    for (DWORD piece : {1u, 7u, 37u, 148u}) {
        SCOPED_TRACE(piece);
        PutOriginal(FILE_ATTRIBUTE_NORMAL);
        Seam.readPiece = piece;
        SaveData loaded;
        ASSERT_EQ(0, loaded.Load());
        ExpectSame(Sample(), loaded);
        EXPECT_TRUE(Changed().Save());
        Seam.readPiece = 0;
        EXPECT_EQ(Saved(), Get());
    }
}

// A write that stops within a mask whose old and new values differ in more
// than one byte leaves a mask that is neither: each of its bytes is the old
// or the new one, and the put-back gives the whole old mask back.
TEST_F(SaveFileTest, AMaskTornInSeveralBytesIsPutBack) {
    SaveData changed = Sample();
    changed.maskW = 0x01008000; // was 0x10: bytes 0, 1 and 3 differ
    const size_t maskW = 0;     // the first mask in the file
    for (DWORD good : {1u, 2u, 3u}) {
        SCOPED_TRACE(good);
        Put(GameFile());
        Arm({PlannedFailure::Step::WriteStops, DWORD(maskW + good)});
        EXPECT_FALSE(changed.Save());
        EXPECT_EQ(1, Seam.failed) << "the write did not stop";
        EXPECT_EQ(GameFile(), Get());
    }
}

constexpr char PutBackFailuresVariable[] = "SAVE_TEST_FLUSH_FAILURES";

// A save whose flushes fail as often as the variable says, with the log on
// the debugger output, as in the tool.
CHILD_SCENARIO(SaveWithRefusedFlushes) {
    char times[16] = {};
    if (GetEnvironmentVariableA(PutBackFailuresVariable, times, sizeof times) == 0) return 2;
    HWND host = CreatePlainWindow("SaveDataTestHost", DefWindowProcA, WS_POPUP, 100, 100);
    SetHostWindow(host);
    TempDirectory dir{TempDirectory::Enter::Yes};
    const Bytes game = GameFile();
    if (!WriteFileBytes(dir.File("saves.qvr"), std::string(game.begin(), game.end()))) return 3;
    SaveFileFunctions = {SeamCreateFileW, SeamReadFile, SeamWriteFile, SeamFlushFileBuffers, SeamTickCount, SeamPause};
    Seam.plan = {PlannedFailure::Step::FlushRefused, 0, std::atoi(times)};
    SaveData changed = Sample();
    changed.maskS = 0x10;
    const bool saved = changed.Save();
    SaveFileFunctions = Kernel32SaveFileFunctions;
    DestroyWindow(host);
    return saved ? 1 : 0;
}

struct PutBackReportCase {
    const char* name;
    const char* flushFailures;
    bool reported;
};

// Where the put-back's own flush fails too, the old masks may not be on the
// disk: the log says so. A put-back that went through says nothing.
TEST(SavePutBack, AFailedPutBackIsReported) {
    const PutBackReportCase cases[] = {
        {"the save's flush refused, the put-back flushed", "1", false},
        {"the put-back's flush refused too", "2", true},
    };
    for (const PutBackReportCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetEnvironmentVariableA(PutBackFailuresVariable, c.flushFailures);
        const DebugCaptureResult result = RunChildScenarioUnderDebugger("SaveWithRefusedFlushes");
        SetEnvironmentVariableA(PutBackFailuresVariable, nullptr);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(0, result.exitCode) << "the save said it saved";
        std::string texts;
        for (const std::string& text : result.texts) texts += text;
        EXPECT_EQ(c.reported, texts.find("セーブファイルのキー設定を元に戻せませんでした") != std::string::npos)
            << texts;
    }
}

// ---- The game writing its file anew ---------------------------------------

// Cuts the file to `length` bytes through a handle of another program's, as
// the game does when it writes its file anew.
void CutAsAnotherProgram(const std::string& path, size_t length) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(length);
    EXPECT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
}

struct HalfWrittenLoadCase {
    const char* name;
    size_t length;    // the file's first bytes, as far as the game got
    bool whole;       // the game finishes its write at 200 ms
    int32_t expected; // Load's result
};

// A file that does not decode at the load (empty, cut short, its records
// halfway written) is read again until the game has finished its write, for
// about two seconds; then it is taken as it is.
TEST_F(SaveFileTest, LoadWaitsForAFileThatIsBeingWritten) {
    const HalfWrittenLoadCase cases[] = {
        {"empty, then whole", 0, true, 0},
        {"two bytes, then whole", 2, true, 0},
        {"the magic alone, then whole", 3, true, 0},
        {"halfway through the records, then whole", 90, true, 0},
        {"empty for good", 0, false, 2},
        {"halfway through the records for good", 90, false, 2},
    };
    const Bytes game = Encode(GamesNextSave(), Keystream(SaveFileSeed));
    for (const HalfWrittenLoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes halfway = GameFile();
        std::copy(game.begin(), game.begin() + std::min(c.length, game.size()), halfway.begin());
        halfway.resize(c.length);
        Put(halfway);
        Seam.now = 0;
        Seam.atPause = [&](DWORD now) {
            if (c.whole && now == 200) WriteAsAnotherProgram(path, 0, game);
        };
        SaveData data = Sample();
        EXPECT_EQ(c.expected, data.Load());
        if (c.whole) {
            EXPECT_EQ(200u, Seam.now);
            ExpectSame(GamesNextSave(), data);
        } else {
            EXPECT_GE(Seam.now, 2000u);
            EXPECT_LE(Seam.now, 2050u) << "waited too long";
        }
        if (!c.whole && c.length < 3) {
            ExpectSame(Sample(), data); // no magic: the object as it was
        }
        Seam.atPause = nullptr;
    }
}

enum class Cut { Empty, Short };

struct RewriteCase {
    const char* name;
    Cut cut;
    OtherWriter::When when;
    bool whole; // the game writes its whole file at 200 ms
};

// The game empties or cuts short its file at a step of the save, as it does
// when it writes the file anew. The save never writes into such a file and
// never calls it saved: it waits for the game's whole file and writes its
// masks into that, or, where the game never finishes, leaves the file as
// the game left it and says the save failed.
TEST_F(HeldSaveFileTest, AFileWrittenAnewDuringTheSaveIsWaitedFor) {
    using When = OtherWriter::When;
    const RewriteCase cases[] = {
        {"emptied after the read, then whole", Cut::Empty, When::AfterTheRead, true},
        {"cut short after the read, then whole", Cut::Short, When::AfterTheRead, true},
        {"emptied before the write, then whole", Cut::Empty, When::BeforeTheWrite, true},
        {"emptied before the read-back, then whole", Cut::Empty, When::BeforeTheReadBack, true},
        {"cut short before the read-back, then whole", Cut::Short, When::BeforeTheReadBack, true},
        {"emptied after the read for good", Cut::Empty, When::AfterTheRead, false},
        {"cut short after the read for good", Cut::Short, When::AfterTheRead, false},
        {"emptied before the read-back for good", Cut::Empty, When::BeforeTheReadBack, false},
        {"cut short before the read-back for good", Cut::Short, When::BeforeTheReadBack, false},
    };
    const Bytes game = Encode(GamesNextSave(), Keystream(SaveFileSeed));
    constexpr size_t ShortLength = 20;
    for (const RewriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        PutOriginal(FILE_ATTRIBUTE_NORMAL);
        Arm({});
        Seam.now = 0;
        const size_t length = c.cut == Cut::Empty ? 0 : ShortLength;
        Seam.other = {c.when, [&] { CutAsAnotherProgram(path, length); }, 1};
        Seam.atPause = [&](DWORD now) {
            if (c.whole && now == 200) WriteAsAnotherProgram(path, 0, game);
        };
        const bool saved = Changed().Save();
        EXPECT_EQ(c.whole, saved);
        const Bytes after = Get();
        if (c.whole) {
            EXPECT_EQ(WithMasksOf(Changed(), game), after);
        } else {
            // The file as the game cut it: never grown, never a mask written into it.
            Bytes cut = Original();
            cut.resize(length);
            const Bytes saved = Saved();
            if (c.when == When::BeforeTheReadBack) cut.assign(saved.begin(), saved.begin() + length);
            EXPECT_EQ(cut, after);
        }
        Seam.atPause = nullptr;
        ExpectOnlyTheSaveFile();
    }
}

// A program that has the bytes locked while the save reads them back holds
// the file for a moment, as at any other step: the save waits and goes round
// again, and puts nothing back meanwhile. Only a lock that outlasts the wait
// fails the save, which then leaves the masks it wrote and flushed.
TEST_F(HeldSaveFileTest, ALockedReadBackIsWaitedFor) {
    using Step = PlannedFailure::Step;
    for (int times : {1, 3, EveryTime}) {
        SCOPED_TRACE(testing::Message() << "locked " << times << " times");
        PutOriginal(FILE_ATTRIBUTE_NORMAL);
        Seam.now = 0;
        Arm({Step::ReadBackLocked, 0, times});
        const bool lifted = times != EveryTime;
        EXPECT_EQ(lifted, Changed().Save());
        EXPECT_GT(Seam.now, 0u) << "not waited for";
        EXPECT_EQ(Saved(), Get()) << "put back or left unwritten";
        ExpectOnlyTheSaveFile();
    }
}

// Another writer (the game halfway through its own save) leaves the records
// half written, with this save's masks in place, between the flush and the
// read-back: a file that does not decode is no saved file, whatever its
// masks hold. The save waits for the whole file and writes into that.
TEST_F(HeldSaveFileTest, AReadBackThatDoesNotDecodeIsNeverSaved) {
    const Bytes game = Encode(GamesNextSave(), Keystream(SaveFileSeed));
    for (bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "then whole" : "never whole");
        PutOriginal(FILE_ATTRIBUTE_NORMAL);
        Arm({});
        Seam.now = 0;
        Bytes halfWritten = Saved();
        halfWritten[SaveRecordsOffset + 3 * SaveRecordSize] ^= 0x5A;
        Seam.other = {OtherWriter::When::BeforeTheReadBack, [&] { WriteAsAnotherProgram(path, 0, halfWritten); }, 1};
        Seam.atPause = [&](DWORD now) {
            if (whole && now == 200) WriteAsAnotherProgram(path, 0, game);
        };
        EXPECT_EQ(whole, Changed().Save());
        // The game's whole file over the first 149 bytes, what lies after
        // them as it was.
        Bytes expected = WithMasksOf(Changed(), game);
        const Bytes tail = Tail();
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(whole ? expected : halfWritten, Get());
        Seam.atPause = nullptr;
        ExpectOnlyTheSaveFile();
    }
}

} // namespace
