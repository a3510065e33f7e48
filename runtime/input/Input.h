// The input subsystem's entry points used by the rest of the runtime.
#pragma once

int StartInput();
int StopInput();
int ReacquireInputDevices();
int RefreshKeyboardState();
int CheckKeyDown(int keyCode);
int RefreshVibrationEffects();
int ProcessPadVibration();
int StopPadVibration(int selector);
