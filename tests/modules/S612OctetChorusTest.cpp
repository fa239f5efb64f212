#include <algorithm>
#include <cmath>

#include "modules/HostMidiRig.h"

using namespace hostmidi;

namespace {

enum { kDepthAmt, kRateAmt, kStereo, kFb, kDepth, kRate, kMix, kLines };
enum { kInL, kDepthCv, kRateCv, kStereoCv, kInR, kOutL, kOutR };

// A ramp exact in single precision: the ring then holds a straight line, which linear
// reading returns exactly, so each output sample tells how far back it was read.
constexpr double kSlope = 1.0 / 16384;
class Ramp : public Module {
public:
    explicit Ramp(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) { out = addJack(20, 60, kJackOutput); }
    void process() override { out->outValue = (float)(kSlope * (double)pass++); }
    PatchPoint* out;
    long pass = 0;
};

class Impulse : public Module {
public:
    Impulse(Patch* e, long at, float level) : Module(CRect(0, 0, 48, 291), e, nullptr), at(at), level(level) {
        out = addJack(20, 60, kJackOutput);
    }
    void process() override { out->outValue = pass++ == at ? level : 0.f; }
    PatchPoint* out;
    long at, pass = 0;
    float level;
};

struct Chorus {
    explicit Chorus(float rate) : rig(rate) {
        ch = rig.add("S612 Octet Chorus");
        setKnob(knobs(ch)[kMix], 1.f);  // wet only, unity compensation
    }
    void lines(int n) {
        setKnob(knobs(ch)[kLines], std::min((n - 2 + 0.5f) / 6.f, 1.f));
        ch->controlChanged(knobs(ch)[kLines]);  // as the editor does after a move
    }
    void watch() { tap = addTap(rig, {jacks(ch)[kOutL], jacks(ch)[kOutR]}); }
    void run(int frames) {
        HostBuffers io(frames);
        rig.render(io);
    }
    // Undoes the output DC blocker (y = x - x1 + 0.999 y1) to get the mixed signal back.
    std::vector<double> mixed(size_t side) const {
        std::vector<double> x(tap->passes());
        double prev = 0.0;
        for (size_t p = 0; p < x.size(); ++p) {
            const double y = tap->at(p, side);
            x[p] = (p ? x[p - 1] : 0.0) + y - 0.999 * prev;
            prev = y;
        }
        return x;
    }
    Rig rig;
    Module* ch;
    Tap* tap = nullptr;
};

double lfo(double p) {
    p -= std::floor(p);
    return p <= 0.5 ? 1.0 - 0.5 * (4 * p - 1) * (4 * p - 1) : 0.5 * (4 * p - 3) * (4 * p - 3);
}

// Feeds the ramp to In L and checks, pass by pass, the summed read offsets of each
// side's lines against dmin + (N - 1 - dmin) x F x lfo(phase).
void checkOffsets(int n, float rateKnob, long from, long to) {
    const double sr = 1000, N = 1601, dmin = 1, rmin = 0.2 / (n * sr), rmax = 40 / (n * sr);
    Chorus c((float)sr);
    c.lines(n);
    setKnob(knobs(c.ch)[kDepth], 1.f);
    setKnob(knobs(c.ch)[kRate], rateKnob);
    c.rig.cable(c.rig.addCustom<Ramp>()->out, jacks(c.ch)[kInL]);
    c.watch();
    c.run((int)to + 1);
    const double r = (double)rateKnob, step = rmin + (rmax - rmin) * r * r;
    const double F = rmin / step * 0.125 * n;
    for (size_t side = 0; side < 2; ++side) {
        const std::vector<double> x = c.mixed(side);
        const int perSide = (n + 1 - (int)side) / 2;
        for (long k = from; k <= to; k += 7) {
            double expected = 0;
            for (int i = (int)side; i < n; i += 2)
                expected += dmin + (N - 1 - dmin) * F * lfo((double)i / n + k * step);
            // Pass k reads the line written with a ramp that lags by one pass.
            const double measured = perSide * (k - 1.0) - x[(size_t)k] / kSlope;
            ASSERT_NEAR(measured, expected, 0.02 * perSide) << "n " << n << " side " << side << " pass " << k;
        }
    }
}

}  // namespace

