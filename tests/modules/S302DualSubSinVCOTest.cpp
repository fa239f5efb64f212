#include <cmath>
#include <vector>

#include "support/PatchFixture.h"

using namespace fixture;

namespace {

enum { kTune, kOct1, kOct2 };
enum { kCv, kOut1, kOut2 };  // saved jack order

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
        vco = rig.add("S302 Dual Sub/Sin VCO");
        probe = rig.addCustom<Probe>();
        cv = rig.addCustom<AddModule>();
        rig.cable(cv->out, jacks(vco)[kCv]);
    }
    Cable* listen(int out, int channel) { return rig.cable(jacks(vco)[out], probe->ins[channel]); }
    // As the editor does when the user turns a knob.
    void knob(int k, float v) {
        knobs(vco)[k]->setValue(v);
        rig.editor.valueChanged(knobs(vco)[k]);
    }
    std::vector<float>& run(int frames, int channel) {
        probe->data[0].clear();
        probe->data[1].clear();
        HostBuffers io(frames);
        rig.render(io);
        return probe->data[channel];
    }
    Rig rig;
    Module* vco;
    Probe* probe;
    AddModule* cv;
};

double middleC() {
    double f = 8.175798915636872;
    for (int n = 0; n < 60; ++n) f *= 1.059463094359;
    return f;
}

double pitchOf(const std::vector<float>& x, size_t from = 10) {
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = from + 1; i < x.size(); ++i)
        if (x[i - 1] < 0.f && x[i] >= 0.f) {
            last = (double)(i - 1) + x[i - 1] / (double)(x[i - 1] - x[i]);
            if (count++ == 0) first = last;
        }
    return count > 1 ? 48000.0 * (count - 1) / (last - first) : 0.0;
}

}  // namespace

TEST(S302DualSubSinVCO, ControlsInPanelOrder) {
    Rig rig;
    Module* m = rig.add("S302 Dual Sub/Sin VCO");
    EXPECT_EQ(m->getNameLen(), 21);
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_EQ(m->getStateSize(), (3 + 3 + 2 + 2) * 4);  // knobs, jacks, left screws, phases
    const int ys[6] = {216, 95, 175, 57, 137, 266};
    for (size_t i = 0; i < 6; ++i) {
        CView* v = m->getChildren()[i];
        const CRect r = v->getViewSize();
        EXPECT_EQ((r.left + r.right) / 2, 24) << i;
        EXPECT_EQ((r.top + r.bottom) / 2, ys[i]) << i;
        EXPECT_EQ(v->isTypeOf("ModuleKnob"), i < 3) << i;
    }
    EXPECT_FALSE(knobs(m)[kTune]->stepped);
    EXPECT_TRUE(knobs(m)[kOct1]->stepped && knobs(m)[kOct2]->stepped);
    EXPECT_EQ(jacks(m)[kCv]->direction, kJackInput);
    EXPECT_EQ(jacks(m)[kOut2]->direction, kJackOutput);
}

TEST(S302DualSubSinVCO, OctaveKnobsMultiplyByPowersOfTwoUpToNyquist) {
    const double c = middleC();
    struct Case {
        float cv, oct1, oct2, tune;
        double hz1, hz2;
    };
    const Case cases[] = {
        {0.f, 0.5f, 0.5f, 0.f, c, c},                       // fresh module: middle C on both
        {0.3f, 0.f, 1.5f / 12, 0.f, c / 8, c / 4},         // -6 and -5 octaves
        {-0.2f, 0.75f, 0.99f, 0.f, c / 4 * 8, c / 4 * 32},  // +3; 0.99 truncates to +5
        {0.075f, 0.5f, 0.5f, 0.5f, 440.0, 660.0},           // Tune raises Out2 by 1 + Tune
        {-0.5f, 1.f, 7.f / 12 + 0.01f, 1.f, c / 32 * 64, c / 32 * 4},
    };
    for (const Case& k : cases) {
        Bench b;
        b.cv->offset = k.cv;
        b.knob(kOct1, k.oct1);
        b.knob(kOct2, k.oct2);
        setKnob(knobs(b.vco)[kTune], k.tune);
        b.listen(kOut1, 0);
        b.listen(kOut2, 1);
        b.run(48000, 0);
        EXPECT_NEAR(pitchOf(b.probe->data[0]) / k.hz1, 1.0, 5e-4) << k.cv << " " << k.oct1;
        EXPECT_NEAR(pitchOf(b.probe->data[1]) / k.hz2, 1.0, 5e-4) << k.cv << " " << k.oct2;
    }
    // 64 x (8 x middle C) is far above Nyquist and is held there: half a turn per
    // sample, so every sample is the negative of the one before.
    Bench b;
    b.cv->offset = 0.3f;
    b.knob(kOct1, 1.f);
    b.listen(kOut1, 0);
    const auto& x = b.run(2000, 0);
    float worst = 0;
    for (size_t i = 10; i < x.size(); ++i) worst = std::max(worst, std::fabs(x[i] + x[i - 1]));  // once the CV arrived
    EXPECT_LT(worst, 1e-4f);
    EXPECT_GT(std::fabs(x[1000]), 0.01f);
}

TEST(S302DualSubSinVCO, Out2RenewsItsPitchWhenItsCableComesBack) {
    Bench b;
    b.listen(kOut1, 0);
    Cable* second = b.listen(kOut2, 1);
    b.run(4800, 0);
    EXPECT_NEAR(pitchOf(b.probe->data[1]) / middleC(), 1.0, 1e-3);
    b.rig.editor.removeCable(second);
    b.cv->offset = 0.2f;  // Out2 is not kept up to date meanwhile
    const double out1 = pitchOf(b.run(4800, 0));
    EXPECT_NEAR(out1 / (4 * middleC()), 1.0, 1e-3);
    b.listen(kOut2, 1);
    const auto& y = b.run(4800, 1);
    EXPECT_NEAR(pitchOf(y) / (4 * middleC()), 1.0, 1e-3);
}
