// Placeholder until the input subsystem lands: input that never starts.
#include "runtime/Runtime.h"
#include "runtime/input/Input.h"

int StartInput() { return 0; }
int StopInput() { return 0; }
int ReacquireInputDevices() { return 0; }
int RefreshKeyboardState() { return 0; }
int CheckKeyDown(int) { return 0; }
int RefreshVibrationEffects() { return 0; }
int ProcessPadVibration() { return 0; }
int StopPadVibration(int) { return 0; }
int ReadPadInput(int) { return 0; }
