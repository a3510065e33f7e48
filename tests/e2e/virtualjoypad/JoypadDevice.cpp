#include "JoypadDevice.h"

#include "../../support/ComObject.h"

#include <cstdio>
#include <new>

volatile LONG VirtualJoypadObjectCount;

// {7A3C2E10-5B1D-4C8E-9F21-0A6B3D4E5F01}
const GUID VirtualJoypadInstanceGuid = {0x7a3c2e10, 0x5b1d, 0x4c8e, {0x9f, 0x21, 0x0a, 0x6b, 0x3d, 0x4e, 0x5f, 0x01}};
// Product GUIDs of game controllers carry the vendor and product id in their
// first DWORD and "PIDVID" at the end; ours is a made-up 0x1209/0x0001.
const GUID VirtualJoypadProductGuid = {0x00011209, 0x0000, 0x0000, {0x00, 0x00, 0x50, 0x49, 0x44, 0x56, 0x49, 0x44}};

bool IsVirtualJoypadGuid(REFGUID guid) {
    return IsEqualGUID(guid, VirtualJoypadInstanceGuid) || IsEqualGUID(guid, VirtualJoypadProductGuid);
}

namespace {

// The controller's objects: four axes (X, Y, Z, Rz, as on a common gamepad
// with two sticks) and 32 buttons, at their DIJOYSTATE offsets.
struct JoypadObject {
    const GUID* type;
    DWORD offset;
    DWORD typeFlags; // DIDFT_ABSAXIS or DIDFT_PSHBUTTON
    DWORD instance;
    const char* name;
};

constexpr int AxisCount = 4;
const JoypadObject Axes[AxisCount] = {
    {&GUID_XAxis, DIJOFS_X, DIDFT_ABSAXIS, 0, "X Axis"},
    {&GUID_YAxis, DIJOFS_Y, DIDFT_ABSAXIS, 1, "Y Axis"},
    {&GUID_ZAxis, DIJOFS_Z, DIDFT_ABSAXIS, 2, "Z Axis"},
    {&GUID_RzAxis, DIJOFS_RZ, DIDFT_ABSAXIS, 3, "Z Rotation"},
};
constexpr int ObjectCount = AxisCount + VirtualJoypadButtonCount;

JoypadObject ObjectAt(int index) {
    if (index < AxisCount) return Axes[index];
    int button = index - AxisCount;
    static char names[VirtualJoypadButtonCount][16];
    std::snprintf(names[button], sizeof names[button], "Button %d", button);
    return {&GUID_Button, DWORD(DIJOFS_BUTTON(button)), DIDFT_PSHBUTTON, DWORD(button), names[button]};
}

DWORD ObjectTypeId(const JoypadObject& object) {
    return object.typeFlags | DIDFT_MAKEINSTANCE(object.instance);
}

// The object that dwObj names under dwHow, or -1.
int FindObject(DWORD obj, DWORD how) {
    for (int i = 0; i < ObjectCount; ++i) {
        JoypadObject object = ObjectAt(i);
        if (how == DIPH_BYOFFSET && object.offset == obj) return i;
        if (how == DIPH_BYID && ObjectTypeId(object) == obj) return i;
    }
    return -1;
}

bool FillObjectInstance(DIDEVICEOBJECTINSTANCEA& out, const JoypadObject& object) {
    DWORD size = out.dwSize;
    if (size != sizeof(DIDEVICEOBJECTINSTANCEA) && size != sizeof(DIDEVICEOBJECTINSTANCE_DX3A)) return false;
    ZeroMemory(&out, size);
    out.dwSize = size;
    out.guidType = *object.type;
    out.dwOfs = object.offset;
    out.dwType = ObjectTypeId(object);
    out.dwFlags = object.typeFlags == DIDFT_ABSAXIS ? DIDOI_ASPECTPOSITION : 0;
    lstrcpynA(out.tszName, object.name, MAX_PATH);
    return true;
}

// The property a REFGUID names: DirectInput passes small integers cast to
// GUID references for its predefined properties.
ULONG_PTR PropertyId(REFGUID guid) {
    return reinterpret_cast<ULONG_PTR>(&guid);
}
constexpr ULONG_PTR PropertyRange = 4;    // DIPROP_RANGE
constexpr ULONG_PTR PropertyDeadZone = 5; // DIPROP_DEADZONE
constexpr ULONG_PTR PropertyBufferSize = 1;

class JoypadDevice final : public ComObject<JoypadDevice, IDirectInputDevice8A> {
public:
    explicit JoypadDevice(DWORD version) : version_(version) {
        InitializeCriticalSection(&lock_);
        block_ = OpenVirtualJoypadBlock(mapping_);
        for (int i = 0; i < AxisCount; ++i) {
            rangeMin_[i] = 0;
            rangeMax_[i] = 65535;
            deadZone_[i] = 0;
        }
        if (block_) {
            InterlockedIncrement(&block_->devicesOpen);
            lastSequence_ = block_->sequence;
            attachment_ = block_->attachments;
        }
        stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        watcher_ = CreateThread(nullptr, 0, WatchThread, this, 0, nullptr);
        InterlockedIncrement(&VirtualJoypadObjectCount);
    }

