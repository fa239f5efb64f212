#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <vector>

#include "modules/S310VCO.h"
#include "support/PatchFixture.h"

using namespace fixture;

namespace {

enum { kCv, kFmCv, kPwCv, kRaCv, kTrig, kSync, kSaw, kTri, kSine, kPulse };  // saved jack order
enum { kTune, kFm, kPw, kRa, kOctave };

// Records what reaches each of its inputs, once per pass.
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

// Inputs from constants, outputs to a probe. A constant set before pass p reaches the
// VCO in pass p + 1; what the VCO computes in pass p reaches the probe in pass p + 1.
struct Bench {
    explicit Bench(float rate = 48000.f) : rig(rate) {
        vco = static_cast<S310VCO*>(rig.add("S310 VCO"));
        probe = rig.addCustom<Probe>();
    }
    void set(int jack, float v) {
        if (!sources[jack]) rig.cable((sources[jack] = rig.addCustom<AddModule>())->out, jacks(vco)[jack]);
        sources[jack]->offset = v;
    }
    void listen(int out, int channel = 0) { rig.cable(jacks(vco)[out], probe->ins[channel]); }
    std::vector<float>& run(int hostFrames, int channel = 0) {
        HostBuffers io(hostFrames);
        rig.render(io);
        return probe->data[channel];
    }
    std::vector<float>& fresh(int hostFrames) {
        probe->data[0].clear();
        return run(hostFrames);
    }
    void knob(int k, float v) { setKnob(knobs(vco)[k], v); }
    CControl* toggle() { return static_cast<CControl*>(vco->getChildren()[15]); }

    Rig rig;
    S310VCO* vco;
    Probe* probe;
    AddModule* sources[6] = {};
};

// Note 60 as the engine tabulates it, usable before any plug-in object exists.
float middleC() {
    double f = 8.175798915636872;
    for (int n = 0; n < 60; ++n) f *= 1.059463094359;
    return (float)f;
}
float cvFor(double hz) { return (float)(std::log2(hz / middleC()) / 10.0); }
float incrementFor(float cv, float rate) {
    const float f = std::min(powf(2.f, (float)((double)cv * 10.0)) * middleC(), rate * 0.5f);
    return 1.f / (rate / f);
}

// Mean frequency from interpolated rising zero crossings of x[from..].
double pitchOf(const std::vector<float>& x, size_t from, double rate = 48000.0) {
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = from + 1; i < x.size(); ++i)
        if (x[i - 1] < 0.f && x[i] >= 0.f) {
            last = (double)(i - 1) + x[i - 1] / (double)(x[i - 1] - x[i]);
            if (count++ == 0) first = last;
        }
    return count > 1 ? rate * (count - 1) / (last - first) : 0.0;
}

void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        if (i < (j ^= bit)) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const auto w = std::polar(1.0, -2.0 * M_PI / (double)len);
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> u(1.0);
            for (size_t k = 0; k < len / 2; ++k, u *= w) {
                const auto a0 = a[i + k], a1 = a[i + k + len / 2] * u;
                a[i + k] = a0 + a1;
                a[i + k + len / 2] = a0 - a1;
            }
        }
    }
}

// Power off the harmonics of f0 against power on them, in dB, counting bins below
// `limit` only; 16384 samples under a 4-term Blackman-Harris window.
double aliasDb(const std::vector<float>& x, double f0, double limit) {
    const size_t n = 16384, from = 1000;
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i) {
        const double p = 2.0 * M_PI * (double)i / (double)n;
        a[i] = x[from + i] * (0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p));
    }
    fft(a);
    const double bin = 48000.0 / (double)n;
    double on = 0, off = 0;
    for (size_t k = 7; (double)k * bin < limit; ++k) {
        const double h = (double)k * bin / f0;
        (std::fabs(h - std::round(h)) * f0 <= 6 * bin ? on : off) += std::norm(a[k]);
    }
    return 10.0 * std::log10(off / on);
}

}  // namespace

