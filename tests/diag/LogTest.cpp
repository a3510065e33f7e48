// The log: line-end expansion, lead bytes, the path, and "Log.txt" itself.
#include "DiagFixture.h"

#include "runtime/Runtime.h"

#include <string>

namespace {

struct ExpandCase {
    const char* name;
    std::string text;
    int32_t characterSet;
    std::string expected;
};

TEST(ExpandLineEnds, Cases) {
    const ExpandCase cases[] = {
        {"empty", "", 1, ""},
        {"no line feed", "abc", 1, "abc"},
        {"line feed first", "\nx", 1, "\r\nx"},
        {"two lines", "a\nb\n", 1, "a\r\nb\r\n"},
        {"CR LF stops the expansion", "a\r\nb\nc", 1, "a\r\nb\nc"},
        {"expansion before the first CR LF only", "a\nb\r\nc\n", 1, "a\r\nb\r\nc\n"},
        {"lone CR", "a\rb\n", 1, "a\rb\r\n"},
        {"SJIS trail byte 0x0A", "\x83\x0A", 1, "\x83\x0A"},
        {"SJIS trail byte 0x0A, then a line feed", "\x83\x0A\n", 1, "\x83\x0A\r\n"},
        {"SJIS trail byte 0x0D is no CR", "\x83\r\n", 1, "\x83\r\r\n"},
        {"SJIS lead range E0..FC", "\xFC\x0A\n", 1, "\xFC\x0A\r\n"},
        {"0xA0 is no SJIS lead byte", "\xA0\n", 1, "\xA0\r\n"},
        {"unset character set is SJIS", "\x9F\x0A\n", 0, "\x9F\x0A\r\n"},
        {"Korean lead byte", "\xA1\x0A\n", 2, "\xA1\x0A\r\n"},
        {"lead byte at the end ends the scan", "a\n\x83", 1, "a\r\n\x83"},
    };
    for (const ExpandCase& c : cases) {
        std::string out(2 * c.text.size() + 1, '?');
        size_t length = ExpandLineEnds(c.text.data(), c.text.size(), c.characterSet, &out[0]);
        EXPECT_EQ(c.expected, out.substr(0, length)) << c.name;
        EXPECT_EQ('\0', out[length]) << c.name;
    }
}

TEST(ExpandLineEnds, OnlyLineFeedsDoubleToTheBufferLimit) {
    for (size_t count : {size_t(1), size_t(255), size_t(256), size_t(1000)}) {
        std::string text(count, '\n');
        std::string out(2 * count + 2, '?'); // one guard byte past the documented size
        size_t length = ExpandLineEnds(text.data(), count, 1, &out[0]);
        std::string expected;
        for (size_t i = 0; i < count; ++i) expected += "\r\n";
        EXPECT_EQ(expected, out.substr(0, length)) << count;
        EXPECT_EQ('?', out[2 * count + 1]) << count;
    }
}

TEST(IsLeadByte, Ranges) {
    struct Case {
        uint8_t byte;
        int32_t characterSet;
        bool lead;
    };
    const Case cases[] = {
        {0x80, 1, false}, {0x81, 1, true}, {0x9F, 1, true},  {0xA0, 1, false}, {0xDF, 1, false},
        {0xE0, 1, true},  {0xFC, 1, true}, {0xFD, 1, false}, {0x0A, 1, false}, {0x81, 0, true},
        {0xA0, 0, false}, {0x7F, 2, false}, {0x80, 2, true},  {0xFF, 3, true},  {0xA0, 4, true},
        {0x41, 4, false}, {0xA0, 5, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.lead, IsLeadByte(c.byte, c.characterSet)) << std::hex << int(c.byte) << " set " << c.characterSet;
}

TEST(JoinLogPath, Separator) {
    struct Case {
        const char* directory;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\", "C:\\Log.txt"},
        {"C:\\games\\orvanne", "C:\\games\\orvanne\\Log.txt"},
        {"C:\\games\\orvanne\\", "C:\\games\\orvanne\\Log.txt"},
    };
    for (const Case& c : cases) {
        char path[512];
        EXPECT_TRUE(JoinLogPath(c.directory, "Log.txt", path, sizeof path)) << c.directory;
        EXPECT_STREQ(c.expected, path) << c.directory;
    }
}

TEST(JoinLogPath, TooLongIsRefused) {
    char path[14];
    EXPECT_TRUE(JoinLogPath("C:\\ab", "Log.txt", path, sizeof path)); // 13 bytes and the terminator
    EXPECT_FALSE(JoinLogPath("C:\\abc", "Log.txt", path, sizeof path));
    EXPECT_STREQ("", path);
}

TEST(LogIndent, NeverBelowZero) {
    DiagStateGuard guard;
    Log.LogIndentLevel = 0;
    EXPECT_EQ(0, DecreaseLogIndent());
    EXPECT_EQ(0, Log.LogIndentLevel);
    EXPECT_EQ(0, IncreaseLogIndent());
    EXPECT_EQ(0, IncreaseLogIndent());
    EXPECT_EQ(2, Log.LogIndentLevel);
    DecreaseLogIndent();
    EXPECT_EQ(1, Log.LogIndentLevel);
}

TEST(SetLogOutput, SetsTheSwitch) {
    DiagStateGuard guard;
    EXPECT_EQ(0, SetLogOutput(0));
    EXPECT_EQ(1, Log.LogDisabled);
    EXPECT_EQ(0, SetLogOutput(5));
    EXPECT_EQ(0, Log.LogDisabled);
}

using LogFile = LogFileTest;

TEST_F(LogFile, StartCreatesAnEmptyFile) {
    EXPECT_TRUE(FileExists(directory_.File("Log.txt")));
    EXPECT_EQ("", LogText());
    EXPECT_STREQ("Log.txt", Log.LogFileName);
    EXPECT_EQ(0, Log.LogIndentLevel);
    EXPECT_EQ(0, Log.LogMidLine);
}

TEST_F(LogFile, StartThrowsAwayThePreviousRun) {
    LogWrite("old run\n");
    IncreaseLogIndent();
    StartLog();
    EXPECT_EQ("", LogText());
    EXPECT_EQ(0, Log.LogIndentLevel);
    LogWrite("new run\n");
    EXPECT_EQ("T:new run\r\n", LogWithoutStamps());
}

TEST_F(LogFile, LinesCarryStampIndentAndCrLf) {
    EXPECT_EQ(-1, LogWrite("abc"));
    EXPECT_EQ(1, Log.LogMidLine);
    EXPECT_EQ(-1, LogWrite("def\n"));
    EXPECT_EQ(0, Log.LogMidLine);
    IncreaseLogIndent();
    IncreaseLogIndent();
    LogWrite("two ");
    LogWrite("tabs\n");
    DecreaseLogIndent();
    DecreaseLogIndent();
    DecreaseLogIndent();
    LogWrite("a\nb\n");
    LogWrite("a\r\nb\nc");
    LogWrite("\n");
    EXPECT_EQ("T:abcdef\r\n"
              "T:\t\ttwo tabs\r\n"
              "T:a\r\nb\r\n"
              "T:a\r\nb\nc\r\n",
              LogWithoutStamps());
}

TEST_F(LogFile, DoubleByteTrailLineFeedIsKept) {
    LogWrite("\x83\x0A\n");
    EXPECT_EQ("T:\x83\x0A\r\n", LogWithoutStamps());
}

// An empty text at the start of a line still writes the time stamp and the
// indentation, and the line stays open; in the middle of a line it adds
// nothing.
TEST_F(LogFile, EmptyTextOpensALineButAddsNothingMidLine) {
    IncreaseLogIndent();
    LogWrite("");
    EXPECT_EQ(1, Log.LogMidLine);
    LogWrite("first\n");
    LogWrite("open");
    LogWrite("");
    EXPECT_EQ(1, Log.LogMidLine);
    LogWrite(" line\n");
    EXPECT_EQ("T:\tfirst\r\n"
              "T:\topen line\r\n",
              LogWithoutStamps());
}

// The indentation is one TAB per level, written in pieces of at most
// sixteen: levels around a piece's edge come out whole.
TEST_F(LogFile, IndentationOfEveryDepth) {
    for (int level : {1, 15, 16, 17, 33, 40}) {
        StartLog();
        for (int i = 0; i < level; ++i) IncreaseLogIndent();
        LogWrite("x\n");
        EXPECT_EQ("T:" + std::string(size_t(level), '\t') + "x\r\n", LogWithoutStamps()) << level;
    }
}

// Texts from 256 bytes on take their work buffer from the tracked allocator;
// tracing that buffer's size shows it (no label, line -1), and the totals
// are back afterwards.
TEST_F(LogFile, LongTextTakesTrackedBuffer) {
    std::string text(299, 'x');
    text += '\n';
    int32_t total = Allocator.TotalAllocatedBytes;
    int32_t count = Allocator.AllocationCount;
    Allocator.TraceSize = 2 * 300 + 1;
    LogWrite(text.c_str());
    EXPECT_EQ(total, Allocator.TotalAllocatedBytes);
    EXPECT_EQ(count, Allocator.AllocationCount);

    std::string log = LogWithoutStamps();
    static const std::regex expected("T:mem alloc  \\tsize:601\\(0\\.587kb\\)  file:  line:65535  ID:[0-9]+  addr:[0-9a-f]{8}  data:<.{16}> \\[([0-9a-f]{2} ){15}[0-9a-f]{2}\\]\\r\\n"
                                     "T:x{299}\\r\\n"
                                     "T:mem free  \\tsize:601\\(0\\.587kb\\)  file:  line:65535  ID:[0-9]+  addr:[0-9a-f]{8}  data:<x{16}> \\[(78 ){15}78\\]\\r\\n");
    EXPECT_TRUE(std::regex_match(log, expected)) << log;
}

// Texts of lone line feeds double in size: each one must come out whole,
// on both sides of the 256-byte limit.
TEST_F(LogFile, LineFeedsExpandWhole) {
    for (size_t count : {size_t(255), size_t(256), size_t(700)}) {
        StartLog();
        LogWrite(std::string(count, '\n').c_str());
        std::string expected = "T:";
        for (size_t i = 0; i < count; ++i) expected += "\r\n";
        EXPECT_EQ(expected, LogWithoutStamps()) << count;
    }
}

TEST_F(LogFile, PrintfAddsLineFeed) {
    EXPECT_EQ(-1, LogPrintf("%d-%s %.2f", 42, "x", 1.5));
    EXPECT_EQ("T:42-x 1.50\r\n", LogWithoutStamps());
}

// An over-long result is cut so that text and line feed fill the 1024-byte
// buffer exactly.
TEST_F(LogFile, PrintfCutsOverLongResult) {
    std::string text(3000, 'y');
    LogPrintf("%s", text.c_str());
    EXPECT_EQ("T:" + std::string(1022, 'y') + "\r\n", LogWithoutStamps());
}

TEST_F(LogFile, DirectoryWithTrailingBackslash) {
    SetStartupDirectory(directory_.Path() + "\\");
    StartLog();
    LogWrite("root\n");
    EXPECT_EQ("T:root\r\n", LogWithoutStamps());
}

TEST_F(LogFile, TheFileStaysInTheStartupDirectory) {
    TempDirectory elsewhere;
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(elsewhere.Path().c_str());
    LogWrite("moved\n");
    SetCurrentDirectoryA(previous);
    EXPECT_FALSE(FileExists(elsewhere.File("Log.txt")));
    EXPECT_EQ("T:moved\r\n", LogWithoutStamps());
}

TEST_F(LogFile, SwitchedOffWritesNothing) {
    TempDirectory fresh;
    SetStartupDirectory(fresh.Path());
    SetLogOutput(0);
    EXPECT_EQ(1, StartLog());
    LogWrite("nothing\n");
    LogPrintf("nothing %d", 1);
    EXPECT_FALSE(FileExists(fresh.File("Log.txt")));
}

TEST_F(LogFile, SwitchedOffAfterStartAddsNothing) {
    LogWrite("one\n");
    SetLogOutput(0);
    LogWrite("two\n");
    EXPECT_EQ("T:one\r\n", LogWithoutStamps());
}

TEST_F(LogFile, HostWindowModeCreatesNoFile) {
    TempDirectory fresh;
    SetStartupDirectory(fresh.Path());
    Window.HostWindowMode = 1;
    IncreaseLogIndent();
    const int32_t indent = Log.LogIndentLevel;
    EXPECT_EQ(1, StartLog());
    EXPECT_EQ(indent, Log.LogIndentLevel); // a start that makes no file keeps the log's values
    LogWrite("debugger only\n");
    EXPECT_FALSE(FileExists(fresh.File("Log.txt")));
}

TEST_F(LogFile, NoStartupDirectoryNoFile) {
    Lifecycle.StartupDirectory[0] = '\0';
    LogWrite("lost\n");
    SetStartupDirectory(directory_.Path());
    EXPECT_EQ("", LogText());
}

} // namespace