    bool Valid() const { return block_ && stopEvent_ && watcher_; }

    // IDirectInputDeviceA
    STDMETHODIMP GetCapabilities(LPDIDEVCAPS caps) override {
        if (!caps) return E_POINTER;
        DWORD size = caps->dwSize;
        if (size != sizeof(DIDEVCAPS) && size != sizeof(DIDEVCAPS_DX3)) return DIERR_INVALIDPARAM;
        ZeroMemory(caps, size);
        caps->dwSize = size;
        caps->dwFlags = Gone() ? 0 : DIDC_ATTACHED; // and no DIDC_FORCEFEEDBACK: no effects to play
        caps->dwDevType = DeviceType();
        caps->dwAxes = AxisCount;
        caps->dwButtons = VirtualJoypadButtonCount;
        caps->dwPOVs = 0;
        return DI_OK;
    }
    STDMETHODIMP EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, LPVOID context, DWORD flags) override {
        if (!callback) return DIERR_INVALIDPARAM;
        for (int i = 0; i < ObjectCount; ++i) {
            JoypadObject object = ObjectAt(i);
            bool wanted = flags == DIDFT_ALL || (flags & DIDFT_AXIS & object.typeFlags) ||
                          (flags & DIDFT_BUTTON & object.typeFlags);
            if (!wanted) continue;
            DIDEVICEOBJECTINSTANCEA instance;
            instance.dwSize = sizeof instance;
            FillObjectInstance(instance, object);
            if (callback(&instance, context) == DIENUM_STOP) break;
        }
        return DI_OK;
    }
    STDMETHODIMP GetProperty(REFGUID property, LPDIPROPHEADER header) override {
        int axis = -1;
        HRESULT checked = CheckAxisProperty(property, header, axis);
        if (checked != DI_OK) return checked;
        if (axis < 0) axis = 0; // the device as a whole answers with its first axis
        if (PropertyId(property) == PropertyRange) {
            auto* range = reinterpret_cast<DIPROPRANGE*>(header);
            range->lMin = rangeMin_[axis];
            range->lMax = rangeMax_[axis];
        } else {
            reinterpret_cast<DIPROPDWORD*>(header)->dwData = deadZone_[axis];
        }
        return DI_OK;
    }
    STDMETHODIMP SetProperty(REFGUID property, LPCDIPROPHEADER header) override {
        if (PropertyId(property) == PropertyBufferSize) return DI_OK; // no buffered data is kept
        int axis = -1;
        HRESULT checked = CheckAxisProperty(property, header, axis);
        if (checked != DI_OK) return checked;
        for (int i = 0; i < AxisCount; ++i) {
            if (axis >= 0 && i != axis) continue;
            if (PropertyId(property) == PropertyRange) {
                const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
                if (range->lMin >= range->lMax) return DIERR_INVALIDPARAM;
                rangeMin_[i] = range->lMin;
                rangeMax_[i] = range->lMax;
            } else {
                DWORD zone = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
                if (zone > 10000) return DIERR_INVALIDPARAM;
                deadZone_[i] = zone;
            }
        }
        return DI_OK;
    }
    STDMETHODIMP Acquire() override {
        if (!dataFormatSet_) return DIERR_INVALIDPARAM;
        if (Gone()) return DIERR_UNPLUGGED;
        EnterCriticalSection(&lock_);
        bool already = acquired_;
        acquired_ = true;
        LeaveCriticalSection(&lock_);
        if (already) return DI_NOEFFECT;
        InterlockedIncrement(&block_->acquired);
        return DI_OK;
    }
    STDMETHODIMP Unacquire() override { return DropAcquisition() ? DI_OK : DI_NOEFFECT; }
    STDMETHODIMP GetDeviceState(DWORD size, LPVOID data) override {
        if (!data) return E_POINTER;
        if (Gone()) {
            // As the platform's device of an unplugged controller: the read
            // fails and the acquisition is lost with it.
            DropAcquisition();
            InterlockedIncrement(&block_->failedReads);
            return DIERR_INPUTLOST;
        }
        if (!acquired_) return DIERR_NOTACQUIRED;
        if (size != sizeof(DIJOYSTATE)) return DIERR_INVALIDPARAM;
        DIJOYSTATE state;
        LONG sequence = ReadVirtualJoypadState(block_, state);
        CopyMemory(data, &state, sizeof state);
        InterlockedExchange(&block_->readSequence, sequence);
        InterlockedIncrement(&block_->readCount);
        return DI_OK;
    }
    STDMETHODIMP GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return DIERR_NOTBUFFERED; }
    STDMETHODIMP SetDataFormat(LPCDIDATAFORMAT format) override {
        if (acquired_) return DIERR_ACQUIRED;
        // Only the standard joystick layout: the state is kept as a DIJOYSTATE.
        if (!format || format->dwSize != sizeof(DIDATAFORMAT) || format->dwDataSize != sizeof(DIJOYSTATE))
            return DIERR_INVALIDPARAM;
        dataFormatSet_ = true;
        return DI_OK;
    }
    STDMETHODIMP SetEventNotification(HANDLE event) override {
        if (acquired_) return DIERR_ACQUIRED;
        EnterCriticalSection(&lock_);
        notifyEvent_ = event;
        LeaveCriticalSection(&lock_);
        return DI_OK;
    }
    STDMETHODIMP SetCooperativeLevel(HWND window, DWORD flags) override {
        if (acquired_) return DIERR_ACQUIRED;
        bool exclusive = flags & DISCL_EXCLUSIVE, nonExclusive = flags & DISCL_NONEXCLUSIVE;
        bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
        if (exclusive == nonExclusive || foreground == background) return DIERR_INVALIDPARAM;
        // Like the platform: exclusive or foreground use needs a live top-level window.
        if (exclusive || foreground) {
            if (!window || !IsWindow(window)) return E_HANDLE;
            if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) return E_HANDLE;
        }
        return DI_OK;
    }
    STDMETHODIMP GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA instance, DWORD obj, DWORD how) override {
        if (!instance) return E_POINTER;
        int index = FindObject(obj, how);
        if (index < 0) return DIERR_OBJECTNOTFOUND;
        return FillObjectInstance(*instance, ObjectAt(index)) ? DI_OK : DIERR_INVALIDPARAM;
    }
    STDMETHODIMP GetDeviceInfo(LPDIDEVICEINSTANCEA instance) override {
        if (!instance) return E_POINTER;
        return FillVirtualJoypadInstance(*instance, version_, block_) ? DI_OK : DIERR_INVALIDPARAM;
    }
    STDMETHODIMP RunControlPanel(HWND, DWORD) override { return DI_OK; }
    STDMETHODIMP Initialize(HINSTANCE, DWORD, REFGUID guid) override {
        return IsVirtualJoypadGuid(guid) ? DI_OK : DIERR_DEVICENOTREG;
    }

    // IDirectInputDevice2A: no force feedback, so every effect call refuses.
    STDMETHODIMP CreateEffect(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT* effect, LPUNKNOWN) override {
        if (effect) *effect = nullptr;
        return DIERR_UNSUPPORTED;
    }
    STDMETHODIMP EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return DI_OK; }
    STDMETHODIMP GetEffectInfo(LPDIEFFECTINFOA, REFGUID) override { return DIERR_DEVICENOTREG; }
    STDMETHODIMP GetForceFeedbackState(LPDWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHODIMP SendForceFeedbackCommand(DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHODIMP EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override {
        return DI_OK;
    }
    STDMETHODIMP Escape(LPDIEFFESCAPE) override { return DIERR_UNSUPPORTED; }
    STDMETHODIMP Poll() override {
        if (Gone()) {
            DropAcquisition();
            return DIERR_INPUTLOST;
        }
        if (!acquired_) return DIERR_NOTACQUIRED;
        NotifyIfChanged();
        return DI_NOEFFECT; // an interrupt-driven device: nothing to poll
    }
    STDMETHODIMP SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override {
        return DIERR_UNSUPPORTED;
    }

    // IDirectInputDevice7A
    STDMETHODIMP EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override {
        return DIERR_UNSUPPORTED;
    }
    STDMETHODIMP WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return DIERR_UNSUPPORTED; }

    // IDirectInputDevice8A
    STDMETHODIMP BuildActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHODIMP SetActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHODIMP GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA) override { return DIERR_UNSUPPORTED; }

