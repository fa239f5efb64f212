// SB12 Racheting Trigger Sequencer clocked in the engine and read on every pass.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "HostMidiRig.h"
#include "gui/CControl.h"

using namespace hostmidi;

namespace {

// Clock pulses `period` passes apart, high for half of them, and a reset level.
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

enum { kClockIn, kResetIn, kOut1, kOut2, kOut3, kOut4, kMixOut };
enum { kLength = 16, kClock, kSwing, kSkip };
enum { kDirection, kMode };
constexpr long kP = 1200;  // clock period in passes

struct Seq {
    explicit Seq(float rate = 48000.f, bool clocked = true, bool resetCable = false) : rig(rate) {
        drv = rig.addCustom<Driver>();
        m = rig.add("SB12 Racheting Trigger Sequencer");
        if (clocked) rig.cable(drv->clock, jacks(m)[kClockIn]);
        else rig.editor.setAlwaysOn(m, true);  // no cable at all: the engine would skip it
        if (resetCable) rig.cable(drv->reset, jacks(m)[kResetIn]);
        std::vector<PatchPoint*> outs;
        for (int j = kOut1; j <= kMixOut; ++j) outs.push_back(jacks(m)[(size_t)j]);
        tap = addTap(rig, outs);
        drv->period = kP;
    }
    void set(CControl* c, float v) {
        c->setValue(v);
        rig.editor.valueChanged(c);
    }
    void ratchets(int step, int r) { set(m->knob(step), ((float)r + 0.5f) / 10.f); }
    CControl* startPause() { return m->control("COnOffButton", 0); }
    CControl* led(int n) { return m->control("CMovieBitmapEx", n); }
    void run(long passes) {
        while (passes > 0) {
            const int n = (int)std::min(passes, 4096L);
            HostBuffers io(n);
            rig.render(io);
            passes -= n;
        }
    }
    // (start, length) of every run of 1 on an output (0..3 tracks, 4 mix) from pass `from`.
    std::vector<std::pair<long, long>> pulses(size_t out, size_t from = 0) const {
        std::vector<std::pair<long, long>> runs;
        for (size_t p = from; p < tap->passes(); ++p) {
            if (tap->at(p, out) != 1.f) continue;
            if (p == from || tap->at(p - 1, out) != 1.f) runs.push_back({(long)p, 0});
            ++runs.back().second;
        }
        return runs;
    }
    Rig rig;
    Driver* drv;
    Module* m;
    Tap* tap;
};

}  // namespace

TEST(SB12RachetTrigSeq, ControlOrderAndRecordSize) {
    Rig rig;
    Module* m = rig.add("SB12 Racheting Trigger Sequencer");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getVendorName(), "Kestrelmark");
    struct Expected { const char* type; int cx, cy, direction; };
    std::vector<Expected> layout;
    for (int i = 0; i < 16; ++i) layout.push_back({"ModuleKnobEx", 75 + 48 * (i % 4), 55 + 43 * (i / 4), -1});
    for (int i = 0; i < 16; ++i) layout.push_back({"CMovieBitmapEx", 89 + 48 * (i % 4), 43 + 43 * (i / 4), -1});
    layout.push_back({"ModuleKnob", 27, 55, -1});
    layout.push_back({"ModuleKnob", 27, 98, -1});
    layout.push_back({"PatchPoint", 29, 144, 0});
    layout.push_back({"PatchPoint", 29, 187, 0});
    layout.push_back({"CKickButton", 29, 225, -1});
    layout.push_back({"COnOffButton", 29, 261, -1});
    for (int y : {58, 101, 144, 187, 230}) layout.push_back({"PatchPoint", 259, y, 1});
    layout.push_back({"ModuleKnob", 75, 241, -1});
    layout.push_back({"ModuleKnob", 123, 241, -1});
    layout.push_back({"CVerticalSwitch", 171, 244, -1});
    layout.push_back({"CVerticalSwitch", 219, 244, -1});
    std::vector<CControl*> saved;
    for (CView* v : m->getChildren())
        if (Module::isSavedControl(v)) saved.push_back(static_cast<CControl*>(v));
    ASSERT_EQ(saved.size(), layout.size() + 4);  // and four screws
    expectPlaces(saved, layout, layout.size());
    EXPECT_TRUE(m->knob(3)->stepped);
    EXPECT_TRUE(m->knob(kSkip)->stepped);
    EXPECT_FLOAT_EQ(m->knob(kClock)->getValue(), 0.0001f);
    EXPECT_FLOAT_EQ((float)m->knob(kClock)->smoothedValue, 0.0001f);
    EXPECT_EQ(m->getStateSize(), 4 * 51 + 4);
}

