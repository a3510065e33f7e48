// What the dialog keeps of the first pad's reads from one tick to the next,
// and how a tick's read becomes a press to bind. Plain data in, plain data
// out: the dialog asks the runtime for the read and the system for the focus.
#pragma once

#include "app/KeyBindings.h"

#include <cstdint>

// What ReadPadInput gives when it could read nothing: restarting the input
// failed. A real read never has it: a pad read sets bits 4..27 only, and
// never all four directions at once.
constexpr int32_t FailedPadRead = -1;

struct PadPresses {
    int latchedBit = Unbound;       // the last bound button's bit, until all buttons are released
    uint32_t buttonsDown = 0;       // button bits (4..31) of the latest read of a pad that was there
    uint32_t heldAcrossRefresh = 0; // buttons down when the pads were found again, not yet released
    bool padFound = true;           // false while the latest search for pads found none
};

// One tick's read: the button bit (4..31) that the focused field binds, or
// -1 for none. A failed read is no read at all: it binds nothing and
// changes nothing, neither the latch nor what is held.
int TakePadRead(PadPresses& presses, int32_t read);

// The button TakePadRead offered was bound to a field: it is latched until
// every button is released.
void PressBound(PadPresses& presses, int bit);

// The pads were searched for again (a device came or went); `found` tells
// whether any is there. The pads are new devices, possibly in a new order:
// the latch of the old pad 1 means nothing for them, and what was down at
// the last read of a pad must be released before it binds.
void PadsFoundAgain(PadPresses& presses, bool found);