TEST(S310VCO, ControlsAreSavedInPanelOrderFollowedByBothPhases) {
    Bench b;
    Module* m = b.vco;
    EXPECT_EQ(m->getStateSize(), (5 + 10 + 1 + 4 + 2) * 4);  // knobs, jacks, toggle, screws, phases
    EXPECT_EQ(m->getVersion(), 1001);
    EXPECT_EQ(m->getNameLen(), 8);
    EXPECT_EQ(m->bandlimit, 0);  // offers the Bandlimit choice
    const int centres[16][2] = {{32, 73},  {32, 116}, {32, 159}, {32, 202},  {52, 43},   {72, 76},
                                {72, 119}, {72, 162}, {72, 205}, {103, 76},  {103, 119}, {17, 251},
                                {45, 251}, {74, 251}, {102, 251}, {103, 161}};
    for (int i = 0; i < 16; ++i) {
        CView* v = m->getChildren()[(size_t)i];
        const CRect r = v->getViewSize();
        EXPECT_EQ((r.left + r.right) / 2, centres[i][0]) << "control " << i + 1;
        EXPECT_EQ((r.top + r.bottom) / 2, centres[i][1]) << "control " << i + 1;
        EXPECT_EQ(v->isTypeOf("PatchPoint"), i >= 5 && i < 15) << "control " << i + 1;
        if (i >= 5 && i < 15) {
            EXPECT_EQ(static_cast<PatchPoint*>(v)->direction, i < 11 ? kJackInput : kJackOutput);
        }
    }
    EXPECT_TRUE(b.toggle()->isTypeOf("CVerticalSwitch"));
    EXPECT_TRUE(knobs(m)[kOctave]->stepped);

    const float values[5] = {0.1f, 0.2f, 0.3f, 0.4f, 0.75f};
    for (int k = 0; k < 5; ++k) b.knob(k, values[k]);
    b.toggle()->setValue(1.f);
    b.listen(kSaw);
    b.listen(kPulse, 1);
    b.run(1000);
    std::vector<float> record(22, -9.f);
    m->saveState(record.data(), 88);
    for (int k = 0; k < 5; ++k) EXPECT_FLOAT_EQ(record[(size_t)k], values[k]);
    EXPECT_EQ(record[15], 1.f);
    for (int k : {20, 21}) EXPECT_TRUE(record[(size_t)k] >= 0.f && record[(size_t)k] < 1.f) << record[(size_t)k];
}

TEST(S310VCO, LoadingRestoresThePhasesAndConvertsTheOldFmLaw) {
    Bench b;
    Module* m = b.vco;
    std::vector<float> record(22);
    m->saveState(record.data(), 88);
    auto load = [&](float fm, float sawPhase, int version) {
        record[kFm] = fm;
        record[20] = sawPhase;
        std::vector<int32_t> words(22);
        std::memcpy(words.data(), record.data(), 88);
        m->loadState(words.data(), 88, version);
        return knobs(m)[kFm];
    };
    EXPECT_EQ(load(0.5f, 0.f, 1001)->getValue(), 0.5f);
    ModuleKnob* fm = load(0.5f, 0.f, 1000);  // 11 v^2 octaves then, 8 v^3 now
    EXPECT_NEAR(fm->getValue(), std::cbrt(1.375 * 0.25), 1e-6);
    EXPECT_NEAR(fm->smoothedValue, std::cbrt(1.375 * 0.25), 1e-6);
    EXPECT_EQ(load(1.f, 0.f, 1000)->getValue(), 1.f);  // clamped

    // The saw resumes from the stored phase; a phase that was never saved is refused.
    const float inc = incrementFor(0.f, 48000.f);
    load(0.f, 0.25f, 1001);
    b.listen(kSaw);
    EXPECT_NEAR(b.run(4)[1], 2.f * (0.25f + inc) - 1.f - 4.f * inc, 1e-5);
    load(0.f, 7.5f, 1001);
    EXPECT_NEAR(b.fresh(4)[1], 2.f * inc - 1.f - 4.f * inc, 1e-5);
}

