// The virtual joypad's DirectInput server, loaded into this test program
// through COM as the tool loads it: both class ids, the controller it
// enumerates, the state it reports and the event it signals, and the system
// keyboard that still comes from the platform's DirectInput.
#include "driver/JoypadPlayer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Found {
    int controllers = 0;
    GUID instance{};
    std::string name;
};

BOOL CALLBACK CountController(LPCDIDEVICEINSTANCEA instance, LPVOID context) {
    auto* found = static_cast<Found*>(context);
    ++found->controllers;
    found->instance = instance->guidInstance;
    found->name = instance->tszInstanceName;
    return DIENUM_CONTINUE;
}

// One DirectInput generation as the runtime uses it: created through COM,
// initialised with its version, devices made by CreateDeviceEx (7) or
// CreateDevice (8). Both device interfaces share the 7A methods used here.
struct Generation {
    const char* name;
    HRESULT (*create)(IUnknown*& directInput);
    DWORD controllerFilter;
    HRESULT (*createDevice)(IUnknown* directInput, REFGUID guid, IDirectInputDevice7A*& device);
    HRESULT (*enumDevices)(IUnknown* directInput, DWORD filter, Found& found);
};

HRESULT Create7(IUnknown*& directInput) {
    IDirectInput7A* object = nullptr;
    HRESULT result = CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7A,
                                      reinterpret_cast<void**>(&object));
    if (FAILED(result)) return result;
    directInput = object;
    return object->Initialize(GetModuleHandleA(nullptr), 0x0700);
}

HRESULT Create8(IUnknown*& directInput) {
    IDirectInput8A* object = nullptr;
    HRESULT result = CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput8A,
                                      reinterpret_cast<void**>(&object));
    if (FAILED(result)) return result;
    directInput = object;
    return object->Initialize(GetModuleHandleA(nullptr), 0x0800);
}

HRESULT Device7(IUnknown* directInput, REFGUID guid, IDirectInputDevice7A*& device) {
    return static_cast<IDirectInput7A*>(directInput)
        ->CreateDeviceEx(guid, IID_IDirectInputDevice7A, reinterpret_cast<void**>(&device), nullptr);
}

HRESULT Device8(IUnknown* directInput, REFGUID guid, IDirectInputDevice7A*& device) {
    IDirectInputDevice8A* device8 = nullptr;
    HRESULT result = static_cast<IDirectInput8A*>(directInput)->CreateDevice(guid, &device8, nullptr);
    device = reinterpret_cast<IDirectInputDevice7A*>(device8);
    return result;
}

HRESULT Enum7(IUnknown* directInput, DWORD filter, Found& found) {
    return static_cast<IDirectInput7A*>(directInput)
        ->EnumDevices(filter, CountController, &found, DIEDFL_ATTACHEDONLY);
}

HRESULT Enum8(IUnknown* directInput, DWORD filter, Found& found) {
    return static_cast<IDirectInput8A*>(directInput)
        ->EnumDevices(filter, CountController, &found, DIEDFL_ATTACHEDONLY);
}

void PrintTo(const Generation& generation, std::ostream* out) {
    *out << generation.name;
}

class VirtualJoypadServer : public testing::TestWithParam<Generation> {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        registration_ = std::make_unique<JoypadServerRegistration>(ProgramFolder() + "\\virtualjoypad.dll");
        ASSERT_TRUE(registration_->Registered());
        ASSERT_TRUE(joypad_.Valid());
        joypad_.Attach();
        ASSERT_EQ(S_OK, GetParam().create(directInput_));
    }
    void TearDown() override {
        for (IDirectInputDevice7A* device : {device_, plugged_}) {
            if (!device) continue;
            device->Unacquire();
            device->Release();
        }
        joypad_.Attach();
        if (directInput_) directInput_->Release();
        registration_.reset();
        CoUninitialize();
    }

    std::unique_ptr<JoypadServerRegistration> registration_;
    JoypadPlayer joypad_;
    IUnknown* directInput_ = nullptr;
    IDirectInputDevice7A* device_ = nullptr;
    IDirectInputDevice7A* plugged_ = nullptr; // made after the controller was plugged back in
};

