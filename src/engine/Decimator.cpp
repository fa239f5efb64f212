#include "engine/Decimator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kNumberedTaps[] = {51, 101, 151, 201, 301, 601, 1001, 1501, 1701, 2001, 4001, 6401, 12801};

typedef float v4sf __attribute__((vector_size(16)));
typedef int v4si __attribute__((vector_size(16)));

inline v4sf load4(const float* p) {
    v4sf v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline v4sf reversed(v4sf v) {
#if defined(__clang__)
    return __builtin_shufflevector(v, v, 3, 2, 1, 0);
#else
    return __builtin_shuffle(v, v4si{3, 2, 1, 0});
#endif
}

inline float lanes(v4sf v) { return (v[0] + v[1]) + (v[2] + v[3]); }

// The pairs from d on that the eight-pair steps leave: four at a time into the first
// accumulators, then the lanes summed, then one pair at a time. Without Both only the
// left output is summed, in the same order, for lines that hold the same inputs.
template <bool Both>
inline void finishSums(const float* c, const float* xl, const float* xr, int n, int h, int d, v4sf l0, v4sf l1,
                       v4sf r0, v4sf r1, float& sumL, float& sumR) {
    for (; d + 4 <= h; d += 4) {
        const v4sf c0 = load4(c + d);
        l0 += c0 * (load4(xl + d) + reversed(load4(xl + n - 4 - d)));
        if (Both) r0 += c0 * (load4(xr + d) + reversed(load4(xr + n - 4 - d)));
    }
    sumL = lanes(l0 + l1);
    if (Both) sumR = lanes(r0 + r1);
    for (; d < h; ++d) {
        sumL += c[d] * (xl[d] + xl[n - 1 - d]);
        if (Both) sumR += c[d] * (xr[d] + xr[n - 1 - d]);
    }
}

// sum c[d] * (x[d] + x[N-1-d]) for d < H, four pairs at a time, then the remainder;
// both outputs in one walk over the coefficients, each summed in its own order.
template <bool Both>
inline void symmetricSums(const float* c, const float* xl, const float* xr, int n, int h, float& sumL,
                          float& sumR) {
    v4sf l0 = {0, 0, 0, 0}, l1 = {0, 0, 0, 0}, r0 = {0, 0, 0, 0}, r1 = {0, 0, 0, 0};
    int d = 0;
    for (; d + 8 <= h; d += 8) {
        const v4sf c0 = load4(c + d), c1 = load4(c + d + 4);
        l0 += c0 * (load4(xl + d) + reversed(load4(xl + n - 4 - d)));
        l1 += c1 * (load4(xl + d + 4) + reversed(load4(xl + n - 8 - d)));
        if (Both) {
            r0 += c0 * (load4(xr + d) + reversed(load4(xr + n - 4 - d)));
            r1 += c1 * (load4(xr + d + 4) + reversed(load4(xr + n - 8 - d)));
        }
    }
    finishSums<Both>(c, xl, xr, n, h, d, l0, l1, r0, r1, sumL, sumR);
}

#if defined(__GNUC__) && !defined(__clang__) && (defined(__x86_64__) || defined(__i386__))
#define VANTOREL_WIDE_FIR 1
typedef float v8sf __attribute__((vector_size(32)));
typedef int v8si __attribute__((vector_size(32)));

// The same sums with each pair of four-lane accumulators held as one eight-lane
// register: lane for lane the same products and additions in the same order, so the
// result is bit for bit that of symmetricSums, in about half the instructions.
template <bool Both>
__attribute__((target("avx"))) void symmetricSumsWide(const float* c, const float* xl, const float* xr, int n,
                                                       int h, float& sumL, float& sumR) {
    v8sf l = {0, 0, 0, 0, 0, 0, 0, 0}, r = {0, 0, 0, 0, 0, 0, 0, 0};
    int d = 0;
    for (; d + 8 <= h; d += 8) {
        v8sf cv, a, b;
        std::memcpy(&cv, c + d, sizeof cv);
        std::memcpy(&a, xl + d, sizeof a);
        std::memcpy(&b, xl + n - 8 - d, sizeof b);
        l += cv * (a + __builtin_shuffle(b, v8si{7, 6, 5, 4, 3, 2, 1, 0}));
        if (Both) {
            std::memcpy(&a, xr + d, sizeof a);
            std::memcpy(&b, xr + n - 8 - d, sizeof b);
            r += cv * (a + __builtin_shuffle(b, v8si{7, 6, 5, 4, 3, 2, 1, 0}));
        }
    }
    v4sf l0 = {l[0], l[1], l[2], l[3]}, l1 = {l[4], l[5], l[6], l[7]};
    v4sf r0 = {r[0], r[1], r[2], r[3]}, r1 = {r[4], r[5], r[6], r[7]};
    finishSums<Both>(c, xl, xr, n, h, d, l0, l1, r0, r1, sumL, sumR);
}

#endif

}  // namespace