// Four tracks of 4 steps on an external clock: the first step (no period measured yet)
// holds its first sub-pulse; from the second edge on, r pulses per period of the
// fraction Length of their sub-period; Mix Out is their OR.
TEST(SB12RachetTrigSeq, RatchetsPulseLengthAndMix) {
    Seq s;
    s.set(s.m->control("CVerticalSwitch", kMode), 1.f);
    const int r[4] = {1, 4, 0, 3};
    for (int k = 0; k < 4; ++k)
        for (int step = 4 * k; step < 4 * k + 4; ++step) s.ratchets(step, r[k]);
    s.set(s.startPause(), 1.f);
    s.run(kP * 4);
    for (size_t p = 0; p < s.tap->passes(); ++p) {
        float any = 0.f;
        for (size_t k = 0; k < 4; ++k) any = std::max(any, s.tap->at(p, k));
        ASSERT_EQ(s.tap->at(p, 4), any) << p;
    }
    EXPECT_TRUE(s.pulses(2).empty());  // 0 ratchets
    const long first = s.pulses(0).front().first;  // the pass the first edge arrives on
    EXPECT_EQ(s.pulses(0).front().second, kP);  // held through the unmeasured first step
    EXPECT_EQ(s.tap->at((size_t)(first + kP), 0), 0.f);  // and dropped for the second edge
    for (size_t k : {0, 1, 3}) {
        SCOPED_TRACE(k);
        const auto runs = s.pulses(k, (size_t)(first + kP));
        const long sub = kP / r[k];
        ASSERT_EQ(runs.size(), 3u * (size_t)r[k]);
        for (size_t i = 0; i < runs.size(); ++i) {
            EXPECT_NEAR(runs[i].first - first - kP, (long)i * sub, 1) << i;
            EXPECT_NEAR(runs[i].second, sub / 2 + 1, 1) << i;
        }
    }
    // Length 1 joins the pulses into one run for the whole step.
    setKnob(s.m->knob(kLength), 1.f);
    const size_t from = s.tap->passes();
    s.run(kP * 2);
    EXPECT_GE(s.pulses(1, from).front().second, kP);
}

// Every skip-period-th sub-pulse starts late by the fraction Swing of its sub-period and
// still ends at the end of it at the latest.
TEST(SB12RachetTrigSeq, SwingOnEveryNthSubPulse) {
    struct Case { float skip, swing, length; int period; };
    for (const Case& c : {Case{0.f, 0.2f, 0.5f, 2}, Case{0.25f, 0.4f, 0.5f, 3}, Case{1.f, 0.3f, 0.2f, 6}}) {
        SCOPED_TRACE(c.period);
        Seq s;
        for (int i = 0; i < 16; ++i) s.ratchets(i, 6);
        s.set(s.m->knob(kSkip), c.skip);
        s.set(s.m->knob(kSwing), c.swing);
        setKnob(s.m->knob(kLength), c.length);
        s.set(s.startPause(), 1.f);
        s.run(kP * 3);
        const long sub = kP / 6, first = s.pulses(3).front().first;
        const auto runs = s.pulses(3, (size_t)(first + kP));
        ASSERT_GE(runs.size(), 6u);
        for (size_t i = 0; i < 6; ++i) {
            SCOPED_TRACE(i);
            const bool swung = (i + 1) % (size_t)c.period == 0;
            const float start = swung ? c.swing : 0.f;
            const float end = std::min(swung ? c.swing + c.length : c.length, 1.f);
            EXPECT_NEAR(runs[i].first - first - kP, (long)i * sub + std::lround(start * sub), 1);
            EXPECT_NEAR(runs[i].second, std::lround((end - start) * sub) + (end < 1.f), 1);
        }
    }
}