TEST(S310VCO, PitchFollowsTenthOfAUnitPerOctaveFromMiddleC) {
    struct Case {
        float cv, tune, octave, fm, fmCv;
        double hz;
    };
    const double c4 = 261.6256;
    const Case cases[] = {
        {0.075f, 0.f, 0.5f, 0.f, 0.f, 440.0}, {0.f, 0.f, 0.5f, 0.f, 0.f, c4},
        {0.f, 1.f, 0.5f, 0.f, 0.f, c4 * 2},   {0.3f, 0.f, 0.f, 0.f, 0.f, c4 / 8},  // Octave knob: -6
        {-0.3f, 0.f, 1.f, 0.f, 0.f, c4 * 8},  {0.f, 0.f, 7.f / 12, 0.f, 0.f, c4 * 2},
        {0.f, 0.f, 0.5f, 0.5f, 1.f, c4 * 2},  {0.f, 0.f, 0.5f, 1.f, -0.25f, c4 / 4},  // FM^3 x 8 octaves
    };
    for (const Case& c : cases) {
        Bench b;
        b.set(kCv, c.cv);
        b.set(kFmCv, c.fmCv);
        b.knob(kTune, c.tune);
        b.knob(kOctave, c.octave);
        b.knob(kFm, c.fm);
        b.listen(kSaw);
        b.listen(kPulse, 1);
        b.run(48000);
        EXPECT_NEAR(pitchOf(b.probe->data[0], 100) / c.hz, 1.0, 1e-3) << "saw at " << c.hz;
        EXPECT_NEAR(pitchOf(b.probe->data[1], 100) / c.hz, 1.0, 1e-3) << "pulse at " << c.hz;
    }
    // Ten octaves up is held at Nyquist: two samples per cycle.
    Bench b;
    b.set(kCv, 1.f);
    b.listen(kPulse);
    auto& x = b.run(2000);
    for (size_t i = 1000; i < 1100; ++i) {
        ASSERT_NEAR(x[i], x[i + 2], 1e-4) << i;
        ASSERT_GT(std::fabs(x[i] - x[i + 1]), 0.5f) << i;
    }
}

TEST(S310VCO, SawAndPulseAreBandLimited) {
    Bench b;
    b.set(kCv, cvFor(5000.0));
    b.listen(kSaw, 0);
    b.listen(kPulse, 1);
    b.run(18000);
    const float inc = incrementFor(cvFor(5000.0), 48000.f);
    std::vector<float> naiveSaw, naivePulse;
    for (float phase = 0.f; naiveSaw.size() < 18000;) {
        phase += inc;
        if (phase >= 1.f) phase -= 1.f;
        naiveSaw.push_back(2.f * phase - 1.f);
        naivePulse.push_back(phase < 0.5f ? -1.f : 1.f);
    }
    const std::vector<float>* rows[4] = {&b.probe->data[0], &naiveSaw, &b.probe->data[1], &naivePulse};
    const char* names[4] = {"saw", "naive saw", "pulse", "naive pulse"};
    double full[4], audible[4];
    for (int r = 0; r < 4; ++r) {
        full[r] = aliasDb(*rows[r], inc * 48000.0, 24000.0);
        // Folded below 16 kHz, clear of the step table's transition band.
        audible[r] = aliasDb(*rows[r], inc * 48000.0, 16000.0);
        std::printf("[ alias    ] %-11s 5 kHz at 48 kHz: alias/harmonic %6.1f dB, below 16 kHz %6.1f dB\n",
                    names[r], full[r], audible[r]);
    }
    for (int r : {0, 2}) {
        EXPECT_LT(full[r], full[r + 1] - 10.0) << names[r];
        EXPECT_LT(audible[r], -50.0) << names[r];
        EXPECT_LT(audible[r], audible[r + 1] - 40.0) << names[r];
    }
}

