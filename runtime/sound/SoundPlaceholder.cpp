// Placeholder until the sound subsystem lands: a device that never starts.
#include "runtime/sound/Sound.h"

int StartSoundDevice() { return -1; }
int StopSoundDevice() { return -1; }
int SoundTick() { return -1; }
