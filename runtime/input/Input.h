// The input subsystem: DirectInput 7 or 8 devices with the winmm joystick
// functions as fallback; the pad table, the keyboard state, pad vibration.
#pragma once

// Both interface generations are needed: the 0x0800 headers declare the
// DirectInput 7 interfaces as well as the DirectInput 8 ones.
#if defined(DIRECTINPUT_VERSION) && DIRECTINPUT_VERSION != 0x0800
#error "the input subsystem is built against the DirectInput 0x0800 headers"
#endif
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif

#include <windows.h>
#include <mmsystem.h>
#include <dinput.h>

#include <cstdint>

// ---- The input state block ---------------------------------------------------

enum InputMode : int32_t { NotStarted, DirectInput7, DirectInput8, Joystick };

constexpr int PadTableSize = 16;      // pads 1..16
constexpr int PadInputBitCount = 32;  // bits of a PadInputBits mask
constexpr int PadKeySlots = 4;        // key codes that can set one pad bit
constexpr int KeyCodeCount = 256;     // DirectInput key codes 0..255
constexpr int DeviceNameSize = 260;   // MAX_PATH, as DIDEVICEINSTANCEA's names
constexpr int PadKeyboardFlag = 0x1000; // selector bit: add the mapped keyboard keys

// IDirectInputDevice8A extends IDirectInputDevice7A's method table, so one
// pointer type serves the devices of both generations.
using InputDevice = IDirectInputDevice7A;

// One pad, pads 1..16 in enumeration order. All zero before discovery and
// after its release.
struct PadRecord {
    InputDevice* device;                      // the pad's device; null in Joystick mode
    IDirectInputEffect* constantForceEffect;  // created at discovery, or null
    IDirectInputEffect* sineEffect;           // created at discovery, or null
    HANDLE dataEvent;                         // manual-reset; DirectInput signals new data
    DIJOYSTATE state;                         // last state read (80 bytes)
    int32_t hasZAndR;                         // Joystick mode: winmm reports Z and R axes
    uint32_t lastPollTime;                    // timeGetTime of the last device read
    int32_t vibrating;                        // 1 while vibration is on
    int32_t vibrationPower;                   // 0..10000; 10000 at discovery and every stop
    int32_t vibrationDuration;                // milliseconds; negative = until stopped
    int32_t vibrationElapsed;                 // milliseconds counted so far
    int32_t vibrationLastTime;                // NowMilliseconds at the last vibration tick
    int32_t constantForcePlaying;             // 1 when the constant force was last started
    int32_t sinePlaying;                      // 1 when the sine was last started
    char instanceName[DeviceNameSize];        // the device's instance name
    char productName[DeviceNameSize];         // the device's product name
};

// For each PadInputBits bit, the key codes that set it; -1 = none.
using PadKeyMapEntry = int32_t[PadInputBitCount][PadKeySlots];

struct InputState {
    int32_t DirectInputUnavailable;      // 1 once a start found no DirectInput: every later start is a Joystick one
    enum InputMode InputMode;            // the mode the subsystem runs in
    IUnknown* DirectInputInterface;      // the IDirectInput7A or IDirectInput8A object, else null
    InputDevice* MouseDevice;            // the system mouse (held, never read)
    InputDevice* KeyboardDevice;         // the system keyboard
    HANDLE KeyboardEvent;                // manual-reset; DirectInput signals new keyboard data
    uint32_t LastKeyboardPollTime;       // timeGetTime of the last keyboard refresh
    uint8_t KeyState[KeyCodeCount];      // by key code; bit 7 = down
    PadKeyMapEntry PadKeyMap[PadTableSize]; // keyboard keys mapped onto each pad's bits
    int32_t PadCount;                    // pads in use: 0..16, always 16 in Joystick mode
    PadRecord PadTable[PadTableSize];    // the pads
    uint8_t KeyboardRefreshBusy;         // 1 while RefreshKeyboardState runs
    int32_t InputStarting;               // 1 while StartInput runs
};

extern InputState Input;

// Zeroes every field from InputMode through PadTable: what a start begins with.
void ClearInputState();
// Slots 1 and 2 of every bit of every pad to -1, then pad 1's default keys.
void ResetPadKeyMap(PadKeyMapEntry map[PadTableSize]);

// ---- Start and stop ----------------------------------------------------------

int StartInput();
int StopInput();
int ReacquireInputDevices();

// Creates a device of the running DirectInput generation.
HRESULT CreateInputDevice(REFGUID guid, InputDevice** device);

// ---- Joypads -------------------------------------------------------------------

int FindJoypads();
BOOL CALLBACK OnJoypadFound(LPCDIDEVICEINSTANCEA instance, LPVOID context);
int ReleaseJoypads();

// A device name as the system gives it, in codePage (the ANSI code page), as
// Shift-JIS in text: at most size bytes with the terminator, cut on a
// character boundary; a character Shift-JIS lacks becomes '?'.
void ShiftJisDeviceName(const char* name, UINT codePage, char* text, int size);

// ---- Pad query (ReadPadInput itself is in runtime/Runtime.h) -------------------

int RefreshPadState(int pad);

// A winmm axis value 0..65535 as -1000..1000, with a dead zone around the centre.
int32_t Convert(uint32_t value);
// The direction and button bits (0..27) of one pad state.
uint32_t PadBitsFromState(const DIJOYSTATE& state);
// The bits that the keys held in keyState set through one pad's map.
uint32_t PadBitsFromKeys(const uint8_t keyState[KeyCodeCount], const PadKeyMapEntry& map);

// ---- Keyboard ------------------------------------------------------------------

struct VirtualKeyPair {
    uint16_t virtualKey; // Windows virtual-key code
    uint16_t keyCode;    // DirectInput key code
};
constexpr int VirtualKeyPairCount = 99;
// The pairs, ended by a pair of 0xFFFF.
extern const VirtualKeyPair VirtualKeyToKeyCode[VirtualKeyPairCount + 1];
// KeyState from a GetKeyboardState buffer: zero, then one byte per pair.
void TranslateWindowsKeyState(const uint8_t windowsState[256], uint8_t keyState[KeyCodeCount]);

int RefreshKeyboardState();
int CheckKeyDown(int keyCode);

// ---- Vibration -----------------------------------------------------------------

int RefreshVibrationEffects();
int ProcessPadVibration();
int StopPadVibration(int selector);

// ---- The platform boundary -------------------------------------------------------

// Where the DirectInput object comes from. Production: CoCreateInstance,
// in-process server, no outer object.
using DirectInputCreateFunction = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
extern DirectInputCreateFunction CreateDirectInputObject;
HRESULT CreateDirectInputWithCom(REFCLSID clsid, REFIID iid, void** object);

// The winmm joystick functions the Joystick mode reads.
struct JoystickFunctionTable {
    MMRESULT(WINAPI* getDevCaps)(UINT_PTR joystick, LPJOYCAPSA caps, UINT size);
    MMRESULT(WINAPI* getPosEx)(UINT joystick, LPJOYINFOEX info);
};
extern JoystickFunctionTable JoystickFunctions;
extern const JoystickFunctionTable WinmmJoystickFunctions;
