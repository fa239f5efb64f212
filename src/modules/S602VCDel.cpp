#include "modules/S602VCDel.h"

#include <cmath>

#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kKnobX = 62, kJackX = 17;
constexpr float kHigh = 0.25f;
// Clock jitter up to this many samples leaves the delay alone.
constexpr float kJitter = 2.f;
constexpr int32_t kCounterCap = 2147483646;
constexpr float kMaxFeedback = 0.9999999f;
constexpr int kExtraBytes = 4;
// Older records had no law switch and always behaved as Wild.
constexpr int kFirstVersionWithLaw = 1002;

// Wraps a read position into [0, n). The single-precision result of a position a
// hair below 0 (or below a multiple of n) rounds up to n itself, which is index 0.
inline float wrapRead(double r, int n) {
    if (r < 0.0 || r >= n) {
        r = std::fmod(r, (double)n);
        if (r < 0.0) r += n;
    }
    float f = (float)r;
    if (!(f < (float)n) || !(f >= 0.f)) f = 0.f;  // rounding up to n, or NaN
    return f;
}
}  // namespace

S602VCDel::S602VCDel(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S602VCDel.png", kWidth, kHeight)) {
    time = legend(addKnob(kKnobX, 55, 0.5f), "TIME");
    timeDepth = legend(addKnob(kKnobX, 98, 0.f), "TIME CV");
    feedback = legend(addKnob(kKnobX, 141, 0.5f), "FB");
    mix = legend(addKnob(kKnobX, 227, 0.5f), "MIX");
    mix->smoothedValue = 0.0;  // a new delay starts dry and glides to the knob
    audioIn = legend(addJack(kJackX, 58, kJackInput), "IN");
    timeCvIn = legend(addJack(kJackX, 101, kJackInput), "TIME CV");
    feedbackCvIn = legend(addJack(kJackX, 144, kJackInput), "FB CV");
    clockIn = legend(addJack(kJackX, 187, kJackInput), "CLOCK");
    mixOut = legend(addJack(kJackX, 230, kJackInput), "OUT");
    mixOut->direction = kJackOutput;
    // Kept so that the jack numbering of stored patches stays the same.
    addJack(63, 187, kJackInput)->setVisible(false);
    clip.attach(addLight("led_red.png", 10, 262));
    law = legend(addSwitch(62, 186, 2, 0.f), "TAME/WILD");
    addScrews();
    setJackValues(0.f);

    ringSize = ringLength(sampleRate);
    ring.assign((size_t)ringSize, 0.f);
    clockedDelay = (float)ringSize * 0.25f;
    clip.setSampleRate(sampleRate);
}

void S602VCDel::setSampleRate(float rate) {
    const float oldRate = sampleRate;
    Module::setSampleRate(rate);
    ringSize = ringLength(sampleRate);
    ring.resize((size_t)ringSize, 0.f);
    // A shrunk ring may end below the write position: the next sample starts it over.
    if (writePos >= ringSize) writePos = ringSize - 1;
    clockedDelay *= sampleRate / oldRate;
    clip.setSampleRate(sampleRate);
}

// Audio thread, lock held.
void S602VCDel::process() {
    if (knobs.moving()) {
        time->smoothToValue();
        timeDepth->smoothToValue();
        feedback->smoothToValue();
        mix->smoothToValue();
        knobs.settle(time, timeDepth, feedback, mix);
    }

    const float in = audioIn->inValue;
    double length;
    if (clockIn->connectionCount > 0) {
        const float clock = clockIn->inValue;
        if (previousClock < kHigh && clock >= kHigh) {
            if (std::fabs((float)clockCounter - clockedDelay) > kJitter) clockedDelay = (float)clockCounter;
            clockCounter = 1;
        } else if (clockCounter < kCounterCap) {
            ++clockCounter;
        }
        previousClock = clock;
        length = clockedDelay < ringSize - 1 ? clockedDelay : ringSize - 1;
    } else if (law->getValue() > 0.f) {
        const double s = timeCvIn->inValue * timeDepth->smoothedValue + time->smoothedValue;
        length = s * s * (ringSize - 2) + 1.0;
    } else {
        const double t = time->smoothedValue, k = timeDepth->smoothedValue;
        length = std::fabs(t * t + k * k * k * timeCvIn->inValue) * (ringSize - 2) + 1.0;
    }

    if (++writePos >= ringSize) writePos = 0;
    readPos = wrapRead(writePos - length, ringSize);

    float f = feedbackCvIn->connectionCount > 0 ? feedbackCvIn->inValue * (float)feedback->smoothedValue
                                                : (float)feedback->smoothedValue;
    f = f > kMaxFeedback ? kMaxFeedback : f < -kMaxFeedback ? -kMaxFeedback : f;

    const int i = (int)readPos;
    int j = i + 1;
    if (j >= ringSize) j = 0;
    const float frac = readPos - (float)i;
    const float echo = f * ((1.f - frac) * ring[(size_t)i] + frac * ring[(size_t)j]);

    guard = -guard;
    ring[(size_t)writePos] = echo + in + guard;

    const double m = mix->smoothedValue;
    double w = (1.0 - m) * in + m * echo;
    w *= m >= 0.5 ? (1.5 - m) * 2.0 : (m + 0.5) * 2.0;
    const double y = (w - dcIn) + 0.999 * dcOut;
    dcIn = w;
    dcOut = y;
    mixOut->outValue = clip.limit((float)y);
    clip.tick();
}

int S602VCDel::getStateSize() { return Module::getStateSize() + kExtraBytes; }

void S602VCDel::saveState(float* buffer, int byteCount) {
    Module::saveState(buffer, byteCount);
    const float seconds = clockedDelay / sampleRate;
    saveAfterControls(buffer, byteCount, &seconds, 1);
}

void S602VCDel::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    if (version < kFirstVersionWithLaw) {
        law->setValue(1.f);
        controlChanged(law);
    }
    float seconds;
    // A clock can only ever set a count between 0 and the counter's cap; anything beyond
    // (an infinite product above all) would save as a word the next load reads otherwise.
    // A non-number keeps the present delay: it would never differ from any clock count,
    // so the clock could not reset it.
    if (loadAfterControls(words, byteCount, &seconds, 1))
        clockedDelay = keptInRange(seconds * sampleRate, 0.f, (float)kCounterCap, clockedDelay);
}
