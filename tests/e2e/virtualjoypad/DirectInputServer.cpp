// The in-process server of the DirectInput 7 and 8 class ids for end-to-end
// tests. Its DirectInput objects add the virtual controller to what the
// platform's own DirectInput offers: the controller is the only game
// controller they enumerate, and every other device (the system keyboard and
// mouse) comes from the real DirectInput, which the objects create through
// its plain entry points DirectInputCreateEx and DirectInput8Create. Those do
// not go through COM, so this server is never asked for itself.
#include "JoypadDevice.h"

#include "../../support/ComObject.h"

#include <new>

namespace {

volatile LONG ServerLockCount;

// Game controllers of either DirectInput generation's device types.
bool IsGameController(DWORD devType, DWORD version) {
    BYTE type = GET_DIDEVICE_TYPE(devType);
    if (version >= 0x0800) return type >= DI8DEVTYPE_JOYSTICK && type <= DI8DEVTYPE_1STPERSON;
    return type == DIDEVTYPE_JOYSTICK;
}

// Whether an EnumDevices filter takes in the virtual controller, and whether
// it can match any device that is not a game controller.
bool FilterTakesController(DWORD filter, DWORD flags, DWORD version) {
    if (flags & DIEDFL_FORCEFEEDBACK) return false;
    if (filter == 0) return true;
    if (version >= 0x0800) return filter == DI8DEVCLASS_GAMECTRL || filter == DI8DEVTYPE_GAMEPAD;
    return filter == DIDEVTYPE_JOYSTICK;
}

bool FilterTakesOthers(DWORD filter, DWORD version) {
    if (filter == 0) return true;
    if (version >= 0x0800) return filter != DI8DEVCLASS_GAMECTRL && !IsGameController(filter, version);
    return filter != DIDEVTYPE_JOYSTICK;
}

// Passes the real DirectInput's devices on, leaving out its game controllers
// so that the virtual one is always pad 1.
struct EnumPassThrough {
    LPDIENUMDEVICESCALLBACKA callback;
    void* context;
    DWORD version;
};

BOOL CALLBACK PassOtherDevices(LPCDIDEVICEINSTANCEA instance, LPVOID pass) {
    auto* through = static_cast<EnumPassThrough*>(pass);
    if (IsGameController(instance->dwDevType, through->version)) return DIENUM_CONTINUE;
    return through->callback(instance, through->context);
}

// The enumeration both generations share; `real` is an IDirectInput7A or
// IDirectInput8A (the same method at the same place). Every enumeration that
// could report the controller is counted, found or not.
template <class Real>
HRESULT EnumDevicesWithJoypad(Real* real, const SharedJoypadBlock& block, DWORD version, DWORD filter,
                              LPDIENUMDEVICESCALLBACKA callback, void* context, DWORD flags) {
    if (!callback) return DIERR_INVALIDPARAM;
    bool takesController = FilterTakesController(filter, flags, version);
    if (takesController) block.CountEnumeration();
    // Unplugged, it is not reported, with or without DIEDFL_ATTACHEDONLY: a
    // controller the system has removed is not installed either.
    if (takesController && block.ControllerAttached()) {
        DIDEVICEINSTANCEA instance;
        instance.dwSize = sizeof instance;
        FillVirtualJoypadInstance(instance, version, block.Block());
        if (callback(&instance, context) == DIENUM_STOP) return DI_OK;
    }
    if (!FilterTakesOthers(filter, version)) return DI_OK;
    EnumPassThrough through{callback, context, version};
    return real->EnumDevices(filter, PassOtherDevices, &through, flags);
}

// The device status both generations share: the controller's follows its plug.
template <class Real>
HRESULT DeviceStatusWithJoypad(Real* real, const SharedJoypadBlock& block, REFGUID guid) {
    if (!real) return DIERR_NOTINITIALIZED;
    if (IsVirtualJoypadGuid(guid)) return block.ControllerAttached() ? DI_OK : DI_NOTATTACHED;
    return real->GetDeviceStatus(guid);
}

// The controller's own device, as both generations create it: never
// aggregated, and not while it is unplugged.
HRESULT CreateJoypadDevice(const SharedJoypadBlock& block, LPUNKNOWN outer, DWORD version, REFIID iid,
                           void** device) {
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!block.ControllerAttached()) return DIERR_DEVICENOTREG;
    return CreateVirtualJoypadDevice(version, iid, device);
}

