// The tool's one dialog: a read-only field per game key, filled by pressing a
// button on the first joypad while the field has the focus.
#pragma once

#include "app/CaptionRedraw.h"
#include "app/Dialog.h"
#include "app/DialogFont.h"
#include "app/KeyBindings.h"
#include "app/PadPresses.h"
#include "app/PadStatusLine.h"

#include <cstdint>

class SaveData;

class keyConfigDlg : public CDialog {
public:
    keyConfigDlg();
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    HINSTANCE instanceHandle = nullptr; // set by the entry point before ShowModal

private:
    HWND windowHandle = nullptr;
    int32_t slots[KeyCount];     // KeySlot order S, Z, A, W, X, C, V, B; -1 unbound, else button index
    bool slotSet[KeyCount] = {}; // the slot holds the file's binding (loaded) or the player's (assigned)
    bool fileBusy = false;       // the save file is being loaded or saved, its waits and boxes included
    PadPresses presses;          // latchedBit, the buttons held and whether a pad is there, tick to tick
    bool readFailing = false;    // the latest pad read failed: no controller is read
    DialogFont font;             // a Japanese font where the template's cannot draw the texts
    CaptionFont caption;         // the same for the caption, where the system draws it
    PadStatusLine statusLine;    // the controller read, or the button held on it

    INT_PTR OnInitDialog(HWND window);
    void ShowStartupRefusal();
    INT_PTR OnCommand(int id);
    INT_PTR OnTimer();
    INT_PTR OnDeviceChange(WPARAM event);
    void RefreshPads();
    void CentreOnWorkArea();
    void LoadBindings();
    // true when the dialog may close: the bindings were written, or the file
    // could not be read and nothing was written.
    bool SaveBindings();
    void ClearFields();
    void PollPad();
    bool BindToFocusedField(int bit);
    void ShowPadName();
    void ShowSlot(int key);
    void ShowError(const char* text);
    void ShowLoadError(const SaveData& data);
};
