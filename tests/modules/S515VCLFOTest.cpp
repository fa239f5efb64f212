#include <cmath>
#include <set>

#include "modules/HostMidiRig.h"

using namespace hostmidi;

namespace {

enum { kRateKnob, kCvKnob, kStepKnob, kWaveKnob };
enum { kClockIn, kRateCv, kStepCv, kRestartIn, kOut };

// 1 on pass `first` and every `period` passes after it, else 0.
class Pulses : public Module {
public:
    Pulses(Patch* e, long period, long first) : Module(CRect(0, 0, 48, 291), e, nullptr), period(period), first(first) {
        out = addJack(20, 60, kJackOutput);
    }
    void process() override {
        out->outValue = pass >= first && (pass - first) % period == 0 ? 1.f : 0.f;
        ++pass;
    }
    PatchPoint* out;
    long period, first, pass = 0;
};

struct Lfo {
    explicit Lfo(float rate = 48000.f) : rig(rate) {
        lfo = rig.add("S515 VCLFO");
        tap = addTap(rig, {jacks(lfo)[kOut]});
    }
    void knob(int k, float v) { setKnob(knobs(lfo)[k], v); }
    void high() { lfo->control("CVerticalSwitch", 0)->setValue(0.f); }
    Cable* constant(int jack, float v) { return rig.cable(rig.addCustom<AddModule>(v)->out, jacks(lfo)[jack]); }
    Cable* pulses(int jack, long period, long first) {
        return rig.cable(rig.addCustom<Pulses>(period, first)->out, jacks(lfo)[jack]);
    }
    void run(int frames) {
        HostBuffers io(frames);
        rig.render(io);
    }
    float v(size_t pass) const { return tap->at(pass, 0); }
    // One downward zero crossing per cycle of the rising saw, wherever its one-sample drop lands.
    std::vector<long> cycles(size_t from = 1) const {
        std::vector<long> out;
        for (size_t p = std::max<size_t>(from, 1); p < tap->passes(); ++p)
            if (v(p - 1) > 0.f && v(p) <= 0.f) out.push_back((long)p);
        return out;
    }
    Rig rig;
    Module* lfo;
    Tap* tap;
};

}  // namespace

TEST(S515VCLFO, ControlsAreSavedInPanelOrderWithTheClockRateLast) {
    Lfo l;
    const int centres[][2] = {{62, 55},  {62, 98},  {62, 141}, {62, 227}, {17, 58},  {17, 101}, {17, 144},
                              {17, 187}, {17, 230}, {62, 186}, {16, 253}, {10, 9},   {10, 282}};
    int n = 0;
    for (CView* c : l.lfo->getChildren()) {
        if (!Module::isSavedControl(c)) continue;
        ASSERT_LT(n, 13);
        const CRect& r = c->getViewSize();
        EXPECT_EQ(r.left + r.width() / 2, centres[n][0]) << n;
        EXPECT_EQ(r.top + r.height() / 2, centres[n][1]) << n;
        ++n;
    }
    EXPECT_EQ(n, 13);
    EXPECT_EQ(jacks(l.lfo)[kOut]->direction, kJackOutput);
    EXPECT_EQ(l.lfo->getVersion(), 1000);
    EXPECT_NE(l.lfo->processIndex, -1);  // runs without cables

    // The clock rate measured at Clock In rides after the controls; a version-1000
    // record brings it back, and with Rate at 0 in Low range it alone sets the speed.
    l.knob(kRateKnob, 0.f);
    l.pulses(kClockIn, 480, 0);
    l.run(2000);
    const auto record = savedRecord(l.lfo);
    ASSERT_EQ(record.size(), 14u);
    EXPECT_EQ(record[0], 0.f);
    EXPECT_EQ(record[13], (float)(1.0 / 480));

    Module* copy = l.rig.add("S515 VCLFO");
    copy->loadState(reinterpret_cast<const int32_t*>(record.data()), (int)record.size() * 4, 1000);
    Tap* tap = addTap(l.rig, {jacks(copy)[kOut]});
    l.rig.cable(l.rig.addCustom<AddModule>(0.f)->out, jacks(copy)[kClockIn]);  // patched, never an edge
    l.run(4800);
    int drops = 0;
    for (size_t p = 1; p < tap->passes(); ++p) drops += tap->at(p - 1, 0) > 0.f && tap->at(p, 0) <= 0.f;
    EXPECT_EQ(drops, 10);  // 100 Hz
}

