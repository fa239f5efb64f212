#include <algorithm>
#include <cmath>

#include "framework/Random.h"
#include "modules/HostMidiRig.h"

using namespace hostmidi;

namespace {

enum { kGateOut, kMaxOut, kMinOut, kClockIn, kRateCv, kRandOut, kSmpIn, kHoldOut };

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

// A slow sine, out of step with the clocks below.
class SlowSine : public Module {
public:
    explicit SlowSine(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) { out = addJack(20, 60, kJackOutput); }
    static float at(long pass) { return (float)(0.9 * std::sin(pass * 0.0419)); }
    void process() override { out->outValue = at(pass++); }
    PatchPoint* out;
    long pass = 0;
};

// The targets the module will draw once the shared generator is seeded with `seed`.
struct Draws {
    explicit Draws(uint32_t seed) : s(seed) {}
    float next() {
        s = (uint32_t)(((uint64_t)s * 16807u) & 0x7fffffffu);
        return (float)(s * 4.656612873077393e-10 * 2.0 - 1.0);
    }
    // How many draws took the generator from `from` to its present state.
    static int countSince(uint32_t from) {
        int n = 0;
        for (Draws d(from); d.s != randomSeed && n < 1000000; ++n) d.next();
        return n;
    }
    uint32_t s;
};

// Seeds the shared generator for one test and gives the other tests their own back.
struct Seeded {
    explicit Seeded(uint32_t v) { randomSeed = v; }
    ~Seeded() { randomSeed = saved; }
    uint32_t saved = randomSeed;
};

struct Rsh {
    Rsh() { rsh = rig.add("S516 R-S&H"); }
    Cable* clock(long period) { return rig.cable(rig.addCustom<Pulses>(period, 0)->out, jacks(rsh)[kClockIn]); }
    void watch() {
        tap = addTap(rig, {jacks(rsh)[kRandOut], jacks(rsh)[kGateOut], jacks(rsh)[kHoldOut], jacks(rsh)[kMaxOut],
                           jacks(rsh)[kMinOut]});
    }
    void run(int frames) {
        HostBuffers io(frames);
        rig.render(io);
    }
    float rand(size_t p) const { return tap->at(p, 0); }
    float led(int n) const { return static_cast<CControl*>(rsh->getChildren()[10 + (size_t)n])->getValue(); }
    Rig rig;
    Module* rsh;
    Tap* tap = nullptr;
};

float gateFor(float c) { return c > 0.6f ? 1.f : c < -0.6f ? -1.f : 0.f; }

}  // namespace

TEST(S516RSH, ControlsAreSavedInPanelOrder) {
    Rsh r;
    const int centres[][2] = {{62, 55},  {62, 98},  {63, 144}, {63, 187}, {63, 230}, {17, 58}, {17, 101},
                              {17, 144}, {17, 187}, {17, 230}, {16, 258}, {16, 267}, {10, 9}, {10, 282}};
    int n = 0;
    for (CView* c : r.rsh->getChildren()) {
        if (!Module::isSavedControl(c)) continue;
        ASSERT_LT(n, 14);
        const CRect& box = c->getViewSize();
        EXPECT_EQ(box.left + box.width() / 2, centres[n][0]) << n;
        EXPECT_EQ(box.top + box.height() / 2, centres[n][1]) << n;
        ++n;
    }
    EXPECT_EQ(n, 14);
    const int directions[] = {1, 1, 1, 0, 0, 1, 0, 1};
    for (int j = 0; j < 8; ++j) EXPECT_EQ(jacks(r.rsh)[j]->direction, directions[j]) << j;
    EXPECT_EQ(r.rsh->getStateSize(), 15 * 4);
    EXPECT_EQ(r.rsh->getVersion(), 1001);
    EXPECT_EQ(r.rsh->processIndex, -1);  // needs a cable or Always ON
}

TEST(S516RSH, WithoutAClockGlidesBetweenTargetsAt125HzAndGatesAtEachOne) {
    Rsh r;
    r.rig.editor.setAlwaysOn(r.rsh, true);
    r.watch();
    Seeded seed(4242);
    r.run(48000);
    const double rate = (std::pow(0.5, 6) * 7999.99 + 0.01) / 48000;  // 125.0098 Hz
    EXPECT_EQ(Draws::countSince(4242), 125);
    Draws replay(4242);
    // Phase k is passed on the pass whose advance carries it past k; from there the
    // glide starts at the target drawn at the previous wrap (the first came with the module).
    for (int k = 2; k <= 124; ++k) {
        const size_t wrap = (size_t)std::ceil(k / rate) - 1;
        const float target = replay.next();
        ASSERT_NEAR(r.rand(wrap + 1), target, 2.5 * rate) << k;
        EXPECT_EQ(r.tap->at(wrap + 1, 1), gateFor(r.rand(wrap))) << k;
        // The gate holds between targets.
        EXPECT_EQ(r.tap->at(wrap + 100, 1), r.tap->at(wrap + 1, 1)) << k;
    }
    for (size_t p = 0; p < 48000; ++p) ASSERT_LE(std::fabs(r.rand(p)), 1.f);
}

