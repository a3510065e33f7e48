// Shared by the save file's fuzz targets.
#pragma once

#include "FuzzInput.h"

#include "app/SaveData.h"
#include "runtime/core/Random.h"

#include <initializer_list>
#include <memory>

// The 40 keystream values for a seed, drawn as the tool draws them (seeding,
// then RandomUpTo(255) forty times), on a generator of our own. On the heap
// and exactly as long as the codec may read, so that a read past it is caught.
inline std::unique_ptr<uint8_t[]> MakeKeystream(uint32_t seed) {
    auto rng = std::make_unique<RandomState>();
    SeedRandomState(*rng, seed);
    auto keystream = std::make_unique<uint8_t[]>(SaveKeystreamLength);
    for (int i = 0; i < SaveKeystreamLength; ++i) keystream[i] = uint8_t(ScaleRandomWord(NextRandomWord(*rng), 255));
    return keystream;
}

// Every field of a save object, in file order, off the input.
inline SaveData TakeSaveData(FuzzInput& input) {
    SaveData data;
    data.headerValue = input.Take<uint16_t>();
    for (int32_t* mask : {&data.maskW, &data.maskS, &data.maskZ, &data.maskA, &data.maskX, &data.maskC,
                          &data.maskV, &data.maskB})
        *mask = input.Take<int32_t>();
    for (SaveRecord& record : data.records) {
        record.valueA = input.Take<int32_t>();
        record.flag = input.Take<uint8_t>();
        record.valueB = input.Take<uint16_t>();
        record.valueC = input.Take<int32_t>();
    }
    return data;
}

inline bool SameContent(const SaveData& a, const SaveData& b) {
    if (a.headerValue != b.headerValue || a.maskS != b.maskS || a.maskZ != b.maskZ || a.maskV != b.maskV ||
        a.maskW != b.maskW || a.maskA != b.maskA || a.maskX != b.maskX || a.maskC != b.maskC || a.maskB != b.maskB)
        return false;
    for (int i = 0; i < SaveRecordCount; ++i) {
        const SaveRecord& x = a.records[i];
        const SaveRecord& y = b.records[i];
        if (x.valueA != y.valueA || x.valueB != y.valueB || x.valueC != y.valueC || x.flag != y.flag) return false;
    }
    return true;
}

// A save file on the heap, exactly SaveFileSize bytes, so that a write or a
// read past its end is caught.
inline std::unique_ptr<uint8_t[]> Encode(const SaveData& data, const uint8_t* keystream) {
    auto file = std::make_unique<uint8_t[]>(SaveFileSize);
    EncodeSaveFile(data, keystream, file.get());
    return file;
}
