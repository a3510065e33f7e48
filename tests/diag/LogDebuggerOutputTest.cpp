// What the log sends to the debugger output, watched from outside: each case
// runs in a child copy of this program under the debug API.
#include "DiagFixture.h"

#include "runtime/Runtime.h"
#include "support/ChildScenario.h"
#include "support/DebugCapture.h"

#include <regex>
#include <string>
#include <vector>

namespace {

// Exit codes of the scenarios: 0, or which check failed inside the child.
constexpr int LogFileAppeared = 10;

// Texts that every scenario writes, and what the debugger must see of them
// in host-window mode: exactly the text, line feeds expanded, no stamp, no
// TABs, however the indent and the log switch stand.
void WriteScenarioTexts() {
    LogWrite("abc");
    LogWrite("def\n");
    IncreaseLogIndent();
    LogWrite("a\nb\n");
    LogWrite("a\r\nb\nc");
    LogPrintf("%d-%s", 7, "x");
    LogWrite("ＯＫ\n");
}

const std::vector<std::string> HostWindowTexts = {
    "abc", "def\r\n", "a\r\nb\r\n", "a\r\nb\nc", "7-x\r\n", "ＯＫ\r\n",
};

int RunHostWindowScenario(int logEnabled) {
    TempDirectory directory;
    SetStartupDirectory(directory.Path());
    Window.HostWindowMode = 1;
    Window.CharacterSet = 1;
    SetLogOutput(logEnabled);
    StartLog();
    WriteScenarioTexts();
    return FileExists(directory.File("Log.txt")) ? LogFileAppeared : 0;
}

CHILD_SCENARIO(HostWindowLogOn) {
    return RunHostWindowScenario(1);
}

CHILD_SCENARIO(HostWindowLogOff) {
    return RunHostWindowScenario(0);
}

CHILD_SCENARIO(FileLogSwitchedOff) {
    TempDirectory directory;
    SetStartupDirectory(directory.Path());
    Window.HostWindowMode = 0;
    SetLogOutput(0);
    StartLog();
    WriteScenarioTexts();
    return FileExists(directory.File("Log.txt")) ? LogFileAppeared : 0;
}

// With the file log on, the debugger sees the same pieces as the file:
// stamp, TABs and text, each sent on its own.
CHILD_SCENARIO(FileLogMirrored) {
    TempDirectory directory;
    SetStartupDirectory(directory.Path());
    Window.HostWindowMode = 0;
    Window.CharacterSet = 1;
    SetLogOutput(1);
    StartLog();
    LogWrite("open ");
    LogWrite("closed\n");
    IncreaseLogIndent();
    IncreaseLogIndent();
    LogWrite("nested\n");
    return 0;
}

TEST(LogDebuggerOutput, HostWindowModeSendsTextsOnly) {
    for (const char* scenario : {"HostWindowLogOn", "HostWindowLogOff"}) {
        DebugCaptureResult result = RunChildScenarioUnderDebugger(scenario);
        ASSERT_TRUE(result.finished) << scenario;
        EXPECT_EQ(0, result.exitCode) << scenario << ": no log file may appear";
        EXPECT_EQ(HostWindowTexts, result.texts) << scenario;
    }
}

TEST(LogDebuggerOutput, SwitchedOffSendsNothing) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("FileLogSwitchedOff");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(0, result.exitCode) << "no log file may appear";
    EXPECT_EQ(std::vector<std::string>(), result.texts);
}

TEST(LogDebuggerOutput, FileLogIsMirrored) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("FileLogMirrored");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(0, result.exitCode);
    ASSERT_EQ(6u, result.texts.size());
    const std::regex stamp("(0|[1-9][0-9]*):");
    EXPECT_TRUE(std::regex_match(result.texts[0], stamp)) << result.texts[0];
    EXPECT_EQ("open ", result.texts[1]);
    EXPECT_EQ("closed\r\n", result.texts[2]);
    EXPECT_TRUE(std::regex_match(result.texts[3], stamp)) << result.texts[3];
    EXPECT_EQ("\t\t", result.texts[4]);
    EXPECT_EQ("nested\r\n", result.texts[5]);
}

} // namespace
