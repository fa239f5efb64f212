#include "modules/S310VCO.h"

#include <xmmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/Vantorel.h"
#include "framework/BlockRun.h"
#include "framework/ModuleKnob.h"
#include "framework/Patch.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {

constexpr int kWidth = 120, kHeight = 291;
// Keeps the period finite when the pitch sum is absurdly low or not a number.
constexpr float kMinFrequency = 1e-3f;
constexpr float kNever = 2.f;

using Table = std::array<float, S310VCO::kTableLength>;

// Plain O(n^2) transform; n is odd, so there is no fast one worth having here.
void dft(const Table& cosT, const Table& sinT, const Table& re, const Table& im, Table& outRe,
         Table& outIm, bool inverse) {
    constexpr int n = S310VCO::kTableLength;
    const float sign = inverse ? 1.f : -1.f;
    for (int k = 0; k < n; ++k) {
        float sr = 0.f, si = 0.f;
        for (int i = 0; i < n; ++i) {
            const int m = (k * i) % n;
            const float c = cosT[m], s = sign * sinT[m];
            sr += re[i] * c - im[i] * s;
            si += re[i] * s + im[i] * c;
        }
        outRe[k] = inverse ? sr / n : sr;
        outIm[k] = inverse ? si / n : si;
    }
}

Table buildMinBlep() {
    constexpr int n = S310VCO::kTableLength, last = S310VCO::kTableLast;
    constexpr double kPi = 3.14159265358979323846;
    Table cosT, sinT, re, im, xr, xi;
    for (int m = 0; m < n; ++m) {
        cosT[m] = std::cos((float)(2.0 * kPi * m / n));
        sinT[m] = std::sin((float)(2.0 * kPi * m / n));
    }
    for (int i = 0; i < n; ++i) {
        const double a = (double)i / last * 24.0 - 12.0;
        const double sinc = a == 0.0 ? 1.0 : std::sin(kPi * a) / (kPi * a);
        const double w = 0.42 - 0.5 * std::cos(2.0 * kPi * i / last) + 0.08 * std::cos(4.0 * kPi * i / last);
        re[i] = (float)(sinc * w);
        im[i] = 0.f;
    }
    // Real cepstrum; a bin of exactly zero magnitude would give log(0).
    dft(cosT, sinT, re, im, xr, xi, false);
    for (int k = 0; k < n; ++k) {
        xr[k] = std::log(std::max(std::sqrt(xr[k] * xr[k] + xi[k] * xi[k]), 1e-20f));
        xi[k] = 0.f;
    }
    dft(cosT, sinT, xr, xi, re, im, true);
    // Fold the cepstrum onto its causal half: the minimum-phase version of the same magnitude.
    for (int i = 0; i < n; ++i) {
        xr[i] = i == 0 ? re[0] : (i < n / 2 ? 2.f * re[i] : 0.f);
        xi[i] = 0.f;
    }
    dft(cosT, sinT, xr, xi, re, im, false);
    for (int k = 0; k < n; ++k) {
        const float mag = std::exp(re[k]);
        xr[k] = mag * std::cos(im[k]);
        xi[k] = mag * std::sin(im[k]);
    }
    dft(cosT, sinT, xr, xi, re, im, true);
    Table step;
    float sum = 0.f;
    for (int i = 0; i < n; ++i) step[i] = sum += re[i];
    for (int i = 0; i < n; ++i) step[i] /= sum;
    return step;
}

// out[i] += (1 - (value[i] + r * rise[i])) * amplitude, four at a time (n a multiple of
// 4), each lane doing exactly the scalar steps.
inline void addRun(float* out, const float* value, const float* rise, int n, float r, float amplitude) {
    const __m128 r4 = _mm_set1_ps(r), a4 = _mm_set1_ps(amplitude), one = _mm_set1_ps(1.f);
    for (int i = 0; i < n; i += 4) {
        const __m128 v = _mm_loadu_ps(value + i), d = _mm_loadu_ps(rise + i);
        const __m128 c = _mm_mul_ps(_mm_sub_ps(one, _mm_add_ps(v, _mm_mul_ps(r4, d))), a4);
        _mm_storeu_ps(out + i, _mm_add_ps(_mm_loadu_ps(out + i), c));
    }
}

