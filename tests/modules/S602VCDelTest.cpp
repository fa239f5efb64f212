#include <cmath>
#include <cstring>

#include "gui/CControl.h"
#include "modules/HostMidiRig.h"

using namespace hostmidi;

namespace {

enum { kTime, kTimDepth, kFb, kMix };
enum { kAudioIn, kTimCv, kFbCv, kClockIn, kMixOut, kSpare };

// 1 on pass `first` and every `period` passes after it (period 0: once), else 0.
class Pulses : public Module {
public:
    Pulses(Patch* e, long period, long first) : Module(CRect(0, 0, 48, 291), e, nullptr), period(period), first(first) {
        out = addJack(20, 60, kJackOutput);
    }
    void process() override {
        const long d = pass - first;
        out->outValue = d == 0 || (period > 0 && d > 0 && d % period == 0) ? level : 0.f;
        ++pass;
    }
    PatchPoint* out;
    long period, first, pass = 0;
    float level = 1.f;
};

// Clock edges whose spacing wanders by up to `jitter` samples around `period`.
class JitterClock : public Module {
public:
    JitterClock(Patch* e, long period, long jitter)
        : Module(CRect(0, 0, 48, 291), e, nullptr), period(period), jitter(jitter) {
        out = addJack(20, 60, kJackOutput);
    }
    void process() override {
        out->outValue = pass == next ? 1.f : 0.f;
        if (pass == next) next += period + (++edges % 3 - 1) * jitter;  // -j, 0, +j in turn
        ++pass;
    }
    PatchPoint* out;
    long period, jitter, pass = 0, next = 0, edges = 0;
};

struct Delay {
    explicit Delay(float rate) : rig(rate) {
        del = rig.add("S602 VC Delay");
        impulse = rig.addCustom<Pulses>(0, 10);
        rig.cable(impulse->out, jacks(del)[kAudioIn]);
        setKnob(knobs(del)[kMix], 1.f);  // wet only: out = Fb x delayed
        tap = addTap(rig, {jacks(del)[kMixOut]});
    }
    void run(int frames) {
        HostBuffers io(frames);
        rig.render(io);
    }
    // Delay from the impulse to the centre of its echo, which linear reading spreads
    // over two samples; the DC blocker's tail is far too small to move it.
    double echoDelay(size_t from) const {
        double sum = 0, moment = 0;
        size_t peak = from;
        for (size_t p = from; p < tap->passes(); ++p)
            if (tap->at(p, 0) > tap->at(peak, 0)) peak = p;
        for (size_t p = peak - 1; p <= peak + 1; ++p) {
            const double v = std::fmax(tap->at(p, 0), 0.f);
            sum += v;
            moment += v * (double)p;
        }
        return moment / sum - (double)(impulse->first + 1);  // the cable adds one pass
    }
    Rig rig;
    Module* del;
    Pulses* impulse;
    Tap* tap;
};

}  // namespace

TEST(S602VCDel, ControlsAreSavedInPanelOrder) {
    Delay d(48000.f);
    const int centres[][2] = {{62, 55},  {62, 98},  {62, 141}, {62, 227}, {17, 58}, {17, 101}, {17, 144}, {17, 187},
                              {17, 230}, {63, 187}, {10, 262}, {62, 186}, {10, 9},  {10, 282}};
    int n = 0;
    for (CView* c : d.del->getChildren()) {
        if (!Module::isSavedControl(c)) continue;
        ASSERT_LT(n, 14);
        const CRect& box = c->getViewSize();
        EXPECT_EQ(box.left + box.width() / 2, centres[n][0]) << n;
        EXPECT_EQ(box.top + box.height() / 2, centres[n][1]) << n;
        ++n;
    }
    EXPECT_EQ(n, 14);
    EXPECT_EQ(jacks(d.del)[kMixOut]->direction, kJackOutput);
    EXPECT_FALSE(jacks(d.del)[kSpare]->isVisible());
    EXPECT_EQ(d.del->control("CVerticalSwitch", 0)->getValue(), 0.f);
    EXPECT_EQ(d.del->getStateSize(), 15 * 4);
    EXPECT_EQ(d.del->getVersion(), 1002);
    Module* fresh = d.rig.add("S602 VC Delay");
    EXPECT_EQ(knobs(fresh)[kMix]->smoothedValue, 0.0);  // glides in from dry
}

TEST(S602VCDel, TameAndWildLawsSetTheTimeFromKnobAndCv) {
    // At 1000 Hz the ring holds N = 2001 samples: L = law x 1999 + 1.
    struct Case {
        float sw, time, depth, cv, law;
    } cases[] = {
        {0.f, 0.5f, 0.5f, 0.4f, 0.25f + 0.125f * 0.4f},     // Tame: Time^2 + Tim.^3 x CV
        {1.f, 0.5f, 0.5f, 0.4f, 0.7f * 0.7f},               // Wild: (CV x Tim. + Time)^2
        {0.f, 0.5f, 1.f, -1.f, 0.75f},                      // Tame takes |0.25 - 1|
        {1.f, 1.f, 0.5f, -1.f, 0.25f},
    };
    for (const Case& c : cases) {
        Delay d(1000.f);
        d.del->control("CVerticalSwitch", 0)->setValue(c.sw);
        setKnob(knobs(d.del)[kTime], c.time);
        setKnob(knobs(d.del)[kTimDepth], c.depth);
        d.rig.cable(d.rig.addCustom<AddModule>(c.cv)->out, jacks(d.del)[kTimCv]);
        d.run(1800);
        EXPECT_NEAR(d.echoDelay(12), c.law * 1999.0 + 1.0, 0.02) << c.sw << " " << c.cv;
        // The echo is the delayed input scaled by Fb (0.5): Fb 0 would silence it.
        EXPECT_NEAR(d.tap->at((size_t)std::lround(d.echoDelay(12)) + 11, 0), 0.5f, 0.26f);
    }
}

