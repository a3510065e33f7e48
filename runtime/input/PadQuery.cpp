// The pad query: refresh one pad from DirectInput or winmm at most once per
// millisecond, then turn its state (and, on request, the mapped keyboard
// keys) into PadInputBits.
#include "runtime/Runtime.h"
#include "runtime/input/Input.h"

#include "runtime/window/Window.h"

#include <cstring>

// The sizes the platform expects, the same in every build.
static_assert(sizeof(JOYINFOEX) == 52 && sizeof(DIJOYSTATE) == 80, "JOYINFOEX of 52 bytes, DIJOYSTATE of 80");

namespace {

constexpr uint32_t DownBit = 0x1;
constexpr uint32_t LeftBit = 0x2;
constexpr uint32_t RightBit = 0x4;
constexpr uint32_t UpBit = 0x8;
constexpr int PadButtonCount = 24; // buttons 1..24 are bits 4..27
constexpr int FirstButtonBit = 4;
constexpr uint8_t PressedBit = 0x80;

// winmm's axis: 0..0xFFFF with the centre near 0x7FFF; a third of the range
// around it is the dead zone.
constexpr int32_t JoystickLowEdge = 0x6000;
constexpr int32_t JoystickHighEdge = 0xA000;
constexpr int32_t JoystickSpan = 0x6000;
constexpr uint32_t JoystickMax = 0xFFFF;

bool EventSignalled(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

void ResetIfSignalled(HANDLE event) {
    if (EventSignalled(event)) ResetEvent(event);
}

// The pad index of a selector: the pad number without the keyboard bit,
// minus one, in 32-bit signed arithmetic without overflow.
int32_t PadIndex(int selector) {
    return int32_t(uint32_t(selector & ~PadKeyboardFlag) - 1u);
}

int RefreshJoystickPad(int index) {
    PadRecord& pad = Input.PadTable[index];
    DWORD now = timeGetTime();
    if (now == pad.lastPollTime) return 0;
    pad.lastPollTime = now;
    JOYINFOEX info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    if (JoystickFunctions.getPosEx(UINT(index), &info) != JOYERR_NOERROR) {
        std::memset(&pad.state, 0, sizeof pad.state);
        return 0;
    }
    pad.state.lX = Convert(info.dwXpos);
    pad.state.lY = Convert(info.dwYpos);
    bool zAndR = pad.hasZAndR == 1;
    pad.state.lZ = zAndR ? Convert(info.dwZpos) : 0;
    pad.state.lRz = zAndR ? Convert(info.dwRpos) : 0;
    for (int k = 0; k < PadButtonCount; ++k) {
        pad.state.rgbButtons[k] = (info.dwButtons & (1u << k)) ? PressedBit : 0;
    }
    return 0;
}

bool EndSignalled() {
    return MessageTick() != 0 || Input.InputMode == NotStarted;
}

// After a failed read: keep the window alive, acquire, read once more. A
// device that stays lost keeps its last state. -1 when the runtime is to end
// or input was stopped meanwhile.
int RecoverPadDevice(PadRecord& pad) {
    if (EndSignalled()) return -1;
    if (pad.device->Acquire() != DI_OK) return 0;
    if (EndSignalled()) return -1;
    DIJOYSTATE fresh;
    if (pad.device->GetDeviceState(sizeof fresh, &fresh) == DI_OK) pad.state = fresh;
    return 0;
}

int RefreshDirectInputPad(int index) {
    PadRecord& pad = Input.PadTable[index];
    if (pad.device == nullptr) return 0;
    DWORD now = timeGetTime();
    if (now == pad.lastPollTime && !EventSignalled(pad.dataEvent)) return 0;
    pad.lastPollTime = now;
    pad.device->Poll();
    DIJOYSTATE fresh;
    if (pad.device->GetDeviceState(sizeof fresh, &fresh) == DI_OK) {
        pad.state = fresh;
    } else if (RecoverPadDevice(pad) != 0) {
        return -1;
    }
    ResetIfSignalled(pad.dataEvent);
    return 0;
}

uint32_t KeyboardPadBits(int32_t index) {
    // PadKeyMap has one entry per pad: a pad number above 16 has no keys.
    if (index >= PadTableSize) return 0;
    return PadBitsFromKeys(Input.KeyState, Input.PadKeyMap[index < 0 ? 0 : index]);
}

} // namespace

int32_t Convert(uint32_t value) {
    if (value == 0) return -1000;
    if (value >= JoystickMax) return 1000;
    int32_t v = int32_t(value);
    if (v < JoystickLowEdge) return (v - JoystickLowEdge) * 1000 / JoystickSpan;
    if (v <= JoystickHighEdge) return 0;
    return (v - JoystickHighEdge) * 1000 / JoystickSpan;
}

uint32_t PadBitsFromState(const DIJOYSTATE& state) {
    uint32_t bits = 0;
    if (state.lX < 0) bits |= LeftBit;
    if (state.lX > 0) bits |= RightBit;
    if (state.lY < 0) bits |= UpBit;
    if (state.lY > 0) bits |= DownBit;
    for (int k = 0; k < PadButtonCount; ++k) {
        if (state.rgbButtons[k] & PressedBit) bits |= 1u << (k + FirstButtonBit);
    }
    return bits;
}

uint32_t PadBitsFromKeys(const uint8_t keyState[KeyCodeCount], const PadKeyMapEntry& map) {
    uint32_t bits = 0;
    for (int bit = 0; bit < PadInputBitCount; ++bit) {
        for (int slot = 0; slot < PadKeySlots; ++slot) {
            int32_t code = map[bit][slot];
            if (code < 0 || code >= KeyCodeCount) continue;
            if (keyState[code] & PressedBit) {
                bits |= 1u << bit;
                break;
            }
        }
    }
    return bits;
}

int RefreshPadState(int pad) {
    if (pad < 0 || pad >= PadTableSize) return -1;
    if (Input.DirectInputUnavailable == 1) return RefreshJoystickPad(pad);
    return RefreshDirectInputPad(pad);
}

int ReadPadInput(int selector) {
    int32_t pad = PadIndex(selector);
    bool withKeys = (selector & PadKeyboardFlag) != 0;
    WaitWhileInactive();
    if (Input.InputMode == NotStarted && Window.CloseRequested == 0) return StartInput();
    if ((pad < -1 || pad >= Input.PadCount) && Input.PadCount != 0 && !withKeys) return 0;
    uint32_t bits = 0;
    if (pad >= 0 && pad < Input.PadCount) {
        RefreshPadState(pad);
        bits |= PadBitsFromState(Input.PadTable[pad].state);
    }
    if (withKeys) {
        RefreshKeyboardState();
        bits |= KeyboardPadBits(pad);
    }
    return int(bits);
}
