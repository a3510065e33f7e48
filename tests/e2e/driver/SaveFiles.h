// Save files for the scenarios, made with the tool's own codec, so that a
// scenario can state the exact bytes it expects the tool to leave.
#pragma once

#include "app/SaveData.h"

#include <array>
#include <cstdint>
#include <string>

using SlotMasks = std::array<uint32_t, 8>; // in the dialog's key order S, Z, A, W, X, C, V, B

// The mask of button n (1 to 28): bit n + 3.
constexpr uint32_t ButtonMask(int button) { return 1u << (button + 3); }
// The field text of button n.
std::string ButtonText(int button);

// A save file with the game's part filled with values worth keeping (every
// record differs, the header is not 0) and the given key masks.
SaveData SampleSave(const SlotMasks& masks);
void SetSlotMask(SaveData& data, int slot, uint32_t mask);
// The 149 bytes the tool writes for the data.
std::string EncodeSave(const SaveData& data);