// Time (0 = previous sample, 1 = this one) at which phase minus width, starting at
// `base` and moving by `slope` over the sample, reaches 0 going up. Already above 0
// means the edge is overdue and belongs at the start.
inline float crossingTime(float base, float slope) {
    if (base > 0.f) return 0.f;
    if (slope <= 0.f) return kNever;
    return -base / slope;
}

// The same as crossingTime(base, slope) <= limit for a limit of at most 1, without the
// division while the crossing is more than two samples away: the quotient is then above
// 2 and so is its rounding. A NaN anywhere fails the shortcut and takes the division.
inline bool crossesBy(float base, float slope, float limit) {
    if (base <= 0.f && slope > 0.f && -base > 2.f * slope) return false;
    return crossingTime(base, slope) <= limit;
}

}  // namespace

const float* S310VCO::minBlepTable() {
    static const Table table = buildMinBlep();
    return table.data();
}

// The step table as a correction reads it: for a stride s and a first point k, the
// points k, k + s, ... short of the last one in a row, each with its rise to the next
// point beside it, so that a correction is one straight run over two short rows.
// Rows are padded to whole fours with the table's end (1, rising by 0): a pad adds
// (1 - 1) times the finite amplitude, a zero, which leaves any cell as it was (cells
// start at +0 and a sum is -0 only if both terms are).
struct S310VCO::Strides {
    std::vector<float> value, rise;
    int start[kTableOversampling + 1][kTableOversampling + 1] = {};
    int count[kTableOversampling + 1][kTableOversampling + 1] = {};

    Strides() {
        const float* blep = minBlepTable();
        for (int s = 1; s <= kTableOversampling; ++s)
            for (int k = 0; k <= s; ++k) {
                start[s][k] = (int)value.size();
                for (int j = k; j < kTableLast; j += s) {
                    value.push_back(blep[j]);
                    rise.push_back(blep[j + 1] - blep[j]);
                }
                while ((value.size() - (size_t)start[s][k]) % 4 != 0) {
                    value.push_back(1.f);
                    rise.push_back(0.f);
                }
                count[s][k] = (int)value.size() - start[s][k];
            }
    }
};

const S310VCO::Strides& S310VCO::strides() {
    static const Strides table;
    return table;
}

S310VCO::S310VCO(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("S310VCO.png", kWidth, kHeight)),
      strided(&strides()),
      baseFrequency(noteFrequency[60]) {
    tune = legend(addKnob(32, 73, 0.f), "TUNE");
    fm = legend(addKnob(32, 116, 0.f), "FM");
    pw = legend(addKnob(32, 159, 0.5f), "PW");
    ra = legend(addKnob(32, 202, 0.f), "RA");
    octave = legend(addKnobWith("sknobit_gray_13s.png", SharedBitmaps::kSmallKnobSize, 52, 43, 0.5f), "OCTAVE");
    octave->setStepped(true);
    octave->snap();
    cvIn = legend(addJack(72, 76, kJackInput), "CV");
    fmIn = legend(addJack(72, 119, kJackInput), "FM CV");
    pwIn = legend(addJack(72, 162, kJackInput), "PW CV");
    raIn = legend(addJack(72, 205, kJackInput), "RA CV");
    trigIn = legend(addJack(103, 76, kJackInput), "TRIG");
    syncIn = legend(addJack(103, 119, kJackInput), "SYNC");
    sawOut = legend(addJack(17, 251, kJackOutput), "SAW");
    triOut = legend(addJack(45, 251, kJackOutput), "TRI");
    sineOut = legend(addJack(74, 251, kJackOutput), "SINE");
    pulseOut = legend(addJack(102, 251, kJackOutput), "PULSE");
    hardBend = legend(addSwitch(103, 161, 2, 0.f), "HARD/BEND");
    addScrews();
    addScrewsRight();
    setJackValues(0.f);
    rectifyThreshold = 0.0454f * (sampleRate / synth->hostSampleRate);
    setBandlimit(0);
}

void S310VCO::updatePlainSaw() {
    const int others = syncIn->connectionCount | trigIn->connectionCount | triOut->connectionCount |
                       sineOut->connectionCount | pulseOut->connectionCount;
    plainSaw = sawOut->connectionCount > 0 && others == 0;
    updateShortRoad();
}

void S310VCO::cableConnected(PatchPoint*) { updatePlainSaw(); }

