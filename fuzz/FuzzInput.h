// Shared by the fuzz targets: typed values off the fuzzer's bytes, and the
// check that turns a failed property into a crash libFuzzer keeps the input of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Takes values off the front of the input; where the input has run out, the
// missing bytes read as zero, so that every input is a valid one.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    template <typename T> T Take() {
        uint8_t bytes[sizeof(T)] = {};
        for (size_t i = 0; i < sizeof(T) && offset_ < size_; ++i) bytes[i] = data_[offset_++];
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

    const uint8_t* Rest() const { return data_ + offset_; }
    size_t RestSize() const { return size_ - offset_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

#define FUZZ_CHECK(condition)                                                                    \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)
