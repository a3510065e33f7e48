// Any bytes as a save file. libFuzzer hands over exactly size bytes on the
// heap, so AddressSanitizer catches a read past the file's end.
//
// What decoding must do, field byte by field byte: every byte of the format
// that the file reaches is taken from the file, every byte it does not reach
// keeps the object's old byte, and the result is 0 exactly when the stored
// checksum matches. Encoding the decoded object again makes all of that
// visible at once: a stored byte is the field's byte with the keystream
// XOR-ed in, so a reached byte must come back as the file's byte, and an
// unreached one as the old field's plain byte (its keystream XOR-ed in by the
// decode and out again by the encode). Merging bindings into the file, as a
// save does, must change the masks' bytes and nothing else.
#include "SaveFuzz.h"

namespace {

// An object whose every field byte differs from the defaults, so that a byte
// the decode wrongly leaves alone, or wrongly touches, shows.
SaveData Previous() {
    SaveData data;
    data.headerValue = 0x5A3C;
    int32_t* masks[] = {&data.maskW, &data.maskS, &data.maskZ, &data.maskA,
                        &data.maskX, &data.maskC, &data.maskV, &data.maskB};
    for (int k = 0; k < 8; ++k) *masks[k] = int32_t(0x9E3779B9u * uint32_t(k + 1));
    for (int i = 0; i < SaveRecordCount; ++i) {
        data.records[i].valueA = int32_t(0x85EBCA6Bu * uint32_t(i + 1));
        data.records[i].flag = uint8_t(0xC3 ^ i);
        data.records[i].valueB = uint16_t(0xB5A7 + 0x0F0F * i);
        data.records[i].valueC = int32_t(0xC2B2AE35u * uint32_t(i + 3));
    }
    return data;
}

bool HasMagic(const uint8_t* file, size_t size) {
    return size >= 3 && file[0] == 'Q' && file[1] == 'V' && file[2] == 'R';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* file, size_t size) {
    static const std::unique_ptr<uint8_t[]> keystream = MakeKeystream(uint32_t(SaveFileSeed));
    static const std::unique_ptr<uint8_t[]> noKeystream = std::make_unique<uint8_t[]>(SaveKeystreamLength);
    const SaveData previous = Previous();

    SaveData data = previous;
    int32_t result = DecodeSaveFile(file, size, keystream.get(), data);
    FUZZ_CHECK(HasSaveMagic(file, size) == HasMagic(file, size));
    if (!HasMagic(file, size)) {
        FUZZ_CHECK(result == 2);
        FUZZ_CHECK(SameContent(data, previous));
        return 0;
    }
    FUZZ_CHECK(result == 0 || result == 2);

    const auto encoded = Encode(data, keystream.get());
    const auto previousPlain = Encode(previous, noKeystream.get());
    for (size_t at = 0; at < SaveFileSize; ++at) {
        if (at == SaveChecksumOffset || at == SaveChecksumOffset + 1) continue; // computed, compared below
        FUZZ_CHECK(encoded[at] == (at < size ? file[at] : previousPlain[at]));
    }

    // The checksum the file stores, its missing bytes zero; the encode
    // computes the one the stored bytes have.
    uint16_t stored = 0;
    for (size_t i = 0; i < 2; ++i)
        if (SaveChecksumOffset + i < size) stored |= uint16_t(file[SaveChecksumOffset + i] << (8 * i));
    uint16_t computed = uint16_t(encoded[SaveChecksumOffset] | encoded[SaveChecksumOffset + 1] << 8);
    FUZZ_CHECK((result == 0) == (stored == computed));

    // What the tool relies on: an accepted whole file is written back byte for byte.
    if (result == 0 && size >= SaveFileSize) FUZZ_CHECK(std::memcmp(encoded.get(), file, SaveFileSize) == 0);

    // The save's merge of bindings into the file: refused exactly when the
    // file does not decode; otherwise the masks come from the bindings and
    // every other byte is what decoding into a new object and encoding gives,
    // so a whole file changes in the masks' bytes only.
    uint8_t merged[SaveFileSize];
    std::memset(merged, 0xA5, sizeof merged);
    SaveData fresh;
    const int32_t freshResult = DecodeSaveFile(file, size, keystream.get(), fresh);
    const bool accepted = MergeSaveBindings(file, size, keystream.get(), previous, merged);
    FUZZ_CHECK(accepted == (freshResult == 0));
    if (accepted) {
        const auto freshEncoded = Encode(fresh, keystream.get());
        const auto bindingsPlain = Encode(previous, keystream.get());
        for (size_t at = 0; at < SaveFileSize; ++at) {
            bool mask = at >= 5 && at < SaveChecksumOffset;
            FUZZ_CHECK(merged[at] == (mask ? bindingsPlain[at] : freshEncoded[at]));
        }
        if (size >= SaveFileSize) {
            FUZZ_CHECK(std::memcmp(merged, file, 5) == 0);
            FUZZ_CHECK(std::memcmp(merged + SaveChecksumOffset, file + SaveChecksumOffset,
                                   SaveFileSize - SaveChecksumOffset) == 0);
        }
    } else {
        for (uint8_t byte : merged) FUZZ_CHECK(byte == 0xA5);
    }
    return 0;
}
