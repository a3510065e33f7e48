// The eight keys of the game, the buttons bound to them, and how a pad read
// turns into a binding. Plain data in, plain data out.
#pragma once

#include <cstdint>

constexpr int KeyCount = 8;               // S, Z, A, W, X, C, V, B: the KeySlot order
constexpr int ButtonCount = 28;           // buttons 1..28, bits 4..31
constexpr int FirstButtonBit = 4;         // bits 0..3 are the directions
constexpr int Unbound = -1;

// Entry i is the mask of button index i (button i + 1): 1 << (i + 4).
extern const uint32_t ButtonMaskTable[ButtonCount];

// The button index 0..27 of a single-button mask; -1 for anything else
// (0, direction bits, several bits).
int ButtonIndexFromMask(uint32_t mask);
// The mask saved for a slot: 0 for an unbound one.
uint32_t MaskFromButtonIndex(int index);

// The mask a save writes for a key: the slot's (0 for an unbound one) where
// the slot holds a binding the dialog knows, loaded from the file or
// assigned by the player; fileMask, the mask the file holds at the save,
// for a slot that neither the load nor the player ever set.
uint32_t MaskToSave(int slot, bool slotSet, uint32_t fileMask);

// The field text of a slot: "Button%d" with the button number, or "------".
void FormatBindingText(int slot, char* text, int size);

// One tick's decision: the lowest pressed button bit (4..31) other than the
// latched one, or -1. anyButtonDown tells whether any of bits 4..31 is set.
int FindButtonToAssign(uint32_t padBits, int latchedBit, bool& anyButtonDown);