TEST(S310VCO, PulseWidthFollowsTheKnobOrTheKnobScaledCv) {
    struct Case {
        float pw;
        bool patched;
        float pwCv;
        double width;  // fraction of the cycle spent low, before the one-increment margins
    };
    const Case cases[] = {{0.25f, false, 0.f, 0.25}, {0.9f, false, 0.f, 0.9}, {1.f, true, 0.5f, 0.75},
                          {0.5f, true, -1.f, 0.25},  {0.f, true, 0.8f, 0.5},  {1.f, true, 5.f, 1.0}};
    const float inc = incrementFor(0.f, 48000.f);
    for (const Case& c : cases) {
        Bench b;
        b.knob(kPw, c.pw);
        if (c.patched) b.set(kPwCv, c.pwCv);
        b.listen(kPulse);
        auto& x = b.run(48000);  // 261.6 cycles
        double mean = 0;
        for (size_t i = 100; i < x.size(); ++i) mean += x[i] / (double)(x.size() - 100);
        EXPECT_NEAR(mean, 1.0 - 2.0 * (c.width * (1.0 - 2.0 * inc) + inc), 0.01) << c.pw << " " << c.pwCv;
    }
    // At either end of the knob a one-increment pulse remains in every cycle.
    for (float pw : {0.f, 1.f}) {
        Bench b;
        b.knob(kPw, pw);
        b.listen(kPulse);
        auto& x = b.run(48000);
        int spikes = 0;
        for (size_t i = 101; i < x.size(); ++i) spikes += pw == 0.f ? x[i - 1] > 0.f && x[i] <= 0.f : x[i - 1] < 0.f && x[i] >= 0.f;
        EXPECT_NEAR(spikes, 261, 2) << pw;
    }
}

TEST(S310VCO, HardSyncRestartsBothWavesAtTheSubSampleCrossing) {
    const float cv = cvFor(100.0), inc = incrementFor(cv, 48000.f);
    for (float after : {1.f, 3.f}) {  // crossing half and a quarter of a sample ago
        Bench b;
        b.set(kCv, cv);
        b.set(kSync, -1.f);
        b.listen(kSaw, 0);
        b.listen(kPulse, 1);
        const int before = 1237;
        b.run(before);
        b.set(kSync, after);
        b.run(200);
        const auto& saw = b.probe->data[0];
        // Free running until then, the very first pass still at CV 0.
        const float free = std::fmod(incrementFor(0.f, 48000.f) + (float)(before - 1) * inc, 1.f);
        EXPECT_NEAR(saw[before], 2.f * free - 1.f - 4.f * inc, 1e-4);
        const size_t at = (size_t)before + 2;  // the VCO sees the jump one pass on, the probe one more
        const float g = after / (after + 1.f) * inc;
        for (size_t k = 30; k < 150; ++k) {
            ASSERT_NEAR(saw[at + k], 2.f * (g + (float)k * inc) - 1.f - 4.f * inc, 2e-4) << k;
            ASSERT_NEAR(b.probe->data[1][at + k], -1.f, 1e-3) << k;
        }
    }
    // From a slower VCO's pulse, the slave repeats with the master's period.
    Bench b;
    b.set(kCv, cvFor(370.0));
    Module* master = b.rig.add("S310 VCO");
    b.rig.cable(b.rig.addCustom<AddModule>(cvFor(110.0))->out, jacks(master)[kCv]);
    b.rig.cable(jacks(master)[kPulse], jacks(b.vco)[kSync]);
    b.listen(kSaw);
    auto& x = b.run(24000);
    auto correlation = [&](int lag) {
        double s = 0, e = 0;
        for (size_t i = 4000; i + (size_t)lag < x.size(); ++i) s += x[i] * x[i + (size_t)lag], e += x[i] * x[i];
        return s / e;
    };
    int best = 60;
    for (int lag = 60; lag < 600; ++lag) best = correlation(lag) > correlation(best) ? lag : best;
    EXPECT_NEAR(best, 48000.0 / 110.0, 1.0);
    EXPECT_GT(correlation(best), 0.95);
}

