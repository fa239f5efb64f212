#include "modules/S500ADSR.h"

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

void S500ADSR::processBlock(int first, int n) {
    if (knobs.moving()) return runByPasses(*this, first, n);
    runBlock(n, [this](const BlockJacks& io) { step(io); }, eodOut, out);
}

// A block runs this only with the knobs at rest.
template <class Jacks>
inline void S500ADSR::step(const Jacks& io) {
    const bool moving = !Jacks::kBlock && knobs.moving();
    if (moving) {
        posAmount->smoothToValue();
        attack->smoothToValue();
        decay->smoothToValue();
        sustain->smoothToValue();
        release->smoothToValue();
        knobs.settle(posAmount, attack, decay, sustain, release);
    }
    // Stage lengths follow the time knobs and the rate's limits only.
    if (moving || stagesStale) {
        stagesStale = false;
        attackLength = stageLength(attack->smoothedValue, minAttack, maxTime);
        decayLength = stageLength(decay->smoothedValue, minDecayRelease, maxTime);
        releaseLength = stageLength(release->smoothedValue, minDecayRelease, maxTime);
    }
    const float ta = attackLength, td = decayLength, tr = releaseLength;
    const bool straight = curve->getValue() >= 0.5f;
    const float g = trigButton->getValue() != 0.f ? kButtonGate : io.in(gateIn);
    const float y0 = out->outValue;
    // The CV scales the clock, so a change moves the position within the stage at once.
    const double speed = (double)io.in(posIn) * posAmount->smoothedValue + 1.0;

    if (g >= kHigh) {
        const float retrig = io.in(retrigIn);
        if (gateLatch < kHigh || (prevRetrig < kHigh && retrig >= kHigh)) {
            gateLatch = g;
            prevRetrig = retrig;
            eodOut->outValue = 0.f;
            // Resume the attack at the point of its curve that matches the present level,
            // so a retrigger never jumps. The clamp keeps a level above 1 (reachable only
            // with a reversed Pos. clock) from turning the clock into NaN.
            stageClock = straight ? (double)ta * y0 + 1.0
                                  : (1.0 - std::sqrt(std::max(0.0, 1.0 - (double)y0))) * ta + 1.0;
            return;
        }
        prevRetrig = retrig;
        const float p = (float)(speed * stageClock);
        float y;
        if (p <= ta) {
            const float f = p / ta;
            y = straight ? f : 1.f - (1.f - f) * (1.f - f);
            stageClock += 1.0;
        } else if (p - ta <= td) {
            const float s = (float)sustain->smoothedValue;
            const float f = (p - ta) / td;
            y = straight ? 1.f - (1.f - s) * f : (1.f - f) * (1.f - f) * (1.f - s) + s;
            stageClock += 1.0;
        } else {
            out->outValue = (float)sustain->smoothedValue;
            eodOut->outValue = 1.f;
            return;
        }
        out->outValue = y;
        eodOut->outValue = 0.f;
        return;
    }

    if (gateLatch >= kHigh) {
        // The falling edge only arms the release; the level holds for this sample.
        gateLatch = g;
        releaseStart = y0;
        stageClock = 1.0;
        return;
    }
    const float p = (float)(speed * stageClock);
    float y = 0.f;
    if (p <= tr) {
        const float f = 1.f - p / tr;
        y = (straight ? f : f * f) * releaseStart;
        stageClock += 1.0;
    }
    out->outValue = y;
    eodOut->outValue = 0.f;
}
