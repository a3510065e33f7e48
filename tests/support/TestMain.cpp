// The main of every test program: either one child scenario, or GoogleTest.
#include "support/ChildScenario.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

std::map<std::string, ChildScenarioBody>& Scenarios() {
    static std::map<std::string, ChildScenarioBody> scenarios;
    return scenarios;
}

// The exit code of a test program, or of a child scenario, that crashed.
constexpr UINT CrashedExitCode = 3;

// A test program that crashes must fail. Under Wine the exit code of a
// process whose unhandled exception went to the system debugger is
// sometimes 0, so that CTest would count a crash, even one in a thread the
// test never waits for, as a pass. The program says where it crashed and
// ends itself with a code that is never 0. Written without the C runtime's
// streams, whose locks the crashed thread may hold.
LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    char text[160];
    int length = std::snprintf(text, sizeof text, "unhandled exception 0x%08lX at %p in thread %lu: the program ends\n",
                               record.ExceptionCode, record.ExceptionAddress, GetCurrentThreadId());
    DWORD written = 0;
    if (length > 0) WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, DWORD(length), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), CrashedExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

int RegisterChildScenario(const char* name, ChildScenarioBody body) {
    Scenarios()[name] = body;
    return 0;
}

bool RunChildScenarioFromCommandLine(int argc, char** argv, int& exitCode) {
    const size_t prefix = std::strlen(ChildScenarioSwitch);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], ChildScenarioSwitch, prefix) != 0) continue;
        auto found = Scenarios().find(argv[i] + prefix);
        exitCode = found == Scenarios().end() ? 127 : found->second();
        return true;
    }
    return false;
}

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(EndOnUnhandledException);
    int exitCode = 0;
    if (RunChildScenarioFromCommandLine(argc, argv, exitCode)) return exitCode;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
