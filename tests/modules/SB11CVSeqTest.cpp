// SB11 CV Sequencer clocked in the engine by a scripted source and read on every pass.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "HostMidiRig.h"
#include "gui/CControl.h"

using namespace hostmidi;

namespace {

// Clock pulses `period` passes apart, high for half of them from the first pass on,
// and a reset level.
class Driver : public Module {
public:
    explicit Driver(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) {
        clock = addJack(20, 40, kJackOutput);
        reset = addJack(20, 80, kJackOutput);
    }
    void process() override {
        clock->outValue = period > 0 && t % period < period / 2 ? 1.f : 0.f;
        ++t;
        reset->outValue = resetLevel;
    }
    PatchPoint* clock;
    PatchPoint* reset;
    long period = 0;
    long t = 0;
    float resetLevel = 0.f;
};

enum { kClockIn, kResetIn, kLengthCv, kOut1, kOut2, kOut3, kOut4, kGateOut };
enum { kRange, kDirection, kQuantize, kMode };
constexpr int kLengthKnob = 16, kTransposeKnob = 17;

struct Seq {
    explicit Seq(long period = 8) {
        drv = rig.addCustom<Driver>();
        m = rig.add("SB11 CV Sequencer");
        rig.cable(drv->clock, jacks(m)[kClockIn]);
        rig.cable(drv->reset, jacks(m)[kResetIn]);
        std::vector<PatchPoint*> outs;
        for (int j = kOut1; j <= kGateOut; ++j) outs.push_back(jacks(m)[(size_t)j]);
        tap = addTap(rig, outs);
        drv->period = period;
    }
    // As the user would: the editor tells the module.
    void set(CControl* c, float v) {
        c->setValue(v);
        rig.editor.valueChanged(c);
    }
    CControl* sw(int n) { return m->control("CVerticalSwitch", n); }
    CControl* led(int n) { return m->control("CMovieBitmapEx", n); }
    void run(long passes) {
        while (passes > 0) {
            const int n = (int)std::min(passes, 4096L);
            HostBuffers io(n);
            rig.render(io);
            passes -= n;
        }
    }
    // Output (0..3 pitch, 4 gate) in the middle of the clock step that edge `e` starts.
    float afterEdge(size_t e, size_t out) { return tap->at(e * (size_t)drv->period + (size_t)drv->period / 2, out); }
    // Lengths of the runs of passes with the gate high, in order.
    std::vector<long> gateRuns() {
        std::vector<long> runs;
        long run = 0;
        for (size_t p = 0; p < tap->passes(); ++p) {
            if (tap->at(p, 4) == 1.f) ++run;
            else if (run) runs.push_back(run), run = 0;
        }
        return runs;
    }
    Rig rig;
    Driver* drv;
    Module* m;
    Tap* tap;
};

// Step i plays i / 200 (knob i / 20, 1 octave, unquantised): outputs read back as steps.
void labelSteps(Seq& s) {
    s.set(s.sw(kQuantize), 1.f);
    for (int i = 0; i < 16; ++i) setKnob(s.m->knob(i), (float)i / 20.f);
}

}  // namespace

TEST(SB11CVSeq, ControlOrderAndRecordSize) {
    Rig rig;
    Module* m = rig.add("SB11 CV Sequencer");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getVersion(), 1001);
    EXPECT_STREQ(m->getVendorName(), "Kestrelmark");
    struct Expected { const char* type; int cx, cy, direction; };
    std::vector<Expected> layout;
    for (int i = 0; i < 16; ++i) layout.push_back({"ModuleKnobEx", 75 + 48 * (i % 4), 55 + 43 * (i / 4), -1});
    for (int i = 0; i < 16; ++i) layout.push_back({"CMovieBitmapEx", 93 + 48 * (i % 4), 38 + 43 * (i / 4), -1});
    layout.push_back({"ModuleKnob", 27, 184, -1});
    layout.push_back({"ModuleKnob", 27, 232, -1});
    for (int y : {58, 101, 144}) layout.push_back({"PatchPoint", 29, y, 0});
    for (int y : {58, 101, 144, 187, 230}) layout.push_back({"PatchPoint", 259, y, 1});
    for (int x : {75, 123, 171, 219}) layout.push_back({"CVerticalSwitch", x, 244, -1});
    std::vector<CControl*> saved;
    for (CView* v : m->getChildren())
        if (Module::isSavedControl(v)) saved.push_back(static_cast<CControl*>(v));
    ASSERT_EQ(saved.size(), layout.size() + 4);  // and four screws
    expectPlaces(saved, layout, layout.size());
    EXPECT_EQ(static_cast<CVerticalSwitch*>(saved[44])->getNumPositions(), 2);  // Quantize
    EXPECT_EQ(static_cast<ModuleKnobEx*>(saved[5])->stepIndex, 5);
    EXPECT_EQ(static_cast<ModuleKnobEx*>(saved[5])->companion, saved[21]);
    EXPECT_TRUE(m->knob(kTransposeKnob)->stepped);
    EXPECT_EQ(m->getStateSize(), 4 * 50 + 4);
}

