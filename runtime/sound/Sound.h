// The sound device's entry points used by the rest of the runtime.
#pragma once

int StartSoundDevice();
int StopSoundDevice();
int SoundTick();
