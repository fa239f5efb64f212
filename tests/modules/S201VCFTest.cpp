#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "modules/S201VCF.h"
#include "support/PatchFixture.h"

using namespace fixture;

namespace {

enum { kAudio, kCutCv, kFrqCv, kQCv, kOut };
enum { kLev, kCut, kFrq, kQ, kRes };

// Watches the filter's loop node on every pass.
class NodeWatch : public Module {
public:
    NodeWatch(Patch* e, S201VCF* vcf) : Module(CRect(0, 0, 48, 291), e, nullptr), vcf(vcf) {}
    void process() override { worst = std::max(worst, std::fabs(vcf->internalNode())); }
    S201VCF* vcf;
    float worst = 0.f;
};

// Host input 1 feeds Audio In, host output 1 hears the output at unity.
struct Bench {
    // plain: the filter made directly, with the plain update, not from the catalogue.
    explicit Bench(float rate = 48000.f, bool plain = false) : rig(rate), rate(rate) {
        Module* from = rig.add("SA01 2 From DAW");
        vcf = plain ? rig.addCustom<S201VCF>() : static_cast<S201VCF*>(rig.add("S201 VCF"));
        Module* sink = rig.add("SA02 2 DAW");
        setKnob(knobs(sink)[1], 1.f);
        rig.cable(jacks(from)[1], jacks(vcf)[kAudio]);
        rig.cable(jacks(vcf)[kOut], jacks(sink)[1]);
    }
    void set(int jack, float v) {
        if (!sources[jack]) {
            sources[jack] = rig.addCustom<AddModule>();
            rig.cable(sources[jack]->out, jacks(vcf)[jack]);
        }
        sources[jack]->offset = v;
    }
    void knob(int k, float v) { setKnob(knobs(vcf)[k], v); }
    std::vector<float> run(int frames, const std::function<float(int)>& input) {
        HostBuffers io(frames);
        for (int i = 0; i < frames; ++i) io.in[0][i] = input(start + i);
        start += frames;
        rig.render(io);
        return io.out[0];
    }
    // Amplitude of the response to a sine of `hz`, after it settles.
    double gainAt(double hz, float amplitude = 0.5f) {
        const double w = 2.0 * M_PI * hz / rate;
        const int frames = (int)rate;
        auto y = run(frames, [&](int i) { return amplitude * (float)std::sin(w * i); });
        double c = 0, s = 0;
        const int from = frames / 2;
        for (int i = from; i < frames; ++i) {
            c += y[(size_t)i] * std::cos(w * i);
            s += y[(size_t)i] * std::sin(w * i);
        }
        return 2.0 * std::hypot(c, s) / (frames - from) / amplitude;
    }

    Rig rig;
    float rate;
    S201VCF* vcf;
    AddModule* sources[4] = {};
    int start = 0;
};

}  // namespace

TEST(S201VCF, ControlsAreSavedInPanelOrder) {
    Bench b;
    Module* m = b.vcf;
    EXPECT_EQ(m->getStateSize(), (5 + 5 + 2) * 4);  // knobs, jacks, the left screw pair
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getName(), "S201 VCF");
    EXPECT_EQ(m->getWidth(), 96);
    const int centres[10][2] = {{62, 55},  {62, 98},  {62, 141}, {62, 184}, {62, 227},
                                {17, 58},  {17, 101}, {17, 144}, {17, 187}, {17, 230}};
    const auto& kids = m->getChildren();
    for (int i = 0; i < 10; ++i) {
        const CRect r = kids[(size_t)i]->getViewSize();
        EXPECT_NEAR((r.left + r.right) / 2.0, centres[i][0], 1.0) << "control " << i + 1;
        EXPECT_NEAR((r.top + r.bottom) / 2.0, centres[i][1], 1.0) << "control " << i + 1;
        EXPECT_EQ(kids[(size_t)i]->isTypeOf("ModuleKnob"), i < 5);
    }
    EXPECT_EQ(jacks(m)[kOut]->direction, kJackOutput);
    for (int j = kAudio; j < kOut; ++j) EXPECT_EQ(jacks(m)[j]->direction, kJackInput);
    const float values[5] = {0.9f, 0.8f, 0.7f, 0.6f, 0.1f};
    for (int k = 0; k < 5; ++k) b.knob(k, values[k]);
    std::vector<float> record(12);
    m->saveState(record.data(), 48);
    for (int k = 0; k < 5; ++k) EXPECT_FLOAT_EQ(record[(size_t)k], values[k]);
}

TEST(S201VCF, NewModulePassesAQuarterBelowItsCutoff) {
    Bench b;
    auto dc = b.run(4800, [](int) { return 1.f; });
    EXPECT_NEAR(dc.back(), 0.25, 1e-4);
    EXPECT_NEAR(b.gainAt(50.0), 0.25, 0.0025);
    // Lev is squared: full travel is unity.
    b.knob(kLev, 1.f);
    EXPECT_NEAR(b.gainAt(50.0), 1.0, 0.01);
}

