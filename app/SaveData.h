// The game's save file "./saves.qvr" as the tool edits it: the eight key
// masks in the clear, the ten game records scrambled with a keystream from the
// runtime's random generator and guarded by a 16-bit checksum.
#pragma once

#include "app/SaveFileLocation.h"

#include <cstddef>
#include <cstdint>

struct SaveRecord {
    int32_t valueA = 0;
    uint16_t valueB = 0;
    int32_t valueC = 0;
    uint8_t flag = 1;
};

constexpr int SaveRecordCount = 10;
constexpr size_t SaveFileSize = 149;  // what the tool writes
constexpr size_t SaveMasksOffset = 5; // the eight masks, W S Z A X C V B: the tool's bytes
constexpr size_t SaveMasksSize = 32;
constexpr size_t SaveChecksumOffset = 37;
constexpr size_t SaveRecordsOffset = 39;
constexpr size_t SaveRecordSize = 11;
constexpr int SaveKeystreamLength = 4 * SaveRecordCount; // one value per record field
constexpr int32_t SaveFileSeed = 0x4F;                   // ours; any fixed value below 256 reads every file
extern const char SaveFileName[];                        // "./saves.qvr", in the working directory

class SaveData {
public:
    SaveData() = default;
    virtual ~SaveData() {}

    // Reads and decodes the whole file, the one the game last wrote, through
    // a handle opened for reading only. A file that does not decode (empty,
    // cut short, halfway through the game's write) is read again for about
    // two seconds, as is one that a program holds. 0 = success; 1 = cannot
    // be opened; 2 = after the wait still a wrong magic (object unchanged)
    // or a checksum mismatch (object holds the decoded content).
    int32_t Load();
    // Whether the latest Load returned 1 because there is no save file (nor,
    // it may be, the folder it should be in), as opposed to one it could not
    // open: the player is then told where the tool looked.
    bool FileMissing() const { return missing_; }

    // Writes the object's eight key masks into the save file as it is now,
    // and nothing else: every other byte belongs to the game, which may write
    // the file before, during and after the save, and stays as the game left
    // it. The file is written in place, never created, renamed, replaced or
    // resized, so that its links, attributes, security and the handles of a
    // game holding it open stay as they were.
    // true = the file read back after the write is whole (it decodes and
    // has the length it had) and holds the masks. A program that holds the
    // file for a moment, or writes it anew meanwhile (the file empty, cut
    // short or not decoding), is waited for, about two seconds at most; a
    // writer that puts its own masks back is written over again, a few
    // times at most. false = the file is missing,
    // read-only, held for longer, not a plain file, no longer a save file
    // that decodes, or kept being written over; or a write failed, in which
    // case the masks that still hold what this save wrote are put back.
    bool Save();

    SaveRecord records[SaveRecordCount];
    uint16_t headerValue = 0;
    int32_t maskS = 0x20;   // button 2
    int32_t maskZ = 0x40;   // button 3
    int32_t maskV = 0x1000; // button 9
    int32_t maskW = 0x10;   // button 1
    int32_t maskA = 0x80;   // button 4
    int32_t maskX = 0x400;  // button 7
    int32_t maskC = 0x800;  // button 8
    int32_t maskB = 0x8000; // button 12

private:
    // The file that Load read and Save writes: the working folder's, or the
    // per-user copy Windows keeps for a game under Program Files (see
    // SaveFileLocation.h). Load finds it anew each time; a Save without a
    // Load finds it itself.
    SaveFileLocation location_;
    bool located_ = false;
    bool missing_ = false;
};

// The codec, pure functions over bytes. The keystream holds the 40 values
// (0..255) that scramble the record fields, in file order.

// Whether the file starts with the magic "QVR".
bool HasSaveMagic(const uint8_t* file, size_t fileSize);

// Decodes fileSize bytes of a save file into data, the way the game reads it:
// bytes that a short file does not reach leave their field as it was (record
// fields are unscrambled all the same); bytes past the format are ignored.
// Returns 0 when the checksum matches, 2 when it does not or the magic is
// wrong; with a wrong magic data is not touched.
int32_t DecodeSaveFile(const uint8_t* file, size_t fileSize, const uint8_t* keystream, SaveData& data);

// Encodes data into the 149 bytes of a save file.
void EncodeSaveFile(const SaveData& data, const uint8_t* keystream, uint8_t* file);

// The 149 bytes of the file with the eight key masks of bindings written into
// it and every other field as the file holds it. The record bytes and the
// checksum come out as they went in, so only the masks' bytes (offsets 5 to
// 36) can differ from a whole file's. false, and merged untouched, when the
// file does not decode (wrong magic or checksum mismatch).
bool MergeSaveBindings(const uint8_t* file, size_t fileSize, const uint8_t* keystream, const SaveData& bindings,
                       uint8_t* merged);

// The keystream for a seed: SeedRandom(seed), then 40 draws of RandomUpTo(255).
// Leaves the runtime's generator after those draws.
void MakeSaveKeystream(int32_t seed, uint8_t* keystream);
