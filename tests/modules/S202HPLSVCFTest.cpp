#include <cmath>
#include <complex>
#include <functional>
#include <vector>

#include "gui/CControl.h"
#include "modules/S202HPLSVCF.h"
#include "support/PatchFixture.h"

using namespace fixture;

namespace {

enum { kAudio, kCutCv, kFrqCv, kShelfCv, kOut };
enum { kLev, kCut, kFrq, kShelf, kRes };

// Hears the filter on input 0 and the wave itself, by one cable, on input 1.
class Recorder : public Module {
public:
    explicit Recorder(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) {
        for (auto& j : in) j = addJack(20, 60, kJackInput);
    }
    void process() override {
        for (int k = 0; k < 2; ++k) values[k].push_back(in[k]->inValue);
    }
    PatchPoint* in[2];
    std::vector<float> values[2];
};

struct Bench {
    Bench() {
        vcf = rig.add("S202 HP/Low Shelf VCF");
        wave = rig.addCustom<Wave>();
        rec = rig.addCustom<Recorder>();
        rig.cable(wave->out, jacks(vcf)[kAudio]);
        rig.cable(jacks(vcf)[kOut], rec->in[0]);
        rig.cable(wave->out, rec->in[1]);
        knob(kLev, 1.f);
    }
    void knob(int k, float v) { setKnob(knobs(vcf)[k], v); }
    void set(int jack, float v) {
        if (!sources[jack]) {
            sources[jack] = rig.addCustom<AddModule>();
            rig.cable(sources[jack]->out, jacks(vcf)[jack]);
        }
        sources[jack]->offset = v;
    }
    void shelfMode(bool on) { vcf->control("CVerticalSwitch", 0)->setValue(on ? 1.f : 0.f); }
    void run(int frames) {
        for (auto& v : rec->values) v.clear();
        HostBuffers io(frames);
        rig.render(io);
    }
    double gainAt(double hz, float amplitude = 0.2f) {
        const double w = 2.0 * M_PI * hz / 48000.0;
        wave->fn = [=](long i) { return amplitude * (float)std::sin(w * (double)i); };
        wave->n = 0;
        const int frames = 24000;
        run(frames);
        const auto& y = rec->values[0];
        double c = 0, s = 0;
        for (int i = frames / 2; i < frames; ++i) {
            c += y[(size_t)i] * std::cos(w * i);
            s += y[(size_t)i] * std::sin(w * i);
        }
        return 2.0 * std::hypot(c, s) / (frames / 2) / amplitude;
    }

    Rig rig{48000.f};
    Module* vcf;
    Wave* wave;
    Recorder* rec;
    AddModule* sources[4] = {};
};

double prewarp(double o) {
    const double t = 68579.39683153832 / 48000.0 * o * o * o;
    return t * (1 + t * t * (0.31755 + 0.2033 * t * t));
}

// Trapezoidal integrators make the bilinear image of the analogue state-variable filter:
// s = j tan(w/2) / g. Low shelf (s^2 + kAs + A^2) / (s^2 + ks + 1), high-pass s^2 / (...).
double prototypeGain(bool shelf, double hz, double o, double res, double a) {
    const double g = prewarp(o);
    const double k = 2 - (1 - (1 - res) * (1 - res)) * 1.99;
    const std::complex<double> s(0.0, std::tan(M_PI * hz / 48000.0) / g);
    const auto den = s * s + k * s + 1.0;
    return std::abs((shelf ? s * s + k * a * s + a * a : s * s) / den);
}

}  // namespace

TEST(S202HPLSVCF, ControlsAreSavedInPanelOrder) {
    Bench b;
    Module* m = b.vcf;
    EXPECT_EQ(m->getStateSize(), (5 + 5 + 1 + 2) * 4);  // knobs, jacks, switch, left screws
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getName(), "S202 HP/Low Shelf VCF");
    EXPECT_EQ(m->getNameLen(), 21);
    EXPECT_EQ(m->getWidth(), 96);
    const int centres[11][2] = {{62, 55}, {62, 98},  {62, 141}, {62, 184}, {62, 227}, {17, 58},
                                {17, 101}, {17, 144}, {17, 187}, {17, 230}, {36, 256}};
    const auto& kids = m->getChildren();
    for (int i = 0; i < 11; ++i) {
        const CRect r = kids[(size_t)i]->getViewSize();
        EXPECT_NEAR((r.left + r.right) / 2.0, centres[i][0], 1.0) << "control " << i + 1;
        EXPECT_NEAR((r.top + r.bottom) / 2.0, centres[i][1], 1.0) << "control " << i + 1;
        EXPECT_EQ(kids[(size_t)i]->isTypeOf("ModuleKnob"), i < 5);
        EXPECT_EQ(kids[(size_t)i]->isTypeOf("PatchPoint"), i >= 5 && i < 10);
    }
    EXPECT_TRUE(kids[10]->isTypeOf("CVerticalSwitch"));
    for (int j = 0; j < 5; ++j) EXPECT_EQ(jacks(m)[j]->direction, j == kOut ? kJackOutput : kJackInput);
    const float values[5] = {0.9f, 0.8f, 0.7f, 0.6f, 0.1f};
    for (int k = 0; k < 5; ++k) b.knob(k, values[k]);
    b.shelfMode(true);
    std::vector<float> record(13);
    m->saveState(record.data(), 52);
    for (int k = 0; k < 5; ++k) EXPECT_FLOAT_EQ(record[(size_t)k], values[k]);
    EXPECT_EQ(record[10], 1.f);
}