TEST(S201VCF, CutoffFollowsTheFourthPowerOfCutPlusBothCvs) {
    // Two matched one-pole stages: half the pass-band gain (here 0.25) at the cutoff.
    struct Case {
        float cut, cutCv, frq, frqCv;
        double o;
    };
    const Case cases[] = {
        {0.5f, 0.f, 0.f, 0.f, 0.5},  // default knob: 1364 Hz
        {0.f, 0.5f, 0.f, 0.f, 0.5},  // Cut CV adds unscaled
        {0.f, 0.f, 0.5f, 1.f, 0.5},  // Frq CV through the Frq knob
        {0.3f, 0.4f, 0.f, 0.f, 0.7}, // 5241 Hz
        {0.2f, 0.f, 1.f, 0.6f, 0.8}, // 8941 Hz
    };
    for (float rate : {48000.f, 96000.f}) {
        for (const Case& c : cases) {
            Bench b(rate);
            b.knob(kCut, c.cut);
            b.knob(kFrq, c.frq);
            b.set(kCutCv, c.cutCv);
            b.set(kFrqCv, c.frqCv);
            const double fc = 21829.5 * std::pow(c.o, 4);
            EXPECT_NEAR(b.gainAt(fc), 0.125, 0.003) << rate << " Hz rate, fc " << fc;
            EXPECT_NEAR(b.gainAt(fc / 4), 0.25 / (1 + 1.0 / 16), 0.003) << rate << " Hz rate, fc " << fc;
        }
    }
}

TEST(S201VCF, ResonanceFromQCvTimesQEqualsTheResKnob) {
    auto render = [](bool viaCv) {
        Bench b;
        if (viaCv) {
            b.knob(kQ, 1.f);
            b.set(kQCv, 0.8f);
        } else {
            b.knob(kRes, 0.8f);
            b.set(kQCv, 0.f);
        }
        return b.gainAt(21829.5 / 16);
    };
    const double viaCv = render(true), viaKnob = render(false);
    EXPECT_DOUBLE_EQ(viaCv, viaKnob);
    EXPECT_GT(viaKnob, 2 * 0.125);  // a resonant peak at the cutoff
}

TEST(S201VCF, FullResonanceWithLoudInputStaysBounded) {
    for (float rate : {44100.f, 48000.f}) {
        for (float cutCv : {0.f, 0.5f}) {  // o = 0.5, and o = 1 where g is about 4.6 at 44.1 kHz
            Bench b(rate);
            auto* watch = b.rig.addCustom<NodeWatch>(b.vcf);
            b.rig.editor.setAlwaysOn(watch, true);
            b.knob(kLev, 1.f);
            b.knob(kRes, 1.f);
            b.set(kCutCv, cutCv);
            auto loud = b.run((int)rate, [](int i) { return (i / 100) % 2 ? 20.f : -20.f; });
            // The output stage is a trapezoidal low-pass of the node; its state can
            // overshoot up to 2g/(1+g) times the node's limit, never more.
            for (float v : loud) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) < 8.f) << v;
            EXPECT_LE(watch->worst, 4.f);
            EXPECT_GT(watch->worst, 3.9f);  // the limit was reached, so it was tested
            // Silence afterwards: the ringing dies away instead of growing.
            auto quiet = b.run(4 * (int)rate, [](int) { return 0.f; });
            double early = 0, late = 0;
            for (size_t i = 0; i < 1000; ++i) {
                early = std::max(early, (double)std::fabs(quiet[i]));
                late = std::max(late, (double)std::fabs(quiet[quiet.size() - 1 - i]));
            }
            EXPECT_LT(late, early * 0.01) << rate << " " << cutCv;
        }
    }
}

TEST(S201VCF, ClosedCutoffFreezesTheOutput) {
    Bench b;
    b.set(kCutCv, 0.f);
    b.run(1000, [](int i) { return (float)std::sin(i * 0.05); });
    b.knob(kCut, 0.f);
    auto held = b.run(1000, [](int i) { return (float)std::sin(i * 0.05); });
    for (size_t i = 10; i < held.size(); ++i) ASSERT_EQ(held[i], held[9]);
    EXPECT_NE(held[9], 0.f);
    // Negative CV cannot push the cutoff below closed.
    b.set(kCutCv, -3.f);
    b.run(1, [](int) { return 1.f; });  // the CV arrives one pass later
    b.knob(kCut, 0.5f);
    auto still = b.run(100, [](int) { return 1.f; });
    EXPECT_EQ(still.back(), held[9]);
}

