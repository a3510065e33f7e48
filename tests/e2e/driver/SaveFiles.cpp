#include "driver/SaveFiles.h"

#include <cstdio>

namespace {

int32_t SaveData::*const SlotFields[8] = {&SaveData::maskS, &SaveData::maskZ, &SaveData::maskA, &SaveData::maskW,
                                           &SaveData::maskX, &SaveData::maskC, &SaveData::maskV, &SaveData::maskB};

} // namespace

std::string ButtonText(int button) {
    char text[32];
    std::snprintf(text, sizeof text, "Button%d", button);
    return text;
}

void SetSlotMask(SaveData& data, int slot, uint32_t mask) {
    data.*SlotFields[slot] = int32_t(mask);
}

SaveData SampleSave(const SlotMasks& masks) {
    SaveData data;
    data.headerValue = 0xBEEF;
    for (int i = 0; i < SaveRecordCount; ++i) {
        data.records[i].valueA = int32_t(0x01020304u * uint32_t(i + 1) ^ 0x80000000u);
        data.records[i].valueB = uint16_t(0x1111 * (i + 1));
        data.records[i].valueC = -1000 * (i + 1);
        data.records[i].flag = uint8_t(i & 1);
    }
    for (int slot = 0; slot < 8; ++slot) SetSlotMask(data, slot, masks[slot]);
    return data;
}

std::string EncodeSave(const SaveData& data) {
    uint8_t keystream[SaveKeystreamLength];
    MakeSaveKeystream(SaveFileSeed, keystream);
    uint8_t file[SaveFileSize];
    EncodeSaveFile(data, keystream, file);
    return std::string(reinterpret_cast<const char*>(file), sizeof file);
}