// Each out k plays the step of the track that drives it while that step is in row k,
// and holds the row's last step otherwise.
TEST(SB11CVSeq, ModesAndDirections) {
    struct Case {
        float mode, direction;
        std::vector<int> track;  // steps of the lead track after each clock edge
    };
    const std::vector<Case> cases = {
        {0.f, 0.f, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3}},
        {0.f, 0.5f, {14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11}},
        {0.f, 1.f, {14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5}},
        {0.5f, 0.f, {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3}},
        {0.5f, 0.5f, {6, 5, 4, 3, 2, 1, 0, 7, 6, 5, 4, 3, 2, 1, 0, 7, 6, 5, 4, 3}},
        {0.5f, 1.f, {6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1}},
        {1.f, 0.f, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}},
        {1.f, 0.5f, {2, 1, 0, 3, 2, 1, 0, 3, 2, 1, 0, 3, 2, 1, 0, 3, 2, 1, 0, 3}},
        {1.f, 1.f, {2, 1, 0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " direction " << c.direction);
        Seq s;
        labelSteps(s);
        s.set(s.sw(kMode), c.mode);
        s.set(s.sw(kDirection), c.direction);
        s.run(s.drv->period * (long)c.track.size());
        std::vector<int> lit;
        for (size_t e = 0; e < c.track.size(); ++e) {
            SCOPED_TRACE(e);
            int played[4];
            for (size_t k = 0; k < 4; ++k) played[k] = (int)std::lround(s.afterEdge(e, k) * 200.f);
            const int t = c.track[e];
            for (int k = 0; k < 4; ++k) {
                // The lead track's step for this out, and whether the out plays it wherever it is.
                const int lead = c.mode == 0.f ? t : c.mode == 0.5f ? (k < 2 ? t : t + 8) : t + 4 * k;
                const bool direct = k == 3 || c.mode == 1.f || (c.mode == 0.5f && k == 1);
                lit.push_back(direct ? lead : -1);
                EXPECT_EQ(played[k], direct || lead / 4 == k ? lead : 4 * k + 3) << "out " << k + 1;
            }
            if (e + 1 < c.track.size()) lit.clear();
        }
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(s.led(i)->getValue(), std::count(lit.begin(), lit.end(), i) ? 1.f : 0.f) << "LED " << i;
    }
}

TEST(SB11CVSeq, QuantisationRangesAndTranspose) {
    Seq s;
    struct Case { float range, quantize, transpose, knob, expected; };
    const Case cases[] = {
        {0.f, 0.f, 0.5f, 0.5f, 6.f / 120.f},     {0.f, 0.f, 0.5f, 1.f, 12.f / 120.f},
        {0.f, 0.f, 0.5f, 0.54f, 6.f / 120.f},    {0.5f, 0.f, 0.5f, 0.5f, 18.f / 120.f},
        {1.f, 0.f, 0.5f, 0.51f, 30.f / 120.f},   {1.f, 1.f, 0.5f, 0.5f, 0.25f},
        {0.f, 1.f, 0.5f, 0.37f, 0.037f},         {0.f, 0.f, 0.f, 1.f, 6.f / 120.f},
        {0.f, 0.f, 1.f, 1.f, 18.f / 120.f},      {0.f, 0.f, 0.54f, 0.5f, 6.f / 120.f},
        {0.5f, 1.f, 0.f, 0.5f, 0.15f - 0.05f},
    };
    size_t edge = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.range << " " << c.quantize << " " << c.transpose << " " << c.knob);
        s.set(s.sw(kRange), c.range);
        s.set(s.sw(kQuantize), c.quantize);
        s.set(s.m->knob(kTransposeKnob), c.transpose);
        for (int i = 0; i < 16; ++i) s.set(s.m->knob(i), c.knob);
        s.run(s.drv->period);
        for (size_t k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(s.afterEdge(edge, k), c.expected) << "out " << k + 1;
        ++edge;
    }
}

