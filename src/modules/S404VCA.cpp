#include "modules/S404VCA.h"

#include <emmintrin.h>

#include <algorithm>

#include "framework/BlockRun.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kKnobX = 62, kJackX = 17;
constexpr double kGainScale = 20.0;
}  // namespace

S404VCA::S404VCA(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S404VCA.png", kWidth, kHeight)) {
    in1 = legend(addJack(kJackX, 58, kJackInput), "IN 1");
    in2 = legend(addJack(kJackX, 101, kJackInput), "IN 2");
    cvIn = legend(addJack(kJackX, 144, kJackInput), "CV");
    xfadeIn = legend(addJack(kJackX, 187, kJackInput), "XFADE");
    mixOut = legend(addJack(kJackX, 230, kJackOutput), "MIX");
    out1 = legend(addJack(48, 230, kJackOutput), "OUT 1");
    out2 = legend(addJack(79, 230, kJackOutput), "OUT 2");
    level1 = legend(addKnob(kKnobX, 55, 0.5f), "LEV 1");
    level2 = legend(addKnob(kKnobX, 98, 0.5f), "LEV 2");
    cvAmount = legend(addKnob(kKnobX, 141, 0.f), "CV AMT");
    amp = legend(addKnob(kKnobX, 184, 0.f), "AMP");

    response = legend(addSwitch(36, 256, 3, 0.f), "LIN/EXP/LOG");
    clip.attach(addLight("led_red.png", 67, 262));
    addScrews();
    setJackValues(0.f);
    clip.setSampleRate(sampleRate);
}

void S404VCA::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    clip.setSampleRate(sampleRate);
}

void S404VCA::process() { step(PassJacks{}); }
void S404VCA::processPass() { step(SourceJacks{}); }

// The gain of CV c, before its scale, at the switch's response.
inline double S404VCA::gainOf(float mode, double c, double k, double a) {
    if (mode < 0.5f) return c * k + a * a;
    // Exponential: the CV's square, keeping its sign.
    if (mode < 1.f) return c >= 0.0 ? a * a + c * c * k : a * a - c * c * k;
    // Logarithmic: the mirror image of the square, steep at first.
    return c >= 0.0 ? (1.0 - (1.0 - c) * (1.0 - c)) * k + a * a : a * a - (1.0 - (c + 1.0) * (c + 1.0)) * k;
}

inline float S404VCA::amplified(float in, double level, float gain) { return (float)((double)in * level * gain); }

void S404VCA::processBlock(int first, int n) {
    if (knobs.moving() || n <= 0) return runByPasses(*this, first, n);
    // Knobs, switch and cables stand for the block, so one loop for each response
    // and each use of the second input and the mix holds them in registers.
    const float mode = response->getValue();
    const int m = mode < 0.5f ? 0 : mode < 1.f ? 1 : 2;
    const int kind = m * 4 + (in2->connectionCount > 0 ? 2 : 0) + (mixOut->connectionCount > 0 ? 1 : 0);
    switch (kind) {
    case 0: return restingBlock<0, false, false>(n);
    case 1: return restingBlock<0, false, true>(n);
    case 2: return restingBlock<0, true, false>(n);
    case 3: return restingBlock<0, true, true>(n);
    case 4: return restingBlock<1, false, false>(n);
    case 5: return restingBlock<1, false, true>(n);
    case 6: return restingBlock<1, true, false>(n);
    case 7: return restingBlock<1, true, true>(n);
    case 8: return restingBlock<2, false, false>(n);
    case 9: return restingBlock<2, false, true>(n);
    case 10: return restingBlock<2, true, false>(n);
    default: return restingBlock<2, true, true>(n);
    }
}

