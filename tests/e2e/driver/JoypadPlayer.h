// The test's hands on the virtual joypad: presses and releases its buttons,
// moves its stick, and waits until the program under test has read a state
// and finished the tick that read it.
#pragma once

#include "virtualjoypad/VirtualJoypad.h"

#include <initializer_list>
#include <string>

// Registers virtualjoypad.dll as the in-process server of the DirectInput 7
// and 8 class ids for the life of the object, and puts the previous servers
// back afterwards. Only for the end-to-end tests' own Wine prefix.
class JoypadServerRegistration {
public:
    explicit JoypadServerRegistration(const std::string& dllPath);
    ~JoypadServerRegistration();
    JoypadServerRegistration(const JoypadServerRegistration&) = delete;
    JoypadServerRegistration& operator=(const JoypadServerRegistration&) = delete;

    bool Registered() const { return registered_; }

private:
    struct Previous {
        std::string classId;
        bool hadValue = false;
        std::string value;
    };
    Previous previous_[2];
    bool registered_ = false;
};

// Where the test programs find their neighbours: the folder of this exe.
std::string ProgramFolder();

class JoypadPlayer {
public:
    JoypadPlayer();
    ~JoypadPlayer();
    JoypadPlayer(const JoypadPlayer&) = delete;
    JoypadPlayer& operator=(const JoypadPlayer&) = delete;

    bool Valid() const { return block_ != nullptr; }

    // Sets the whole state: the buttons held (numbered from 1) and the stick,
    // everything else released. Returns the state's sequence number.
    LONG Hold(std::initializer_list<int> buttons, LONG x = 0, LONG y = 0);
    LONG ReleaseAll() { return Hold({}); }

    // Waits until the program has read the state `sequence` (or a later one)
    // and then read once more: its tick that saw the state is over, so the
    // dialog has done whatever that state made it do.
    bool WaitHandled(LONG sequence, DWORD timeoutMs = 10000) const;
    // Waits for `ticks` further reads by the program.
    bool WaitReads(LONG ticks, DWORD timeoutMs = 10000) const;
    // Waits until the program holds an acquired controller that it reads.
    bool WaitInUse(DWORD timeoutMs = 20000) const;

    // A press as a player makes it: down until handled, up until handled.
    bool Press(int button);

    // Unplugs the controller, and plugs it back in (nothing when it is in):
    // see VirtualJoypadBlock for what the program then meets.
    void Detach();
    void Attach();
    bool Attached() const { return block_->detached == 0; }
    // The product name the controller gives from the next enumeration on
    // (an empty one: its own, VirtualJoypadProductName). Only while the
    // program makes no enumeration.
    void NameProduct(const std::wstring& name);
    // Enumerations of game controllers the program has made so far.
    LONG Enumerations() const { return block_->enumerations; }
    // Waits until the program has made `count` enumerations in all.
    bool WaitEnumerations(LONG count, DWORD timeoutMs = 10000) const;
    // Waits for `reads` further reads refused because the controller is gone:
    // the program has ticked and met the unplugged controller.
    bool WaitFailedReads(LONG reads, DWORD timeoutMs = 10000) const;
    // Waits until the program holds no device of the controller.
    bool WaitNoDevice(DWORD timeoutMs = 10000) const;

    // Forgets the devices of programs that have ended (one that was killed
    // could not count its device out). Only while no program runs.
    void ResetDeviceCounts();

    LONG ReadCount() const { return block_->readCount; }
    LONG DevicesOpen() const { return block_->devicesOpen; }

private:
    HANDLE mapping_ = nullptr;
    VirtualJoypadBlock* block_ = nullptr;
};

// Polls `condition` every millisecond or so until it holds or the time is up.
template <class Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return condition();
        Sleep(1);
    }
}
