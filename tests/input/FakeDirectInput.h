// Test doubles at the input subsystem's platform boundary: a scripted
// DirectInput (7 and 8 interfaces over one set of devices), devices with
// scripted results, states and effects, and scripted winmm joysticks.
// Header-only, so that the benchmark reads the same double.
#pragma once

#include "runtime/input/Input.h"
#include "tests/support/ComObject.h"

#include <cstring>
#include <string>
#include <vector>

// The device calls a script can answer with a failure.
enum class DeviceCall : int {
    CreateDevice,
    GetDeviceInfo,
    SetDataFormat,
    SetCooperativeLevel,
    RangeX,
    RangeY,
    RangeZ,
    RangeRz,
    DeadZoneX,
    DeadZoneY,
    DeadZoneZ,
    DeadZoneRz,
    BufferSize,
    CreateSine,
    CreateConstantForce,
    SetEventNotification,
    Acquire,
    Unacquire,
    Poll,
    GetDeviceState,
    Count
};

// A force-feedback effect that remembers how it was made and played.
class FakeEffect final : public ComObject<FakeEffect, IDirectInputEffect> {
public:
    FakeEffect(const GUID& guid, const DIEFFECT& params) : guid(guid), params(params) {
        axes.assign(params.rgdwAxes, params.rgdwAxes + params.cAxes);
        directions.assign(params.rglDirection, params.rglDirection + params.cAxes);
        hasEnvelope = params.lpEnvelope != nullptr;
        if (hasEnvelope) envelope = *params.lpEnvelope;
        const uint8_t* specific = static_cast<const uint8_t*>(params.lpvTypeSpecificParams);
        typeSpecific.assign(specific, specific + params.cbTypeSpecificParams);
        // The pointers belong to the caller's stack: keep only the copies.
        this->params.rgdwAxes = nullptr;
        this->params.rglDirection = nullptr;
        this->params.lpEnvelope = nullptr;
        this->params.lpvTypeSpecificParams = nullptr;
    }

    GUID guid;
    DIEFFECT params;
    std::vector<DWORD> axes;
    std::vector<LONG> directions;
    bool hasEnvelope = false;
    DIENVELOPE envelope = {};
    std::vector<uint8_t> typeSpecific;
    int starts = 0;
    int stops = 0;
    bool playing = false;
    DWORD lastIterations = 0;
    DWORD lastFlags = 0;

    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
    STDMETHOD(GetEffectGuid)(LPGUID out) override {
        *out = guid;
        return DI_OK;
    }
    STDMETHOD(GetParameters)(LPDIEFFECT, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetParameters)(LPCDIEFFECT, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Start)(DWORD iterations, DWORD flags) override {
        ++starts;
        playing = true;
        lastIterations = iterations;
        lastFlags = flags;
        return DI_OK;
    }
    STDMETHOD(Stop)() override {
        ++stops;
        playing = false;
        return DI_OK;
    }
    STDMETHOD(GetEffectStatus)(LPDWORD status) override {
        *status = playing ? DIEGES_PLAYING : 0;
        return DI_OK;
    }
    STDMETHOD(Download)() override { return DI_OK; }
    STDMETHOD(Unload)() override { return DI_OK; }
    STDMETHOD(Escape)(LPDIEFFESCAPE) override { return E_NOTIMPL; }
};

// One property the device was given, as its header and value(s).
struct PropertyRecord {
    uintptr_t property; // the MAKEDIPROP number: 1 buffer size, 4 range, 5 dead zone
    DWORD size;
    DWORD headerSize;
    DWORD object;
    DWORD how;
    LONG first;  // range lMin, or the DWORD value
    LONG second; // range lMax
};

// A device of either generation (IDirectInputDevice8A extends 7A's table).
class FakeInputDevice final : public ComObject<FakeInputDevice, IDirectInputDevice8A> {
public:
    explicit FakeInputDevice(const GUID& instance, const char* instanceName = "Fake Pad",
                             const char* productName = "Fake Product")
        : instance(instance), instanceName(instanceName), productName(productName) {
        std::memset(&joyState, 0, sizeof joyState);
        std::memset(keys, 0, sizeof keys);
        std::memset(calls, 0, sizeof calls);
        std::memset(failuresLeft, 0, sizeof failuresLeft);
        std::memset(failureResults, 0, sizeof failureResults);
    }
    ~FakeInputDevice() {
        for (FakeEffect* effect : effects) effect->Release();
    }