private:
    friend ComObject;
    ~JoypadDevice() {
        if (watcher_) {
            SetEvent(stopEvent_);
            WaitForSingleObject(watcher_, INFINITE);
            CloseHandle(watcher_);
        }
        if (stopEvent_) CloseHandle(stopEvent_);
        if (block_) {
            if (acquired_) InterlockedDecrement(&block_->acquired);
            InterlockedDecrement(&block_->devicesOpen);
        }
        CloseVirtualJoypadBlock(block_, mapping_);
        DeleteCriticalSection(&lock_);
        InterlockedDecrement(&VirtualJoypadObjectCount);
    }

    bool Answers(REFIID iid) const {
        if (IsOneOfIids(iid, IID_IUnknown, IID_IDirectInputDeviceA, IID_IDirectInputDevice2A,
                        IID_IDirectInputDevice7A))
            return true;
        return version_ >= 0x0800 && IsEqualIID(iid, IID_IDirectInputDevice8A);
    }

    DWORD DeviceType() const {
        if (version_ >= 0x0800) return DI8DEVTYPE_GAMEPAD | (DI8DEVTYPEGAMEPAD_STANDARD << 8);
        return DIDEVTYPE_JOYSTICK | (DIDEVTYPEJOYSTICK_GAMEPAD << 8);
    }

    // Range and dead zone are the two properties kept per axis; `axis` is -1
    // for the whole device.
    HRESULT CheckAxisProperty(REFGUID property, LPCDIPROPHEADER header, int& axis) const {
        ULONG_PTR id = PropertyId(property);
        if (id != PropertyRange && id != PropertyDeadZone) return DIERR_UNSUPPORTED;
        if (!header) return E_POINTER;
        DWORD wanted = id == PropertyRange ? sizeof(DIPROPRANGE) : sizeof(DIPROPDWORD);
        if (header->dwSize != wanted || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
        axis = -1;
        if (header->dwHow == DIPH_DEVICE) return header->dwObj == 0 ? DI_OK : DIERR_INVALIDPARAM;
        int index = FindObject(header->dwObj, header->dwHow);
        if (index < 0) return DIERR_OBJECTNOTFOUND;
        if (index >= AxisCount) return DIERR_UNSUPPORTED; // buttons have neither
        axis = index;
        return DI_OK;
    }

    // Unplugged now, or since this device was made: a controller plugged
    // back in is a new device.
    bool Gone() const { return block_->detached != 0 || block_->attachments != attachment_; }

    // true when the device was acquired.
    bool DropAcquisition() {
        EnterCriticalSection(&lock_);
        bool was = acquired_;
        acquired_ = false;
        LeaveCriticalSection(&lock_);
        if (was) InterlockedDecrement(&block_->acquired);
        return was;
    }

    // Signals the application's event when the test has changed the state
    // since the last signal, as the platform does on new data; a gone
    // controller sends nothing.
    void NotifyIfChanged() {
        if (Gone()) return;
        LONG sequence = block_->sequence;
        if (sequence & 1) return; // the writer is still at work; its end counts
        EnterCriticalSection(&lock_);
        if (sequence != lastSequence_ && acquired_ && notifyEvent_) {
            lastSequence_ = sequence;
            SetEvent(notifyEvent_);
            InterlockedIncrement(&block_->notifications);
        }
        LeaveCriticalSection(&lock_);
    }

    // A millisecond watch is enough: the application reads at most once per
    // millisecond anyway, and a signal only lets it read again sooner.
    static DWORD WINAPI WatchThread(void* self) {
        auto* device = static_cast<JoypadDevice*>(self);
        while (WaitForSingleObject(device->stopEvent_, 1) == WAIT_TIMEOUT) device->NotifyIfChanged();
        return 0;
    }

    DWORD version_;
    CRITICAL_SECTION lock_;     // guards acquired_, notifyEvent_, lastSequence_ against the watcher
    HANDLE mapping_ = nullptr;
    VirtualJoypadBlock* block_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    HANDLE watcher_ = nullptr;
    volatile bool acquired_ = false;
    bool dataFormatSet_ = false;
    HANDLE notifyEvent_ = nullptr;
    LONG lastSequence_ = 0;
    LONG attachment_ = 0;       // the block's attachments when the device was made
    LONG rangeMin_[AxisCount];
    LONG rangeMax_[AxisCount];
    DWORD deadZone_[AxisCount];
};

} // namespace

