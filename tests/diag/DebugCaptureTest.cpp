// The debugger-output capture that other tests rely on.
#include "support/ChildScenario.h"
#include "support/DebugCapture.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

CHILD_SCENARIO(CaptureTexts) {
    OutputDebugStringA("first");
    OutputDebugStringA("");
    OutputDebugStringA("日本語\r\n");
    std::string longText(5000, 'L');
    OutputDebugStringA(longText.c_str());
    return 7;
}

LONG CALLBACK ResumeAfterOwnException(EXCEPTION_POINTERS* pointers) {
    if (pointers->ExceptionRecord->ExceptionCode != 0xE0000001) return EXCEPTION_CONTINUE_SEARCH;
    return EXCEPTION_CONTINUE_EXECUTION;
}

// An exception the child handles itself stays the child's business: the
// debugger hands it back unhandled, and the child goes on.
CHILD_SCENARIO(CaptureAfterException) {
    AddVectoredExceptionHandler(1, ResumeAfterOwnException);
    RaiseException(0xE0000001, 0, 0, nullptr);
    OutputDebugStringA("survived");
    return 3;
}

CHILD_SCENARIO(CaptureHang) {
    OutputDebugStringA("hanging");
    Sleep(INFINITE);
    return 0;
}

TEST(DebugCapture, CollectsTextsAndExitCode) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("CaptureTexts");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(7, result.exitCode);
    std::vector<std::string> expected = {"first", "", "日本語\r\n", std::string(5000, 'L')};
    EXPECT_EQ(expected, result.texts);
}

TEST(DebugCapture, UnknownScenario) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("NoSuchScenario");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(127, result.exitCode);
    EXPECT_TRUE(result.texts.empty());
}

TEST(DebugCapture, ExceptionsGoBackToTheChild) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("CaptureAfterException");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(3, result.exitCode);
    EXPECT_EQ(std::vector<std::string>{"survived"}, result.texts);
}

TEST(DebugCapture, HungChildIsEnded) {
    DebugCaptureResult result = RunChildScenarioUnderDebugger("CaptureHang", 2000);
    EXPECT_FALSE(result.finished);
    EXPECT_EQ(std::vector<std::string>{"hanging"}, result.texts);
}

} // namespace