TEST(S516RSH, ClockedSampleAndHoldTracksTheExtremesSinceTheLastEdge) {
    Rsh r;
    r.clock(100);  // seen on passes 1, 101, 201...
    r.rig.cable(r.rig.addCustom<SlowSine>()->out, jacks(r.rsh)[kSmpIn]);
    r.watch();
    r.run(1050);
    float held = 0.f, hi = 0.f, lo = 0.f;
    bool rose = false, fell = false;
    for (long p = 1; p < 1050; ++p) {
        const float x = SlowSine::at(p - 1);  // Smp. In lags its source by a pass
        if (p % 100 == 1) {
            held = hi = lo = x;
        } else {
            rose |= x > hi;
            fell |= x < lo;
            hi = std::max(hi, x);
            lo = std::min(lo, x);
        }
        ASSERT_EQ(r.tap->at((size_t)p, 2), held) << p;
        ASSERT_EQ(r.tap->at((size_t)p, 3), hi) << p;
        ASSERT_EQ(r.tap->at((size_t)p, 4), lo) << p;
    }
    EXPECT_TRUE(rose && fell);
    EXPECT_EQ(r.led(0), held);
    EXPECT_EQ(r.led(1), -held);
}

TEST(S516RSH, ClockSetsTheGlideAndAnyNewCableResyncsItAtTheNextEdge) {
    Rsh r;
    Cable* clock = r.clock(200);  // seen on passes 1, 201, 401...
    r.watch();
    Seeded seed(99);
    Draws replay(99);
    r.run(2300);
    // The cable asked for a resync: the first edge restarts the glide from the target
    // it was heading for, and stays there until the second edge has measured the clock.
    EXPECT_EQ(r.rand(0), 0.f);
    for (size_t p = 2; p <= 201; ++p) ASSERT_NEAR(r.rand(p), r.rand(1), 1e-6) << p;
    // From then on one target per clock period, reached on the pass before each edge.
    for (int k = 1; k <= 10; ++k) ASSERT_NEAR(r.rand(201 + 200 * (size_t)k), replay.next(), 1e-5) << k;
    EXPECT_EQ(savedRecord(r.rsh).back(), 0.005f);

    // Any other cable re-arms the resync: at the edge on 2401 the glide jumps to the
    // target it was heading for instead of gliding on from the last one.
    r.rig.cable(r.rig.addCustom<AddModule>(0.3f)->out, jacks(r.rsh)[kSmpIn]);
    replay.next();  // the new module's two jacks each drew their art
    replay.next();
    r.run(700);
    const float t11 = replay.next(), t12 = replay.next(), t13 = replay.next();
    EXPECT_GT(std::fabs(t12 - t11), 0.1f);  // so the jump cannot pass for gliding on
    EXPECT_NEAR(r.rand(2401), t12, 1e-6);
    EXPECT_NEAR(r.rand(2601), t13, 1e-5);
    EXPECT_NEAR(r.rand(2801), replay.next(), 1e-5);

    // Unplugged, the measured rate is forgotten and the knobs take over at once.
    r.rig.editor.removeCable(clock);
    EXPECT_EQ(savedRecord(r.rsh).back(), 0.f);
    const uint32_t before = randomSeed;
    r.run(48000);
    EXPECT_NEAR(Draws::countSince(before), 125, 1);
}

TEST(S516RSH, ClockRateComesBackFromVersion1001RecordsOnly) {
    Rsh r;
    r.clock(200);
    r.run(500);
    const auto record = savedRecord(r.rsh);
    ASSERT_EQ(record.back(), 0.005f);
    for (int version : {1000, 1001}) {
        Module* copy = r.rig.add("S516 R-S&H");
        copy->loadState(reinterpret_cast<const int32_t*>(record.data()), (int)record.size() * 4, version);
        EXPECT_EQ(savedRecord(copy).back(), version == 1001 ? 0.005f : 0.f) << version;
    }
}
