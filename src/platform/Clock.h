#pragma once

#include <cstdint>

namespace platform {

// Milliseconds of a clock that never goes back (GUI timers).
uint64_t monotonicMs();

}  // namespace platform
