// The runtime's programming interface: the only header an application includes.
//
// Results are 32-bit signed integers: 0 = success, -1 = failure, unless an
// entry point says otherwise. Texts are Shift-JIS byte strings.
#pragma once

#include <cstdint>

// ---- Random numbers -------------------------------------------------------

// Seeds the process-wide generator (the seed taken as unsigned). Returns 0.
int SeedRandom(int seed);

// A uniform value in 0..max, for max in 0..2147483646. Uses exactly one
// output word of the generator; draws before any seeding act as if seeded
// with 4357.
int RandomUpTo(int max);

// ---- Log ------------------------------------------------------------------

// 0 switches the log file off, anything else on. Read by the next start-up.
// Returns 0.
int SetLogOutput(int enabled);
