// Joypad discovery in the DirectInput modes: every attached game controller
// becomes a pad with a -1000..1000 range, a quarter dead zone, exclusive
// foreground access, a data event and two force-feedback effects. Found once
// per start, and again when the application asks (RefreshJoypads).
#include "runtime/Runtime.h"
#include "runtime/input/Input.h"

#include "runtime/core/ApiLock.h"
#include "runtime/diag/Log.h"
#include "runtime/window/Window.h"

#include <cstring>

namespace {

// DIDEVTYPE_JOYSTICK for DirectInput 7 and DI8DEVCLASS_GAMECTRL for 8 are both 4.
constexpr DWORD GameControllerType = 4;
constexpr LONG AxisLimit = 1000;
// A quarter of the half range: inside it DirectInput reports 0.
constexpr DWORD AxisDeadZone = 2500;
constexpr DWORD FullGain = 10000;

struct JoypadAxis {
    DWORD offset;                 // within DIJOYSTATE
    const char* rangeFailure;     // null: a refusal is ignored
    const char* deadZoneFailure;
};

// X and Y carry the direction bits, so a pad must accept them; Z and Rz are
// set for applications that read them and may be missing.
const JoypadAxis JoypadAxes[] = {
    {DIJOFS_X, "ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n",
     "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n"},
    {DIJOFS_Y, "ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n",
     "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n"},
    {DIJOFS_Z, nullptr, nullptr},
    {DIJOFS_RZ, nullptr, nullptr},
};

HRESULT SetAxisRange(InputDevice* device, DWORD offset) {
    DIPROPRANGE range;
    range.diph.dwSize = sizeof range;
    range.diph.dwHeaderSize = sizeof range.diph;
    range.diph.dwObj = offset;
    range.diph.dwHow = DIPH_BYOFFSET;
    range.lMin = -AxisLimit;
    range.lMax = AxisLimit;
    return device->SetProperty(DIPROP_RANGE, &range.diph);
}

HRESULT SetAxisDeadZone(InputDevice* device, DWORD offset) {
    DIPROPDWORD deadZone;
    deadZone.diph.dwSize = sizeof deadZone;
    deadZone.diph.dwHeaderSize = sizeof deadZone.diph;
    deadZone.diph.dwObj = offset;
    deadZone.diph.dwHow = DIPH_BYOFFSET;
    deadZone.dwData = AxisDeadZone;
    return device->SetProperty(DIPROP_DEADZONE, &deadZone.diph);
}

// All ranges first, then all dead zones. Returns the text of the first
// refusal that drops the pad, or null.
const char* ConfigureAxes(InputDevice* device) {
    for (const JoypadAxis& axis : JoypadAxes) {
        if (SetAxisRange(device, axis.offset) != DI_OK && axis.rangeFailure) return axis.rangeFailure;
    }
    for (const JoypadAxis& axis : JoypadAxes) {
        if (SetAxisDeadZone(device, axis.offset) != DI_OK && axis.deadZoneFailure) return axis.deadZoneFailure;
    }
    return nullptr;
}

// The structures' sizes as DirectInput's callers pass them: a 32-bit build
// passes a 56-byte DIEFFECT, a 64-bit one the platform's 80 bytes.
static_assert(sizeof(DIEFFECT) == (sizeof(void*) == 4 ? 56 : 80), "DIEFFECT is 56 bytes (80 on 64-bit)");
static_assert(sizeof(DIENVELOPE) == 20 && sizeof(DIPERIODIC) == 16 && sizeof(DICONSTANTFORCE) == 4,
              "effect parameters of 20, 16 and 4 bytes");
static_assert(sizeof(DIPROPRANGE) == 24 && sizeof(DIPROPDWORD) == 20, "axis properties of 24 and 20 bytes");

// Both effects act on X and Y, endlessly, at full gain, with no trigger.
DIEFFECT EffectOnMainAxes(DWORD flags, DWORD* axes, LONG* directions) {
    axes[0] = DIJOFS_X;
    axes[1] = DIJOFS_Y;
    directions[0] = 0;
    directions[1] = 0;
    DIEFFECT effect;
    std::memset(&effect, 0, sizeof effect);
    effect.dwSize = sizeof effect;
    effect.dwFlags = flags;
    effect.dwDuration = INFINITE;
    effect.dwSamplePeriod = 0;
    effect.dwGain = FullGain;
    effect.dwTriggerButton = DIEB_NOTRIGGER;
    effect.dwTriggerRepeatInterval = 0;
    effect.cAxes = 2;
    effect.rgdwAxes = axes;
    effect.rglDirection = directions;
    effect.dwStartDelay = 0;
    return effect;
}

void CreateSineEffect(PadRecord& pad, InputDevice* device) {
    DWORD axes[2];
    LONG directions[2];
    DIENVELOPE envelope = {sizeof(DIENVELOPE), 0, 500000, 0, 1000000};
    DIPERIODIC periodic = {FullGain, 0, 0, 1500000};
    DIEFFECT effect = EffectOnMainAxes(DIEFF_POLAR | DIEFF_OBJECTOFFSETS, axes, directions);
    effect.lpEnvelope = &envelope;
    effect.cbTypeSpecificParams = sizeof periodic;
    effect.lpvTypeSpecificParams = &periodic;
    pad.sineEffect = nullptr;
    // A pad without the sine still vibrates with the constant force alone.
    device->CreateEffect(GUID_Sine, &effect, &pad.sineEffect, nullptr);
}

void CreateConstantForceEffect(PadRecord& pad, InputDevice* device) {
    DWORD axes[2];
    LONG directions[2];
    DICONSTANTFORCE constant = {LONG(FullGain)};
    DIEFFECT effect = EffectOnMainAxes(DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS, axes, directions);
    effect.lpEnvelope = nullptr;
    effect.cbTypeSpecificParams = sizeof constant;
    effect.lpvTypeSpecificParams = &constant;
    pad.constantForceEffect = nullptr;
    if (device->CreateEffect(GUID_ConstantForce, &effect, &pad.constantForceEffect, nullptr) != DI_OK) {
        LogWrite("周期的エフェクトの作成に失敗しました。\n");
    }
}

void StopAndRelease(IDirectInputEffect*& effect) {
    if (effect == nullptr) return;
    effect->Stop();
    effect->Release();
    effect = nullptr;
}

// Only the DirectInput modes discover pads; Joystick mode reads every
// joystick number whether or not one answers.
bool DiscoveryRuns() {
    return Input.InputMode == DirectInput7 || Input.InputMode == DirectInput8;
}

void CopyName(char* target, const char* source) {
    lstrcpynA(target, source, DeviceNameSize);
}

void RecordNames(PadRecord& pad, InputDevice* device) {
    DIDEVICEINSTANCEA info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    device->GetDeviceInfo(&info);
    CopyName(pad.instanceName, info.tszInstanceName);
    CopyName(pad.productName, info.tszProductName);
    IncreaseLogIndent();
    LogPrintf("デバイスの登録名:%s", pad.instanceName);
    LogPrintf("デバイスの製品登録名:%s", pad.productName);
    DecreaseLogIndent();
}

// The device, its effects and its event go; the slot stays free.
void GiveUpPad(PadRecord& pad, InputDevice* device, HANDLE event) {
    StopAndRelease(pad.constantForceEffect);
    StopAndRelease(pad.sineEffect);
    device->Release();
    CloseHandle(event);
}

// Configures the device into pad; false when the pad is dropped (logged).
bool SetUpPad(PadRecord& pad, InputDevice* device) {
    RecordNames(pad, device);
    if (device->SetDataFormat(&c_dfDIJoystick) != DI_OK) {
        device->Release();
        LogWrite("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
        return false;
    }
    if (device->SetCooperativeLevel(Window.MainWindowHandle, DISCL_EXCLUSIVE | DISCL_FOREGROUND) != DI_OK) {
        LogWrite("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
    }
    if (const char* failure = ConfigureAxes(device)) {
        device->Release();
        LogWrite(failure);
        return false;
    }
    CreateSineEffect(pad, device);
    CreateConstantForceEffect(pad, device);
    pad.vibrating = 0;
    pad.vibrationPower = 10000;
    pad.constantForcePlaying = 0;
    pad.sinePlaying = 0;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRESULT notification = device->SetEventNotification(event);
    if (notification != DI_OK && notification != DI_POLLEDDEVICE) {
        LogWrite("ジョイパッドイベントのセットアップが失敗しました\n");
        GiveUpPad(pad, device, event);
        return false;
    }
    // May fail while the window is not yet in the foreground; the reads
    // acquire again.
    device->Acquire();
    pad.dataEvent = event;
    pad.device = device;
    std::memset(&pad.state, 0, sizeof pad.state);
    return true;
}

} // namespace

int FindJoypads() {
    if (Input.DirectInputInterface == nullptr) return -1;
    ReleaseJoypads();
    LogWrite("ジョイパッドの初期化... \n");
    Input.PadCount = 0;
    if (Input.InputMode == DirectInput8) {
        static_cast<IDirectInput8A*>(Input.DirectInputInterface)
            ->EnumDevices(GameControllerType, OnJoypadFound, nullptr, DIEDFL_ATTACHEDONLY);
    } else {
        static_cast<IDirectInput7A*>(Input.DirectInputInterface)
            ->EnumDevices(GameControllerType, OnJoypadFound, nullptr, DIEDFL_ATTACHEDONLY);
    }
    LogWrite("ジョイパッドの初期化は正常に終了しました\n");
    return 0;
}

BOOL CALLBACK OnJoypadFound(LPCDIDEVICEINSTANCEA instance, LPVOID) {
    // An enumerator that ignores DIENUM_STOP must not write past the table.
    if (Input.PadCount >= PadTableSize) return DIENUM_STOP;
    LogWrite("入力装置を見つけました\n");
    InputDevice* device = nullptr;
    if (CreateInputDevice(instance->guidInstance, &device) != DI_OK) {
        LogWrite("入力装置の取得に失敗しました\n");
        return DIENUM_CONTINUE;
    }
    PadRecord& pad = Input.PadTable[Input.PadCount];
    if (!SetUpPad(pad, device)) {
        std::memset(&pad, 0, sizeof pad);
        return DIENUM_CONTINUE;
    }
    ++Input.PadCount;
    LogWrite("ジョイパッドの追加は正常に終了しました\n");
    return Input.PadCount != PadTableSize ? DIENUM_CONTINUE : DIENUM_STOP;
}

int ReleaseJoypads() {
    if (Input.DirectInputInterface == nullptr) return -1;
    for (int i = 0; i < Input.PadCount; ++i) {
        PadRecord& pad = Input.PadTable[i];
        if (pad.device != nullptr) {
            pad.device->Unacquire();
            pad.device->SetEventNotification(nullptr);
        }
        StopAndRelease(pad.constantForceEffect);
        StopAndRelease(pad.sineEffect);
        if (pad.device != nullptr) pad.device->Release();
        pad.device = nullptr;
        if (pad.dataEvent != nullptr) CloseHandle(pad.dataEvent);
        std::memset(&pad, 0, sizeof pad);
    }
    Input.PadCount = 0;
    return 0;
}

int RefreshJoypads() {
    // Nothing to refresh: answered without the lock, which would otherwise be
    // made before the first start-up or outlive the shutdown that destroyed it.
    if (!DiscoveryRuns()) return -1;
    // The discovery replaces the pad table that PumpMessages' per-tick work
    // (vibration) reads, so it runs between ticks, never inside another
    // thread's.
    EnterApiLock();
    int result = -1;
    if (DiscoveryRuns()) {
        FindJoypads();
        result = Input.PadCount;
    }
    LeaveApiLock();
    return result;
}