    // Scripting ---------------------------------------------------------------

    // The next `times` calls (-1: every call) return result.
    void Fail(DeviceCall call, HRESULT result, int times = -1) {
        failuresLeft[int(call)] = times;
        failureResults[int(call)] = result;
    }
    int Calls(DeviceCall call) const { return calls[int(call)]; }
    // The device stops answering until it is acquired again.
    void Lose() {
        acquired = false;
        lost = true;
    }
    // Pulled out: not enumerated, reads lost, acquisition refused until it
    // is plugged in again.
    void Unplug() {
        attached = false;
        Lose();
    }
    void PlugIn() { attached = true; }
    void SignalData() { SetEvent(event); }
    void PressButton(int index) { joyState.rgbButtons[index] = 0x80; }

    GUID instance;
    std::string instanceName;
    std::string productName;
    DIJOYSTATE joyState;
    BYTE keys[256];
    bool acquired = false;
    bool lost = false;
    bool attached = true;
    bool keepHistory = true;
    HANDLE event = nullptr;
    HWND cooperativeWindow = nullptr;
    std::vector<DWORD> cooperativeLevels;
    LPCDIDATAFORMAT dataFormat = nullptr;
    DWORD deviceInfoSize = 0;
    std::vector<PropertyRecord> properties;
    std::vector<FakeEffect*> effects; // in creation order; the device keeps one reference
    std::vector<DeviceCall> history;  // every scripted call but the reads
    int calls[int(DeviceCall::Count)];
    int failuresLeft[int(DeviceCall::Count)];
    HRESULT failureResults[int(DeviceCall::Count)];

    // Counts the call and gives its scripted failure, or DI_OK.
    HRESULT Answer(DeviceCall call) {
        int i = int(call);
        ++calls[i];
        if (keepHistory && call != DeviceCall::Poll && call != DeviceCall::GetDeviceState) history.push_back(call);
        if (failuresLeft[i] == 0) return DI_OK;
        if (failuresLeft[i] > 0) --failuresLeft[i];
        return failureResults[i];
    }

    FakeEffect* Effect(const GUID& guid) const {
        for (FakeEffect* effect : effects) {
            if (IsEqualGUID(effect->guid, guid)) return effect;
        }
        return nullptr;
    }