TEST(S515VCLFO, NewModuleIsARising3Hz125SawWithAOneSampleDrop) {
    Lfo l;
    l.run(48000);
    const double inc = 0.125 * 25 / 48000;  // 15360 samples a cycle
    EXPECT_EQ(l.v(0), 1.f);                 // the drop sample of the first cycle
    EXPECT_NEAR(l.v(1), 2 * inc - 1, 1e-6);
    for (size_t p = 2; p < 48000; p += 97) {
        const double ph = std::fmod(p * inc, 1.0);
        if (ph < 2 * inc || ph > 1 - 2 * inc) continue;
        ASSERT_NEAR(l.v(p), 2 * ph - 1, 1e-5) << p;
    }
    const auto c = l.cycles();
    ASSERT_EQ(c.size(), 4u);
    for (size_t i = 1; i < c.size(); ++i) EXPECT_NEAR(c[i] - c[i - 1], 15360, 1);
    // The LED shows the output itself.
    EXPECT_EQ(static_cast<CControl*>(l.lfo->getChildren()[10])->getValue(), l.v(47999));
}

TEST(S515VCLFO, HighRangeRunsFrom14To1700HzAndNeverPastNyquist) {
    for (float rate : {0.f, 1.f}) {
        Lfo l;
        l.high();
        l.knob(kRateKnob, rate);
        l.run(48000);
        EXPECT_NEAR((double)l.cycles().size(), rate == 0.f ? 14 : 1700, 1) << rate;
    }
    // At 3000 Hz, 1700 Hz would be an increment of 0.567: it stops at 0.5, so the saw
    // alternates between its drop sample and mid-level.
    Lfo n(3000.f);
    n.high();
    n.knob(kRateKnob, 1.f);
    n.run(100);
    for (size_t p = 0; p < 100; ++p) ASSERT_EQ(n.v(p), p % 2 ? 0.f : 1.f) << p;
}

TEST(S515VCLFO, FollowsTheClockOnceInLowRangeTwiceInHighAndStopsWhenItGoes) {
    for (bool highRange : {false, true}) {
        SCOPED_TRACE(highRange ? "High" : "Low");
        Lfo l;
        if (highRange) l.high();
        l.knob(kRateKnob, 0.f);
        Cable* clock = l.pulses(kClockIn, 480, 0);
        l.run(48000);
        const auto c = l.cycles(2000);
        ASSERT_GT(c.size(), 10u);
        for (size_t i = 1; i < c.size(); ++i) ASSERT_NEAR(c[i] - c[i - 1], highRange ? 240 : 480, 1);
        if (highRange) continue;
        // Unplugged, the measured rate goes at once: with Rate 0 in Low range it stands still.
        l.rig.editor.removeCable(clock);
        l.run(2000);
        for (size_t p = 48001; p < 50000; ++p) ASSERT_EQ(l.v(p), l.v(48001)) << p;
    }
    // A negative rate sum also stops it.
    Lfo neg;
    neg.knob(kCvKnob, 1.f);
    neg.constant(kRateCv, -1.f);
    neg.run(5000);
    for (size_t p = 3; p < 5000; ++p) ASSERT_EQ(neg.v(p), neg.v(2)) << p;
}

