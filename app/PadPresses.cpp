#include "app/PadPresses.h"

namespace {

constexpr uint32_t ButtonBits = ~uint32_t(0) << FirstButtonBit;

} // namespace

int TakePadRead(PadPresses& presses, int32_t read) {
    if (read == FailedPadRead) return Unbound;
    const uint32_t bits = uint32_t(read);
    // Without a pad the reads are empty, which is no release: a button held
    // while the cable slipped out is still held when it is back.
    if (presses.padFound) {
        presses.buttonsDown = bits & ButtonBits;
        presses.heldAcrossRefresh &= bits; // a released button counts again at its next press
    }
    bool anyButtonDown = false;
    const int bit = FindButtonToAssign(bits & ~presses.heldAcrossRefresh, presses.latchedBit, anyButtonDown);
    if (bit < 0 && !anyButtonDown) presses.latchedBit = Unbound; // all buttons released
    return bit;
}

void PressBound(PadPresses& presses, int bit) {
    presses.latchedBit = bit;
}

void PadsFoundAgain(PadPresses& presses, bool found) {
    presses.padFound = found;
    presses.latchedBit = Unbound;
    presses.heldAcrossRefresh = presses.buttonsDown;
}
