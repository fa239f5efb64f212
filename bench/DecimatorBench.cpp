// FIR decimation cost against a plain dot product of the same length.
//
// firEvaluate produces both main outputs, so its "channel" counter is half its time;
// the dot products do one channel per call and report the same counter, so the
// columns compare directly. Args are {taps, oversampling factor}.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/Decimator.h"

namespace {

const auto kPerItem = benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert;

// The filter entry a length belongs to at that factor, for the label.
std::string describe(int taps, int factor) {
    std::string s = std::to_string(factor) + "X " + std::to_string(taps) + " taps";
    if (taps == Decimator::tapCount(1, factor)) s += " (FIR Auto)";
    else if (taps == Decimator::tapCount(2, factor)) s += " (FIR Auto double)";
    return s;
}

float noise(unsigned& seed) {
    seed = seed * 1664525u + 1013904223u;
    return (float)(seed >> 8) * (1.f / 16777216.f) - 0.5f;
}

// A designed filter with a full window of pushed values, checked against a direct
// double-precision convolution so the timing is of a filter that works.
struct FirRig {
    FirRig(int taps, int factor) : d(std::make_unique<Decimator>()) {
        d->setTaps(taps);
        d->designFir(taps, 1.0 / (2.0 * factor));
        unsigned seed = 12345;
        for (int i = 0; i < taps; ++i) {
            pushedL.push_back(noise(seed));
            pushedR.push_back(noise(seed));
            d->firPush(pushedL.back(), pushedR.back());
        }
    }

    // Empty when firEvaluate agrees with the reference, else what went wrong.
    std::string verify() const {
        const int n = d->firTaps;
        if (n <= 0) return "no taps";
        double refL = 0.0, refR = 0.0, mag = 0.0;
        for (int k = 0; k < n; ++k) {
            // k samples back from the newest; the response is symmetric about the centre.
            const double c = d->firCoefs[std::min(k, n - 1 - k)];
            refL += c * pushedL[(size_t)(n - 1 - k)];
            refR += c * pushedR[(size_t)(n - 1 - k)];
            mag += std::fabs(c);
        }
        float l = 0.f, r = 0.f;
        d->firEvaluate(&l, &r);
        const double tol = 1e-5 * mag + 1e-6;
        if (std::fabs(l - refL) > tol || std::fabs(r - refR) > tol)
            return "firEvaluate " + std::to_string(l) + "/" + std::to_string(r) + " vs " +
                   std::to_string(refL) + "/" + std::to_string(refR);
        return {};
    }

    std::unique_ptr<Decimator> d;
    std::vector<float> pushedL, pushedR;
};

void BM_FirEvaluate(benchmark::State& state) {
    const int taps = (int)state.range(0), factor = (int)state.range(1);
    FirRig rig(taps, factor);
    if (std::string err = rig.verify(); !err.empty()) {
        state.SkipWithError(err.c_str());
        return;
    }
    state.SetLabel(describe(taps, factor));
    float l = 0.f, r = 0.f;
    for (auto _ : state) {
        rig.d->firEvaluate(&l, &r);
        benchmark::DoNotOptimize(l);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.counters["channel"] = benchmark::Counter(2, kPerItem);
}

// One host sample's worth of input: F pushes of a stereo pair.
void BM_FirPush(benchmark::State& state) {
    const int taps = (int)state.range(0), factor = (int)state.range(1);
    FirRig rig(taps, factor);
    state.SetLabel(describe(taps, factor));
    float x = 0.25f;
    for (auto _ : state) {
        for (int i = 0; i < factor; ++i) {
            rig.d->firPush(x, -x);
            x = -x;
        }
        benchmark::ClobberMemory();
    }
    state.counters["push"] = benchmark::Counter(factor, kPerItem);
}

// What decimation adds per host sample: F pushes and one evaluation.
void BM_FirHostSample(benchmark::State& state) {
    const int taps = (int)state.range(0), factor = (int)state.range(1);
    FirRig rig(taps, factor);
    state.SetLabel(describe(taps, factor));
    float x = 0.25f, l = 0.f, r = 0.f;
    for (auto _ : state) {
        for (int i = 0; i < factor; ++i) {
            rig.d->firPush(x, -x);
            x = -x;
        }
        rig.d->firEvaluate(&l, &r);
        benchmark::DoNotOptimize(l);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.counters["channel"] = benchmark::Counter(2, kPerItem);
}

// The yardstick: the loop anyone would write. Without -ffast-math the compiler must
// keep the additions in order, so this stays one dependent add per element.
__attribute__((noinline)) float plainDot(const float* a, const float* b, int n) {
    float s = 0.f;
    for (int i = 0; i < n; ++i) s += a[i] * b[i];
    return s;
}

// A stricter yardstick: eight independent sums, which the compiler may vectorise.
__attribute__((noinline)) float unrolledDot(const float* a, const float* b, int n) {
    float s[8] = {};
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int k = 0; k < 8; ++k) s[k] += a[i + k] * b[i + k];
    float sum = ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
    for (; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

template <float (*Dot)(const float*, const float*, int)>
void BM_Dot(benchmark::State& state) {
    const int n = (int)state.range(0);
    std::vector<float> a((size_t)n), b((size_t)n);
    unsigned seed = 777;
    for (int i = 0; i < n; ++i) a[(size_t)i] = noise(seed), b[(size_t)i] = noise(seed);
    double ref = 0.0;
    for (int i = 0; i < n; ++i) ref += (double)a[(size_t)i] * b[(size_t)i];
    if (std::fabs(Dot(a.data(), b.data(), n) - ref) > 1e-3 * std::sqrt((double)n)) {
        state.SkipWithError("dot product disagrees with the reference");
        return;
    }
    state.SetLabel(std::to_string(n) + " taps");
    for (auto _ : state) {
        // The inputs may have changed as far as the compiler knows, so every call is real.
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
        float s = Dot(a.data(), b.data(), n);
        benchmark::DoNotOptimize(s);
    }
    state.counters["channel"] = benchmark::Counter(1, kPerItem);
}

void firCases(benchmark::internal::Benchmark* b) {
    // 16X: 401 (FIR Auto) and 801 (FIR Auto double); 256X: 6401 and 12801 (the longest).
    for (int factor : {16, 256})
        for (int type : {1, 2}) b->Args({Decimator::tapCount(type, factor), factor});
}

void dotCases(benchmark::internal::Benchmark* b) {
    for (int factor : {16, 256})
        for (int type : {1, 2}) b->Arg(Decimator::tapCount(type, factor));
}

BENCHMARK(BM_FirEvaluate)->Apply(firCases);
BENCHMARK_TEMPLATE(BM_Dot, plainDot)->Apply(dotCases);
BENCHMARK_TEMPLATE(BM_Dot, unrolledDot)->Apply(dotCases);
BENCHMARK(BM_FirPush)->Apply(firCases);
BENCHMARK(BM_FirHostSample)->Apply(firCases);

}  // namespace
