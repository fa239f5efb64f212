#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "support/PatchFixture.h"

using namespace fixture;

namespace {

enum { kCv, kLinFmIn, kDtnOut, kSaw, kSquare };  // saved jack order
enum { kLinFm, kTune, kDetune };

class Probe : public Module {
public:
    explicit Probe(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) {
        for (int i = 0; i < 2; ++i) ins[i] = addJack(20, 40 + 50 * i, kJackInput);
    }
    void process() override {
        for (int i = 0; i < 2; ++i) data[i].push_back(ins[i]->inValue);
    }
    PatchPoint* ins[2];
    std::vector<float> data[2];
};

struct Bench {
    Bench() {
        vco = rig.add("S304 VCO");
        probe = rig.addCustom<Probe>();
    }
    void set(int jack, float v) {
        if (!sources[jack]) rig.cable((sources[jack] = rig.addCustom<AddModule>())->out, jacks(vco)[jack]);
        sources[jack]->offset = v;
    }
    void listen(int out, int channel = 0) { rig.cable(jacks(vco)[out], probe->ins[channel]); }
    std::vector<float>& run(int frames, int channel = 0) {
        HostBuffers io(frames);
        rig.render(io);
        return probe->data[channel];
    }
    void knob(int k, float v) { setKnob(knobs(vco)[k], v); }
    // Detune's ratio follows its smoothing or a loaded record, never a bare snap;
    // loading also starts both saws in phase.
    void detune(float v) {
        std::vector<float> record(12);
        vco->saveState(record.data(), 48);
        record[kDetune] = v;
        record[10] = record[11] = 0.f;
        std::vector<int32_t> words(12);
        std::memcpy(words.data(), record.data(), 48);
        vco->loadState(words.data(), 48, 1001);
    }
    Rig rig;
    Module* vco;
    Probe* probe;
    AddModule* sources[2] = {};
};

double middleC() {
    double f = 8.175798915636872;
    for (int n = 0; n < 60; ++n) f *= 1.059463094359;
    return f;
}

// Mean frequency from interpolated rising zero crossings of x[from..].
double pitchOf(const std::vector<float>& x, size_t from = 100) {
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = from + 1; i < x.size(); ++i)
        if (x[i - 1] < 0.f && x[i] >= 0.f) {
            last = (double)(i - 1) + x[i - 1] / (double)(x[i - 1] - x[i]);
            if (count++ == 0) first = last;
        }
    return count > 1 ? 48000.0 * (count - 1) / (last - first) : 0.0;
}

// Amplitude of the component at hz, Hann-windowed over x[from..from + n).
double amplitudeAt(const std::vector<float>& x, double hz, size_t from = 200, size_t n = 24000) {
    double re = 0, im = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * (double)i / (double)n);
        const double a = 2 * M_PI * hz * (double)i / 48000.0;
        re += w * x[from + i] * std::cos(a);
        im += w * x[from + i] * std::sin(a);
    }
    return 4.0 * std::hypot(re, im) / (double)n;
}

}  // namespace

TEST(S304VCO, ControlsInPanelOrderAndTheOldLinearFmLawIsConverted) {
    Bench b;
    Module* m = b.vco;
    EXPECT_EQ(m->getVersion(), 1001);
    EXPECT_EQ(m->getNameLen(), 8);
    EXPECT_EQ(m->getStateSize(), (3 + 5 + 2 + 2) * 4);  // knobs, jacks, left screws, phases
    const int centres[8][2] = {{36, 116}, {36, 61}, {18, 202}, {19, 162}, {53, 162}, {53, 205}, {19, 251}, {53, 251}};
    const float defaults[3] = {0.f, 0.5f, 0.1f};
    for (size_t i = 0; i < 8; ++i) {
        CView* v = m->getChildren()[i];
        const CRect r = v->getViewSize();
        EXPECT_EQ((r.left + r.right) / 2, centres[i][0]) << i;
        EXPECT_EQ((r.top + r.bottom) / 2, centres[i][1]) << i;
        if (i < 3) {
            ASSERT_TRUE(v->isTypeOf("ModuleKnob")) << i;
            EXPECT_EQ(static_cast<ModuleKnob*>(v)->getValue(), defaults[i]);
        } else {
            ASSERT_TRUE(v->isTypeOf("PatchPoint")) << i;
            EXPECT_EQ(static_cast<PatchPoint*>(v)->direction, i < 5 ? kJackInput : kJackOutput) << i;
        }
    }
    EXPECT_EQ(m->getChildren()[1]->getViewSize().height(), 79);  // Tune on the large knob
    EXPECT_EQ(m->getChildren()[2]->getViewSize().height(), 37);  // Detune on the small one

    std::vector<float> record(12);
    m->saveState(record.data(), 48);
    auto load = [&](float fm, float phase, int version) {
        record[kLinFm] = fm;
        record[10] = phase;
        std::vector<int32_t> words(12);
        std::memcpy(words.data(), record.data(), 48);
        m->loadState(words.data(), 48, version);
        return knobs(m)[kLinFm];
    };
    EXPECT_EQ(load(0.5f, 0.f, 1001)->getValue(), 0.5f);
    EXPECT_NEAR(load(0.5f, 0.f, 1000)->getValue(), 0.8630, 1e-4);  // 18000 v^2 Hz was 7000 v'^3
    EXPECT_NEAR(knobs(m)[kLinFm]->smoothedValue, 0.8630, 1e-4);
    EXPECT_EQ(load(0.9f, 0.f, 1000)->getValue(), 1.f);

    // The first saw resumes from the stored phase (Detune 0 keeps both saws equal).
    record[kDetune] = 0.f;  // loading renews the detune ratio
    load(0.f, 0.25f, 1001);
    b.listen(kSaw);
    const float inc = (float)(middleC() / 48000.0);
    EXPECT_NEAR(b.run(4)[1], 2.f * (0.25f + inc) - 1.f + (2.f * inc - 1.f), 1e-4);
}