TEST(SB12RachetTrigSeq, InternalClockRunsFortyStepsPerSecondAtFullKnob) {
    for (float rate : {44100.f, 48000.f, 96000.f}) {
        SCOPED_TRACE(rate);
        Seq s(rate, false);
        for (int i = 0; i < 16; ++i) s.ratchets(i, 1);
        setKnob(s.m->knob(kClock), 1.f);
        s.set(s.startPause(), 1.f);
        s.run((long)(2.1f * rate));
        const auto runs = s.pulses(3);
        ASSERT_GE(runs.size(), 81u);
        // 80 steps later is exactly two seconds later, to the sample.
        EXPECT_NEAR(runs[80].first - runs[0].first, 2.f * rate, 1.f);
        EXPECT_NEAR(runs[1].first - runs[0].first, rate / 40.f, 1.f);
    }
}

TEST(SB12RachetTrigSeq, StartPauseAndResetInRules) {
    {  // Clock only: nothing until Start/Pause is on; pausing holds the outputs.
        Seq s;
        for (int i = 0; i < 16; ++i) s.ratchets(i, 2);
        s.run(kP * 3);
        EXPECT_TRUE(s.pulses(4).empty());
        s.set(s.startPause(), 1.f);
        s.run(kP * 3);
        EXPECT_FALSE(s.pulses(4).empty());
        s.run(kP / 8 + 10);  // inside the first (high) half of a sub-pulse
        s.set(s.startPause(), 0.f);
        const size_t from = s.tap->passes();
        s.run(kP * 2);
        const auto held = s.pulses(3, from);
        ASSERT_EQ(held.size(), 1u);
        EXPECT_EQ(held[0].second, kP * 2);
    }
    {  // A cable on Reset In overrides Start/Pause; a high reset holds the start positions.
        Seq s(48000.f, true, true);
        for (int i = 0; i < 16; ++i) s.ratchets(i, i == 0 ? 1 : 0);
        s.run(kP * 3);
        EXPECT_EQ(s.pulses(3).size(), 1u);  // step 0, then silent steps 1 and 2
        EXPECT_EQ(s.led(2)->getValue(), 1.f);
        s.drv->resetLevel = 1.f;
        s.run(kP * 3);  // edges go on and are ignored
        EXPECT_EQ(s.led(2)->getValue(), 0.f);
        EXPECT_EQ(s.led(15)->getValue(), 1.f);
        const size_t held = s.tap->passes() - kP * 2;
        EXPECT_TRUE(s.pulses(4, held).empty());
        s.drv->resetLevel = 0.f;
        s.drv->t = 0;  // released on an edge, as a host transport starts
        const size_t from = s.tap->passes();
        s.run(kP * 2);
        const auto runs = s.pulses(3, from);
        ASSERT_EQ(runs.size(), 1u);  // the first step again, with the period kept over the reset
        EXPECT_EQ(runs[0].first - (long)from, 1);
        EXPECT_NEAR(runs[0].second, kP / 2 + 1, 1);
    }
    {  // The Reset button goes to the start positions too.
        Seq s;
        s.set(s.startPause(), 1.f);
        s.run(kP * 3);
        EXPECT_EQ(s.led(2)->getValue(), 1.f);
        s.set(s.m->control("CKickButton", 0), 1.f);
        EXPECT_EQ(s.led(2)->getValue(), 0.f);
        EXPECT_EQ(s.led(15)->getValue(), 1.f);
    }
}

TEST(SB12RachetTrigSeq, ClockPeriodSurvivesThePresetRecord) {
    Seq a;
    a.set(a.startPause(), 1.f);
    a.run(kP * 3);
    std::vector<float> record = savedRecord(a.m);
    ASSERT_EQ(record.size(), 52u);
    int32_t stored;
    std::memcpy(&stored, &record[51], 4);
    EXPECT_EQ(stored, kP);

    Seq b;
    record[37] = 1.f;  // Start/Pause on
    for (int i = 0; i < 16; ++i) record[(size_t)i] = 0.25f;  // 2 ratchets
    std::vector<int32_t> words(record.size());
    std::memcpy(words.data(), record.data(), record.size() * 4);
    b.m->loadState(words.data(), (int)words.size() * 4, 1000);
    b.run(kP);
    // The very first step already has its two pulses.
    const auto runs = b.pulses(3);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_NEAR(runs[1].first - runs[0].first, kP / 2, 1);
}
