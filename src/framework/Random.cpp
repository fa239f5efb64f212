#include "framework/Random.h"

#include <ctime>

std::atomic<uint32_t> randomSeed{1};

void seedRandomFromClock() {
    const uint32_t seed = (uint32_t)std::time(nullptr) & 0x7fffffffu;
    randomSeed.store(seed == 0 ? 1 : seed, std::memory_order_relaxed);
}
