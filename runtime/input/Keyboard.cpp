// The keyboard state table: from the DirectInput system keyboard before
// Vista, from the Windows key state otherwise, at most once per millisecond.
#include "runtime/input/Input.h"

#include "runtime/core/ApiLock.h"
#include "runtime/core/Environment.h"
#include "runtime/window/Window.h"

#include <cstring>

namespace {

// Windows Vista's OsVersionCode: from it on the Windows key state is read.
constexpr int32_t VistaVersionCode = 0x108;
constexpr uint8_t PressedBit = 0x80;
// The DirectInput code of right Shift. DirectInput's own report of it is not
// trusted; the Windows state of VK_RSHIFT takes its place.
constexpr int RightShiftKeyCode = 0x36;

bool EventSignalled(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

bool UsesWindowsKeyState() {
    return Input.DirectInputUnavailable == 1 || Input.KeyboardDevice == nullptr ||
           Environment.OsVersionCode >= VistaVersionCode;
}

bool ReadKeyboardDevice() {
    InputDevice* keyboard = Input.KeyboardDevice;
    if (keyboard->GetDeviceState(sizeof Input.KeyState, Input.KeyState) == DI_OK) return true;
    // Lost, or not acquired: one acquisition and one more read.
    if (keyboard->Acquire() != DI_OK) return false;
    return keyboard->GetDeviceState(sizeof Input.KeyState, Input.KeyState) == DI_OK;
}

int RefreshFromDirectInput() {
    DWORD now = timeGetTime();
    if (now == Input.LastKeyboardPollTime && !EventSignalled(Input.KeyboardEvent)) return 0;
    if (MessageTick() != 0) return 0;
    if (Input.InputMode == NotStarted) return 0;
    if (!ReadKeyboardDevice()) return 0;
    Input.LastKeyboardPollTime = now;
    if (EventSignalled(Input.KeyboardEvent)) ResetEvent(Input.KeyboardEvent);
    BYTE windowsState[256];
    GetKeyboardState(windowsState);
    Input.KeyState[RightShiftKeyCode] = windowsState[VK_RSHIFT];
    return 1;
}

int RefreshFromWindows() {
    // The thread's key state is only current on the thread that pumps the
    // messages, which is the one holding the ApiLock.
    if (ApiLock.owner != GetCurrentThreadId()) return 0;
    DWORD now = timeGetTime();
    if (now == Input.LastKeyboardPollTime) return 0;
    Input.LastKeyboardPollTime = now;
    if (MessageTick() != 0) return 0;
    BYTE windowsState[256];
    GetKeyboardState(windowsState);
    TranslateWindowsKeyState(windowsState, Input.KeyState);
    return 1;
}

} // namespace

const VirtualKeyPair VirtualKeyToKeyCode[VirtualKeyPairCount + 1] = {
    // A to Z
    {0x41, 0x1E}, {0x42, 0x30}, {0x43, 0x2E}, {0x44, 0x20}, {0x45, 0x12}, {0x46, 0x21}, {0x47, 0x22},
    {0x48, 0x23}, {0x49, 0x17}, {0x4A, 0x24}, {0x4B, 0x25}, {0x4C, 0x26}, {0x4D, 0x32}, {0x4E, 0x31},
    {0x4F, 0x18}, {0x50, 0x19}, {0x51, 0x10}, {0x52, 0x13}, {0x53, 0x1F}, {0x54, 0x14}, {0x55, 0x16},
    {0x56, 0x2F}, {0x57, 0x11}, {0x58, 0x2D}, {0x59, 0x15}, {0x5A, 0x2C},
    // 0 to 9
    {0x30, 0x0B}, {0x31, 0x02}, {0x32, 0x03}, {0x33, 0x04}, {0x34, 0x05}, {0x35, 0x06}, {0x36, 0x07},
    {0x37, 0x08}, {0x38, 0x09}, {0x39, 0x0A},
    // arrows: left, up, right, down
    {0x25, 0xCB}, {0x26, 0xC8}, {0x27, 0xCD}, {0x28, 0xD0},
    // punctuation, Japanese layout (0x7D Yen, 0x91 at-sign, 0x92 colon)
    {0xBB, 0x27}, {0xBA, 0x92}, {0xDB, 0x1A}, {0xDD, 0x1B}, {0xC0, 0x91}, {0xE2, 0x2B}, {0xBC, 0x33},
    {0xBD, 0x0C}, {0xDC, 0x7D}, {0xBE, 0x34}, {0xBF, 0x35},
    // Delete, Escape, Space, Backspace, Tab, Enter
    {0x2E, 0xD3}, {0x1B, 0x01}, {0x20, 0x39}, {0x08, 0x0E}, {0x09, 0x0F}, {0x0D, 0x1C},
    // keypad 0 to 9
    {0x60, 0x52}, {0x61, 0x4F}, {0x62, 0x50}, {0x63, 0x51}, {0x64, 0x4B}, {0x65, 0x4C}, {0x66, 0x4D},
    {0x67, 0x47}, {0x68, 0x48}, {0x69, 0x49},
    // keypad multiply, add, subtract, decimal, divide; keypad Enter shares
    // the virtual key of the main Enter, so the two always read alike
    {0x6A, 0x37}, {0x6B, 0x4E}, {0x6D, 0x4A}, {0x6E, 0x53}, {0x6F, 0xB5}, {0x0D, 0x9C},
    // left/right Shift, Control, Alt
    {0xA0, 0x2A}, {0xA1, 0x36}, {0xA2, 0x1D}, {0xA3, 0x9D}, {0xA4, 0x38}, {0xA5, 0xB8},
    // Page Up, Page Down, End, Home, Insert
    {0x21, 0xC9}, {0x22, 0xD1}, {0x23, 0xCF}, {0x24, 0xC7}, {0x2D, 0xD2},
    // Scroll Lock, Caps Lock, Pause
    {0x91, 0x46}, {0x14, 0x3A}, {0x13, 0xC5},
    // F1 to F12
    {0x70, 0x3B}, {0x71, 0x3C}, {0x72, 0x3D}, {0x73, 0x3E}, {0x74, 0x3F}, {0x75, 0x40}, {0x76, 0x41},
    {0x77, 0x42}, {0x78, 0x43}, {0x79, 0x44}, {0x7A, 0x57}, {0x7B, 0x58},
    {0xFFFF, 0xFFFF},
};

void TranslateWindowsKeyState(const uint8_t windowsState[256], uint8_t keyState[KeyCodeCount]) {
    // The whole Windows byte is copied: bit 0 keeps the toggle state of Caps
    // Lock and its kind, which readers ignore.
    std::memset(keyState, 0, KeyCodeCount);
    for (const VirtualKeyPair* pair = VirtualKeyToKeyCode; pair->virtualKey != 0xFFFF; ++pair) {
        keyState[pair->keyCode] = windowsState[pair->virtualKey];
    }
}

int RefreshKeyboardState() {
    if (Input.KeyboardRefreshBusy == 1) return 0;
    Input.KeyboardRefreshBusy = 1;
    int result = UsesWindowsKeyState() ? RefreshFromWindows() : RefreshFromDirectInput();
    Input.KeyboardRefreshBusy = 0;
    return result;
}

int CheckKeyDown(int keyCode) {
    WaitWhileInactive();
    if (Input.InputMode == NotStarted) return Window.CloseRequested == 0 ? StartInput() : 0;
    RefreshKeyboardState();
    // KeyState has 256 entries: any other code names no key.
    if (keyCode < 0 || keyCode >= KeyCodeCount) return 0;
    return (Input.KeyState[keyCode] & PressedBit) ? 1 : 0;
}
