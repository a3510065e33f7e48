// The sound tests' fixture: a file log in a fresh directory, the scripted
// device installed, and MessageTick without a window, so that it runs no
// per-tick work and reports the end through QuitRequested alone.
#pragma once

#include "SoundDouble.h"
#include "diag/DiagFixture.h"

#include <string>
#include <vector>

class SoundTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        previousPlatform_ = InstallSoundDouble();
        Window.MainWindowHandle = nullptr;
        Window.QuitRequested = 0;
        Window.MessageTickBusy = 0;
    }

    void TearDown() override {
        if (Sound.SoundDevice != nullptr) {
            Window.QuitRequested = 0;
            StopSoundDevice();
        }
        Sound.soundHandles = nullptr;
        Sound.workerEntries = nullptr;
        CurrentSoundPlatform = previousPlatform_;
        EXPECT_EQ(0, CurrentSoundRecord.liveObjects) << "the device or a buffer was never released";
        LogFileTest::TearDown();
    }

    // The log's lines without time stamps ("T:" instead) and line ends.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::string text = LogWithoutStamps();
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    // Index of the first line that contains text, or -1.
    int FindLine(const std::string& text) const {
        std::vector<std::string> lines = LogLines();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find(text) != std::string::npos) return int(i);
        }
        return -1;
    }

    const SoundPlatform* previousPlatform_ = nullptr;
};

// The number of TABs after a line's "T:".
inline int IndentOf(const std::string& line) {
    size_t tabs = 0;
    while (2 + tabs < line.size() && line[2 + tabs] == '\t') ++tabs;
    return int(tabs);
}