TEST(S310VCO, BendScalesTheOutputsOnlyWithASyncCable) {
    auto render = [](bool bend, bool syncCable, float ra) {
        Bench b;
        b.knob(kRa, ra);
        b.toggle()->setValue(bend ? 1.f : 0.f);
        if (syncCable) b.set(kSync, 0.5f);
        b.listen(kPulse, 0);
        b.listen(kSaw, 1);
        b.run(4000);
        return std::make_pair(b.probe->data[0], b.probe->data[1]);
    };
    EXPECT_EQ(render(true, false, 0.3f), render(false, false, 0.3f));
    // E = cos((RA x 50 + 2) x Sync): the settled pulse stands at +-E.
    for (float ra : {0.f, 0.02f}) {
        const double e = std::cos((ra * 50.0 + 2.0) * 0.5);
        const auto bent = render(true, true, ra).first, hard = render(false, true, ra).first;
        for (size_t i = 200; i < bent.size(); i += 7)
            if (std::fabs(hard[i]) > 0.999f) {
                ASSERT_NEAR(bent[i], hard[i] * e, 1e-3) << ra << " " << i;
            }
    }
}

TEST(S310VCO, TriggersStepTheOctaveWithinSixEitherWay) {
    Bench b;
    b.set(kCv, -0.3f);  // 32.7 Hz without an offset
    b.listen(kSaw);
    auto pulses = [](Bench& on, int count, float level) {
        for (int i = 0; i < count; ++i) {
            on.set(kTrig, level);
            on.run(10);
            on.set(kTrig, 0.f);
            on.run(10);
        }
    };
    const double base = 261.6256 / 8;
    pulses(b, 2, 1.f);
    for (float level : {0.3f, 0.26f, 0.3f}) {  // one long pulse that never falls below 0.25
        b.set(kTrig, level);
        b.run(2000);
    }
    EXPECT_NEAR(pitchOf(b.fresh(12000), 200) / (base * 8), 1.0, 1e-3);
    b.set(kTrig, 0.f);
    pulses(b, 5, 1.f);
    EXPECT_NEAR(pitchOf(b.fresh(4000), 200) / (base * 64), 1.0, 1e-3);  // stopped at +6
    pulses(b, 4, -1.f);
    pulses(b, 3, 0.2f);  // below the threshold
    EXPECT_NEAR(pitchOf(b.fresh(12000), 200) / (base * 4), 1.0, 1e-3);
    b.rig.editor.disconnectJack(jacks(b.vco)[kTrig]);  // forgets the offset
    EXPECT_NEAR(pitchOf(b.fresh(48000), 200) / base, 1.0, 1e-3);

    Bench low;
    low.set(kCv, 0.3f);  // 2093 Hz without an offset
    low.listen(kSaw);
    pulses(low, 15, -1.f);
    EXPECT_NEAR(pitchOf(low.fresh(24000), 100) / base, 1.0, 1e-3);  // stopped at -6
}