bool FillVirtualJoypadInstance(DIDEVICEINSTANCEA& instance, DWORD version, const VirtualJoypadBlock* block) {
    DWORD size = instance.dwSize;
    if (size != sizeof(DIDEVICEINSTANCEA) && size != sizeof(DIDEVICEINSTANCE_DX3A)) return false;
    ZeroMemory(&instance, size);
    instance.dwSize = size;
    instance.guidInstance = VirtualJoypadInstanceGuid;
    instance.guidProduct = VirtualJoypadProductGuid;
    instance.dwDevType = version >= 0x0800 ? DI8DEVTYPE_GAMEPAD | (DI8DEVTYPEGAMEPAD_STANDARD << 8)
                                           : DIDEVTYPE_JOYSTICK | (DIDEVTYPEJOYSTICK_GAMEPAD << 8);
    lstrcpynA(instance.tszInstanceName, VirtualJoypadInstanceName, MAX_PATH);
    lstrcpynA(instance.tszProductName, VirtualJoypadProductName, MAX_PATH);
    // The ANSI interfaces give the platform's UTF-16 name in the ANSI code
    // page, as Windows' DirectInput does.
    if (block && block->productName[0] != L'\0') {
        wchar_t name[MAX_PATH];
        lstrcpynW(name, block->productName, MAX_PATH);
        WideCharToMultiByte(CP_ACP, 0, name, -1, instance.tszProductName, MAX_PATH, nullptr, nullptr);
        instance.tszProductName[MAX_PATH - 1] = '\0';
    }
    return true;
}

HRESULT CreateVirtualJoypadDevice(DWORD version, REFIID iid, void** device) {
    if (!device) return E_POINTER;
    *device = nullptr;
    auto* joypad = new (std::nothrow) JoypadDevice(version);
    if (!joypad) return E_OUTOFMEMORY;
    HRESULT result = joypad->Valid() ? joypad->QueryInterface(iid, device) : E_FAIL;
    joypad->Release();
    return result;
}