void S310VCO::cableDisconnected(PatchPoint* jack) {
    if (jack == trigIn) octaveOffset = 0;
    updatePlainSaw();
}

void S310VCO::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    cachedPitch = -1000.f;
    pitchCv = std::numeric_limits<float>::quiet_NaN();
    if (bandlimit == 1) setBandlimit(1);
    rectifyThreshold = 0.0454f * (sampleRate / synth->hostSampleRate);
}

bool S310VCO::setBandlimit(int mode) {
    bandlimit = mode;
    int s = kTableOversampling;
    // Near DAW Nyquist: each correction spans the time it would at the host rate.
    if (mode == 1 && oversampled) s = std::max(1, (int)(16.f / (sampleRate / synth->hostSampleRate)));
    step = s;
    bufferLength = kTableLength / s + 3;
    std::fill(std::begin(sawCorrection), std::end(sawCorrection), 0.f);
    std::fill(std::begin(pulseCorrection), std::end(pulseCorrection), 0.f);
    sawPosition = pulsePosition = 0;
    return true;
}

int S310VCO::getStateSize() { return Module::getStateSize() + 8; }

void S310VCO::saveState(float* buffer, int byteCount) {
    Module::saveState(buffer, byteCount);
    const float phases[2] = {sawPhase, pulsePhase};
    saveAfterControls(buffer, byteCount, phases, 2);
}

void S310VCO::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    float phases[2];
    if (loadAfterControls(words, byteCount, phases, 2)) {
        // A phase outside 0..1 would put a correction beyond the step table.
        sawPhase = phases[0] >= 0.f && phases[0] < 1.f ? phases[0] : 0.f;
        pulsePhase = phases[1] >= 0.f && phases[1] < 1.f ? phases[1] : 0.f;
    }
    if (version <= 1000) {
        // Records up to 1000 used an FM depth of 11 v^2 octaves; now it is 8 v^3.
        const float v = fm->getValue();
        fm->setValue(std::min(std::cbrt(1.375f * v * v), 1.f));
        fm->snap();
    }
}

void S310VCO::insertCorrection(float* buffer, int position, float delay, float amplitude) const {
    float x = delay * (float)step;
    if (!(x > 0.f)) x = 0.f;
    else if (x > (float)step) x = (float)step;
    const int k = (int)x;
    const float r = x - (float)k;
    const int at = strided->start[step][k];
    addRun(buffer + position, strided->value.data() + at, strided->rise.data() + at, strided->count[step][k], r,
           amplitude);
}

inline float S310VCO::takeCorrection(float* buffer, int& position) const {
    if (position == kSlide) {
        // Four at a time and forward, the source a whole slide ahead, and no call, so
        // the pass that reads needs no frame for it (the last four may take +0 cells
        // past the end). The cells read since the last slide were cleared as they
        // were read; what was ahead is cleared behind the move.
        for (int i = 0; i < bufferLength; i += 4) _mm_storeu_ps(buffer + i, _mm_loadu_ps(buffer + kSlide + i));
        for (int i = std::max(bufferLength, kSlide); i < kSlide + bufferLength; i += 4)
            _mm_storeu_ps(buffer + i, _mm_setzero_ps());
        position = 0;
    }
    const float value = buffer[position];
    buffer[position++] = 0.f;
    return value;
}

void S310VCO::updateFrequency(float pitch) {
    cachedPitch = pitch;
    float frequency = powf(2.f, pitch) * baseFrequency;
    if (frequency > nyquist) frequency = nyquist;
    if (!(frequency >= kMinFrequency)) frequency = kMinFrequency;
    period = sampleRate / frequency;
    increment = 1.f / period;
    quarterPeriod = period * 0.25f;
}

// The wrap and the sync instant, a few samples in a period; kept out of line so that
// the plain step below stays small enough to sit in process.
__attribute__((noinline)) void S310VCO::sawEdge(bool syncEvent, float g) {
    const float inc = increment;
    if (!syncEvent) {
        sawPhase -= 1.f;
        insertCorrection(sawCorrection, sawPosition, sawPhase / inc, 2.f);
        return;
    }
    const float q = sawPhase + inc;
    if (q - g > 1.f) {
        insertCorrection(sawCorrection, sawPosition, (q - 1.f) / inc, 2.f);
        insertCorrection(sawCorrection, sawPosition, g / inc, 2.f * ((q - 1.f) - g));
    } else {
        insertCorrection(sawCorrection, sawPosition, g / inc, 2.f * (q - g));
    }
    sawPhase = g;
}

