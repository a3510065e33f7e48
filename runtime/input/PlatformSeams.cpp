// The two points where the input subsystem meets the platform: the creation
// of the DirectInput object and the winmm joystick functions. Everything
// else talks to the objects these hand out.
#include "runtime/input/Input.h"

#include <objbase.h>

HRESULT CreateDirectInputWithCom(REFCLSID clsid, REFIID iid, void** object) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
}

DirectInputCreateFunction CreateDirectInputObject = CreateDirectInputWithCom;

const JoystickFunctionTable WinmmJoystickFunctions = {joyGetDevCapsA, joyGetPosEx};

JoystickFunctionTable JoystickFunctions = WinmmJoystickFunctions;
