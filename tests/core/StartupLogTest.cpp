// The log of one whole start and shutdown, text by text: an own window's log
// file, and the key configuration tool's host-window road as the debugger
// output shows it. Every text must come in its order, none missing, none
// doubled and none more: work done beside the start-up's own steps (the
// warm-up thread) must leave the log exactly as the steps write it.
#include "runtime/Runtime.h"

#include "diag/DiagFixture.h"
#include "runtime/others/Subsystems.h"
#include "support/ChildScenario.h"
#include "support/DebugCapture.h"
#include "support/PlainWindow.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace {

// ---- Texts against their expected list ---------------------------------------------

// How an expected text meets a logged one. Texts whose content depends on
// the machine (the Windows version, the processor, the memory, the timer
// counts and choice, the sound devices) are met by their fixed part.
enum class Match {
    Whole,    // the text is exactly this
    Start,    // the text starts with this
    Contains, // the text holds this
};

enum class Count {
    One,
    OneOrMore, // one text for each device the machine has
};

struct LoggedText {
    const char* text;
    Match match = Match::Whole;
    Count count = Count::One;
};

bool Meets(const LoggedText& expected, const std::string& text) {
    switch (expected.match) {
    case Match::Whole:
        return text == expected.text;
    case Match::Start:
        return text.compare(0, std::strlen(expected.text), expected.text) == 0;
    case Match::Contains:
        return text.find(expected.text) != std::string::npos;
    }
    return false;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) quoted += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return quoted + "\"";
}

// Empty when the texts are the expected ones, each in its place, none
// missing and none more; otherwise where they first part.
std::string FirstDifference(const std::vector<std::string>& texts, const std::vector<LoggedText>& expected) {
    size_t at = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        const LoggedText& entry = expected[i];
        if (at == texts.size()) return "missing from the end: " + Quoted(entry.text);
        if (!Meets(entry, texts[at]))
            return "text " + std::to_string(at) + " " + Quoted(texts[at]) + " where " + Quoted(entry.text) +
                   " was due";
        ++at;
        if (entry.count == Count::OneOrMore)
            while (at < texts.size() && Meets(entry, texts[at])) ++at;
    }
    if (at < texts.size()) return "text " + std::to_string(at) + " " + Quoted(texts[at]) + " is more than expected";
    return "";
}

std::string Listing(const std::vector<std::string>& texts) {
    std::string listing;
    for (size_t i = 0; i < texts.size(); ++i) listing += std::to_string(i) + ": " + Quoted(texts[i]) + "\n";
    return listing;
}

// ---- The own-window log file ----------------------------------------------------------

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Each line: decimal milliseconds (never decreasing), a colon, the text; no
// line feed without its carriage return. A text with an empty line inside
// (the sound report has them) gets no stamp there: stamps start writes.
void ExpectLogFormat(const std::string& log) {
    EXPECT_EQ(log.size() - 2, log.rfind("\r\n")) << "the log ends with CR LF";
    long previous = 0;
    for (const std::string& line : SplitLines(log)) {
        if (line.empty()) continue;
        size_t colon = line.find(':');
        ASSERT_NE(std::string::npos, colon) << line;
        ASSERT_GT(colon, 0u) << line;
        EXPECT_EQ(std::string::npos, line.find('\n')) << line;
        EXPECT_EQ(colon, line.find_first_not_of("0123456789")) << line;
        long stamp = std::strtol(line.c_str(), nullptr, 10);
        EXPECT_GE(stamp, previous) << line;
        previous = stamp;
    }
}

