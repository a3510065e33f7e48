// The input state block and the default map of keyboard keys onto pad 1.
#include "runtime/input/Input.h"

#include <cstddef>
#include <cstring>

InputState Input;

void ClearInputState() {
    // DirectInputUnavailable, KeyboardRefreshBusy and InputStarting lie
    // outside the cleared range: they outlive a restart.
    constexpr size_t first = offsetof(InputState, InputMode);
    constexpr size_t end = offsetof(InputState, KeyboardRefreshBusy);
    std::memset(reinterpret_cast<char*>(&Input) + first, 0, end - first);
}

namespace {

struct DefaultKey {
    int bit;       // PadInputBits bit
    int32_t first; // slot 1
    int32_t second;// slot 2, -1 = none
};

// Pad 1: keypad and arrow keys for the directions, the left-hand letters
// for buttons 1..8, Escape and Space for buttons 9 and 10.
constexpr DefaultKey DefaultPadKeys[] = {
    {0, 0x50, 0xD0},  // down: keypad 2, Down arrow
    {1, 0x4B, 0xCB},  // left: keypad 4, Left arrow
    {2, 0x4D, 0xCD},  // right: keypad 6, Right arrow
    {3, 0x48, 0xC8},  // up: keypad 8, Up arrow
    {4, 0x2C, -1},    // button 1: Z
    {5, 0x2D, -1},    // button 2: X
    {6, 0x2E, -1},    // button 3: C
    {7, 0x1E, -1},    // button 4: A
    {8, 0x1F, -1},    // button 5: S
    {9, 0x20, -1},    // button 6: D
    {10, 0x10, -1},   // button 7: Q
    {11, 0x11, -1},   // button 8: W
    {12, 0x01, -1},   // button 9: Escape
    {13, 0x39, -1},   // button 10: Space
};

} // namespace

void ResetPadKeyMap(PadKeyMapEntry map[PadTableSize]) {
    // Slots 3 and 4 keep their 0: key code 0 is never down, so they never match.
    for (int pad = 0; pad < PadTableSize; ++pad) {
        for (int bit = 0; bit < PadInputBitCount; ++bit) {
            map[pad][bit][0] = -1;
            map[pad][bit][1] = -1;
        }
    }
    for (const DefaultKey& key : DefaultPadKeys) {
        map[0][key.bit][0] = key.first;
        map[0][key.bit][1] = key.second;
    }
}