TEST(SB11CVSeq, GatesFollowTheMeasuredPeriod) {
    // 120 BPM sixteenths at 48000 Hz: 6000 samples per step.
    Seq s(6000);
    s.run(6000 * 4);
    std::vector<long> runs = s.gateRuns();
    ASSERT_GE(runs.size(), 4u);
    // No period measured yet: the first gate holds until the second edge, drops there
    // for one pass and rises again.
    EXPECT_EQ(runs[0], 6000);
    EXPECT_EQ(s.tap->at(6000 + 1, 4), 0.f);
    for (size_t i = 1; i < 4; ++i) EXPECT_NEAR(runs[i], 2850, 2) << i;  // 47.5 %

    s.set(s.m->knob(kLengthKnob), 1.f);
    s.run(6000 * 40);  // the knob glides over about 10000 passes
    runs = s.gateRuns();
    EXPECT_NEAR(runs.back(), 5700, 2);  // 95 %, never continuous
    // Length CV on top of the knob cannot push the gate past 95 %.
    s.set(s.m->knob(kLengthKnob), 0.5f);
    AddModule* cv = s.rig.addCustom<AddModule>(0.8f);
    s.rig.cable(cv->out, jacks(s.m)[kLengthCv]);
    s.run(6000 * 40);
    runs = s.gateRuns();
    EXPECT_NEAR(runs.back(), 5700, 2);
    cv->offset = -0.25f;
    s.run(6000 * 3);
    EXPECT_NEAR(s.gateRuns().back(), 1425, 2);  // 0.25 x 0.95
}

TEST(SB11CVSeq, ResetHoldsTheStartAndPreviewsTheTouchedStep) {
    Seq s;
    labelSteps(s);
    s.run(8 * 3);
    EXPECT_EQ(std::lround(s.afterEdge(2, 3) * 200.f), 2);
    s.drv->resetLevel = 1.f;
    s.run(8 * 4);  // clock edges go on and are ignored
    const size_t last = s.tap->passes() - 1;
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(std::lround(s.tap->at(last, k) * 200.f), 4 * (int)k + 3);
    EXPECT_EQ(s.tap->at(last, 4), 0.f);
    EXPECT_EQ(s.led(15)->getValue(), 1.f);

    s.set(s.m->knob(9), 0.9f);
    EXPECT_EQ(s.led(9)->getValue(), 1.f);
    EXPECT_EQ(s.led(15)->getValue(), 0.f);
    s.run(12000);  // the step knob glides to its new value
    for (size_t k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(s.tap->at(s.tap->passes() - 1, k), 0.09f);

    // Released: the next edge plays the first step of the track again.
    s.drv->period = 0;
    s.run(4);
    s.drv->resetLevel = 0.f;
    s.drv->period = 8;
    s.drv->t = 0;
    const size_t from = s.tap->passes();
    s.run(8 * 2);
    EXPECT_EQ(std::lround(s.tap->at(from + 4, 3) * 200.f), 0);
    EXPECT_EQ(std::lround(s.tap->at(from + 12, 3) * 200.f), 1);
}

TEST(SB11CVSeq, ClockPeriodSurvivesThePresetRecord) {
    Seq a(6000);
    a.run(6000 * 3);
    std::vector<float> record = savedRecord(a.m);
    ASSERT_EQ(record.size(), 51u);
    int32_t stored;
    std::memcpy(&stored, &record[50], 4);
    EXPECT_EQ(stored, 6000);

    for (int version : {1001, 1000}) {
        SCOPED_TRACE(version);
        Seq b(6000);
        std::vector<int32_t> words(record.size());
        std::memcpy(words.data(), record.data(), record.size() * 4);
        b.m->loadState(words.data(), (int)words.size() * 4, version);
        b.run(6000 * 2);
        // From the first edge on, with the stored period (plus the pass before the edge).
        if (version == 1001) EXPECT_NEAR(b.gateRuns()[0], 2851, 2);
        else EXPECT_EQ(b.gateRuns()[0], 6000);
    }
}