TEST(S310VCO, TriangleAndSineComeFromThePulseAndTheSineRectifies) {
    auto render = [](int out, float ra, float raCv, double hz) {
        Bench b;
        b.set(kCv, cvFor(hz));
        b.knob(kRa, ra);
        b.set(kRaCv, raCv);
        b.listen(out);
        auto& x = b.run(48000);
        return std::vector<float>(x.begin() + 24000, x.end());
    };
    const auto tri = render(kTri, 0.f, 0.f, 100.0);
    const auto [tlo, thi] = std::minmax_element(tri.begin(), tri.end());
    EXPECT_GT(*thi, 0.9f);  // the leaks, one period long, cost a few per cent of +-1
    EXPECT_LE(*thi, 1.f);
    EXPECT_NEAR(*tlo, -*thi, 0.01);
    EXPECT_NEAR(pitchOf(tri, 0) / 100.0, 1.0, 1e-3);

    const auto plain = render(kSine, 0.f, 0.f, 100.0);
    const auto [lo, hi] = std::minmax_element(plain.begin(), plain.end());
    EXPECT_LT(*lo, -0.8f);
    EXPECT_GT(*hi, 0.8f);
    for (auto [ra, raCv] : {std::pair{1.f, 0.f}, std::pair{0.f, 1.f}, std::pair{0.4f, 0.6f}}) {
        const auto cut = render(kSine, ra, raCv, 100.0);
        EXPECT_GE(*std::min_element(cut.begin(), cut.end()), 0.f) << ra << " " << raCv;
        EXPECT_NEAR(*std::max_element(cut.begin(), cut.end()), *hi, 1e-3);
    }
    for (float v : render(kSine, 1.f, 1.5f, 100.0)) ASSERT_EQ(v, 1.f);  // RA + RA CV past 2
    // Above 0.0454 of the rate (2179 Hz here) the cut level drops below 0.
    const auto high = render(kSine, 1.f, 0.f, 4000.0);
    const float h = -(incrementFor(cvFor(4000.0), 48000.f) - 0.0454f) * 20.f;
    EXPECT_LT(*std::min_element(high.begin(), high.end()), h * 0.9f);
}

TEST(S310VCO, BandlimitNearDawNyquistStretchesEachCorrectionToHostTime) {
    const float* t = S310VCO::minBlepTable();
    EXPECT_EQ(t[S310VCO::kTableLast], 1.f);
    EXPECT_LT(std::fabs(t[0]), 0.01f);
    EXPECT_LT(t[16], 0.5f);  // minimum phase: past half height between samples 1 and 3
    EXPECT_GT(t[48], 0.5f);

    Bench b;
    b.rig.plugin.setOversampling(2);  // 4X
    EXPECT_EQ(b.vco->tableStep(), 16);
    EXPECT_EQ(b.vco->correctionLength(), 27);
    b.rig.editor.setModuleBandlimit(b.vco, 1);
    EXPECT_EQ(b.vco->tableStep(), 4);
    EXPECT_EQ(b.vco->correctionLength(), 99);
    b.rig.plugin.setOversampling(1);  // 2X keeps the mode
    EXPECT_EQ(b.vco->tableStep(), 8);
    b.rig.editor.setModuleOversampled(b.vco, false);
    EXPECT_EQ(b.vco->tableStep(), 16);

    // Passes after the middle of a falling edge in which the ramp is still disturbed.
    auto disturbance = [](int mode) {
        Bench r;
        r.rig.plugin.setOversampling(2);
        r.rig.editor.setModuleBandlimit(r.vco, mode);
        r.set(kCv, cvFor(200.0));
        r.listen(kSaw);
        auto& x = r.run(6000);
        size_t edge = 2000;
        while (!(x[edge - 1] > 0.f && x[edge] <= 0.f)) ++edge;
        const float slope = 2.f * incrementFor(cvFor(200.0), 192000.f);
        size_t last = 0;
        for (size_t i = edge; i < edge + 400; ++i)
            if (std::fabs(x[edge + 400] - (float)(edge + 400 - i) * slope - x[i]) > 1e-4f) last = i - edge;
        return last;
    };
    const size_t narrow = disturbance(0), wide = disturbance(1);
    std::printf("[ span     ] wrap disturbance at 4X: mode 0 %zu passes, mode 1 %zu passes\n", narrow, wide);
    EXPECT_LE(narrow, 24u);
    EXPECT_GT(wide, 72u);
    EXPECT_LE(wide, 96u);
}

TEST(S310VCO, ANonNumberOnTheInputsLeavesNoLastingDamage) {
    Bench b;
    b.listen(kSaw, 0);
    b.listen(kSine, 1);
    for (int jack : {kCv, kSync, kPwCv}) b.set(jack, NAN);
    b.toggle()->setValue(1.f);  // Bend, so Sync also reaches the integrators
    b.run(500);
    for (int jack : {kCv, kSync, kPwCv}) b.set(jack, 0.f);
    b.set(kCv, 0.075f);
    b.probe->data[1].clear();
    auto& saw = b.fresh(48000);
    for (size_t i = 100; i < saw.size(); ++i) ASSERT_TRUE(std::isfinite(saw[i]) && std::isfinite(b.probe->data[1][i])) << i;
    EXPECT_NEAR(pitchOf(saw, 100) / 440.0, 1.0, 1e-3);
}

