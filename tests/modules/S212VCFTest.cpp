#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <vector>

#include "framework/Random.h"
#include "gui/CControl.h"
#include "modules/S212VCF.h"
#include "support/PatchFixture.h"

using namespace fixture;

namespace {

enum { kAudio, kCutCv, kFrqCv, kQCv, kFbIn, kHP, kBP, kLP, kNotch };
enum { kLev, kCut, kFrq, kQ, kRes, kFb };
const int kOutputJacks[4] = {kHP, kBP, kLP, kNotch};

// Hears the four filter outputs through cables (which also switches them on).
class Recorder : public Module {
public:
    explicit Recorder(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) {
        for (auto& j : in) j = addJack(20, 60, kJackInput);
        for (auto& v : values) v.reserve(1 << 17);
    }
    void process() override {
        for (int k = 0; k < 4; ++k) values[k].push_back(in[k]->inValue);
    }
    PatchPoint* in[4];
    std::vector<float> values[4];  // HP, BP, LP, Notch
};

struct Bench {
    explicit Bench(float rate = 48000.f) : rig(rate), rate(rate) {
        vcf = rig.add("S212 VCF");
        wave = rig.addCustom<Wave>();
        rec = rig.addCustom<Recorder>();
        rig.cable(wave->out, jacks(vcf)[kAudio]);
        for (int k = 0; k < 4; ++k) outCables[k] = rig.cable(jacks(vcf)[kOutputJacks[k]], rec->in[k]);
    }
    void knob(int k, float v) { setKnob(knobs(vcf)[k], v); }
    void set(int jack, float v) {
        if (!sources[jack]) {
            sources[jack] = rig.addCustom<AddModule>();
            rig.cable(sources[jack]->out, jacks(vcf)[jack]);
        }
        sources[jack]->offset = v;
    }
    void steep(bool on) { vcf->control("CVerticalSwitch", 0)->setValue(on ? 1.f : 0.f); }
    void run(int frames) {
        for (auto& v : rec->values) v.clear();
        HostBuffers io(frames);
        rig.render(io);
    }
    // Gain of each output (HP, BP, LP, Notch) for a sine of `hz`, once settled.
    std::vector<double> gains(double hz, float amplitude = 0.1f) {
        const double w = 2.0 * M_PI * hz / rate;
        wave->fn = [=](long i) { return amplitude * (float)std::sin(w * (double)i); };
        wave->n = 0;
        const int frames = 24000;
        run(frames);
        std::vector<double> g;
        for (auto& y : rec->values) {
            double c = 0, s = 0;
            for (int i = frames / 2; i < frames; ++i) {
                c += y[(size_t)i] * std::cos(w * i);
                s += y[(size_t)i] * std::sin(w * i);
            }
            g.push_back(2.0 * std::hypot(c, s) / (frames / 2) / amplitude);
        }
        return g;
    }

    Rig rig;
    float rate;
    Module* vcf;
    Wave* wave;
    Recorder* rec;
    AddModule* sources[5] = {};
    Cable* outCables[4] = {};
};

// Magnitude of one biquad section with Fb at 0, worked out independently in double.
// Outputs in jack order: HP, BP, LP, Notch.
double sectionGain(int output, double hz, double rate, double e, double r) {
    const double u = 0.04 / rate + (37485.0 / rate - 0.04 / rate) * std::pow(e, 4);
    const double c = u <= 0.5 ? 1 - 4 * u * u : 4 * (u - 1) * (u - 1) - 1;
    const double R = (1 - (1 - r) * (1 - r)) * (-1764.0 / rate - 3) + 3;
    const double b[4][3] = {{(1 + c) / 2, -(1 + c), (1 + c) / 2},
                            {1.4 * u, 0, -1.4 * u},
                            {(1 - c) / 2, 1 - c, (1 - c) / 2},
                            {1, -2 * c, 1}};
    const std::complex<double> z1 = std::polar(1.0, -2 * M_PI * hz / rate), z2 = z1 * z1;
    const auto num = b[output][0] + b[output][1] * z1 + b[output][2] * z2;
    const auto den = (1 + u * R) - 2 * c * z1 + (1 - u * R) * z2;
    return std::abs(num / den);
}

}  // namespace