// The lines of an own window's start and shutdown up to the allocation
// dump, each stamp written "T"; a write that continues an open line joins it.
const std::vector<LoggedText> OwnWindowLog = {
    {"T:システムの情報を出力します"},
    {"T:\tＫＯＴＯライブラリ Ver3.03"},
    {"T:\tＯＳ  Windows", Match::Start},
    {"T:\tＣＰＵ動作速度：大体", Match::Start},
    {"T:\tＭＭＸ命令を使用します"},
    {"T:\tＳＳＥ命令が使用可能です"},
    {"T:\tＳＳＥ２命令が使用可能です"},
    {"T:\tＣＰＵベンダ：", Match::Start},
    {"T:\tＣＰＵ名：", Match::Start},
    {"T:ＣＯＭの初期化... 成功しました"},
    {"T:メモリ総量:", Match::Start},
    {"T:タイマーの精度を検査します"},
    {"T:精度結果 更新回数 マルチメディアタイマー：", Match::Start},
    // The source chosen, of the machine's two.
    {"を使用します タイマー分解能 : ", Match::Contains},
    // The precision test leaves a lone space open: the check continues its line.
    {"T: ソフトの二重起動検査... 二重起動はされていませんでした"},
    {"T:ウインドウクラスを登録します... 登録に成功しました"},
    {"T:ウインドウモード起動用のウインドウを作成します"},
    {"T:ウインドウの作成に成功しました"},
    {"T:ＩＭＥを無効にしました"},
    {"T:ウインドウスタイルをウインドウモード用に変更します... 完了"},
    {"T:DirectInput関係初期化処理"},
    {"T:\tDirectInput7 の取得中... 成功"},
    {"T:\t\t引き続き初期化処理... 初期化成功"},
    {"T:\tジョイパッドの初期化... "},
    {"T:\tジョイパッドの初期化は正常に終了しました"},
    {"T:\tマウスデバイスの初期化... 初期化成功"},
    {"T:\tキーボードデバイスの初期化... 初期化成功"},
    {"T:DirectInput 関連の初期化は正常に終了しました"},
    {"T:DirectSound の初期化を行います"},
    {"T:DirectSound インターフェースの取得を行います....  成功"},
    {"T:引き続きインターフェースの初期化処理... 成功"},
    {"T:\tDirectSound デバイスを列挙します"},
    {"T:\t\tモジュール名:", Match::Start, Count::OneOrMore},
    {"T:\t最大サンプリングレート:", Match::Start},
    {"T:\t総サウンドメモリ領域:", Match::Start},
    {""},
    {"T:\t利用可能サンプリング精度"},
    {"T:\t プライマリ １６bit = ", Match::Start},
    {"T:\t セカンダリ １６bit = ", Match::Start},
    {""},
    {"T:\t利用可能チャンネル"},
    {"T:\t プライマリ MONO = ", Match::Start},
    {"T:\t セカンダリ MONO = ", Match::Start},
    {""},
    {"T:DirectSound の初期化は正常に終了しました"},
    {"T:文字コードバッファの初期化を行います... 完了しました"},
    {"T:DirectInput 関連の終了処理... 完了"},
    {"T:DirectSound の終了処理は正常に終了しました"},
    {"T:ウインドウを閉じようとしています"},
    {"T:ウインドウが破棄されようとしています"},
    {"T:ソフトを終了する準備が整いました"},
    {"T:ＣＯＭを終了... 完了"},
};

constexpr const char DumpStart[] = "T:\r\nT:Alloc memory dump\r\n";

// Each test starts from a runtime that is not started, in a temporary
// start-up directory, and leaves the runtime shut down and the graphics
// settings as they were.
class OwnWindowLogTest : public testing::Test {
protected:
    OwnWindowLogTest() : graphics_(Graphics), directory_(TempDirectory::Enter::Yes) {}
    void SetUp() override {
        Window.HostWindowMode = 0;
        Window.MainWindowHandle = nullptr;
        Window.WindowModeFlag = 0;
        Window.QuitRequested = 0;
    }
    void TearDown() override {
        LibraryShutdown();
        Graphics = graphics_;
    }

    GraphicsState graphics_;
    DiagStateGuard guard_;
    TempDirectory directory_;
};

} // namespace

TEST_F(OwnWindowLogTest, HoldsEveryLineInOrderAndEndsWithTheDump) {
    SetLogOutput(1);
    ChangeWindowMode(1);
    SetDrawingDisabled(1);
    int32_t liveBlocks = Allocator.AllocationCount;
    ASSERT_EQ(0, LibraryStartup());
    EXPECT_NE(nullptr, Window.MainWindowHandle);
    EXPECT_EQ(0, LibraryShutdown());
    EXPECT_EQ(liveBlocks, Allocator.AllocationCount) << "the runtime gave back every block";

    std::string raw = ReadFileBytes(directory_.File("Log.txt"));
    ExpectLogFormat(raw);
    std::string log = std::regex_replace(raw, std::regex("(^|\\r\\n)[0-9]+:"), "$1T:");
    size_t dump = log.rfind(DumpStart);
    ASSERT_NE(std::string::npos, dump) << log;
    std::vector<std::string> lines = SplitLines(log.substr(0, dump));
    EXPECT_EQ("", FirstDifference(lines, OwnWindowLog)) << Listing(lines);

    // Blocks that earlier tests of this program still hold are listed.
    std::regex dumpEnd("T:\\r\\nT:Alloc memory dump\\r\\n(T:[^\\r\\n]*\\r\\n)*"
                       "T:\\tTotal size:[0-9]+\\([0-9]+\\.[0-9]{3}kb\\)  Alloc num:[0-9]+\\r\\nT:\\r\\n");
    EXPECT_TRUE(std::regex_match(log.substr(dump), dumpEnd)) << log.substr(dump);
}

