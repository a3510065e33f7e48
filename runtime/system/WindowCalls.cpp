// The window's calls up into the input and sound subsystems, made here, where
// everything below can be named, so that the window includes neither.
#include "runtime/input/Input.h"
#include "runtime/sound/Sound.h"
#include "runtime/window/Window.h"

const SubsystemCalls WindowCalls = {SoundTick, RefreshKeyboardState, ProcessPadVibration, ReacquireInputDevices,
                                    RefreshVibrationEffects};
