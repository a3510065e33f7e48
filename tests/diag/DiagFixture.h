// Fixtures for the log and allocator tests: a temporary start-up directory
// with a fresh "Log.txt", and the runtime state the tests change saved and
// put back.
#pragma once

#include "runtime/diag/Log.h"
#include "runtime/diag/TrackedAlloc.h"
#include "runtime/system/Lifecycle.h"
#include "runtime/window/Window.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <regex>
#include <string>

// Saves and restores everything of the log, lifecycle, window and allocator
// settings that a test may change; blocks and totals are the tests' own to
// give back.
class DiagStateGuard {
public:
    DiagStateGuard() : log_(Log), lifecycle_(Lifecycle), window_(Window) {
        traceAll_ = Allocator.TraceAllAllocations;
        traceSize_ = Allocator.TraceSize;
        printTotals_ = Allocator.PrintTotalsOnChange;
        checkEvery_ = Allocator.CheckOnEveryChange;
    }
    ~DiagStateGuard() {
        Log = log_;
        Lifecycle = lifecycle_;
        Window = window_;
        Allocator.TraceAllAllocations = traceAll_;
        Allocator.TraceSize = traceSize_;
        Allocator.PrintTotalsOnChange = printTotals_;
        Allocator.CheckOnEveryChange = checkEvery_;
    }
    DiagStateGuard(const DiagStateGuard&) = delete;
    DiagStateGuard& operator=(const DiagStateGuard&) = delete;

private:
    LogState log_;
    LifecycleState lifecycle_;
    WindowState window_;
    int32_t traceAll_, traceSize_, printTotals_, checkEvery_;
};

inline void SetStartupDirectory(const std::string& directory) {
    std::memset(Lifecycle.StartupDirectory, 0, sizeof Lifecycle.StartupDirectory);
    std::strncpy(Lifecycle.StartupDirectory, directory.c_str(), sizeof Lifecycle.StartupDirectory - 1);
}

// A started file log in a fresh directory: Shift-JIS, not in host-window
// mode, log on, allocator tracing at its defaults.
class LogFileTest : public testing::Test {
protected:
    void SetUp() override {
        Window.HostWindowMode = 0;
        Window.CharacterSet = 1;
        Log.LogDisabled = 0;
        Allocator.TraceAllAllocations = 0;
        Allocator.TraceSize = 0;
        Allocator.PrintTotalsOnChange = 0;
        Allocator.CheckOnEveryChange = 0;
        SetStartupDirectory(directory_.Path());
        StartLog();
    }

    std::string LogText() const { return ReadFileBytes(directory_.File("Log.txt")); }

    // The log with every line's time stamp replaced by "T:", after checking
    // that each is a plain decimal.
    std::string LogWithoutStamps() const {
        static const std::regex stamp("(^|\\r\\n)(0|[1-9][0-9]*):");
        std::string text = LogText();
        return std::regex_replace(text, stamp, "$1T:");
    }

    TempDirectory directory_;
    DiagStateGuard guard_;
};