// Loads the real DirectInput library and creates its object. The library is
// never freed: COM keeps a real server's library loaded after its objects
// are released, and freeing it here would stop DirectInput's own thread
// inside the runtime's StopInput, half a second under Wine that a run with
// the real server never waits.
template <class Real>
HRESULT CreateRealDirectInput(const char* library, const char* entry, HINSTANCE instance, DWORD version,
                              REFIID iid, Real*& real) {
    using CreateEntry = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);
    HMODULE module = LoadLibraryA(library);
    if (!module) return DIERR_GENERIC;
    auto create = reinterpret_cast<CreateEntry>(reinterpret_cast<void*>(GetProcAddress(module, entry)));
    HRESULT result = create ? create(instance, version, iid, reinterpret_cast<void**>(&real), nullptr)
                            : DIERR_GENERIC;
    if (FAILED(result)) real = nullptr;
    return result;
}

// What the two generations' objects keep: the real object.
template <class Real>
struct RealDirectInput {
    Real* real = nullptr;
    ~RealDirectInput() {
        if (real) real->Release();
    }
};

class DirectInput7 final : public ComObject<DirectInput7, IDirectInput7A> {
public:
    DirectInput7() { InterlockedIncrement(&VirtualJoypadObjectCount); }

    bool Answers(REFIID iid) const {
        return IsOneOfIids(iid, IID_IUnknown, IID_IDirectInputA, IID_IDirectInput2A, IID_IDirectInput7A);
    }

    STDMETHODIMP CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICEA* device, LPUNKNOWN outer) override {
        return CreateDeviceEx(guid, IID_IDirectInputDeviceA, reinterpret_cast<void**>(device), outer);
    }
    STDMETHODIMP EnumDevices(DWORD filter, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                             DWORD flags) override {
        if (!real_.real) return DIERR_NOTINITIALIZED;
        return EnumDevicesWithJoypad(real_.real, block_, version_, filter, callback, context, flags);
    }
    STDMETHODIMP GetDeviceStatus(REFGUID guid) override { return DeviceStatusWithJoypad(real_.real, block_, guid); }
    STDMETHODIMP RunControlPanel(HWND owner, DWORD flags) override {
        return real_.real ? real_.real->RunControlPanel(owner, flags) : DIERR_NOTINITIALIZED;
    }
    STDMETHODIMP Initialize(HINSTANCE instance, DWORD version) override {
        if (real_.real) return DI_OK;
        version_ = version;
        return CreateRealDirectInput("dinput.dll", "DirectInputCreateEx", instance, version, IID_IDirectInput7A,
                                     real_.real);
    }
    STDMETHODIMP FindDevice(REFGUID guid, LPCSTR name, LPGUID instance) override {
        return real_.real ? real_.real->FindDevice(guid, name, instance) : DIERR_NOTINITIALIZED;
    }
    STDMETHODIMP CreateDeviceEx(REFGUID guid, REFIID iid, LPVOID* device, LPUNKNOWN outer) override {
        if (!device) return E_POINTER;
        *device = nullptr;
        if (!real_.real) return DIERR_NOTINITIALIZED;
        if (IsVirtualJoypadGuid(guid)) return CreateJoypadDevice(block_, outer, version_, iid, device);
        return real_.real->CreateDeviceEx(guid, iid, device, outer);
    }

private:
    friend ComObject;
    ~DirectInput7() { InterlockedDecrement(&VirtualJoypadObjectCount); }

    DWORD version_ = 0x0700;
    RealDirectInput<IDirectInput7A> real_;
    SharedJoypadBlock block_;
};

class DirectInput8 final : public ComObject<DirectInput8, IDirectInput8A> {
public:
    DirectInput8() { InterlockedIncrement(&VirtualJoypadObjectCount); }

    bool Answers(REFIID iid) const { return IsOneOfIids(iid, IID_IUnknown, IID_IDirectInput8A); }

