#include "platform/Clock.h"

#include <chrono>

namespace platform {

uint64_t monotonicMs() {
    using namespace std::chrono;
    return (uint64_t)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace platform
