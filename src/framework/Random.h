#pragma once

#include <cstdint>

// The generator shared by the editor and every module (jack art, screw rotation,
// cable colours): next = seed * 16807 kept to 31 bits.
extern uint32_t randomSeed;

inline uint32_t nextRandomSeed() {
    randomSeed = (uint32_t)(((uint64_t)randomSeed * 16807u) & 0x7fffffffu);
    return randomSeed;
}

// Uniform value in [0, 1).
inline double nextRandom() { return (double)nextRandomSeed() * 4.656612873077393e-10; }

// Seeds from the clock; a zero seed would stay zero for ever, so it is avoided.
void seedRandomFromClock();
