#include "app/SaveData.h"
#include "app/SaveFileFunctions.h"
#include "runtime/Runtime.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <windows.h>

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
    const uint8_t expected[11] = {0x44 ^ 0xF0, 0x33, 0x22, 0x11, 0x01 ^ 0xF1, 0x66 ^ 0xF2, 0x55,
                                  0xAA ^ 0xF3, 0x99, 0x88, 0x77};
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

class SaveFileTest : public testing::Test {
protected:
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

// The file is the same byte for byte whichever build writes it, 32-bit or
// 64-bit: both suites check the same bytes, worked out apart from the code
// (the header and masks, then one line per scrambled record).
TEST_F(SaveFileTest, SavedBytesAreTheSameInEveryBuild) {
    const std::string expected =
        "515652efbe10000000000100000020000000000400000080000000000100000020000000801fc2"
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

// The file keeps its length and everything after the save's 149 bytes; a
// shorter file that decodes is completed to 149 bytes.
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
    SaveData reread;
    ASSERT_EQ(SaveFileSize, Get().size());
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
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    const std::vector<std::wstring> names =
        GetACP() == 932 ? std::vector<std::wstring>{L"세이브", L"Müller", L"save_🎮"}
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
        case Holder::Nobody: return;
        case Holder::ReadWriteSharing: Open(path, ReadWrite, FILE_SHARE_READ | FILE_SHARE_WRITE); return;
        case Holder::EverySharing:
            Open(path, ReadWrite, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            return;
        case Holder::CRuntimeUpdate: stream_ = std::fopen(path.c_str(), "r+b"); return;
        case Holder::ReaderSharingAll:
            Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            return;
        case Holder::ReadSharingOnly: Open(path, GENERIC_READ, FILE_SHARE_READ); return;
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
    bool saved;       // the new bytes are in the file; otherwise it is as it was
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
        {"read-only, held by a reader sharing everything", FILE_ATTRIBUTE_READONLY, Holder::ReaderSharingAll,
         false},
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

// One planned failure among the calls of the write. Once it has happened the
// real calls run again, so that the old bytes can be put back, unless it is
// to happen every time.
struct PlannedFailure {
    enum class Step { WriteStops, WriteStoresAWrongByte, EndOfFileRefused, FlushRefused } step;
    DWORD afterBytes = 0; // for the write steps: bytes written correctly first
    bool everyTime = false;
};

PlannedFailure Plan;
bool PlanFired;
DWORD PlannedBytesWritten;

// Whether the planned failure is for this step and still to come.
bool Due(PlannedFailure::Step step) {
    return Plan.step == step && (Plan.everyTime || !PlanFired);
}

BOOL WINAPI PlannedWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    bool stops = Due(PlannedFailure::Step::WriteStops);
    if (!stops && !Due(PlannedFailure::Step::WriteStoresAWrongByte))
        return WriteFile(file, buffer, size, written, overlapped);
    DWORD before = Plan.everyTime ? 0 : PlannedBytesWritten;
    PlannedBytesWritten += size;
    if (before + size <= Plan.afterBytes) return WriteFile(file, buffer, size, written, overlapped);
    PlanFired = true;
    DWORD good = Plan.afterBytes > before ? Plan.afterBytes - before : 0;
    if (stops) {
        DWORD done = 0;
        if (good > 0) WriteFile(file, buffer, good, &done, overlapped);
        *written = done;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    Bytes wrong(bytes, bytes + size);
    wrong[good] ^= 0xFF;
    return WriteFile(file, wrong.data(), size, written, overlapped);
}

BOOL WINAPI PlannedSetEndOfFile(HANDLE file) {
    if (!Due(PlannedFailure::Step::EndOfFileRefused)) return SetEndOfFile(file);
    PlanFired = true;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

BOOL WINAPI PlannedFlushFileBuffers(HANDLE file) {
    if (!Due(PlannedFailure::Step::FlushRefused)) return FlushFileBuffers(file);
    PlanFired = true;
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
}

// Swaps the kernel32 calls of the write for the planned ones and puts the
// real ones back at the end.
class FailingWriteTest : public HeldSaveFileTest {
protected:
    ~FailingWriteTest() override { SaveFileFunctions = Kernel32SaveFileFunctions; }

    void Arm(const PlannedFailure& plan) {
        Plan = plan;
        PlanFired = false;
        PlannedBytesWritten = 0;
        SaveFileFunctions = {ReadFile, PlannedWriteFile, PlannedSetEndOfFile, PlannedFlushFileBuffers};
    }
};

struct FailingStepCase {
    const char* name;
    PlannedFailure plan;
};

// When a step of the write fails, Save gives false and the old bytes are
// back, the file's full length included, with the game holding the file or
// not.
TEST_F(FailingWriteTest, AFailingStepPutsTheOldBytesBack) {
    using Step = PlannedFailure::Step;
    const FailingStepCase cases[] = {
        {"write stops before the first byte", {Step::WriteStops, 0}},
        {"write stops midway", {Step::WriteStops, 70}},
        {"write stops before the last byte", {Step::WriteStops, 148}},
        {"the read-back differs from what was written", {Step::WriteStoresAWrongByte, 20}},
        {"flush refused", {Step::FlushRefused}},
    };
    for (Holder holder : {Holder::Nobody, Holder::ReadWriteSharing}) {
        for (const FailingStepCase& c : cases) {
            SCOPED_TRACE(c.name);
            PutOriginal(FILE_ATTRIBUTE_NORMAL);
            HeldFile held(path, holder);
            ASSERT_FALSE(held.Failed(holder));
            Arm(c.plan);
            EXPECT_FALSE(Changed().Save());
            EXPECT_TRUE(PlanFired) << "the write was not reached";
            held.Release();
            EXPECT_EQ(Original(), Get());
            ExpectOnlyTheSaveFile();
        }
    }
}

// A shorter file that decodes grows to the save's 149 bytes; when the write
// fails, it gets its old length back as well as its bytes.
TEST_F(FailingWriteTest, AShortFileGetsItsLengthBack) {
    using Step = PlannedFailure::Step;
    const Bytes game = GameFile();
    Bytes shorter(game.begin(), game.begin() + SaveChecksumOffset);
    shorter.push_back(10), shorter.push_back(0);
    for (const FailingStepCase& c : {FailingStepCase{"write stops midway", {Step::WriteStops, 100}},
                                     FailingStepCase{"flush refused", {Step::FlushRefused}}}) {
        SCOPED_TRACE(c.name);
        Put(shorter);
        Arm(c.plan);
        EXPECT_FALSE(Changed().Save());
        EXPECT_EQ(shorter, Get());
    }
}

// Only the masks' bytes change value in a save, so even where the old bytes
// cannot be put back either, the game's part of the file stays whole: the
// file still loads, with every record as it was.
TEST_F(FailingWriteTest, TheGamesRecordsSurviveWhenNothingCanBePutBack) {
    using Step = PlannedFailure::Step;
    const FailingStepCase cases[] = {
        {"every write stops midway", {Step::WriteStops, 20, true}},
        {"every write stores a wrong mask byte", {Step::WriteStoresAWrongByte, 20, true}},
        {"every flush refused", {Step::FlushRefused, 0, true}},
    };
    for (const FailingStepCase& c : cases) {
        SCOPED_TRACE(c.name);
        PutOriginal(FILE_ATTRIBUTE_NORMAL);
        Arm(c.plan);
        EXPECT_FALSE(Changed().Save());
        SaveFileFunctions = Kernel32SaveFileFunctions;
        SaveData loaded;
        EXPECT_EQ(0, loaded.Load());
        for (int i = 0; i < SaveRecordCount; ++i) {
            EXPECT_EQ(Sample().records[i].valueA, loaded.records[i].valueA) << i;
            EXPECT_EQ(Sample().records[i].flag, loaded.records[i].flag) << i;
        }
        const Bytes after = Get();
        ASSERT_EQ(Original().size(), after.size());
        EXPECT_EQ(Tail(), Bytes(after.begin() + SaveFileSize, after.end()));
        ExpectOnlyTheSaveFile();
    }
}

} // namespace