// A voice that only hears the saw takes a shorter road through the oscillator; the
// saw must not tell which road it took, as cables come and go on the other jacks.
TEST(S310VCO, SawIsTheSameWhateverElseIsCabled) {
    Bench a, b;  // a: the saw alone most of the time; b: always another cable too
    for (Bench* x : {&a, &b}) {
        x->knob(kTune, 0.37f);
        x->set(kCv, cvFor(1234.5));
        x->set(kFmCv, 0.f);
        x->listen(kSaw);
    }
    b.listen(kPulse, 1);
    b.set(kSync, 0.f);  // a Sync cable that never rises: no sync, but the long road
    std::vector<float> sa, sb;
    auto take = [&](int frames) {
        const std::vector<float>& ya = a.fresh(frames);
        sa.insert(sa.end(), ya.begin(), ya.end());
        const std::vector<float>& yb = b.fresh(frames);
        sb.insert(sb.end(), yb.begin(), yb.end());
    };
    take(600);
    // A Trig. cable comes and goes (at 0 it shifts nothing), then the triangle.
    Cable* trig = a.rig.cable(a.rig.addCustom<AddModule>()->out, jacks(a.vco)[kTrig]);
    take(300);
    a.rig.editor.removeCable(trig);
    take(300);
    Cable* tri = a.rig.cable(jacks(a.vco)[kTri], a.probe->ins[1]);
    take(300);
    a.rig.editor.removeCable(tri);
    // The pitch moves while only the saw is cabled.
    a.sources[kCv]->offset = b.sources[kCv]->offset = cvFor(333.3);
    take(900);
    ASSERT_EQ(sa.size(), sb.size());
    for (size_t i = 0; i < sa.size(); ++i) ASSERT_EQ(sa[i], sb[i]) << "pass " << i;
    // Not a silent pair: the saw swings through its range at the new pitch.
    const auto [lo, hi] = std::minmax_element(sa.end() - 700, sa.end());
    EXPECT_GT(*hi - *lo, 1.5f);
    EXPECT_GT(pitchOf(sa, sa.size() - 700), 100.0);
}

// The corrections at every step length the bandlimit modes give (16 at 4X by default,
// 4, 2 and 1 near DAW Nyquist at 4X, 8X and 16X), with edges close together on both
// waves; recorded from the code before the buffers slid.
TEST(S310VCO, CorrectionsAtEveryStepLengthSoundAsRecorded) {
    struct Setting {
        int oversampling, bandlimit, step;
    };
    uint64_t hash = 1469598103934665603ull;
    for (const Setting& m : {Setting{2, 0, 16}, Setting{2, 1, 4}, Setting{3, 1, 2}, Setting{4, 1, 1}}) {
        Bench b;
        b.rig.plugin.setOversampling(m.oversampling);
        b.rig.editor.setModuleBandlimit(b.vco, m.bandlimit);
        EXPECT_EQ(b.vco->tableStep(), m.step);
        b.set(kCv, cvFor(2500.0));
        b.set(kPwCv, 0.6f);
        b.listen(kSaw, 0);
        b.listen(kPulse, 1);
        b.run(1500);
        b.set(kSync, 0.5f);  // one sync instant, then free again
        b.run(700);
        for (int channel = 0; channel < 2; ++channel)
            for (float v : b.probe->data[channel]) {
                uint32_t w;
                std::memcpy(&w, &v, sizeof w);
                hash = (hash ^ w) * 1099511628211ull;
            }
    }
    EXPECT_EQ(hash, 0xd82f63866988300full);
}