// The pitch sum follows two inputs, the octave offset and knobs that only change
// while the group is moving; with all of them as before it is as before.
template <class Jacks>
inline void S310VCO::followPitch(bool knobsMoving, const Jacks& io) {
    const float cv = io.in(cvIn), fmCv = io.in(fmIn);
    if (knobsMoving || cv != pitchCv || fmCv != pitchFm || octaveOffset != pitchOffset) {
        pitchCv = cv;
        pitchFm = fmCv;
        pitchOffset = octaveOffset;
        const double depth = fm->smoothedValue;
        const float pitch = (float)((double)cv * 10.0 + (octave->smoothedValue * 12.0 - 6.0) + tune->smoothedValue +
                                    octaveOffset + depth * depth * depth * 8.0 * fmCv);
        if (pitch != cachedPitch) updateFrequency(pitch);
    }
}

inline void S310VCO::runSaw(bool syncEvent, float g, float bend) {
    const float inc = increment;
    if (!syncEvent) {
        sawPhase += inc;
        if (sawPhase >= 1.f) sawEdge(false, g);
    } else {
        sawEdge(true, g);
    }
    // The step residuals add about 4 increments of DC per cycle; take it back out.
    sawOut->outValue = (2.f * sawPhase - 1.f - 4.f * inc + takeCorrection(sawCorrection, sawPosition)) * bend;
}

__attribute__((always_inline)) inline float S310VCO::runPulse(bool syncEvent, float f, float g, float width,
                                                              float bend) {
    const float inc = increment;
    const float previousPhase = pulsePhase, previousWidth = pulseWidth;
    pulseWidth = width;
    // Phase and width both move linearly across the sample; a sync instant ends the
    // free-running part at 1 - f.
    const float slope = inc - (width - previousWidth);
    const float end = syncEvent ? 1.f - f : 1.f;
    const float reach = previousPhase + end * inc;
    const bool wraps = syncEvent ? reach > 1.f : reach >= 1.f;
    // Wanted only in a sample that wraps.
    const float sinceWrap = wraps ? (previousPhase + inc - 1.f) / inc : 0.f;
    float* buffer = pulseCorrection;
    if (pulseLevel < 0.f) {
        const float base = previousPhase - previousWidth;
        if (crossesBy(base, slope, wraps ? 1.f - sinceWrap : end)) {
            insertCorrection(buffer, pulsePosition, 1.f - crossingTime(base, slope), -2.f);
            pulseLevel = 1.f;
        }
    }
    if (wraps) {
        if (pulseLevel > 0.f) insertCorrection(buffer, pulsePosition, sinceWrap, 2.f);
        pulseLevel = -1.f;
        // Only when the width moved fast enough to be passed again in the new cycle.
        const float t = crossingTime(previousPhase - 1.f - previousWidth, slope);
        if (t <= end) {
            insertCorrection(buffer, pulsePosition, std::min(1.f - t, sinceWrap), -2.f);
            pulseLevel = 1.f;
        }
    }
    if (syncEvent) {
        if (pulseLevel > 0.f) insertCorrection(buffer, pulsePosition, f, 2.f);
        pulseLevel = -1.f;
        pulsePhase = g;
    } else {
        pulsePhase = wraps ? reach - 1.f : reach;
    }
    return (takeCorrection(buffer, pulsePosition) + pulseLevel) * bend;
}

// Whether the knobs were moving this pass.
inline bool S310VCO::smoothKnobs() {
    const bool knobsMoving = knobs.moving();
    if (knobsMoving) {
        tune->smoothToValue();
        fm->smoothToValue();
        pw->smoothToValue();
        ra->smoothToValue();
        octave->smoothToStep();
        knobs.settle(tune, fm, pw, ra, octave);
    }
    return knobsMoving;
}

// The usual voice: with Sync and Trig. reading 0 as they did last pass, nothing
// shifts the octave, bends or syncs, and only the saw is wanted.
inline bool S310VCO::onShortRoad() const { return shortRoad; }
void S310VCO::updateShortRoad() { shortRoad = plainSaw && previousTrig == 0.f && previousSync == 0.f; }