TEST(S212VCF, ControlsAreSavedInPanelOrder) {
    Bench b;
    Module* m = b.vcf;
    EXPECT_EQ(m->getStateSize(), (6 + 9 + 1 + 4) * 4);  // knobs, jacks, switch, four screws
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getName(), "S212 VCF");
    EXPECT_EQ(m->getWidth(), 144);
    const int centres[16][2] = {{62, 55},  {62, 98},   {62, 141},  {62, 184},  {62, 227},  {110, 55},
                                {17, 58},  {17, 101},  {17, 144},  {17, 187},  {112, 101}, {112, 133},
                                {112, 165}, {112, 197}, {112, 229}, {17, 230}};
    const auto& kids = m->getChildren();
    for (int i = 0; i < 16; ++i) {
        const CRect r = kids[(size_t)i]->getViewSize();
        EXPECT_NEAR((r.left + r.right) / 2.0, centres[i][0], 1.0) << "control " << i + 1;
        EXPECT_NEAR((r.top + r.bottom) / 2.0, centres[i][1], 1.0) << "control " << i + 1;
        EXPECT_EQ(kids[(size_t)i]->isTypeOf("ModuleKnob"), i < 6);
        EXPECT_EQ(kids[(size_t)i]->isTypeOf("PatchPoint"), i >= 6 && i < 15);
    }
    EXPECT_TRUE(kids[15]->isTypeOf("CVerticalSwitch"));
    for (int j = 0; j < 9; ++j) EXPECT_EQ(jacks(m)[j]->direction, j <= kFbIn ? kJackInput : kJackOutput) << j;
    const float values[6] = {0.9f, 0.8f, 0.7f, 0.6f, 0.1f, 0.2f};
    for (int k = 0; k < 6; ++k) b.knob(k, values[k]);
    b.steep(true);
    std::vector<float> record(20);
    m->saveState(record.data(), 80);
    for (int k = 0; k < 6; ++k) EXPECT_FLOAT_EQ(record[(size_t)k], values[k]);
    EXPECT_EQ(record[15], 1.f);
}

TEST(S212VCF, AllFourOutputsInBothSlopes) {
    // e = 0.5 (default Cut) and 0.7; resonance 0 and 0.6 via QCV x Q. The notch's null
    // and the band-pass peak sit where cos w = c, about 1055 Hz for the defaults.
    struct Case {
        float cut, cutCv, q, qCv;
    };
    const Case cases[] = {{0.5f, 0.f, 0.f, 0.f}, {0.3f, 0.4f, 0.5f, 1.2f}};
    for (const Case& k : cases) {
        for (bool steep : {false, true}) {
            Bench b;
            b.knob(kLev, 1.f);
            b.knob(kCut, k.cut);
            b.knob(kQ, k.q);
            b.set(kCutCv, k.cutCv);
            b.set(kQCv, k.qCv);
            b.steep(steep);
            const double e = k.cut + k.cutCv, r = k.q * k.qCv;
            const double u = 37485.0 / 48000 * std::pow(e, 4);
            const double f0 = std::acos(1 - 4 * u * u) * 48000 / (2 * M_PI);
            for (double hz : {f0 / 8, f0 / 2, f0, 2 * f0, 8 * f0}) {
                if (hz > 20000) continue;
                const auto measured = b.gains(hz);
                for (int o = 0; o < 4; ++o) {
                    const double g = sectionGain(o, hz, 48000, e, r);
                    const double expected = steep ? 0.7 * g * g : g;
                    EXPECT_NEAR(measured[(size_t)o], expected, 0.01 * expected + 2e-3)
                        << "output " << o << " at " << hz << " Hz, e " << e << ", steep " << steep;
                }
            }
        }
    }
}

TEST(S212VCF, SelfOscillationStaysInsideTheClipper) {
    for (bool steep : {false, true}) {
        for (bool loud : {false, true}) {
            Bench b;
            b.knob(kRes, 1.f);
            b.steep(steep);
            if (loud) {  // drive 2 on a square wave of 20 at full level
                b.knob(kLev, 1.f);
                b.knob(kFb, 1.f);
                b.wave->fn = [](long i) { return (i / 37) % 2 ? 20.f : -20.f; };
            }
            b.run(48000);
            for (int o = 0; o < 4; ++o) {
                const auto& y = b.rec->values[o];
                float peak = 0.f;
                for (float v : y) {
                    ASSERT_TRUE(std::fabs(v) <= 2.f) << v << " output " << o;
                    peak = std::max(peak, std::fabs(v));
                }
                EXPECT_GT(peak, 1.2f) << "output " << o << " steep " << steep << " loud " << loud;
            }
            if (!loud) {  // from noise alone it rings near the notch frequency
                const auto& lp = b.rec->values[2];
                int crossings = 0;  // over the last half second: two per cycle
                for (size_t i = 24001; i < lp.size(); ++i) crossings += (lp[i - 1] < 0.f) != (lp[i] < 0.f);
                EXPECT_NEAR(crossings, 1055.0, 100.0) << "steep " << steep;
            }
        }
    }
}