// ---- The tool's road, watched from outside -----------------------------------------

namespace {

constexpr int ScenarioStartFailed = 3;

} // namespace

// The key configuration tool's road: a host window, drawing off, no log
// file, a start, a few ticks and the shutdown.
CHILD_SCENARIO(HostWindowStartAndShutdown) {
    HWND host = CreatePlainWindow("StartupLogTestHost", DefWindowProcA, WS_POPUP, 300, 200);
    SetDrawingDisabled(1);
    SetLogOutput(0);
    SetHostWindow(host);
    if (LibraryStartup() != 0) return ScenarioStartFailed;
    for (int tick = 0; tick < 3; ++tick) PumpMessages();
    LibraryShutdown();
    DestroyWindow(host);
    return 0;
}

namespace {

// Every text of the tool's start-up and shutdown as the debugger output has
// it: one text per write, the indent not shown.
const std::vector<LoggedText> HostWindowStartupLog = {
    {"ChangeWindowMode実行 \r\n"},
    {"ウインドウモードフラグが立てられました\r\n"},
    {"システムの情報を出力します\r\n"},
    {"ＫＯＴＯライブラリ Ver3.03\r\n"},
    {"ＯＳ  "},
    {"Windows", Match::Start},
    {"ＣＰＵ動作速度：大体", Match::Start},
    {"ＭＭＸ命令を使用します\r\n"},
    {"ＳＳＥ命令が使用可能です\r\n"},
    {"ＳＳＥ２命令が使用可能です\r\n"},
    {"ＣＰＵベンダ："},
    // The vendor's name, four characters to a write.
    {"", Match::Start},
    {"", Match::Start},
    {"", Match::Start},
    {"\r\n"},
    {"ＣＰＵ名：", Match::Start},
    {"ＣＯＭの初期化... "},
    {"成功しました\r\n"},
    {"メモリ総量:", Match::Start},
    // The free memory once more, to the debugger output alone, as it is.
    {"MB\n", Match::Contains},
    {"タイマーの精度を検査します\r\n"},
    {"精度結果 更新回数 マルチメディアタイマー：", Match::Start},
    {" "},
    {"を使用します タイマー分解能 : ", Match::Contains},
    {" "},
    {"ソフトの二重起動検査... "},
    {"二重起動はされていませんでした\r\n"},
    {"ＩＭＥを無効にしました\r\n"},
    {"DirectInput関係初期化処理\r\n"},
    {"DirectInput7 の取得中... "},
    {"成功\r\n"},
    {"引き続き初期化処理... "},
    {"初期化成功\r\n"},
    {"ジョイパッドの初期化... \r\n"},
    {"ジョイパッドの初期化は正常に終了しました\r\n"},
    {"マウスデバイスの初期化... "},
    {"初期化成功\r\n"},
    {"キーボードデバイスの初期化... "},
    {"初期化成功\r\n"},
    {"DirectInput 関連の初期化は正常に終了しました\r\n"},
    {"DirectSound の初期化を行います\r\n"},
    {"DirectSound インターフェースの取得を行います....  "},
    {"成功\r\n"},
    {"引き続きインターフェースの初期化処理... "},
    {"成功\r\n"},
    {"DirectSound デバイスを列挙します\r\n"},
    {"モジュール名:", Match::Start, Count::OneOrMore},
    {"最大サンプリングレート:", Match::Start},
    {"総サウンドメモリ領域:", Match::Start},
    {"利用可能サンプリング精度\r\n"},
    {" プライマリ １６bit = ", Match::Start},
    {" セカンダリ １６bit = ", Match::Start},
    {"利用可能チャンネル\r\n"},
    {" プライマリ MONO = ", Match::Start},
    {" セカンダリ MONO = ", Match::Start},
    {"DirectSound の初期化は正常に終了しました\r\n"},
    {"文字コードバッファの初期化を行います... "},
    {"完了しました\r\n"},
    {"DirectInput 関連の終了処理... 完了\r\n"},
    {"DirectSound の終了処理は正常に終了しました\r\n"},
    {"ＣＯＭを終了... 完了\r\n"},
    {"\r\n"},
    {"Alloc memory dump\r\n"},
    {"\tTotal size:0(0.000kb)  Alloc num:0\r\n"},
    {"\r\n"},
};

} // namespace

TEST(StartupLogTest, TheToolsStartupLogsEveryTextInItsOrderAndNoOther) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("HostWindowStartAndShutdown");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(0, result.exitCode);
    EXPECT_EQ("", FirstDifference(result.texts, HostWindowStartupLog)) << Listing(result.texts);
}