TEST_P(VirtualJoypadServer, ServesOneControllerWithTheScriptedState) {
    const Generation& g = GetParam();
    Found found;
    ASSERT_EQ(DI_OK, g.enumDevices(directInput_, g.controllerFilter, found));
    ASSERT_EQ(1, found.controllers);
    EXPECT_EQ(VirtualJoypadInstanceName, found.name);

    ASSERT_EQ(DI_OK, g.createDevice(directInput_, found.instance, device_));
    ASSERT_EQ(DI_OK, device_->SetDataFormat(&c_dfDIJoystick));
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(DI_OK, device_->SetEventNotification(event));
    DIJOYSTATE state;
    EXPECT_EQ(DIERR_NOTACQUIRED, device_->GetDeviceState(sizeof state, &state));
    ASSERT_EQ(DI_OK, device_->Acquire());

    joypad_.Hold({1, 24}, -1000, 1000);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 5000)) << "no event for new data";
    device_->Poll();
    ASSERT_EQ(DI_OK, device_->GetDeviceState(sizeof state, &state));
    EXPECT_EQ(-1000, state.lX);
    EXPECT_EQ(1000, state.lY);
    std::vector<int> down;
    for (int i = 0; i < VirtualJoypadButtonCount; ++i)
        if (state.rgbButtons[i] & 0x80) down.push_back(i + 1);
    EXPECT_EQ((std::vector<int>{1, 24}), down);

    joypad_.ReleaseAll();
    ASSERT_EQ(DI_OK, device_->GetDeviceState(sizeof state, &state));
    EXPECT_EQ(0, state.lX);
    EXPECT_EQ(0, state.rgbButtons[0]);
    device_->Unacquire();
    device_->SetEventNotification(nullptr);
    CloseHandle(event);
}

// Unplugged, the controller is neither enumerated nor made, and the device
// made before fails as a real unplugged one does. Plugged back in, that old
// device stays dead: only a new enumeration finds the controller again.
TEST_P(VirtualJoypadServer, AnUnpluggedControllerIsGoneUntilFoundAgain) {
    const Generation& g = GetParam();
    LONG enumerations = joypad_.Enumerations();
    Found found;
    ASSERT_EQ(DI_OK, g.enumDevices(directInput_, g.controllerFilter, found));
    ASSERT_EQ(1, found.controllers);
    ASSERT_EQ(DI_OK, g.createDevice(directInput_, found.instance, device_));
    ASSERT_EQ(DI_OK, device_->SetDataFormat(&c_dfDIJoystick));
    ASSERT_EQ(DI_OK, device_->Acquire());
    DIJOYSTATE state;
    ASSERT_EQ(DI_OK, device_->GetDeviceState(sizeof state, &state));

    joypad_.Detach();
    EXPECT_FALSE(joypad_.Attached());
    EXPECT_EQ(DIERR_INPUTLOST, device_->GetDeviceState(sizeof state, &state));
    EXPECT_EQ(DIERR_INPUTLOST, device_->GetDeviceState(sizeof state, &state)); // and so on, every read
    EXPECT_EQ(DIERR_UNPLUGGED, device_->Acquire());
    Found none;
    ASSERT_EQ(DI_OK, g.enumDevices(directInput_, g.controllerFilter, none));
    EXPECT_EQ(0, none.controllers);
    IDirectInputDevice7A* refused = nullptr;
    EXPECT_EQ(DIERR_DEVICENOTREG, g.createDevice(directInput_, found.instance, refused));
    EXPECT_EQ(nullptr, refused);

    joypad_.Attach();
    EXPECT_EQ(DIERR_UNPLUGGED, device_->Acquire());
    EXPECT_EQ(DIERR_INPUTLOST, device_->GetDeviceState(sizeof state, &state));
    Found again;
    ASSERT_EQ(DI_OK, g.enumDevices(directInput_, g.controllerFilter, again));
    ASSERT_EQ(1, again.controllers);
    // Each enumeration that asked for game controllers counts, found or not.
    EXPECT_EQ(enumerations + 3, joypad_.Enumerations());
    ASSERT_EQ(DI_OK, g.createDevice(directInput_, again.instance, plugged_));
    ASSERT_EQ(DI_OK, plugged_->SetDataFormat(&c_dfDIJoystick));
    ASSERT_EQ(DI_OK, plugged_->Acquire());
    joypad_.Hold({3});
    ASSERT_EQ(DI_OK, plugged_->GetDeviceState(sizeof state, &state));
    EXPECT_EQ(0x80, state.rgbButtons[2]);
}

// The system keyboard is the platform's own device, not a stand-in.
TEST_P(VirtualJoypadServer, LeavesTheKeyboardToThePlatform) {
    const Generation& g = GetParam();
    ASSERT_EQ(DI_OK, g.createDevice(directInput_, GUID_SysKeyboard, device_));
    DIDEVICEINSTANCEA instance{};
    instance.dwSize = sizeof instance;
    ASSERT_EQ(DI_OK, device_->GetDeviceInfo(&instance));
    EXPECT_TRUE(IsEqualGUID(GUID_SysKeyboard, instance.guidInstance));
    EXPECT_EQ(DI_OK, device_->SetDataFormat(&c_dfDIKeyboard));
}

INSTANTIATE_TEST_SUITE_P(E2E, VirtualJoypadServer,
                         testing::Values(Generation{"DirectInput7", Create7, DIDEVTYPE_JOYSTICK, Device7, Enum7},
                                         Generation{"DirectInput8", Create8, DI8DEVCLASS_GAMECTRL, Device8, Enum8}),
                         [](const testing::TestParamInfo<Generation>& info) { return info.param.name; });

} // namespace
