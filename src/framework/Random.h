#pragma once

#include <atomic>
#include <cstdint>

// The generator shared by the editor and every module (jack art, screw rotation,
// cable colours, noise, denormal guards): next = seed * 16807 kept to 31 bits.
// Every plug-in instance in the process draws from it, the audio threads of several
// instances and the GUI thread at once; an atomic step keeps it free of data races
// while one instance drawing alone sees exactly the sequence a plain variable gives.
extern std::atomic<uint32_t> randomSeed;

// Any thread. A relaxed compare-and-swap: the seed orders nothing but itself, and two
// threads drawing at once each get a step of the sequence, never the same one twice.
inline uint32_t nextRandomSeed() {
    uint32_t seed = randomSeed.load(std::memory_order_relaxed);
    uint32_t next;
    do {
        next = (uint32_t)(((uint64_t)seed * 16807u) & 0x7fffffffu);
    } while (!randomSeed.compare_exchange_weak(seed, next, std::memory_order_relaxed));
    return next;
}

// Uniform value in [0, 1).
inline double nextRandom() { return (double)nextRandomSeed() * 4.656612873077393e-10; }

// Seeds from the clock; a zero seed would stay zero for ever, so it is avoided.
void seedRandomFromClock();