TEST(S304VCO, PitchTuneDetuneAndTheDetuneOutput) {
    {
        Bench b;  // defaults: middle C, the second saw 2^0.01 higher, Dtn out 0.002 at once
        b.listen(kSaw);
        b.listen(kDtnOut, 1);
        const auto& x = b.run(192200);  // 1.8 Hz apart: four seconds to tell them apart
        EXPECT_NEAR(b.probe->data[1][1], 0.002f, 1e-7);
        const double c = middleC();
        EXPECT_NEAR(amplitudeAt(x, c, 200, 192000), 2 / M_PI, 0.03);
        EXPECT_NEAR(amplitudeAt(x, c * std::pow(2.0, 0.01), 200, 192000), 2 / M_PI, 0.03);
    }
    struct Case {
        float cv, tune;
        double hz;
    };
    const double c = middleC();
    const Case cases[] = {
        {0.075f, 0.5f, 440.0},                                   // 0.1 per octave
        {0.6f, 0.f, 64 * c / 512},                               // Tune 0: 1/512
        {-0.3f, 1.f, c / 8 * std::pow(3.625, 3)},                // Tune 1: about 47.6
        {0.f, std::sqrt(0.25f / 3.5f), c * std::pow(0.375, 3)},  // cubic, not linear
    };
    for (const Case& k : cases) {
        Bench b;
        b.set(kCv, k.cv);
        b.knob(kTune, k.tune);
        b.detune(0.f);  // one saw's pitch, twice
        b.listen(kSaw);
        EXPECT_NEAR(pitchOf(b.run(9600)) / k.hz, 1.0, 2e-4) << k.cv << " " << k.tune;
    }
    Bench b;
    b.set(kCv, 0.1f);
    b.detune(0.5f);
    b.listen(kSaw);
    b.listen(kDtnOut, 1);
    const auto& x = b.run(24500);
    EXPECT_NEAR(b.probe->data[1].back(), 0.1f + 0.05f, 1e-6);
    const double f1 = c * 2, f2 = f1 * std::pow(2.0, 0.25);  // ratio 2^(Detune^2)
    EXPECT_NEAR(amplitudeAt(x, f1), 2 / M_PI, 0.03);
    EXPECT_NEAR(amplitudeAt(x, f2), 2 / M_PI, 0.03);
    EXPECT_LT(amplitudeAt(x, f1 * std::pow(2.0, 0.5)), 0.05);
}

TEST(S304VCO, NegativeLinearFmFlipsThePolarityOfTheBandLimitedPair) {
    // Lin FM at full depth: 7000 Hz per unit. Input -0.1 gives f = C4 - 700 < 0; the
    // reference reaches +|f| with a positive input and must be its exact mirror image.
    std::vector<float> saw[2], square[2];
    double c = 0;
    for (int run = 0; run < 2; ++run) {
        Bench b;
        c = noteFrequency[60];
        const float down = -0.1f, up = (float)((700.0 - 2.0 * c) / 7000.0);
        b.knob(kLinFm, 1.f);
        b.detune(0.f);
        b.set(kLinFmIn, run == 0 ? down : up);
        b.listen(kSaw);
        b.listen(kSquare, 1);
        b.run(4800);
        saw[run] = b.probe->data[0];
        square[run] = b.probe->data[1];
    }
    EXPECT_NEAR(pitchOf(saw[1]), 700.0 - c, 0.05);
    double worst = 0;
    int highs = 0, lows = 0;
    for (size_t i = 10; i < saw[0].size(); ++i) {
        worst = std::max({worst, std::fabs((double)saw[0][i] + saw[1][i]), std::fabs((double)square[0][i] + square[1][i])});
        if (std::fabs(square[1][i] - 2.f) < 1e-5f) ++highs;
        if (std::fabs(square[1][i] + 2.f) < 1e-5f) ++lows;
    }
    EXPECT_LT(worst, 1e-2);  // only the last float bit of the two inputs differs
    // Each saw minus its half-cycle copy is a 50 % square at +-1; two equal ones give +-2.
    EXPECT_NEAR((double)highs / (highs + lows), 0.5, 0.02);
    EXPECT_GT(highs + lows, 4000);

    // The two-sample correction keeps folded harmonics far under a plain saw's.
    Bench hi;
    hi.detune(0.f);
    hi.set(kCv, 0.35f);  // about 2.96 kHz
    hi.listen(kSaw);
    const auto& x = hi.run(24500);
    const float d = (float)((float)(std::pow(2.0, (double)0.35f * 10.0) * noteFrequency[60]) / 48000.0);
    const double f0 = (double)d * 48000.0;
    double naiveAlias = 0, alias = 0;
    for (double fa : {48000 - 16 * f0, 17 * f0 - 48000}) {  // 16th and 17th harmonics folded
        std::vector<float> naive(x.size());
        double p = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            p += d;
            p -= std::floor(p);
            naive[i] = (float)(4 * p - 2);
        }
        naiveAlias += amplitudeAt(naive, std::fabs(fa));
        alias += amplitudeAt(x, std::fabs(fa));
    }
    EXPECT_LT(alias, naiveAlias * 0.01) << alias << " vs " << naiveAlias;  // at least 40 dB down
}
