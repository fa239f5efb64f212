#include "modules/S201VCF.h"

#include <cmath>

#include "framework/BlockRun.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VANTOREL_FUSED_DOUBLING 1
#endif

namespace {

constexpr int kWidth = 96, kHeight = 291;
// 0.99 * pi/2 * 44100: o = 1 puts t just short of pi/2 at 44.1 kHz, so fc tops out
// at 21829.5 Hz whatever the rate.
constexpr double kFrequencyScale = 68579.39683153832;
constexpr float kNodeLimit = 4.f;

// Written so that a NaN lands on the lower bound instead of poisoning the states for
// good (a comparison with NaN is false); plain comparisons also stay inline.
inline float limit(float v, float lo, float hi) {
    v = v > lo ? v : lo;
    return v < hi ? v : hi;
}

}  // namespace

inline bool S201VCF::modulated() const {
    return (cutoffIn->connectionCount | frequencyIn->connectionCount | resonanceIn->connectionCount) != 0;
}

// The input at its level, with the guard.
inline float S201VCF::drive(float in, float lev, float guard) { return in * lev * lev + guard; }

// 2t - s rounded once. Doubling is exact (the states stay far below overflow, the
// node being limited), so this is the rounding that doubling and subtracting make,
// in one fused step: it shortens the wait from one sample to the next.
inline float S201VCF::doubledLess(float t, float s) {
#ifdef VANTOREL_FUSED_DOUBLING
    const float two = 2.f;
    asm("vfmsub231ss %2, %1, %0" : "+x"(s) : "x"(t), "x"(two));
    return s;
#else
    return 2.f * t - s;
#endif
}

bool S201VCF::fusedAvailable() {
#ifdef VANTOREL_FUSED_DOUBLING
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma") != 0;
#else
    return false;
#endif
}

// One step of the two stages from x; the states are wherever the caller keeps them.
template <bool Fused>
inline float S201VCF::filter(const Coefficients& q, float x, float& s1, float& s2, float& node) {
    const float c = limit((q.k * s1 + q.a * s2 + q.ag * x) / q.denominator, -kNodeLimit, kNodeLimit);
    const float y = (s1 + q.g * c) / q.a;
    node = c;
    s1 = 2.f * y - s1;
    s2 = Fused ? doubledLess(c - q.k * y, s2) : 2.f * (c - q.k * y) - s2;
    return y;
}

S201VCF::S201VCF(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S201VCF.png", kWidth, kHeight)) {
    level = legend(addKnob(62, 55, 0.5f), "LEV");
    cutoff = legend(addKnob(62, 98, 0.5f), "CUT");
    frequencyDepth = legend(addKnob(62, 141, 0.f), "FRQ");
    resonanceDepth = legend(addKnob(62, 184, 0.f), "Q");
    resonance = legend(addKnob(62, 227, 0.f), "RES");
    audioIn = legend(addJack(17, 58, kJackInput), "IN");
    cutoffIn = legend(addJack(17, 101, kJackInput), "CUT CV");
    frequencyIn = legend(addJack(17, 144, kJackInput), "FRQ CV");
    resonanceIn = legend(addJack(17, 187, kJackInput), "Q CV");
    output = legend(addJack(17, 230, kJackOutput), "OUT");
    addScrews();
    setJackValues(0.f);
    frequencyScale = (float)(kFrequencyScale / sampleRate);
}

void S201VCF::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    frequencyScale = (float)(kFrequencyScale / sampleRate);
    lastO = -1.f;
    coefficientsStand = false;
}

// The coefficients follow from o and r alone; they are kept until either moves.
inline void S201VCF::updateCoefficients(float o, float r) {
    if (o != lastO || r != lastR) {
        lastO = o;
        lastR = r;
        const float o2 = o * o;
        const float t = frequencyScale * o2 * o2;
        const float damp = 1.f - 0.95f * r;
        q.k = 2.f * (1.f - damp * damp);
        // tan(t) by a polynomial that stays finite where t approaches pi/2.
        const float t2 = t * t;
        q.g = t * (1.f + t2 * (0.31755f + 0.2033f * t2));
        q.a = 1.f + q.g;
        q.ag = q.a * q.g;
        q.denominator = q.a * q.a - q.k * q.g;
    }
}

void S201VCF::cableConnected(PatchPoint*) { coefficientsStand = false; }
void S201VCF::cableDisconnected(PatchPoint*) { coefficientsStand = false; }

void S201VCF::process() { step<false>(PassJacks{}); }
void S201VCF::processPass() { step<false>(SourceJacks{}); }

void S201VCF::processBlock(int first, int n) {
    if (knobs.moving()) return runByPasses(*this, first, n);
    restingBlock<false>(n);
}

namespace {

// The same filter with the fused update, for processors that have it: a class of its
// own, so that a pass need not ask which update to take.
class S201VCFFused final : public S201VCF {
public:
    using S201VCF::S201VCF;
    void process() override { step<true>(PassJacks{}); }
    void processPass() override { step<true>(SourceJacks{}); }
    void processBlock(int first, int n) override {
        if (knobs.moving()) return runByPasses(*this, first, n);
        restingBlock<true>(n);
    }
    bool fusedDoubling() const override { return true; }
};

}  // namespace

Module* S201VCF::make(Patch* editor) {
    if (fusedAvailable()) return new S201VCFFused(editor);
    return new S201VCF(editor);
}

// A block with the knobs at rest.
template <bool Fused>
void S201VCF::restingBlock(int n) {
    if (!coefficientsStand) return runBlock(n, [this](const BlockJacks& io) { step<Fused>(io); }, output);
    // The coefficients stand for the whole block. The states stay in registers here:
    // each sample waits on the last through two divisions, and a trip through memory
    // would add to that wait.
    const Coefficients c = q;
    const float lev = (float)level->smoothedValue;
    const float* const in = audioIn->blockIn;
    float* const out = output->blockOut + 1;
    float p1 = s1, p2 = s2, at = node, gd = guard, y = output->outValue;
    for (int i = 0; i < n; ++i) {
        gd = -gd;
        y = filter<Fused>(c, drive(in[i], lev, gd), p1, p2, at);
        out[i] = y;
    }
    s1 = p1, s2 = p2, node = at, guard = gd;
    output->outValue = y;
}

// A block runs this only with the knobs at rest.
template <bool Fused, class Jacks>
inline void S201VCF::step(const Jacks& io) {
    const bool moving = !Jacks::kBlock && knobs.moving();
    if (moving) {
        level->smoothToValue();
        cutoff->smoothToValue();
        frequencyDepth->smoothToValue();
        resonanceDepth->smoothToValue();
        resonance->smoothToValue();
        knobs.settle(level, cutoff, frequencyDepth, resonanceDepth, resonance);
    }

    // A tiny offset of alternating sign keeps silent states out of the subnormal range.
    guard = -guard;
    const float lev = (float)level->smoothedValue;

    // With no cable on the three CV inputs (which then read exactly 0) and the knobs
    // at rest, o and r are what they were last time: the coefficients stand until a
    // knob moves or a cable comes or goes.
    if (moving || !coefficientsStand) {
        coefficientsStand = !modulated();
        updateCoefficients(
            limit(io.in(cutoffIn) + (float)cutoff->smoothedValue +
                      io.in(frequencyIn) * (float)frequencyDepth->smoothedValue,
                  0.f, 1.f),
            limit(io.in(resonanceIn) * (float)resonanceDepth->smoothedValue + (float)resonance->smoothedValue,
                  0.f, 1.f));
    }
    output->outValue = filter<Fused>(q, drive(io.in(audioIn), lev, guard), s1, s2, node);
}
