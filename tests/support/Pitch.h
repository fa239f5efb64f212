// Pitch of rendered audio.
#pragma once

#include <cstddef>
#include <algorithm>
#include <vector>

namespace fixture {

// Frequency from rising zero crossings between `from` and `to` seconds, interpolated
// between samples; 0 when fewer than two crossings.
inline double zeroCrossingPitch(const std::vector<float>& x, double rate, double from, double to) {
    double first = -1, last = -1;
    int count = 0;
    const size_t end = std::min(x.size(), (size_t)(to * rate));
    for (size_t i = (size_t)(from * rate) + 1; i < end; ++i)
        if (x[i - 1] < 0.f && x[i] >= 0.f) {
            const double t = (double)(i - 1) + x[i - 1] / (double)(x[i - 1] - x[i]);
            if (first < 0) first = t;
            last = t;
            ++count;
        }
    return count > 1 ? (count - 1) * rate / (last - first) : 0.0;
}

}  // namespace fixture