    // The calls the runtime makes -----------------------------------------------
    STDMETHOD(SetProperty)(REFGUID property, LPCDIPROPHEADER header) override {
        uintptr_t id = uintptr_t(&property);
        PropertyRecord record = {id, header->dwSize, header->dwHeaderSize, header->dwObj, header->dwHow, 0, 0};
        if (id == uintptr_t(&DIPROP_RANGE)) {
            const DIPROPRANGE* range = reinterpret_cast<const DIPROPRANGE*>(header);
            record.first = range->lMin;
            record.second = range->lMax;
        } else {
            record.first = LONG(reinterpret_cast<const DIPROPDWORD*>(header)->dwData);
        }
        properties.push_back(record);
        return Answer(PropertyCall(id, header->dwObj));
    }
    STDMETHOD(Acquire)() override {
        HRESULT result = Answer(DeviceCall::Acquire);
        if (result != DI_OK) return result;
        if (!attached) return DIERR_UNPLUGGED;
        if (acquired) return S_FALSE;
        acquired = true;
        lost = false;
        return DI_OK;
    }
    STDMETHOD(Unacquire)() override {
        HRESULT result = Answer(DeviceCall::Unacquire);
        if (result != DI_OK) return result;
        if (!acquired) return DI_NOEFFECT;
        acquired = false;
        return DI_OK;
    }
    STDMETHOD(GetDeviceState)(DWORD size, LPVOID data) override {
        HRESULT result = Answer(DeviceCall::GetDeviceState);
        if (result != DI_OK) return result;
        if (!acquired) return lost ? DIERR_INPUTLOST : DIERR_NOTACQUIRED;
        if (size == sizeof joyState) {
            std::memcpy(data, &joyState, sizeof joyState);
            return DI_OK;
        }
        if (size == sizeof keys) {
            std::memcpy(data, keys, sizeof keys);
            return DI_OK;
        }
        return DIERR_INVALIDPARAM;
    }
    STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT format) override {
        dataFormat = format;
        return Answer(DeviceCall::SetDataFormat);
    }
    STDMETHOD(SetEventNotification)(HANDLE notified) override {
        HRESULT result = Answer(DeviceCall::SetEventNotification);
        if (result == DI_OK || result == DI_POLLEDDEVICE) event = notified;
        return result;
    }
    STDMETHOD(SetCooperativeLevel)(HWND window, DWORD level) override {
        cooperativeWindow = window;
        cooperativeLevels.push_back(level);
        return Answer(DeviceCall::SetCooperativeLevel);
    }
    STDMETHOD(GetDeviceInfo)(LPDIDEVICEINSTANCEA info) override {
        deviceInfoSize = info->dwSize;
        info->guidInstance = instance;
        lstrcpynA(info->tszInstanceName, instanceName.c_str(), MAX_PATH);
        lstrcpynA(info->tszProductName, productName.c_str(), MAX_PATH);
        return Answer(DeviceCall::GetDeviceInfo);
    }
    STDMETHOD(CreateEffect)(REFGUID guid, LPCDIEFFECT params, LPDIRECTINPUTEFFECT* out, LPUNKNOWN) override {
        bool sine = IsEqualGUID(guid, GUID_Sine);
        HRESULT result = Answer(sine ? DeviceCall::CreateSine : DeviceCall::CreateConstantForce);
        if (result != DI_OK) {
            *out = nullptr;
            return result;
        }
        FakeEffect* effect = new FakeEffect(guid, *params);
        effects.push_back(effect);
        effect->AddRef();
        *out = effect;
        return DI_OK;
    }
    STDMETHOD(Poll)() override {
        Answer(DeviceCall::Poll);
        return DI_NOEFFECT;
    }

    // The rest of the interface: never called by the runtime --------------------
    STDMETHOD(GetCapabilities)(LPDIDEVCAPS) override { return E_NOTIMPL; }
    STDMETHOD(EnumObjects)(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetProperty)(REFGUID, LPDIPROPHEADER) override { return E_NOTIMPL; }
    STDMETHOD(GetDeviceData)(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetObjectInfo)(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return E_NOTIMPL; }
    STDMETHOD(EnumEffects)(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetEffectInfo)(LPDIEFFECTINFOA, REFGUID) override { return E_NOTIMPL; }
    STDMETHOD(GetForceFeedbackState)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(SendForceFeedbackCommand)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumCreatedEffectObjects)(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHOD(Escape)(LPDIEFFESCAPE) override { return E_NOTIMPL; }
    STDMETHOD(SendDeviceData)(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumEffectsInFile)(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(WriteEffectToFile)(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(BuildActionMap)(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetActionMap)(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetImageInfo)(LPDIDEVICEIMAGEINFOHEADERA) override { return E_NOTIMPL; }

private:
    static DeviceCall PropertyCall(uintptr_t id, DWORD offset) {
        static const DeviceCall ranges[] = {DeviceCall::RangeX, DeviceCall::RangeY, DeviceCall::RangeZ};
        static const DeviceCall deadZones[] = {DeviceCall::DeadZoneX, DeviceCall::DeadZoneY, DeviceCall::DeadZoneZ};
        bool range = id == uintptr_t(&DIPROP_RANGE);
        if (id == uintptr_t(&DIPROP_BUFFERSIZE)) return DeviceCall::BufferSize;
        if (offset == DIJOFS_RZ) return range ? DeviceCall::RangeRz : DeviceCall::DeadZoneRz;
        DWORD axis = offset / sizeof(LONG);
        if (axis > 2) axis = 2;
        return range ? ranges[axis] : deadZones[axis];
    }
};

class FakeDirectInputSystem;

// The process-wide system the creation seam hands out; tests set it.
inline FakeDirectInputSystem*& ActiveFakeSystem() {
    static FakeDirectInputSystem* system = nullptr;
    return system;
}

// The machine: its game controllers, its system mouse and keyboard, and
// what CoCreateInstance and Initialize answer for each generation.
class FakeDirectInputSystem {
public:
    FakeDirectInputSystem()
        : mouse(new FakeInputDevice(GUID_SysMouse, "Mouse", "Mouse")),
          keyboard(new FakeInputDevice(GUID_SysKeyboard, "Keyboard", "Keyboard")) {}
    ~FakeDirectInputSystem() {
        for (FakeInputDevice* controller : controllers) controller->Release();
        mouse->Release();
        keyboard->Release();
    }
    FakeDirectInputSystem(const FakeDirectInputSystem&) = delete;
    FakeDirectInputSystem& operator=(const FakeDirectInputSystem&) = delete;

    // Attaches one more controller, reported after the ones before it (while
    // it stays plugged in).
    FakeInputDevice* AddController(const char* name = "Fake Pad") {
        GUID instance = {0x1000u + unsigned(controllers.size()), 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
        FakeInputDevice* device = new FakeInputDevice(instance, name, "Fake Product");
        controllers.push_back(device);
        return device;
    }

    FakeInputDevice* Find(REFGUID guid) {
        if (IsEqualGUID(guid, GUID_SysMouse)) return mouse;
        if (IsEqualGUID(guid, GUID_SysKeyboard)) return keyboard;
        for (FakeInputDevice* controller : controllers) {
            if (IsEqualGUID(guid, controller->instance)) return controller;
        }
        return nullptr;
    }

    // The device for guid with one more reference, or the device's scripted failure.
    HRESULT Hand(REFGUID guid, IDirectInputDevice8A** out) {
        *out = nullptr;
        FakeInputDevice* device = Find(guid);
        if (device == nullptr) return DIERR_DEVICENOTREG;
        HRESULT result = device->Answer(DeviceCall::CreateDevice);
        if (result != DI_OK) return result;
        device->AddRef();
        *out = device;
        return DI_OK;
    }

    HRESULT Enumerate(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) {
        ++enumerations;
        enumeratedType = type;
        enumeratedFlags = flags;
        for (FakeInputDevice* controller : controllers) {
            if (!controller->attached) continue;
            DIDEVICEINSTANCEA instance;
            std::memset(&instance, 0, sizeof instance);
            instance.dwSize = sizeof instance;
            instance.guidInstance = controller->instance;
            lstrcpynA(instance.tszInstanceName, controller->instanceName.c_str(), MAX_PATH);
            lstrcpynA(instance.tszProductName, controller->productName.c_str(), MAX_PATH);
            ++callbacks;
            if (callback(&instance, context) == DIENUM_STOP) break;
        }
        return DI_OK;
    }

    // The creation seam.
    static HRESULT Create(REFCLSID clsid, REFIID iid, void** object);

    std::vector<FakeInputDevice*> controllers;
    FakeInputDevice* mouse;
    FakeInputDevice* keyboard;
    HRESULT createResult[2] = {S_OK, S_OK};     // CoCreateInstance for 7 and 8
    HRESULT initializeResult[2] = {S_OK, S_OK}; // Initialize for 7 and 8
    DWORD initializedVersion[2] = {0, 0};
    int creations[2] = {0, 0};
    int liveInterfaces = 0;        // interfaces handed out and not yet released
    int deviceCreationsEx = 0;     // CreateDeviceEx with IID_IDirectInputDevice7A
    int deviceCreations8 = 0;      // IDirectInput8A::CreateDevice
    int enumerations = 0;
    int callbacks = 0;
    DWORD enumeratedType = 0;
    DWORD enumeratedFlags = 0;
};

class FakeDirectInput7 final : public ComObject<FakeDirectInput7, IDirectInput7A> {
public:
    explicit FakeDirectInput7(FakeDirectInputSystem& system) : system_(system) { ++system_.liveInterfaces; }
    ~FakeDirectInput7() { --system_.liveInterfaces; }

    STDMETHOD(CreateDevice)(REFGUID, LPDIRECTINPUTDEVICEA*, LPUNKNOWN) override { return E_NOTIMPL; }
    STDMETHOD(EnumDevices)(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) override {
        return system_.Enumerate(type, callback, context, flags);
    }
    STDMETHOD(GetDeviceStatus)(REFGUID) override { return E_NOTIMPL; }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD version) override {
        system_.initializedVersion[0] = version;
        return system_.initializeResult[0];
    }
    STDMETHOD(FindDevice)(REFGUID, LPCSTR, LPGUID) override { return E_NOTIMPL; }
    STDMETHOD(CreateDeviceEx)(REFGUID guid, REFIID iid, LPVOID* out, LPUNKNOWN) override {
        *out = nullptr;
        if (!IsEqualGUID(iid, IID_IDirectInputDevice7A)) return E_NOINTERFACE;
        ++system_.deviceCreationsEx;
        IDirectInputDevice8A* device = nullptr;
        HRESULT result = system_.Hand(guid, &device);
        *out = static_cast<IDirectInputDevice7A*>(device);
        return result;
    }

private:
    FakeDirectInputSystem& system_;
};

class FakeDirectInput8 final : public ComObject<FakeDirectInput8, IDirectInput8A> {
public:
    explicit FakeDirectInput8(FakeDirectInputSystem& system) : system_(system) { ++system_.liveInterfaces; }
    ~FakeDirectInput8() { --system_.liveInterfaces; }

    STDMETHOD(CreateDevice)(REFGUID guid, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN) override {
        ++system_.deviceCreations8;
        return system_.Hand(guid, out);
    }
    STDMETHOD(EnumDevices)(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) override {
        return system_.Enumerate(type, callback, context, flags);
    }
    STDMETHOD(GetDeviceStatus)(REFGUID) override { return E_NOTIMPL; }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD version) override {
        system_.initializedVersion[1] = version;
        return system_.initializeResult[1];
    }
    STDMETHOD(FindDevice)(REFGUID, LPCSTR, LPGUID) override { return E_NOTIMPL; }
    STDMETHOD(EnumDevicesBySemantics)(LPCSTR, LPDIACTIONFORMATA, LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID,
                                      DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHOD(ConfigureDevices)(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSA, DWORD, LPVOID) override {
        return E_NOTIMPL;
    }

private:
    FakeDirectInputSystem& system_;
};

inline HRESULT FakeDirectInputSystem::Create(REFCLSID clsid, REFIID iid, void** object) {
    *object = nullptr;
    FakeDirectInputSystem* system = ActiveFakeSystem();
    if (system == nullptr) return REGDB_E_CLASSNOTREG;
    int generation = IsEqualGUID(clsid, CLSID_DirectInput8) ? 1 : 0;
    ++system->creations[generation];
    if (FAILED(system->createResult[generation])) return system->createResult[generation];
    if (generation == 0 && IsEqualGUID(clsid, CLSID_DirectInput) && IsEqualGUID(iid, IID_IDirectInput7A)) {
        *object = static_cast<IDirectInput7A*>(new FakeDirectInput7(*system));
        return S_OK;
    }
    if (generation == 1 && IsEqualGUID(iid, IID_IDirectInput8A)) {
        *object = static_cast<IDirectInput8A*>(new FakeDirectInput8(*system));
        return S_OK;
    }
    return E_NOINTERFACE;
}

// winmm joysticks 0..15: the first `answering` numbers answer joyGetDevCapsA.
struct FakeJoysticks {
    int answering = 0;
    UINT caps[16] = {};
    std::string names[16]; // szPname
    MMRESULT positionResult[16] = {};
    JOYINFOEX positions[16] = {};
    int capsCalls = 0;
    UINT capsSize = 0;
    int positionCalls[16] = {};
    DWORD positionSize = 0;
    DWORD positionFlags = 0;
};

inline FakeJoysticks*& ActiveFakeJoysticks() {
    static FakeJoysticks* joysticks = nullptr;
    return joysticks;
}

inline MMRESULT WINAPI FakeJoyGetDevCaps(UINT_PTR joystick, LPJOYCAPSA caps, UINT size) {
    FakeJoysticks& fake = *ActiveFakeJoysticks();
    ++fake.capsCalls;
    fake.capsSize = size;
    if (joystick >= 16 || int(joystick) >= fake.answering) return JOYERR_PARMS;
    caps->wCaps = fake.caps[joystick];
    lstrcpynA(caps->szPname, fake.names[joystick].c_str(), MAXPNAMELEN);
    return JOYERR_NOERROR;
}

inline MMRESULT WINAPI FakeJoyGetPosEx(UINT joystick, LPJOYINFOEX info) {
    FakeJoysticks& fake = *ActiveFakeJoysticks();
    if (joystick >= 16) return JOYERR_PARMS;
    ++fake.positionCalls[joystick];
    fake.positionSize = info->dwSize;
    fake.positionFlags = info->dwFlags;
    if (fake.positionResult[joystick] != JOYERR_NOERROR) return fake.positionResult[joystick];
    JOYINFOEX answer = fake.positions[joystick];
    answer.dwSize = info->dwSize;
    answer.dwFlags = info->dwFlags;
    *info = answer;
    return JOYERR_NOERROR;
}

inline const JoystickFunctionTable FakeJoystickFunctions = {FakeJoyGetDevCaps, FakeJoyGetPosEx};