TEST(S515VCLFO, RestartPutsThePhaseOneIncrementIn) {
    Lfo l;
    l.pulses(kRestartIn, 1 << 30, 5000);  // seen on pass 5001
    l.run(6000);
    const double inc = 0.125 * 25 / 48000;
    EXPECT_NEAR(l.v(5000), 2 * 5000 * inc - 1, 1e-5);
    EXPECT_NEAR(l.v(5001), 2 * inc - 1, 1e-6);
    EXPECT_NEAR(l.v(5002), 4 * inc - 1, 1e-6);
    EXPECT_NEAR(l.v(5900), 2 * 900 * inc - 1, 1e-5);
}

TEST(S515VCLFO, WaveformKnobPicksTheSevenShapesInOrder) {
    // Phases 0.1, 0.3, 0.4, 0.6 and 0.9 of a 15360-sample cycle.
    const size_t at[] = {1536, 4608, 6144, 9216, 13824};
    const float expected[7][5] = {
        {-0.8f, -0.4f, -0.2f, 0.2f, 0.8f},   {0.8f, 0.4f, 0.2f, -0.2f, -0.8f},
        {0.64f, 0.96f, 0.64f, -0.64f, -0.64f}, {1, 1, 1, -1, -1},
        {-0.6f, 0.2f, 0.6f, 0.6f, -0.6f},    {-0.6f, 0.2f, 0.6f, -0.2f, 0.2f},
        {-0.4f, 0.8f, -1, -1, 1}};
    for (int w = 0; w < 7; ++w) {
        Lfo l;
        l.knob(kWaveKnob, (w + 0.5f) / 6.f);  // mid-step: the stepped knob truncates
        l.lfo->controlChanged(knobs(l.lfo)[kWaveKnob]);
        l.run(14000);
        for (int i = 0; i < 5; ++i) EXPECT_NEAR(l.v(at[i]), expected[w][i], 1e-4) << "shape " << w << " at " << at[i];
    }
}

TEST(S515VCLFO, QuantiserTruncatesTowardsZeroInStepsOfStpOrStpCvTimesStp) {
    Lfo l;
    l.knob(kStepKnob, 0.5f);
    l.run(15360);  // one whole cycle of the saw
    int counts[3] = {};
    for (size_t p = 2; p < 15360; ++p) {
        const float v = l.v(p);
        ASSERT_TRUE(v == -0.5f || v == 0.f || v == 0.5f) << p << " " << v;
        ++counts[(int)(v * 2) + 1];
    }
    EXPECT_NEAR(counts[0] / 15358.0, 0.25, 0.01);
    EXPECT_NEAR(counts[1] / 15358.0, 0.5, 0.01);
    EXPECT_NEAR(counts[2] / 15358.0, 0.25, 0.01);

    // Patched, Stp. CV scales the knob: 0.5 x 0.5 gives quarter steps.
    Lfo cv;
    cv.knob(kStepKnob, 0.5f);
    cv.constant(kStepCv, 0.5f);
    cv.run(15360);
    std::set<float> levels;
    for (size_t p = 3; p < 15360; ++p) levels.insert(cv.v(p));
    EXPECT_EQ(levels, (std::set<float>{-0.75f, -0.5f, -0.25f, 0.f, 0.25f, 0.5f, 0.75f}));

    // A step near 1 leaves almost only 0; a vanishing one leaves the saw unquantised.
    Lfo big, tiny;
    big.knob(kStepKnob, 1.f);
    tiny.constant(kStepCv, 1e-30f);
    tiny.knob(kStepKnob, 1.f);
    big.run(15360);
    tiny.run(15360);
    int zeros = 0;
    for (size_t p = 2; p < 15360; ++p) zeros += big.v(p) == 0.f;
    EXPECT_GT(zeros, 15340);
    EXPECT_LT(zeros, 15358);
    EXPECT_NEAR(tiny.v(7681), 2 * 7680 / 15360.0 - 1 + 2 / 15360.0, 1e-5);
}
