#pragma once
// The character generator: a per-thread 15-bit pseudo-random sequence that draws the
// letters of a random rename and the byte values of the DoD method. Every thread starts
// at state 1, on every platform, so a wipe on a fresh worker thread always draws the same
// sequence (41, 18467, 6334, 26500, ...). It is deliberately not the C runtime's rand(),
// whose per-thread behaviour differs between runtimes.

#include <cstdint>

namespace veltrane {

// Next value from 0 to 32767 of the calling thread's sequence.
std::int32_t CharGeneratorNext();

// The calling thread's state, and a way for tests to put it anywhere.
std::uint32_t CharGeneratorState();
void CharGeneratorSeed(std::uint32_t state);

}  // namespace veltrane