TEST(S202HPLSVCF, OutputLagsTheInputByOneSampleInBothModes) {
    // The direct cable delays by one pass; the path through the filter has a second
    // cable and the filter's own sample.
    {
        Bench b;  // flat shelf (A = 1): the input itself, one sample late
        b.shelfMode(true);
        b.knob(kShelf, 0.5f);
        b.wave->fn = [](long i) { return (float)std::sin(0.37 * i) * 0.9f + 0.05f; };
        b.run(2000);
        const auto &via = b.rec->values[0], &direct = b.rec->values[1];
        for (size_t i = 2; i < via.size(); ++i) ASSERT_NEAR(via[i], direct[i - 2], 1e-6) << i;
    }
    {
        Bench b;  // high-pass impulse response: first sample a1 = 1 / ((g + k) g + 1)
        b.wave->fn = [](long i) { return i == 100 ? 1.f : 0.f; };
        b.run(400);
        const auto &via = b.rec->values[0], &direct = b.rec->values[1];
        size_t d = 0;
        while (direct[d] != 1.f) ++d;
        const double g = prewarp(0.5);
        for (size_t i = 0; i < d + 2; ++i) ASSERT_LT(std::fabs(via[i]), 1e-9) << i;
        EXPECT_NEAR(via[d + 2], 1.0 / ((g + 2) * g + 1), 1e-6);
        EXPECT_LT(via[d + 3], 0.f);  // a high-pass swings back
    }
}

TEST(S202HPLSVCF, ShelfAndHighPassGainsFollowTheAnalogueFilter) {
    struct Case {
        bool shelf;
        float shelfKnob, shelfCv, res;
    };
    const Case cases[] = {
        {true, 0.f, 0.f, 0.f},     // -inf dB shelf
        {true, 1.f, 0.f, 0.f},     // +12 dB
        {true, 0.25f, 0.f, 0.f},   // A = 0.5
        {true, 0.2f, 0.6f, 0.5f},  // Shelf CV adds: A = 1.6, with resonance
        {false, 0.f, 0.f, 0.f},
        {false, 0.f, 0.f, 0.7f},
    };
    const double o = 0.4, fc = 21829.5 * o * o * o;  // 1397 Hz
    for (const Case& c : cases) {
        Bench b;
        b.knob(kCut, (float)o);
        b.shelfMode(c.shelf);
        b.knob(kShelf, c.shelfKnob);
        b.set(kShelfCv, c.shelfCv);
        b.knob(kRes, c.res);
        const double a = 2.0 * ((double)c.shelfKnob + (double)c.shelfCv);
        for (double hz : {20.0, fc / 4, fc, 4 * fc, 12000.0}) {
            const double expected = prototypeGain(c.shelf, hz, o, c.res, a);
            EXPECT_NEAR(b.gainAt(hz), expected, 0.005 * expected + 1e-3)
                << "shelf " << c.shelf << " A " << a << " res " << c.res << " at " << hz << " Hz";
        }
    }
    // The headline numbers: far below the cutoff A^2, far above it unity.
    Bench b;
    b.knob(kCut, (float)o);
    b.shelfMode(true);
    b.knob(kShelf, 1.f);
    EXPECT_NEAR(b.gainAt(20.0), 4.0, 0.01);
    EXPECT_NEAR(b.gainAt(15000.0), 1.0, 0.02);
    b.knob(kShelf, 0.f);
    EXPECT_LT(b.gainAt(20.0), 0.002);
}

TEST(S202HPLSVCF, NonNumbersAndFullResonanceLeaveNoLastingDamage) {
    for (bool shelf : {true, false}) {
        Bench b;
        b.shelfMode(shelf);
        b.knob(kShelf, 1.f);
        b.set(kCutCv, NAN);
        b.wave->fn = [](long) { return NAN; };
        b.run(100);
        b.set(kCutCv, 0.f);
        EXPECT_NEAR(b.gainAt(100.0), prototypeGain(shelf, 100.0, 0.5, 0, 2.0), 2e-3) << shelf;
    }
    Bench b;  // k = 0.01 on a loud square: the limit on the high-pass input holds it
    b.knob(kRes, 1.f);
    b.wave->fn = [](long i) { return (i / 40) % 2 ? 20.f : -20.f; };
    b.run(48000);
    for (float v : b.rec->values[0]) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) < 1000.f) << v;
}
