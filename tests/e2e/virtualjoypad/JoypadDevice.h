// The virtual controller's DirectInput device. One object answers for every
// device interface from IDirectInputDeviceA to IDirectInputDevice8A: their
// tables are prefixes of one another and share the ANSI structures.
#pragma once

#include "VirtualJoypad.h"

// The controller's instance and product, as EnumDevices reports them.
extern const GUID VirtualJoypadInstanceGuid;
extern const GUID VirtualJoypadProductGuid;

// Whether a DirectInput device GUID names the virtual controller.
bool IsVirtualJoypadGuid(REFGUID guid);

// Fills a DIDEVICEINSTANCEA (full or DirectX 3 size, as its dwSize says) for
// the controller; false for any other size. `version` is 0x0800 for
// DirectInput 8 device types, else the older joystick type. The product
// name comes from the block where it names one (block may be null).
bool FillVirtualJoypadInstance(DIDEVICEINSTANCEA& instance, DWORD version, const VirtualJoypadBlock* block);

// Creates a device with one reference, answering the interface `iid`.
HRESULT CreateVirtualJoypadDevice(DWORD version, REFIID iid, void** device);

// Live objects of the DLL, for DllCanUnloadNow.
extern volatile LONG VirtualJoypadObjectCount;

// The shared block, open for the life of one of the DLL's objects; null when
// it cannot be opened, and the controller then counts as attached.
class SharedJoypadBlock {
public:
    SharedJoypadBlock() { block_ = OpenVirtualJoypadBlock(mapping_); }
    ~SharedJoypadBlock() { CloseVirtualJoypadBlock(block_, mapping_); }
    SharedJoypadBlock(const SharedJoypadBlock&) = delete;
    SharedJoypadBlock& operator=(const SharedJoypadBlock&) = delete;

    bool ControllerAttached() const { return !block_ || block_->detached == 0; }
    const VirtualJoypadBlock* Block() const { return block_; }
    // One more enumeration that asks for game controllers.
    void CountEnumeration() const {
        if (block_) InterlockedIncrement(&block_->enumerations);
    }

private:
    HANDLE mapping_ = nullptr;
    VirtualJoypadBlock* block_ = nullptr;
};
