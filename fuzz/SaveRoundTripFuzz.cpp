// Any field values and any keystream seed: encoding and decoding again gives
// the values back, with the checksum accepted.
#include "SaveFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint32_t seed = input.Take<uint32_t>();
    const SaveData original = TakeSaveData(input);
    const auto keystream = MakeKeystream(seed);

    const auto file = Encode(original, keystream.get());
    FUZZ_CHECK(HasSaveMagic(file.get(), SaveFileSize));

    SaveData decoded; // the defaults, which the values must all replace
    FUZZ_CHECK(DecodeSaveFile(file.get(), SaveFileSize, keystream.get(), decoded) == 0);
    FUZZ_CHECK(SameContent(decoded, original));
    return 0;
}
