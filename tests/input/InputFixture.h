// The input tests' fixture: a file log in a temporary directory, the input
// state zeroed, the two platform seams pointed at the doubles, and the window
// state of an active own window with no handle (so MessageTick does nothing
// and WaitWhileInactive returns at once).
#pragma once

#include "diag/DiagFixture.h"
#include "input/FakeDirectInput.h"

#include "runtime/Runtime.h"
#include "runtime/core/Environment.h"
#include "runtime/input/Input.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

// The stamped log as lines without their "T:" and CR LF.
inline std::vector<std::string> SplitLogLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.compare(0, 2, "T:") == 0) line.erase(0, 2);
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

class InputTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        std::memset(&Input, 0, sizeof Input);
        savedEnvironment_ = Environment;
        Environment.OsVersionCode = 0x109;
        Window.MainWindowHandle = nullptr;
        Window.WindowActive = 1;
        Window.CloseRequested = 0;
        Window.QuitRequested = 0;
        savedCreate_ = CreateDirectInputObject;
        savedJoysticks_ = JoystickFunctions;
        CreateDirectInputObject = FakeDirectInputSystem::Create;
        JoystickFunctions = FakeJoystickFunctions;
        ActiveFakeSystem() = &system_;
        ActiveFakeJoysticks() = &joysticks_;
    }

    void TearDown() override {
        Window.QuitRequested = 0;
        StopInput();
        std::memset(&Input, 0, sizeof Input);
        CreateDirectInputObject = savedCreate_;
        JoystickFunctions = savedJoysticks_;
        ActiveFakeSystem() = nullptr;
        ActiveFakeJoysticks() = nullptr;
        Environment = savedEnvironment_;
    }

    std::vector<std::string> LogLines() const { return SplitLogLines(LogWithoutStamps()); }

    // The log from the first line equal to `from` on.
    std::vector<std::string> LogLinesFrom(const std::string& from) const {
        std::vector<std::string> lines = LogLines();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i] == from) return std::vector<std::string>(lines.begin() + i, lines.end());
        }
        return {};
    }

    bool LogHas(const std::string& line) const {
        for (const std::string& l : LogLines()) {
            if (l == line) return true;
        }
        return false;
    }

    // Starts in DirectInput 7 with the controllers attached so far.
    void StartWithDirectInput7() {
        ASSERT_EQ(0, StartInput());
        ASSERT_EQ(DirectInput7, Input.InputMode);
    }

    FakeDirectInputSystem system_;
    FakeJoysticks joysticks_;

private:
    EnvironmentState savedEnvironment_;
    DirectInputCreateFunction savedCreate_;
    JoystickFunctionTable savedJoysticks_;
};

// The CoCreateInstance answer for a class that is not registered.
constexpr HRESULT ClassNotRegistered = REGDB_E_CLASSNOTREG; // 0x80040154
