// A setting of the tests' Wine prefix (under HKEY_CURRENT_USER), changed for
// the programs started while an object of this class lives and put back
// afterwards. Wine reads such settings when a program starts (the X11
// driver's) or loads the libraries concerned (the audio driver), so programs
// already running keep what they had.
#pragma once

#include <string>

class WineSetting {
public:
    WineSetting(const char* key, const char* name, const char* value);
    ~WineSetting(); // the value as it was
    WineSetting(const WineSetting&) = delete;
    WineSetting& operator=(const WineSetting&) = delete;

    // False when this is not Wine, or the setting could not be made.
    bool Ready() const { return ready_; }

private:
    std::string key_, name_;
    bool ready_ = false;
    bool hadValue_ = false;
    std::string previous_;
};

// A machine without a sound device: the prefix names no audio driver, so
// DirectSound finds no device at all, whatever the host has.
// scripts/wine-prefix names ALSA again should a run end without putting the
// value back.
class SoundlessMachine : public WineSetting {
public:
    SoundlessMachine() : WineSetting("Software\\Wine\\Drivers", "Audio", "") {}
};

// Windows handed to a window manager (Wine's own default), on a display that
// has none: Wine's X11 driver then waits up to two seconds at every hide of
// such a window for the window manager's word. The tests' prefixes leave
// windows unmanaged (scripts/wine-prefix), as a display without a window
// manager needs.
class WindowsLeftToAWindowManager : public WineSetting {
public:
    WindowsLeftToAWindowManager() : WineSetting("Software\\Wine\\X11 Driver", "Managed", "Y") {}
};