// Chosen at run time: the plug-in must load on any x86-64 the host runs on.
bool Decimator::wideSumsAvailable() {
#ifdef VANTOREL_WIDE_FIR
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
#else
    return false;
#endif
}

int Decimator::tapCount(int filterType, int factor) {
    switch (filterType) {
    case 0: return 0;
    case 1: return factor > 1 ? (factor / 2) * 50 + 1 : 0;
    case 2: return factor >= 2 ? (factor / 2) * 100 + 1 : 0;
    default:
        if (filterType >= 3 && filterType < kFilterEntries) return kNumberedTaps[filterType - 3];
        return 0;
    }
}

void Decimator::designFir(int taps, double fc) {
    if (taps <= 0) return;
    taps = std::min(taps, kMaxTaps);
    const int c = (taps - 1) / 2;
    const double pi = 3.14159265358979323846;
    const int last = std::min(taps / 2 + 1, kCoefCount - 1);
    for (int i = 0; i <= last; ++i) {
        double h;
        if (i == c) {
            h = 2.0 * fc;
        } else {
            const float arg = (float)(2.0 * pi * fc * (double)(i - c));
            h = std::sin((double)arg) / (pi * (double)(i - c));
        }
        const float a1 = (float)(2.0 * pi * (double)i / (double)(taps - 1));
        const float a2 = (float)(4.0 * pi * (double)i / (double)(taps - 1));
        const double w = 0.42 - 0.5 * std::cos((double)a1) + 0.08 * std::cos((double)a2);
        firCoefs[i] = (float)(h * w);
    }
}

void Decimator::setTaps(int taps) {
    taps = std::clamp(taps, 0, kMaxTaps);
    if (taps == firTaps) return;
    // The newest values end the new window, the rest of it silent.
    const int keep = std::min({firTaps, taps, firEnd});
    for (float* line : {firLine[0], firLine[1]}) {
        std::memmove(line + taps - keep, line + firEnd - keep, sizeof(float) * (size_t)keep);
        std::fill(line, line + taps - keep, 0.f);
    }
    firTaps = taps;
    firEnd = taps;
    firDiffer = taps;
    // Slides move at most N - 1 values per N + kRoom taken.
    firLimit = std::min(kLineLength, 2 * taps + kRoom);
}

void Decimator::slide() {
    const int keep = std::max(0, firTaps - 1);
    for (float* line : {firLine[0], firLine[1]}) std::memmove(line, line + firEnd - keep, sizeof(float) * (size_t)keep);
    firDiffer = std::max(0, firDiffer - (firEnd - keep));
    firEnd = keep;
}

template <bool Both>
inline void Decimator::sums(const float* xl, const float* xr, float& sumL, float& sumR) const {
    const int n = firTaps, h = n / 2;
#ifdef VANTOREL_WIDE_FIR
    if (wideSums) return symmetricSumsWide<Both>(firCoefs, xl, xr, n, h, sumL, sumR);
#endif
    symmetricSums<Both>(firCoefs, xl, xr, n, h, sumL, sumR);
}

void Decimator::firEvaluateAt(int end, float* outL, float* outR) const {
    const int n = firTaps, h = n / 2;
    const float* xl = firLine[0] + end - n;
    const float* xr = firLine[1] + end - n;
    float sumL, sumR = 0.f;
    // Where both windows hold the same bits, so do both results: the same operations
    // on the same inputs.
    if (end - n >= firDiffer) {
        sums<false>(xl, xr, sumL, sumR);
        *outL = *outR = sumL + firCoefs[h] * xl[h];
        return;
    }
    sums<true>(xl, xr, sumL, sumR);
    *outL = sumL + firCoefs[h] * xl[h];
    *outR = sumR + firCoefs[h] * xr[h];
}

void Decimator::firAdvance(int count) {
    if (std::memcmp(firLine[0] + firEnd, firLine[1] + firEnd, sizeof(float) * (size_t)count) != 0)
        firDiffer = firEnd + count;
    firEnd += count;
}
