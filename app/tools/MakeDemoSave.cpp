// Writes a sample "./saves.qvr" into the working directory with the tool's
// own save-file codec, so that a first run of the tool shows real bindings.
// The game makes this file; the tool itself never creates one.
#include "app/SaveData.h"

#include <cstdio>

int main() {
    SaveData data;
    for (int i = 0; i < SaveRecordCount; ++i) {
        data.records[i].valueA = 1000 * (i + 1);
        data.records[i].valueB = uint16_t(10 + i);
        data.records[i].valueC = 7 * i;
        data.records[i].flag = uint8_t(i % 2);
    }
    uint8_t keystream[SaveKeystreamLength];
    MakeSaveKeystream(SaveFileSeed, keystream);
    uint8_t bytes[SaveFileSize];
    EncodeSaveFile(data, keystream, bytes);
    std::FILE* file = std::fopen(SaveFileName, "wb");
    bool written = file && std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
    if (file && std::fclose(file) != 0) written = false;
    if (!written) {
        std::fprintf(stderr, "make_demo_save: cannot write ./saves.qvr\n");
        return 1;
    }
    return 0;
}
