#include "modules/S500ADSR.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

#include "framework/BlockRun.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kKnobX = 62, kJackX = 17;
constexpr float kHigh = 0.25f;
// What the Trig. button feeds in place of the Gate input while held.
constexpr float kButtonGate = 1.25f;
constexpr double kMaxSeconds = 22.0;
// 50 samples at 44.1 kHz for the attack, 90 for decay and release.
constexpr double kMinAttackSeconds = 0.0011337868480725624;
constexpr double kMinDecaySeconds = 0.0020408163265306124;

// Cubic law: most of the knob's travel goes to the short times.
inline float stageLength(double knob, float minT, float maxT) {
    return (float)(knob * knob * knob * ((double)maxT - (double)minT) + (double)minT);
}

}  // namespace

S500ADSR::S500ADSR(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S500ADSR.png", kWidth, kHeight)) {
    posAmount = legend(addKnob(kKnobX, 55, 0.f), "POS");
    attack = legend(addKnob(kKnobX, 98, 0.f), "A");
    decay = legend(addKnob(kKnobX, 141, 0.f), "D");
    sustain = legend(addKnob(kKnobX, 184, 0.f), "S");
    // R has always held the fifth host parameter although it joins the panel last;
    // projects automate it by that number.
    const int32_t releaseTag = takeParamIndex();
    posIn = legend(addJack(kJackX, 58, kJackInput), "POS");
    gateIn = legend(addJack(kJackX, 101, kJackInput), "GATE");
    retrigIn = legend(addJack(kJackX, 144, kJackInput), "RETRIG");
    eodOut = legend(addJack(kJackX, 187, kJackOutput), "EOD");
    out = legend(addJack(kJackX, 230, kJackOutput), "OUT");

    curve = legend(addSwitch(36, 256, 2, 0.f), "CURVE/LIN");
    trigButton = legend(addKickButton(61, 261), "TRIG");

    release = legend(addKnob(kKnobX, 227, 0.f, false), "R");
    release->setTag(releaseTag);
    bindParam(release);

    addScrews();
    setJackValues(0.f);
    updateTimeLimits();
}

void S500ADSR::updateTimeLimits() {
    maxTime = (float)((double)sampleRate * kMaxSeconds);
    minAttack = (float)((double)sampleRate * kMinAttackSeconds);
    minDecayRelease = (float)((double)sampleRate * kMinDecaySeconds);
    stagesStale = true;
}

void S500ADSR::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    updateTimeLimits();
}

void S500ADSR::process() { step(PassJacks{}); }
void S500ADSR::processPass() { step(SourceJacks{}); }

inline bool S500ADSR::straightCurve() const { return curve->getValue() >= 0.5f; }

void S500ADSR::processBlock(int first, int n) {
    if (knobs.moving() || n <= 0) return runByPasses(*this, first, n);
    refreshStages(false);
    // Without cables on Pos. and Retrig. both read 0: the clock runs at speed 1 (0
    // times a finite amount, plus 1) and no retrigger comes.
    const bool free = posIn->connectionCount == 0 && retrigIn->connectionCount == 0 &&
                      std::isfinite(posAmount->smoothedValue);
    if (straightCurve()) return free ? restingBlock<true, true>(n) : restingBlock<true, false>(n);
    return free ? restingBlock<false, true>(n) : restingBlock<false, false>(n);
}

// Knobs and switches stand for the block: the loop keeps them, and the envelope's
// state, in registers and writes the rows itself.
template <bool Straight, bool Free>
void S500ADSR::restingBlock(int n) {
    const Setting set = setting();
    State e = env;
    float y = out->outValue, end = eodOut->outValue;
    const float *const gate = gateIn->blockIn, *const pos = posIn->blockIn, *const retrig = retrigIn->blockIn;
    float *const level = out->blockOut + 1, *const eod = eodOut->blockOut + 1;
    for (int i = 0; i < n;) {
        if (Free && i + 4 <= n && e.gateLatch >= kHigh && fourHeld<Straight>(set, e, gate + i, level + i)) {
            eod[i] = eod[i + 1] = eod[i + 2] = eod[i + 3] = end = 0.f;
            y = level[i + 3];
            i += 4;
            continue;
        }
        // Four passes one at a time before the next try, so that a sustain or a
        // release pays for one try in four passes, not one in every pass.
        for (const int stop = Free ? std::min(n, i + 4) : i + 1; i < stop; ++i) {
            const float g = set.button ? kButtonGate : gate[i];
            if (Free) advance<Straight>(set, e, g, 0.f, 1.0, y, end);
            else advance<Straight>(set, e, g, retrig[i], speedOf(set, pos[i]), y, end);
            level[i] = y;
            eod[i] = end;
        }
    }
    env = e;
    out->outValue = y;
    eodOut->outValue = end;
}

