#include "app/KeyBindings.h"

#include <cstdio>

const uint32_t ButtonMaskTable[ButtonCount] = {
    0x10,      0x20,      0x40,      0x80,      0x100,      0x200,      0x400,
    0x800,     0x1000,    0x2000,    0x4000,    0x8000,     0x10000,    0x20000,
    0x40000,   0x80000,   0x100000,  0x200000,  0x400000,   0x800000,   0x1000000,
    0x2000000, 0x4000000, 0x8000000, 0x10000000, 0x20000000, 0x40000000, 0x80000000,
};

int ButtonIndexFromMask(uint32_t mask) {
    for (int i = 0; i < ButtonCount; ++i)
        if (ButtonMaskTable[i] == mask) return i;
    return Unbound;
}

uint32_t MaskFromButtonIndex(int index) {
    return index >= 0 && index < ButtonCount ? ButtonMaskTable[index] : 0;
}
uint32_t MaskToSave(int slot, bool slotSet, uint32_t fileMask) {
    return slotSet ? MaskFromButtonIndex(slot) : fileMask;
}


void FormatBindingText(int slot, char* text, int size) {
    if (slot == Unbound)
        std::snprintf(text, size_t(size), "------");
    else
        std::snprintf(text, size_t(size), "Button%d", slot + 1);
}

int FindButtonToAssign(uint32_t padBits, int latchedBit, bool& anyButtonDown) {
    anyButtonDown = false;
    for (int bit = FirstButtonBit; bit < 32; ++bit) {
        if (!(padBits & (1u << bit))) continue;
        anyButtonDown = true;
        if (bit != latchedBit) return bit;
    }
    return -1;
}
