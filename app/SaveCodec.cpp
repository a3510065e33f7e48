// The save file's byte layout, kept free of file and generator access so that
// it can be tested and fuzzed on plain buffers.
#include "app/SaveData.h"

#include <cstring>
#include <initializer_list>
#include <type_traits>

namespace {

const uint8_t SaveMagic[3] = {'Q', 'V', 'R'};

// Reads little-endian fields out of a file that may end early: a byte the file
// does not reach leaves that byte of the field as it was.
class FieldReader {
public:
    FieldReader(const uint8_t* file, size_t size, size_t offset) : file_(file), size_(size), offset_(offset) {}

    template <typename T> void Read(T& field) {
        auto value = static_cast<uint32_t>(static_cast<std::make_unsigned_t<T>>(field));
        for (size_t i = 0; i < sizeof(T); ++i, ++offset_) {
            if (offset_ >= size_) continue;
            value = (value & ~(0xFFu << (8 * i))) | (uint32_t(file_[offset_]) << (8 * i));
        }
        field = static_cast<T>(static_cast<std::make_unsigned_t<T>>(value));
    }

private:
    const uint8_t* file_;
    size_t size_;
    size_t offset_;
};

template <typename T> void WriteField(uint8_t*& out, T field) {
    auto value = static_cast<uint32_t>(static_cast<std::make_unsigned_t<T>>(field));
    for (size_t i = 0; i < sizeof(T); ++i) *out++ = uint8_t(value >> (8 * i));
}

// A stored field taken as an unsigned number of its own width, as the
// checksum counts it.
template <typename T> uint32_t StoredValue(T field) {
    return static_cast<uint32_t>(static_cast<std::make_unsigned_t<T>>(field));
}

// Only the lowest byte of each field is scrambled: the keystream value lies in
// 0..255 and is XOR-ed into the field taken at its own width.
template <typename T> T Scramble(T field, uint8_t key) {
    return static_cast<T>(static_cast<std::make_unsigned_t<T>>(field) ^ key);
}

} // namespace

bool HasSaveMagic(const uint8_t* file, size_t fileSize) {
    return fileSize >= sizeof SaveMagic && std::memcmp(file, SaveMagic, sizeof SaveMagic) == 0;
}

int32_t DecodeSaveFile(const uint8_t* file, size_t fileSize, const uint8_t* keystream, SaveData& data) {
    if (!HasSaveMagic(file, fileSize)) return 2;

    FieldReader reader(file, fileSize, sizeof SaveMagic);
    reader.Read(data.headerValue);
    for (int32_t* mask : {&data.maskW, &data.maskS, &data.maskZ, &data.maskA, &data.maskX, &data.maskC,
                          &data.maskV, &data.maskB})
        reader.Read(*mask);
    uint16_t storedChecksum = 0; // a file that ends before it counts as 0
    reader.Read(storedChecksum);

    uint32_t sum = 0;
    const uint8_t* key = keystream;
    for (SaveRecord& record : data.records) {
        reader.Read(record.valueA);
        reader.Read(record.flag);
        reader.Read(record.valueB);
        reader.Read(record.valueC);
        sum += StoredValue(record.valueA) + StoredValue(record.flag) + StoredValue(record.valueB) +
               StoredValue(record.valueC);
        record.valueA = Scramble(record.valueA, *key++);
        record.flag = Scramble(record.flag, *key++);
        record.valueB = Scramble(record.valueB, *key++);
        record.valueC = Scramble(record.valueC, *key++);
    }
    return (sum & 0xFFFF) == storedChecksum ? 0 : 2;
}

void EncodeSaveFile(const SaveData& data, const uint8_t* keystream, uint8_t* file) {
    uint8_t* out = file;
    for (uint8_t byte : SaveMagic) *out++ = byte;
    WriteField(out, data.headerValue);
    for (int32_t mask : {data.maskW, data.maskS, data.maskZ, data.maskA, data.maskX, data.maskC, data.maskV,
                         data.maskB})
        WriteField(out, mask);

    out = file + SaveRecordsOffset;
    uint32_t sum = 0;
    const uint8_t* key = keystream;
    for (const SaveRecord& record : data.records) {
        int32_t valueA = Scramble(record.valueA, *key++);
        uint8_t flag = Scramble(record.flag, *key++);
        uint16_t valueB = Scramble(record.valueB, *key++);
        int32_t valueC = Scramble(record.valueC, *key++);
        WriteField(out, valueA);
        WriteField(out, flag);
        WriteField(out, valueB);
        WriteField(out, valueC);
        sum += StoredValue(valueA) + StoredValue(flag) + StoredValue(valueB) + StoredValue(valueC);
    }

    out = file + SaveChecksumOffset;
    WriteField(out, uint16_t(sum & 0xFFFF));
}

bool MergeSaveBindings(const uint8_t* file, size_t fileSize, const uint8_t* keystream, const SaveData& bindings,
                       uint8_t* merged) {
    SaveData current;
    if (DecodeSaveFile(file, fileSize, keystream, current) != 0) return false;
    current.maskS = bindings.maskS;
    current.maskZ = bindings.maskZ;
    current.maskA = bindings.maskA;
    current.maskW = bindings.maskW;
    current.maskX = bindings.maskX;
    current.maskC = bindings.maskC;
    current.maskV = bindings.maskV;
    current.maskB = bindings.maskB;
    EncodeSaveFile(current, keystream, merged);
    return true;
}
