#include "modules/S202HPLSVCF.h"

#include <cmath>

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"
#include "gui/CControl.h"

namespace {

constexpr int kWidth = 96, kHeight = 291;
// Same mapping as the S201: fc = 21829.5 Hz at full cutoff whatever the rate.
constexpr double kFrequencyScale = 68579.39683153832;
constexpr double kLimit = 4.0;

// A NaN lands on the lower bound (a comparison with NaN is false).
inline double limit(double v, double lo, double hi) {
    v = v > lo ? v : lo;
    return v < hi ? v : hi;
}

}  // namespace

S202HPLSVCF::S202HPLSVCF(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S202HPLSVCF.png", kWidth, kHeight)) {
    level = legend(addKnob(62, 55, 0.5f), "LEV");
    cutoff = legend(addKnob(62, 98, 0.5f), "CUT");
    frequencyDepth = legend(addKnob(62, 141, 0.f), "FRQ");
    shelf = legend(addKnob(62, 184, 0.f), "SHELF");
    resonance = legend(addKnob(62, 227, 0.f), "RES");
    audioIn = legend(addJack(17, 58, kJackInput), "IN");
    cutoffIn = legend(addJack(17, 101, kJackInput), "CUT CV");
    frequencyIn = legend(addJack(17, 144, kJackInput), "FRQ CV");
    shelfIn = legend(addJack(17, 187, kJackInput), "SHELF CV");
    output = legend(addJack(17, 230, kJackOutput), "OUT");
    mode = legend(addSwitch(36, 256, 2, 0.f), "HP/LS");
    addScrews();
    setJackValues(0.f);
    frequencyScale = kFrequencyScale / sampleRate;
}

void S202HPLSVCF::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    frequencyScale = kFrequencyScale / sampleRate;
}

void S202HPLSVCF::process() {
    level->smoothToValue();
    cutoff->smoothToValue();
    frequencyDepth->smoothToValue();
    resonance->smoothToValue();

    const double o = limit((double)cutoffIn->inValue + cutoff->smoothedValue +
                               (double)frequencyIn->inValue * frequencyDepth->smoothedValue,
                           0.0, 1.0);
    const double t = frequencyScale * o * o * o;
    const double t2 = t * t;
    // tan(t) by a polynomial that stays finite where t approaches pi/2.
    const double g = t * (1.0 + t2 * ((double)0.31755f + (double)0.2033f * t2));
    const double r = 1.0 - resonance->smoothedValue;
    const double k = 2.0 - (1.0 - r * r) * 1.99;

    // Alternating offset of denormal size keeps a silent filter out of the subnormal range.
    guard = -guard;
    const double lev = level->smoothedValue;
    double next = (double)audioIn->inValue * lev * lev + guard;
    // A non-number would stay in the integrators for good.
    if (!std::isfinite(next)) next = 0.0;
    const double x = delayed;
    delayed = next;

    const double a1 = 1.0 / ((g + k) * g + 1.0);
    const double a2 = a1 * g;
    const double a3 = a2 * g;
    double y;
    if (mode->getValue() != 0.f) {
        shelf->smoothToValue();
        const double v = x - s2;
        const double bp = a1 * s1 + a2 * v;
        const double lp = s2 + a2 * s1 + a3 * v;
        s1 = 2.0 * bp - s1;
        s2 = 2.0 * lp - s2;
        const double a = ((double)shelfIn->inValue + shelf->smoothedValue) * 2.0;
        y = limit(x + (a - 1.0) * k * bp + (a * a - 1.0) * lp, -kLimit, kLimit);
    } else {
        // At k = 0.01 the peak is sharp enough to run away; the limit keeps it bounded.
        const double v = limit(x - s2, -kLimit, kLimit);
        const double bp = a1 * s1 + a2 * v;
        const double lp = s2 + a2 * s1 + a3 * v;
        s1 = 2.0 * bp - s1;
        s2 = 2.0 * lp - s2;
        y = x - k * bp - lp;
    }
    output->outValue = (float)y;
}