TEST(S612OctetChorus, ControlsAreSavedInPanelOrder) {
    Chorus c(48000.f);
    const int centres[][2] = {{62, 98},  {62, 141}, {62, 184}, {110, 55}, {110, 98}, {110, 141}, {110, 184},
                              {25, 225}, {17, 58},  {17, 101}, {17, 144}, {17, 187}, {62, 58},   {70, 238},
                              {112, 238}, {10, 262}, {10, 9},  {10, 282}, {134, 9},  {134, 282}};
    int n = 0;
    for (CView* v : c.ch->getChildren()) {
        if (!Module::isSavedControl(v)) continue;
        ASSERT_LT(n, 20);
        const CRect& box = v->getViewSize();
        EXPECT_EQ(box.left + box.width() / 2, centres[n][0]) << n;
        EXPECT_EQ(box.top + box.height() / 2, centres[n][1]) << n;
        ++n;
    }
    EXPECT_EQ(n, 20);
    const int directions[] = {0, 0, 0, 0, 0, 1, 1};
    for (int j = 0; j < 7; ++j) EXPECT_EQ(jacks(c.ch)[j]->direction, directions[j]) << j;
    const float defaults[] = {0.f, 0.f, 1.f, 0.f, 0.052f, 0.1075f, 1.f, 0.f};  // Mix set to 1 above
    for (int k = 0; k < 8; ++k) EXPECT_FLOAT_EQ(knobs(c.ch)[k]->getValue(), defaults[k]) << k;
    EXPECT_TRUE(knobs(c.ch)[kLines]->stepped);
    EXPECT_EQ(c.ch->getStateSize(), 20 * 4);
    EXPECT_EQ(c.ch->getVersion(), 1000);
}

TEST(S612OctetChorus, LinesSplitBetweenTheSidesAndStereoCrossFeedsThem) {
    // Depth 0: every line reads dmin = 1 sample back at 1000 Hz, so an impulse comes out
    // one pass later as (lines of its side) + s x (lines of the other side), s = 1 - Stereo.
    for (int n = 2; n <= 8; ++n)
        for (float stereo : {1.f, 0.25f, 0.f}) {
            Chorus c(1000.f);
            c.lines(n);
            setKnob(knobs(c.ch)[kDepth], 0.f);
            setKnob(knobs(c.ch)[kStereo], stereo);
            c.rig.cable(c.rig.addCustom<Impulse>(10, 0.25f)->out, jacks(c.ch)[kInL]);
            c.watch();
            c.run(20);
            const double s = 1.0 - stereo, even = (n + 1) / 2, odd = n / 2;
            EXPECT_NEAR(c.tap->at(12, 0), 0.25 * (even + s * odd), 1e-5) << n << " " << stereo;
            EXPECT_NEAR(c.tap->at(12, 1), 0.25 * (odd + s * even), 1e-5) << n << " " << stereo;
        }

    // With In R patched the odd lines take it; Stereo CV x Stereo sets the cross-feed.
    Chorus c(1000.f);
    c.lines(8);
    setKnob(knobs(c.ch)[kDepth], 0.f);
    c.rig.cable(c.rig.addCustom<Impulse>(10, 0.25f)->out, jacks(c.ch)[kInL]);
    c.rig.cable(c.rig.addCustom<Impulse>(30, 0.5f)->out, jacks(c.ch)[kInR]);
    c.rig.cable(c.rig.addCustom<AddModule>(0.5f)->out, jacks(c.ch)[kStereoCv]);
    c.watch();
    c.run(40);
    EXPECT_NEAR(c.tap->at(12, 0), 0.25 * (4 + 0.5 * 0), 1e-5);  // R silent at 12
    EXPECT_NEAR(c.tap->at(12, 1), 0.25 * 0.5 * 4, 1e-5);
    EXPECT_NEAR(c.tap->at(32, 0), 0.5 * 0.5 * 4, 2e-3);  // the DC blocker's tail of 12 is tiny
    EXPECT_NEAR(c.tap->at(32, 1), 0.5 * 4, 1e-3);
}

TEST(S612OctetChorus, LfoSweepsTheDelayWithDepthFallingAsTheRateRises) {
    // Two lines: phases 0 and 1/2, rate limits 0.1 and 20 Hz; default Rat. gives ~0.33 Hz.
    checkOffsets(2, 0.1075f, 200, 6100);
    checkOffsets(2, 0.5f, 200, 1500);
    // Eight lines: phases 1/8 apart and rate limits divided by 8.
    checkOffsets(8, 0.1075f, 600, 12200);
}

TEST(S612OctetChorus, ReadsStayInTheRingAcrossWrapsAndResizes) {
    // At this rate dmin is 1.00000006 samples: when the write index is 1 the read
    // position is a hair below 0, which single precision rounds up to N.
    Chorus c(1000.0001f);
    setKnob(knobs(c.ch)[kDepth], 0.f);
    c.rig.cable(c.rig.addCustom<Ramp>()->out, jacks(c.ch)[kInL]);
    c.watch();
    c.run(3500);  // two wraps of the 1601-sample rings
    c.rig.plugin.setSampleRate(2000.f);  // grow while running
    c.run(5000);
    c.rig.plugin.setSampleRate(1000.f);  // shrink below the write index
    c.run(2000);
    for (size_t side = 0; side < 2; ++side) {
        const std::vector<double> x = c.mixed(side);
        for (size_t k = 3; k < x.size(); ++k) {
            if ((k >= 3500 && k < 3503) || (k >= 8500 && k < 8503)) continue;  // the resize glitch
            const double dmin = k < 3500 ? 1.0 : k < 8500 ? 2.0 : 1.0;
            ASSERT_NEAR((k - 1.0) - x[k] / kSlope, dmin, 0.02) << side << " " << k;
        }
    }
}