void S310VCO::process() {
    const bool knobsMoving = smoothKnobs();
    if (onShortRoad()) {
        followPitch(knobsMoving, PassJacks{});
        runSaw(false, 0.f, 1.f);
        return;
    }
    processFull(knobsMoving);
}

// The long road reads the held values, so it takes them in first.
void S310VCO::processPass() {
    if (!onShortRoad()) return Module::processPass();
    followPitch(smoothKnobs(), SourceJacks{});
    runSaw(false, 0.f, 1.f);
}

void S310VCO::processBlock(int first, int n) {
    // The short road's conditions hold for the whole block once they hold at its start.
    if (knobs.moving() || !onShortRoad()) return runByPasses(*this, first, n);
    runBlock(n, [this](const BlockJacks& io) {
        followPitch(false, io);
        runSaw(false, 0.f, 1.f);
    }, sawOut);
}

// Out of line, so that the short road above keeps a small prologue.
__attribute__((noinline)) void S310VCO::processFull(bool knobsMoving) {
    // Without a cable the input reads 0, which moves nothing once the last value was 0.
    if (trigIn->connectionCount > 0 || previousTrig != 0.f) {
        const float trig = trigIn->inValue;
        if (previousTrig < 0.25f && trig >= 0.25f && octaveOffset < 6)
            ++octaveOffset;
        else if (previousTrig > -0.25f && trig <= -0.25f && octaveOffset > -6)
            --octaveOffset;
        previousTrig = trig;
    }

    followPitch(knobsMoving, PassJacks{});
    const float inc = increment;

    const float sync = syncIn->inValue;
    float bend = 1.f;
    // Read here rather than cached on change, so host automation of the switch counts
    // too; a value that truncates to 1 is Bend.
    const float mode = hardBend->getValue();
    if (syncIn->connectionCount > 0 && mode >= 1.f && mode < 2.f) {
        const double e = std::cos((((double)raIn->inValue + ra->smoothedValue) * 50.0 + 2.0) * sync);
        // An infinite Sync would otherwise leave NaN in the integrators for good.
        if (e == e) bend = (float)e;
    }
    const bool syncEvent = previousSync <= 0.f && sync > 0.f;
    float f = 0.f, g = 0.f;
    if (syncEvent) {
        f = sync / (sync - previousSync);
        if (!(f <= 1.f)) f = 1.f;
        g = f * inc;
    }

    if (sawOut->connectionCount > 0) runSaw(syncEvent, g, bend);

    const bool wantSine = sineOut->connectionCount > 0;
    const bool wantTriangle = wantSine || triOut->connectionCount > 0;
    if (wantTriangle || pulseOut->connectionCount > 0) {
        // Only the pulse (and what integrates it) uses the width.
        const float pwKnob = (float)pw->smoothedValue;
        float width;
        if (pwIn->connectionCount > 0) {
            float m = pwIn->inValue > -1.f ? pwIn->inValue : -1.f;  // NaN reads as -1
            m = m < 1.f ? m : 1.f;
            width = (m * 0.5f * pwKnob + 0.5f) * (1.f - 2.f * inc) + inc;
        } else {
            width = (1.f - 2.f * inc) * pwKnob + inc;
        }
        const float pulse = runPulse(syncEvent, f, g, width, bend);
        if (pulseOut->connectionCount > 0) pulseOut->outValue = pulse;
        if (wantTriangle) {
            const float leak = 1.f - inc;
            const float i1 = pulse / quarterPeriod + previousIntegrator1 * leak;
            triangle = (i1 - previousIntegrator1) + leak * triangle;
            previousIntegrator1 = i1;
            if (triOut->connectionCount > 0) triOut->outValue = triangle;
            if (wantSine) {
                integrator2 = triangle * 2.f / quarterPeriod + leak * integrator2;
                float m = negativePeak;
                if (m > integrator2) {
                    m = integrator2;
                } else {
                    m += 0.05f * inc;
                    if (m > -1.f) m = -1.f;
                }
                negativePeak = m;
                const float h = inc > rectifyThreshold ? -(inc - rectifyThreshold) * 20.f : 0.f;
                const float level = (h + (float)ra->smoothedValue + raIn->inValue - 1.f) * -m;
                sineOut->outValue = level > 1.f ? 1.f : (level > integrator2 ? level : integrator2);
            }
        }
    }
    previousSync = sync;
    updateShortRoad();
}