TEST(S602VCDel, ClockSetsTheTimeIgnoringJitterUntilUnplugged) {
    Delay d(1000.f);
    Cable* clock = d.rig.cable(d.rig.addCustom<JitterClock>(300, 2)->out, jacks(d.del)[kClockIn]);
    d.impulse->first = 1500;
    d.run(2000);
    // Periods run 300, 302, 298, 300...: the first 300 holds against the others.
    EXPECT_NEAR(d.echoDelay(1502), 300.0, 1e-3);
    EXPECT_NEAR(savedRecord(d.del).back(), 0.3f, 1e-6);

    // A period beyond the ring gives the longest delay, N - 1.
    Delay slow(1000.f);
    slow.rig.cable(slow.rig.addCustom<Pulses>(3000, 0)->out, jacks(slow.del)[kClockIn]);
    slow.impulse->first = 3500;
    slow.run(6000);
    EXPECT_NEAR(slow.echoDelay(3502), 2000.0, 1e-3);

    // Without the cable the knob time (Tame, Time 0.5) returns at once.
    d.rig.editor.removeCable(clock);
    d.impulse->first = 2150;
    d.run(1000);
    EXPECT_NEAR(d.echoDelay(2152), 0.25 * 1999 + 1, 0.02);
}

TEST(S602VCDel, OlderRecordsComeBackWildAndTheClockedTimeInSeconds) {
    Delay d(1000.f);
    d.rig.cable(d.rig.addCustom<Pulses>(400, 0)->out, jacks(d.del)[kClockIn]);
    d.run(1000);
    std::vector<float> record = savedRecord(d.del);
    ASSERT_FLOAT_EQ(record.back(), 0.4f);
    for (int version : {1000, 1001, 1002}) {
        Delay copy(2000.f);
        copy.del->loadState(reinterpret_cast<const int32_t*>(record.data()), (int)record.size() * 4, version);
        EXPECT_EQ(copy.del->control("CVerticalSwitch", 0)->getValue(), version < 1002 ? 1.f : 0.f) << version;
        EXPECT_FLOAT_EQ(savedRecord(copy.del).back(), 0.4f);
    }
}

TEST(S602VCDel, SampleRateChangeResizesTheRingAndKeepsTheTime) {
    Delay d(1000.f);
    d.del->control("CVerticalSwitch", 0)->setValue(1.f);
    setKnob(knobs(d.del)[kTime], 1.f);  // Wild at full Time: L = N - 1, the whole ring
    d.impulse->first = 100;
    d.run(2300);
    EXPECT_NEAR(d.echoDelay(102), 2000.0, 1e-3);

    // Doubling the rate doubles the ring, while running. Louder impulses from here on
    // stand out from the old echoes the resized ring still holds.
    d.rig.plugin.setSampleRate(2000.f);
    d.impulse->level = 2.f;
    d.impulse->first = 2400;
    d.run(5000);
    EXPECT_NEAR(d.echoDelay(2402), 4000.0, 1e-3);
    // Halving it leaves the write position (1297) beyond the new ring: it must wrap, not overrun.
    d.rig.plugin.setSampleRate(500.f);
    d.impulse->level = 3.f;
    d.impulse->first = 7500;
    d.run(2000);
    EXPECT_NEAR(d.echoDelay(7502), 1000.0, 1e-3);

    // A clocked time keeps its length in seconds.
    Delay c(1000.f);
    c.rig.cable(c.rig.addCustom<Pulses>(400, 0)->out, jacks(c.del)[kClockIn]);
    c.run(1000);
    c.rig.plugin.setSampleRate(2000.f);
    EXPECT_FLOAT_EQ(savedRecord(c.del).back(), 0.4f);
}

TEST(S602VCDel, ReadPositionAHairBelowZeroReadsTheRingStart) {
    // A record with a clocked time of a few billionths of a sample: each time the write
    // position returns to 0 the read position is -4.8e-8, which single precision wraps
    // to N itself. The read must land on index 0, the sample written one lap before.
    Delay d(1000.f);
    d.rig.cable(d.rig.addCustom<AddModule>(0.f)->out, jacks(d.del)[kClockIn]);
    std::vector<float> record = savedRecord(d.del);
    record.back() = 4.8e-11f;
    d.del->loadState(reinterpret_cast<const int32_t*>(record.data()), (int)record.size() * 4, 1002);
    d.impulse->first = 2000;  // arrives on pass 2001, as the write position wraps to 0
    d.run(2 * 2001 + 5);
    EXPECT_NEAR(d.tap->at(2 * 2001, 0), 0.5f, 1e-3);
    for (size_t p = 0; p < d.tap->passes(); ++p) ASSERT_TRUE(std::isfinite(d.tap->at(p, 0))) << p;
}