TEST(S201VCF, ANonNumberOnTheInputsLeavesNoLastingDamage) {
    Bench b;
    b.set(kCutCv, NAN);
    b.run(100, [](int) { return NAN; });
    b.set(kCutCv, 0.f);
    b.run(4800, [](int) { return 0.f; });
    EXPECT_NEAR(b.gainAt(50.0), 0.25, 0.0025);
}

namespace {

// `total` passes of a test signal, with `change` made after the first `at`.
std::vector<float> runChangingAfter(Bench& x, int at, const std::function<void()>& change, int total) {
    auto signal = [](int i) { return (float)std::sin(0.37 * i) * 0.8f + (float)std::sin(2.9 * i) * 0.3f; };
    std::vector<float> y = x.run(at, signal);
    change();
    const std::vector<float> rest = x.run(total - at, signal);
    y.insert(y.end(), rest.begin(), rest.end());
    return y;
}

// Bit for bit the same; then the mean level of the 200 passes before `at` and of the
// last 200, to show the change mattered.
std::pair<double, double> sameAndLevels(const std::vector<float>& ya, const std::vector<float>& yb, int at) {
    EXPECT_EQ(ya.size(), yb.size());
    for (size_t i = 0; i < ya.size() && i < yb.size(); ++i)
        if (ya[i] != yb[i]) {
            ADD_FAILURE() << "first apart at pass " << i;
            break;
        }
    double before = 0, after = 0;
    for (int i = at - 200; i < at; ++i) before += std::fabs(ya[(size_t)i]);
    for (size_t i = ya.size() - 200; i < ya.size(); ++i) after += std::fabs(ya[i]);
    return {before, after};
}

}  // namespace

TEST(S201VCF, PullingACvCableActsFromTheNextPassAsACvOfZero) {
    // A: Cut CV on a cable that is pulled after n passes. B: the cable stays and its
    // source drops to 0 so that the filter reads 0 from the same pass. The two must
    // agree to the bit, however the filter keeps its coefficients between passes.
    const int n = 700, total = 1600;
    Bench a, b;
    for (Bench* x : {&a, &b}) x->knob(kCut, 0.35f);
    auto* source = a.rig.addCustom<AddModule>(0.3f);
    Cable* cv = a.rig.cable(source->out, jacks(a.vcf)[kCutCv]);
    b.set(kCutCv, 0.3f);
    const auto ya = runChangingAfter(a, n, [&] { a.rig.editor.removeCable(cv); }, total);
    const auto yb = runChangingAfter(b, n - 1, [&] { b.sources[kCutCv]->offset = 0.f; }, total);
    // The pull mattered: the cut-off really moved (0.65 to 0.35).
    const auto [before, after] = sameAndLevels(ya, yb, n);
    EXPECT_GT(before, 1.5 * after);
}

TEST(S201VCF, JoiningACvCableToARestingFilterActsFromTheNextPass) {
    // A: the knobs rest with no CV cable, so the coefficients stand, until a cable
    // from a source of 0.3 joins Cut CV after n passes. B: the cable is there from the
    // start, its source at 0 until then. They must agree to the bit.
    const int n = 700, total = 1600;
    Bench a, b;
    for (Bench* x : {&a, &b}) x->knob(kCut, 0.35f);
    b.set(kCutCv, 0.f);
    const auto ya = runChangingAfter(a, n, [&] { a.set(kCutCv, 0.3f); }, total);
    const auto yb = runChangingAfter(b, n, [&] { b.set(kCutCv, 0.3f); }, total);
    const auto [before, after] = sameAndLevels(ya, yb, n);
    EXPECT_GT(after, 1.5 * before);
}

// The fused update of the states stands for two roundings of the same result, so it
// must sound exactly as the plain one: a moving cutoff and resonance, a loud input
// that drives the node to its limit at full resonance, then silence.
TEST(S201VCF, FusedStateUpdateSoundsBitForBitAsThePlainOne) {
    if (!S201VCF::fusedAvailable()) GTEST_SKIP() << "this processor has no fused multiply-add";
    Bench fused, plain(48000.f, true);
    ASSERT_TRUE(fused.vcf->fusedDoubling());
    ASSERT_FALSE(plain.vcf->fusedDoubling());
    std::vector<float> y[2];
    for (int k = 0; k < 2; ++k) {
        Bench& b = k ? plain : fused;
        b.knob(kLev, 1.f);
        b.knob(kRes, 0.9f);
        y[k] = runChangingAfter(b, 3000, [&b] { b.knob(kCut, 0.9f), b.knob(kRes, 1.f); }, 6000);
        for (float level : {20.f, 0.f}) {
            const std::vector<float> more = b.run(4000, [level](int i) { return (i / 100) % 2 ? level : -level; });
            y[k].insert(y[k].end(), more.begin(), more.end());
        }
    }
    EXPECT_GT(*std::max_element(y[0].begin(), y[0].end()), 2.f);
    EXPECT_TRUE(y[0] == y[1]);
}
