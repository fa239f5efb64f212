// What the ThreadSanitizer stress programs share: failure reporting that any thread
// may call, host-side audio buffers, and jack lookup.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/PatchPoint.h"

namespace stress {

constexpr int kFrames = 64;

inline std::atomic<int> failures{0};

inline void fail(const char* fmt, ...) {
    if (failures.fetch_add(1) >= 20) return;  // the first ones tell the story
    std::va_list args;
    va_start(args, fmt);
    std::fputs("FAILED: ", stderr);
    std::vfprintf(stderr, fmt, args);
    std::fputc('\n', stderr);
    va_end(args);
}

inline std::vector<PatchPoint*> jacks(Module* m) {
    std::vector<PatchPoint*> out;
    for (CView* v : m->getChildren())
        if (v->isTypeOf("PatchPoint")) out.push_back(static_cast<PatchPoint*>(v));
    return out;
}

// Host inputs 1 and 2 carry two slow waves within +-0.5.
struct HostBlock {
    HostBlock() : in((size_t)kNumInputs * kFrames), out((size_t)kNumOutputs * kFrames) {
        for (int k = 0; k < kNumInputs; ++k) inPtr[k] = &in[(size_t)k * kFrames];
        for (int j = 0; j < kNumOutputs; ++j) outPtr[j] = &out[(size_t)j * kFrames];
        for (int s = 0; s < kFrames; ++s) {
            inPtr[0][s] = 0.5f * std::sin(0.03f * (float)s);
            inPtr[1][s] = 0.5f * std::cos(0.05f * (float)s);
        }
    }
    std::vector<float> in, out;
    float* inPtr[kNumInputs];
    float* outPtr[kNumOutputs];
};

}  // namespace stress
