// How a tick's pad read becomes a press to bind: the latch, buttons held
// through a search for pads, a pad gone, and a read that failed.
#include "app/PadPresses.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int32_t Button(int n) {
    return int32_t(1u << (n + 3));
}
constexpr int Bit(int button) {
    return button + 3;
}

// One step of a tick sequence: a read (and whether the focused field takes
// the press it offers), or a search for pads.
struct Step {
    enum Kind { Read, ReadUnfocused, Refresh, RefreshNone } kind;
    int32_t read;   // for the reads
    int offeredBit; // what the read offers; -1 none
};

struct PressCase {
    const char* name;
    std::vector<Step> steps;
};

const PressCase Cases[] = {
    {"a held button binds once, again after a release",
     {{Step::Read, Button(5), Bit(5)},
      {Step::Read, Button(5), -1},
      {Step::Read, 0, -1},
      {Step::Read, Button(5), Bit(5)}}},
    {"two held buttons take turns",
     {{Step::Read, Button(2) | Button(5), Bit(2)},
      {Step::Read, Button(2) | Button(5), Bit(5)},
      {Step::Read, Button(2) | Button(5), Bit(2)}}},
    {"directions alone are a release",
     {{Step::Read, Button(5), Bit(5)}, {Step::Read, 0x1 | 0x8, -1}, {Step::Read, Button(5), Bit(5)}}},
    {"a failed read binds nothing and is no release",
     {{Step::Read, Button(5), Bit(5)},
      {Step::Read, FailedPadRead, -1},
      {Step::Read, Button(5), -1},
      {Step::Read, 0, -1},
      {Step::Read, FailedPadRead, -1},
      {Step::Read, Button(7), Bit(7)}}},
    {"a failed read with nothing held binds nothing", {{Step::Read, FailedPadRead, -1}, {Step::Read, 0, -1}}},
    {"a press without a focused field is offered until it binds",
     {{Step::ReadUnfocused, Button(3), Bit(3)}, {Step::Read, Button(3), Bit(3)}, {Step::Read, Button(3), -1}}},
    {"a button held through a search must be released first",
     {{Step::Read, Button(4), Bit(4)},
      {Step::Refresh, 0, -1},
      {Step::Read, Button(4), -1},
      {Step::Read, 0, -1},
      {Step::Read, Button(4), Bit(4)}}},
    // The focus off the fields: the first button is never bound, so never
    // latched; a second one joins it and both are held through the search.
    {"two buttons held through a search with the focus elsewhere",
     {{Step::ReadUnfocused, Button(4), Bit(4)},
      {Step::ReadUnfocused, Button(4) | Button(9), Bit(4)},
      {Step::Refresh, 0, -1},
      {Step::Read, Button(4) | Button(9), -1},
      {Step::Read, Button(9), -1},
      {Step::Read, 0, -1},
      {Step::Read, Button(9), Bit(9)}}},
    {"a button released while no pad is found still counts as held",
     {{Step::Read, Button(6), Bit(6)},
      {Step::RefreshNone, 0, -1},
      {Step::Read, 0, -1},
      {Step::Refresh, 0, -1},
      {Step::Read, Button(6), -1},
      {Step::Read, 0, -1},
      {Step::Read, Button(6), Bit(6)}}},
    {"a failed read does not release what was held through a search",
     {{Step::Read, Button(4), Bit(4)},
      {Step::Refresh, 0, -1},
      {Step::Read, FailedPadRead, -1},
      {Step::Read, Button(4), -1}}},
    {"buttons 25 to 28 of a read bind too", {{Step::Read, int32_t(0x80000000u), 31}}},
};

TEST(PadPresses, EachTickOffersTheRightPress) {
    for (const PressCase& c : Cases) {
        SCOPED_TRACE(c.name);
        PadPresses presses;
        int index = 0;
        for (const Step& step : c.steps) {
            SCOPED_TRACE(testing::Message() << "step " << index++);
            switch (step.kind) {
            case Step::Refresh:
            case Step::RefreshNone:
                PadsFoundAgain(presses, step.kind == Step::Refresh);
                break;
            case Step::Read:
            case Step::ReadUnfocused: {
                const int bit = TakePadRead(presses, step.read);
                EXPECT_EQ(step.offeredBit, bit);
                if (bit >= 0 && step.kind == Step::Read) PressBound(presses, bit);
                break;
            }
            }
        }
    }
}

} // namespace