// Four passes of a held gate at once, where all four fall in the attack or all four in
// the decay (the clock at 1 and no retrigger, as without cables): the pass's float
// steps lane by lane, and the clock counted up one add at a time as the passes count
// it, so every level is the one-pass loop's. False, with nothing done, otherwise.
template <bool Straight>
inline bool S500ADSR::fourHeld(const Setting& set, State& e, const float* gate, float* level) {
    const __m128 high = _mm_set1_ps(kHigh);
    if (!set.button && _mm_movemask_ps(_mm_cmpge_ps(_mm_loadu_ps(gate), high)) != 15) return false;
    const double c0 = e.stageClock, c1 = c0 + 1.0, c2 = c1 + 1.0, c3 = c2 + 1.0;
    const __m128 p = _mm_movelh_ps(_mm_cvtpd_ps(_mm_set_pd(c1, c0)), _mm_cvtpd_ps(_mm_set_pd(c3, c2)));
    const __m128 one = _mm_set1_ps(1.f), ta = _mm_set1_ps(set.ta);
    const int attacking = _mm_movemask_ps(_mm_cmple_ps(p, ta));
    __m128 y;
    if (attacking == 15) {
        const __m128 f = _mm_div_ps(p, ta);
        const __m128 rest = _mm_sub_ps(one, f);
        y = Straight ? f : _mm_sub_ps(one, _mm_mul_ps(rest, rest));
    } else {
        const __m128 td = _mm_set1_ps(set.td), s = _mm_set1_ps(set.sustain);
        const __m128 into = _mm_sub_ps(p, ta);
        if (attacking != 0 || _mm_movemask_ps(_mm_cmple_ps(into, td)) != 15) return false;
        const __m128 f = _mm_div_ps(into, td);
        const __m128 rest = _mm_sub_ps(one, f), room = _mm_sub_ps(one, s);
        y = Straight ? _mm_sub_ps(one, _mm_mul_ps(room, f)) : _mm_add_ps(_mm_mul_ps(_mm_mul_ps(rest, rest), room), s);
    }
    _mm_storeu_ps(level, y);
    e.stageClock = c3 + 1.0;
    e.prevRetrig = 0.f;
    return true;
}

// Stage lengths follow the time knobs and the rate's limits only.
inline void S500ADSR::refreshStages(bool moving) {
    if (moving || stagesStale) {
        stagesStale = false;
        attackLength = stageLength(attack->smoothedValue, minAttack, maxTime);
        decayLength = stageLength(decay->smoothedValue, minDecayRelease, maxTime);
        releaseLength = stageLength(release->smoothedValue, minDecayRelease, maxTime);
    }
}

inline S500ADSR::Setting S500ADSR::setting() const {
    return {attackLength,           decayLength, releaseLength, (float)sustain->smoothedValue,
            posAmount->smoothedValue, straightCurve(), trigButton->getValue() != 0.f};
}

// A pass as the list runs it or readers first; a block at rest has its own loop.
template <class Jacks>
inline void S500ADSR::step(const Jacks& io) {
    const bool moving = knobs.moving();
    if (moving) {
        posAmount->smoothToValue();
        attack->smoothToValue();
        decay->smoothToValue();
        sustain->smoothToValue();
        release->smoothToValue();
        knobs.settle(posAmount, attack, decay, sustain, release);
    }
    refreshStages(moving);
    const Setting set = setting();
    const float g = set.button ? kButtonGate : io.in(gateIn);
    const double speed = speedOf(set, io.in(posIn));
    if (set.straight) advance<true>(set, env, g, io.in(retrigIn), speed, out->outValue, eodOut->outValue);
    else advance<false>(set, env, g, io.in(retrigIn), speed, out->outValue, eodOut->outValue);
}

// One pass of the envelope at gate g; out and eod hold the outputs' values, which a
// pass may leave as they are. The Pos. CV scales the clock (speed), so a change moves
// the position within the stage at once.
template <bool Straight>
inline void S500ADSR::advance(const Setting& set, State& e, float g, float retrig, double speed, float& out,
                              float& eod) {
    const float ta = set.ta, td = set.td, tr = set.tr;
    constexpr bool straight = Straight;
    const float y0 = out;
    if (g >= kHigh) {
        if (e.gateLatch < kHigh || (e.prevRetrig < kHigh && retrig >= kHigh)) {
            e.gateLatch = g;
            e.prevRetrig = retrig;
            eod = 0.f;
            // Resume the attack at the point of its curve that matches the present level,
            // so a retrigger never jumps. The clamp keeps a level above 1 (reachable only
            // with a reversed Pos. clock) from turning the clock into NaN.
            e.stageClock = straight ? (double)ta * y0 + 1.0
                                    : (1.0 - std::sqrt(std::max(0.0, 1.0 - (double)y0))) * ta + 1.0;
            return;
        }
        e.prevRetrig = retrig;
        const float p = (float)(speed * e.stageClock);
        float y;
        if (p <= ta) {
            const float f = p / ta;
            y = straight ? f : 1.f - (1.f - f) * (1.f - f);
            e.stageClock += 1.0;
        } else if (p - ta <= td) {
            const float s = set.sustain;
            const float f = (p - ta) / td;
            y = straight ? 1.f - (1.f - s) * f : (1.f - f) * (1.f - f) * (1.f - s) + s;
            e.stageClock += 1.0;
        } else {
            out = set.sustain;
            eod = 1.f;
            return;
        }
        out = y;
        eod = 0.f;
        return;
    }
    if (e.gateLatch >= kHigh) {
        // The falling edge only arms the release; the level holds for this sample.
        e.gateLatch = g;
        e.releaseStart = y0;
        e.stageClock = 1.0;
        return;
    }
    const float p = (float)(speed * e.stageClock);
    float y = 0.f;
    if (p <= tr) {
        const float f = 1.f - p / tr;
        y = (straight ? f : f * f) * e.releaseStart;
        e.stageClock += 1.0;
    }
    out = y;
    eod = 0.f;
}
