#include "framework/Random.h"

#include <ctime>

uint32_t randomSeed = 1;

void seedRandomFromClock() {
    randomSeed = (uint32_t)std::time(nullptr) & 0x7fffffffu;
    if (randomSeed == 0) randomSeed = 1;
}