// The linear response on the first channel alone, four passes at a time: the same
// double products lane by lane, so every value is the one-pass loop's. A group with a
// value to limit (or not a number) runs pass by pass instead, which keeps the light's
// count. Returns where the one-pass loop goes on.
template <class Pass>
inline int S404VCA::linearFour(int n, double k, double a, double l1, ClipLight& light, float& o1, bool& open,
                               Pass& pass) {
    const __m128d amount = _mm_set1_pd(k), offset = _mm_set1_pd(a * a), scale = _mm_set1_pd(kGainScale);
    const __m128d level = _mm_set1_pd(l1);
    const __m128 limit = _mm_set1_ps(4.f), sign = _mm_set1_ps(-0.f);
    const float *const cv = cvIn->blockIn, *const x1 = in1->blockIn;
    float* const r1 = out1->blockOut + 1;
    auto gains = [&](__m128 c) {
        return _mm_cvtpd_ps(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(c), amount), offset), scale));
    };
    auto amplify = [&](__m128 x, __m128 g) {
        return _mm_cvtpd_ps(_mm_mul_pd(_mm_mul_pd(_mm_cvtps_pd(x), level), _mm_cvtps_pd(g)));
    };
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 c = _mm_loadu_ps(cv + i), x = _mm_loadu_ps(x1 + i);
        const __m128 gain = _mm_movelh_ps(gains(c), gains(_mm_movehl_ps(c, c)));
        const __m128 v = _mm_movelh_ps(amplify(x, gain), amplify(_mm_movehl_ps(x, x), _mm_movehl_ps(gain, gain)));
        const __m128 opened = _mm_cmpgt_ps(gain, _mm_setzero_ps());
        // |v| <= 4 is false both for a value to limit and for not a number.
        const __m128 plain = _mm_cmple_ps(_mm_andnot_ps(sign, v), limit);
        if (_mm_movemask_ps(_mm_andnot_ps(plain, opened)) != 0) {
            for (int j = i; j != i + 4; ++j) pass(j);
            continue;
        }
        const __m128 o = _mm_and_ps(opened, v);
        _mm_storeu_ps(r1 + i, o);
        for (int t = 0; t < 4; ++t) light.tick<true>();
        o1 = _mm_cvtss_f32(_mm_shuffle_ps(o, o, 3));
        open = (_mm_movemask_ps(opened) & 8) != 0;
    }
    return i;
}

// The loop writes the rows itself (a row without readers is scratch). Without Mix the
// mix has no reader, so only its last value, which a cable joined later reads first,
// is made; without Second the second output is 0 throughout.
template <int Mode, bool Second, bool Mix>
void S404VCA::restingBlock(int n) {
    constexpr float mode = Mode == 0 ? 0.f : Mode == 1 ? 0.5f : 1.f;
    const double k = cvAmount->smoothedValue, a = amp->smoothedValue;
    const double l1 = level1->smoothedValue, l2 = level2->smoothedValue;
    const float *const cv = cvIn->blockIn, *const x1 = in1->blockIn, *const x2 = in2->blockIn;
    const float* const xf = xfadeIn->blockIn;
    float *const r1 = out1->blockOut + 1, *const r2 = out2->blockOut + 1, *const rm = mixOut->blockOut + 1;
    float o1 = 0.f, o2 = 0.f, mix = 0.f;
    bool open = false;
    // The light's count in a local, which the row stores cannot touch, so it stays
    // in registers.
    ClipLight light = clip;
    auto pass = [&](int i) {
        const float gain = (float)(gainOf(mode, cv[i], k, a) * kGainScale);
        open = gain > 0.f;
        o1 = o2 = mix = 0.f;
        if (open) {
            o1 = light.limit<true>(amplified(x1[i], l1, gain));
            if (Second) o2 = light.limit<true>(amplified(x2[i], l2, gain));
            if (Mix) {
                const float x = 0.5f - xf[i] * 0.5f;
                mix = (1.f - x) * o2 + x * o1;
            }
        }
        r1[i] = o1;
        if (Second) r2[i] = o2;
        if (Mix) rm[i] = mix;
        light.tick<true>();
    };
    int i = 0;
    if constexpr (Mode == 0 && !Second && !Mix) i = linearFour(n, k, a, l1, light, o1, open, pass);
    for (; i < n; ++i) pass(i);
    if (!Second && out2->connectionCount > 0) std::fill(r2, r2 + n, 0.f);
    if (!Mix && open) {
        const float x = 0.5f - xf[n - 1] * 0.5f;
        mix = (1.f - x) * o2 + x * o1;
    }
    // Not from the rows: the rows of outputs without readers are one scratch row.
    out1->outValue = o1;
    out2->outValue = o2;
    mixOut->outValue = mix;
    clip = light;
    clip.show();
}

// A pass as the list runs it or readers first; a block at rest has its own loop.
template <class Jacks>
inline void S404VCA::step(const Jacks& io) {
    if (knobs.moving()) {
        level1->smoothToValue();
        level2->smoothToValue();
        cvAmount->smoothToValue();
        amp->smoothToValue();
        knobs.settle(level1, level2, cvAmount, amp);
    }
    const float gain =
        (float)(gainOf(response->getValue(), io.in(cvIn), cvAmount->smoothedValue, amp->smoothedValue) * kGainScale);

    float o1 = 0.f, o2 = 0.f, mix = 0.f;
    if (gain > 0.f) {
        o1 = clip.limit(amplified(io.in(in1), level1->smoothedValue, gain));
        // A jack without a cable reads exactly 0, and so would give exactly 0 here.
        if (in2->connectionCount > 0) o2 = clip.limit(amplified(io.in(in2), level2->smoothedValue, gain));
        // No limit on X Fade: beyond +-1 the mix extrapolates.
        const float x = 0.5f - io.in(xfadeIn) * 0.5f;
        mix = (1.f - x) * o2 + x * o1;
    }
    out1->outValue = o1;
    out2->outValue = o2;
    mixOut->outValue = mix;
    clip.tick();
}
