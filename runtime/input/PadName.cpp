// The name of pad 1 for the application: the controller that ReadPadInput(1)
// reads, as its discovery named it.
#include "runtime/Runtime.h"
#include "runtime/input/Input.h"

#include <cstring>

namespace {

constexpr UINT ShiftJisCodePage = 932;
// A name of DeviceNameSize - 1 characters takes at most two bytes each.
constexpr int ShiftJisNameSize = 2 * DeviceNameSize;

bool DiscoveryRuns() {
    return Input.InputMode == DirectInput7 || Input.InputMode == DirectInput8;
}

// Joystick 0 counts as there when winmm both describes it and reads it: the
// description may outlive the device, whose read then answers
// JOYERR_UNPLUGGED.
bool JoystickZeroName(char* name) {
    JOYCAPSA caps;
    std::memset(&caps, 0, sizeof caps);
    if (JoystickFunctions.getDevCaps(0, &caps, sizeof caps) != JOYERR_NOERROR) return false;
    JOYINFOEX info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    if (JoystickFunctions.getPosEx(0, &info) != JOYERR_NOERROR) return false;
    lstrcpynA(name, caps.szPname, DeviceNameSize);
    return true;
}

// The ANSI name of pad 1, or false when there is none.
bool FirstPadName(char* name) {
    if (Input.InputMode == Joystick) return JoystickZeroName(name);
    if (!DiscoveryRuns() || Input.PadCount == 0) return false;
    const PadRecord& pad = Input.PadTable[0];
    lstrcpynA(name, pad.productName[0] != '\0' ? pad.productName : pad.instanceName, DeviceNameSize);
    return true;
}

} // namespace

void ShiftJisDeviceName(const char* name, UINT codePage, char* text, int size) {
    if (size <= 0) return;
    text[0] = '\0';
    wchar_t wide[DeviceNameSize];
    if (MultiByteToWideChar(codePage, 0, name, -1, wide, DeviceNameSize) <= 0) return;
    wide[DeviceNameSize - 1] = L'\0';
    char shiftJis[ShiftJisNameSize];
    if (WideCharToMultiByte(ShiftJisCodePage, 0, wide, -1, shiftJis, sizeof shiftJis, nullptr, nullptr) <= 0) return;
    // Whole characters only: a lead byte without its second byte would swallow the terminator.
    int length = 0;
    while (shiftJis[length] != '\0') {
        int step = IsDBCSLeadByteEx(ShiftJisCodePage, BYTE(shiftJis[length])) && shiftJis[length + 1] != '\0' ? 2 : 1;
        if (length + step > size - 1) break;
        length += step;
    }
    std::memcpy(text, shiftJis, size_t(length));
    text[length] = '\0';
}

int GetFirstPadProductName(char* text, int size) {
    if (text != nullptr && size > 0) text[0] = '\0';
    char name[DeviceNameSize];
    if (text == nullptr || size <= 0 || !FirstPadName(name)) return -1;
    ShiftJisDeviceName(name, GetACP(), text, size);
    return 0;
}
