#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "gui/CControl.h"
#include "modules/S205LPG.h"
#include "support/PatchFixture.h"

using namespace fixture;

namespace {

enum { kAudio, kCaCv, kCaCv2, kDriveCv, kOut };
enum { kLev, kCa, kCv2, kDrive, kRes };
constexpr float kPre = 0.f, kPost = 0.5f, kFilter = 1.f;

class Recorder : public Module {
public:
    explicit Recorder(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) { in = addJack(20, 60, kJackInput); }
    void process() override { values.push_back(in->inValue); }
    PatchPoint* in;
    std::vector<float> values;
};

struct Bench {
    Bench() {
        lpg = rig.add("S205 Low Pass Gate");
        wave = rig.addCustom<Wave>();
        rec = rig.addCustom<Recorder>();
        rig.cable(wave->out, jacks(lpg)[kAudio]);
        rig.cable(jacks(lpg)[kOut], rec->in);
    }
    void knob(int k, float v) { setKnob(knobs(lpg)[k], v); }
    void set(int jack, float v) {
        if (!sources[jack]) {
            sources[jack] = rig.addCustom<AddModule>();
            rig.cable(sources[jack]->out, jacks(lpg)[jack]);
        }
        sources[jack]->offset = v;
    }
    // As host automation moves it.
    void mode(float v) { rig.plugin.setParameter(lpg->control("CVerticalSwitch", 0)->getTag(), v); }
    const std::vector<float>& run(int frames) {
        rec->values.clear();
        HostBuffers io(frames);
        rig.render(io);
        return rec->values;
    }
    // Output for a constant input once the envelope follower has settled.
    float settle(float in) {
        wave->fn = [=](long) { return in; };
        return run(24000).back();
    }

    Rig rig{48000.f};
    Module* lpg;
    Wave* wave;
    Recorder* rec;
    AddModule* sources[4] = {};
};

double coefficient(double c) {
    const double t = 68579.39683153832 / 48000.0 * c * c * c;
    return t * (1 + t * t * (0.31755 + 0.2033 * t * t));
}

// Steady state of the loop for a constant driven input x with no resonance: the states
// settle at s1 = y and s2 = C, so C = C env / (1 + g) + g x / (1 + g) and y = C, with the
// follower at env = min(1, |x| / 0.001).
double steadyOutput(double x, double c) {
    const double g = coefficient(c), env = std::min(1.0, std::fabs(x) / 0.001);
    return g * x / (1 + g - env);
}

}  // namespace

TEST(S205LPG, ControlsAreSavedInPanelOrder) {
    Bench b;
    Module* m = b.lpg;
    EXPECT_EQ(m->getStateSize(), (5 + 5 + 1 + 2) * 4);  // knobs, jacks, switch, left screws
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getName(), "S205 Low Pass Gate");
    EXPECT_EQ(m->getNameLen(), 18);
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
    std::vector<float> record(13);
    m->saveState(record.data(), 52);
    for (int k = 0; k < 5; ++k) EXPECT_FLOAT_EQ(record[(size_t)k], values[k]);
    EXPECT_EQ(record[10], kPost);
}

TEST(S205LPG, EnvelopeFollowerScalesTheFilterMemory) {
    Bench b;
    // A new module: Lev -6 dB, C/A 0.5 in Post mode is unity gain; a loud input keeps
    // the follower at 1 and the loop passes DC unchanged.
    EXPECT_NEAR(b.settle(1.f), 0.5f, 1e-4);
    // A quiet input leaves the follower low, so the filter forgets and passes far less.
    const float quiet = 4e-5f;
    EXPECT_NEAR(b.settle(quiet), steadyOutput(0.5 * quiet, 0.5), 1e-3 * 0.5 * quiet);
    EXPECT_LT(b.settle(quiet), 0.2f * 0.5f * quiet);

    // At full resonance the ringing still dies within a few hundred samples of silence.
    b.knob(kRes, 1.f);
    b.wave->fn = [](long i) { return i < 4800 ? (float)std::sin(0.13 * (double)i) : 0.f; };
    b.wave->n = 0;
    const auto& y = b.run(9600);
    const auto at = [&](size_t from, size_t to) {
        float peak = 0.f;
        for (size_t i = from; i < to; ++i) peak = std::max(peak, std::fabs(y[i]));
        return peak;
    };
    const float burst = at(4000, 4800);
    EXPECT_GT(burst, 0.3f);
    EXPECT_GT(at(4803, 4823), 0.1f * burst);  // no cut-off: the follower decays gradually
    EXPECT_LT(at(5100, 5200), 1e-4f * burst);
    EXPECT_LT(at(9000, 9600), 1e-9f);
}

TEST(S205LPG, ModesPlaceTheVcaBeforeAfterOrNowhere) {
    // c = C/A CV + C/A + C/A CV2 x CV2 = 0.05 + 0.1 + 0.2 x 0.5 = 0.25.
    const double c = 0.25;
    const float loud = 1.f, quiet = 4e-4f;  // driven to 0.5 and 2e-4 by Lev
    struct Case {
        float mode;
        double loudOut, quietOut;
    };
    const Case cases[] = {
        {kPre, 0.5 * 2 * c, steadyOutput(0.5 * quiet * 2 * c, c)},  // the gain reaches the follower
        {kPost, 0.5 * 2 * c, 2 * c * steadyOutput(0.5 * quiet, c)},
        {kFilter, 0.5, steadyOutput(0.5 * quiet, c)},
    };
    for (const Case& k : cases) {
        Bench b;
        b.knob(kCa, 0.1f);
        b.set(kCaCv, 0.05f);
        b.knob(kCv2, 0.5f);
        b.set(kCaCv2, 0.2f);
        b.mode(k.mode);
        EXPECT_NEAR(b.settle(loud), k.loudOut, 1e-4) << "mode " << k.mode;
        EXPECT_NEAR(b.settle(quiet), k.quietOut, 1e-3 * k.quietOut) << "mode " << k.mode;

        // C/A at 0: Post is silent, Pre and Filter close the filter and hold its output.
        b.wave->fn = [](long i) { return (float)std::sin(0.05 * (double)i); };
        b.run(1000);
        b.knob(kCa, 0.f);
        b.set(kCaCv, 0.f);
        b.set(kCaCv2, 0.f);
        const auto& y = b.run(500);
        for (size_t i = 10; i < y.size(); ++i) ASSERT_EQ(y[i], y[9]) << "mode " << k.mode;
        if (k.mode == kPost)
            EXPECT_EQ(y[9], 0.f);
        else
            EXPECT_GT(std::fabs(y[9]), 1e-3f) << "mode " << k.mode;
    }
    // A preset restores the mode with the switch.
    Bench b;
    b.knob(kCa, 0.25f);
    std::vector<float> record(13);
    b.lpg->saveState(record.data(), 52);
    record[10] = kFilter;
    b.lpg->loadState(reinterpret_cast<const int32_t*>(record.data()), 52, 1000);
    EXPECT_NEAR(b.settle(loud), 0.5, 1e-4);
}

TEST(S205LPG, NonNumbersLeaveNoLastingDamage) {
    Bench b;
    b.set(kDriveCv, NAN);
    b.wave->fn = [](long) { return NAN; };
    b.run(100);
    b.set(kDriveCv, 1e30f);
    b.run(100);
    b.set(kDriveCv, 0.f);
    EXPECT_NEAR(b.settle(1.f), 0.5f, 1e-4);
}
