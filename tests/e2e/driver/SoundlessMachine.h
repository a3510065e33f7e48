// The tool on a machine without a sound device, under Wine: while an object
// of this class lives, the prefix names no audio driver (the value "Audio" of
// HKCU\Software\Wine\Drivers is empty), so the DirectSound of a tool started
// meanwhile finds no device at all, whatever the host has. The driver is
// chosen when a program loads its audio libraries, so programs already
// running keep theirs; scripts/wine-prefix names ALSA again should a run
// end without putting the value back.
#pragma once

#include <string>

class SoundlessMachine {
public:
    SoundlessMachine();
    ~SoundlessMachine(); // the value as it was
    SoundlessMachine(const SoundlessMachine&) = delete;
    SoundlessMachine& operator=(const SoundlessMachine&) = delete;

    // False when this is not Wine, or the setting could not be made.
    bool Ready() const { return ready_; }

private:
    bool ready_ = false;
    bool hadValue_ = false;
    std::string previous_;
};