TEST(S212VCF, ClosedCutoffHandsHighPassAndNotchTheDrivenInput) {
    Bench b;
    b.knob(kLev, 1.f);
    b.knob(kCut, 0.f);
    for (bool steep : {false, true}) {
        b.steep(steep);
        const auto g = b.gains(200.0);
        const double drive = steep ? 0.7 : 1.0;
        EXPECT_NEAR(g[0], drive, 1e-3);
        EXPECT_NEAR(g[3], drive, 1e-3);
        EXPECT_LT(g[2], 1e-4);
    }
}

TEST(S212VCF, NonNumbersOnTheInputsLeaveNoLastingDamage) {
    Bench b;
    b.knob(kLev, 1.f);
    b.knob(kFrq, 1.f);
    b.set(kFrqCv, NAN);
    b.set(kFbIn, NAN);
    b.wave->fn = [](long) { return NAN; };
    b.run(100);
    b.set(kFrqCv, 0.f);
    b.set(kFbIn, 0.f);
    const auto g = b.gains(200.0);
    for (int o = 0; o < 4; ++o) EXPECT_NEAR(g[(size_t)o], sectionGain(o, 200.0, 48000, 0.5, 0), 2e-3) << o;
}

TEST(S212VCF, FbInAtHalfScaleAndFrqCvThroughFrqSquared) {
    for (bool steep : {false, true}) {
        Bench b;
        b.knob(kLev, 1.f);
        b.steep(steep);
        // f = -1 x 0.5: drive 1 - 1.5^2 = -1.25; b clamps to 0, so no extra damping.
        b.set(kFbIn, -1.f);
        // Once its high-pass has settled a constant Frq CV adds Frq^2 x CV: e = 0.5 + 0.2.
        b.knob(kFrq, 0.5f);
        b.set(kFrqCv, 0.8f);
        const double drive = steep ? 0.55 : 0.25;
        for (double hz : {300.0, 3000.0}) {
            const auto measured = b.gains(hz);
            for (int o = 0; o < 4; ++o) {
                const double g = sectionGain(o, hz, 48000, 0.7, 0);
                const double expected = drive * (steep ? g * g : g);
                EXPECT_NEAR(measured[(size_t)o], expected, 0.01 * expected + 2e-3) << o << " " << hz;
            }
        }
    }
}

// The outputs, to the bit, of a run whose controls rest for stretches and then jump
// (knobs, CV steps, the slope, a NaN on Fb In), against a record made before the
// per-sample work that follows from the controls alone was kept between changes.
TEST(S212VCF, RestingAndJumpingControlsSoundAsRecorded) {
    randomSeed = 12345;
    Bench b;
    b.wave->fn = [](long i) { return 0.4f * (float)std::sin(0.031 * (double)i) + 0.1f * (float)((i / 37) % 3); };
    uint64_t hash = 1469598103934665603ull;
    auto take = [&](int frames) {
        b.run(frames);
        for (int k = 0; k < 4; ++k)
            for (float v : b.rec->values[k]) {
                uint32_t w;
                std::memcpy(&w, &v, sizeof w);
                hash = (hash ^ w) * 1099511628211ull;
            }
    };
    b.knob(kCut, 0.6f);
    b.knob(kRes, 0.7f);
    b.knob(kFb, 0.3f);
    take(700);
    b.set(kFbIn, 0.8f);  // feedback alone moves
    take(500);
    b.set(kCutCv, -0.2f);  // cutoff alone
    take(500);
    b.set(kQCv, 0.5f);  // resonance alone
    b.knob(kQ, 0.6f);
    take(500);
    b.steep(true);
    take(500);
    b.set(kFbIn, std::nanf(""));
    take(50);
    b.set(kFbIn, 1.5f);  // past the feedback limit
    b.knob(kFrq, 0.5f);
    b.set(kFrqCv, 0.3f);
    take(800);
    b.knob(kCut, 0.05f);  // below the fade
    take(600);
    // An output without a cable stands still and goes on from where it stood.
    b.knob(kCut, 0.4f);
    for (int k : {1, 3}) b.rig.editor.removeCable(b.outCables[k]);
    take(300);
    b.steep(false);
    b.rig.editor.removeCable(b.outCables[0]);
    take(300);
    for (int k : {0, 1, 3}) b.outCables[k] = b.rig.cable(jacks(b.vcf)[kOutputJacks[k]], b.rec->in[k]);
    take(400);
    EXPECT_EQ(hash, 0xc8977ca2f4f6ab05ull);
}