    STDMETHODIMP CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override {
        if (!device) return E_POINTER;
        *device = nullptr;
        if (!real_.real) return DIERR_NOTINITIALIZED;
        if (IsVirtualJoypadGuid(guid))
            return CreateJoypadDevice(block_, outer, 0x0800, IID_IDirectInputDevice8A,
                                      reinterpret_cast<void**>(device));
        return real_.real->CreateDevice(guid, device, outer);
    }
    STDMETHODIMP EnumDevices(DWORD filter, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                             DWORD flags) override {
        if (!real_.real) return DIERR_NOTINITIALIZED;
        return EnumDevicesWithJoypad(real_.real, block_, 0x0800, filter, callback, context, flags);
    }
    STDMETHODIMP GetDeviceStatus(REFGUID guid) override { return DeviceStatusWithJoypad(real_.real, block_, guid); }
    STDMETHODIMP RunControlPanel(HWND owner, DWORD flags) override {
        return real_.real ? real_.real->RunControlPanel(owner, flags) : DIERR_NOTINITIALIZED;
    }
    STDMETHODIMP Initialize(HINSTANCE instance, DWORD version) override {
        if (real_.real) return DI_OK;
        return CreateRealDirectInput("dinput8.dll", "DirectInput8Create", instance, version, IID_IDirectInput8A,
                                     real_.real);
    }
    STDMETHODIMP FindDevice(REFGUID guid, LPCSTR name, LPGUID instance) override {
        return real_.real ? real_.real->FindDevice(guid, name, instance) : DIERR_NOTINITIALIZED;
    }
    // Action mapping is passed through: the virtual controller takes no part.
    STDMETHODIMP EnumDevicesBySemantics(LPCSTR user, LPDIACTIONFORMATA format, LPDIENUMDEVICESBYSEMANTICSCBA callback,
                                        LPVOID context, DWORD flags) override {
        if (!real_.real) return DIERR_NOTINITIALIZED;
        return real_.real->EnumDevicesBySemantics(user, format, callback, context, flags);
    }
    STDMETHODIMP ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK callback, LPDICONFIGUREDEVICESPARAMSA parameters,
                                  DWORD flags, LPVOID context) override {
        if (!real_.real) return DIERR_NOTINITIALIZED;
        return real_.real->ConfigureDevices(callback, parameters, flags, context);
    }

private:
    friend ComObject;
    ~DirectInput8() { InterlockedDecrement(&VirtualJoypadObjectCount); }

    RealDirectInput<IDirectInput8A> real_;
    SharedJoypadBlock block_;
};

// One factory per class id; CoCreateInstance asks it for an uninitialised
// object, which the application then initialises with its version.
class Factory final : public ComObject<Factory, IClassFactory> {
public:
    explicit Factory(DWORD version) : version_(version) { InterlockedIncrement(&VirtualJoypadObjectCount); }

    bool Answers(REFIID iid) const { return IsOneOfIids(iid, IID_IUnknown, IID_IClassFactory); }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        IUnknown* created = version_ >= 0x0800 ? static_cast<IUnknown*>(new (std::nothrow) DirectInput8)
                                               : static_cast<IUnknown*>(new (std::nothrow) DirectInput7);
        if (!created) return E_OUTOFMEMORY;
        HRESULT result = created->QueryInterface(iid, object);
        created->Release();
        return result;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            InterlockedIncrement(&ServerLockCount);
        else
            InterlockedDecrement(&ServerLockCount);
        return S_OK;
    }

private:
    friend ComObject;
    ~Factory() { InterlockedDecrement(&VirtualJoypadObjectCount); }

    DWORD version_;
};

} // namespace

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    DWORD version;
    if (IsEqualCLSID(classId, CLSID_DirectInput))
        version = 0x0700;
    else if (IsEqualCLSID(classId, CLSID_DirectInput8))
        version = 0x0800;
    else
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) Factory(version);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

STDAPI DllCanUnloadNow() {
    return VirtualJoypadObjectCount == 0 && ServerLockCount == 0 ? S_OK : S_FALSE;
}
