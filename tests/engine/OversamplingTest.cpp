#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "engine/Decimator.h"
#include "support/PatchFixture.h"

using namespace fixture;

namespace {

// Host input 1 -> SA05 at unity -> host output 1.
struct UnityPath {
    explicit UnityPath(Rig& rig) {
        Module* from = rig.add("SA01 2 From DAW");
        Module* amp = rig.add("SA05 2 DAW 12db Amplifier");
        rig.cable(jacks(from)[1], jacks(amp)[1]);
        rig.cable(jacks(from)[0], jacks(amp)[0]);
    }
};

}  // namespace

TEST(Oversampling, CoefficientsAtFourTimes44100) {
    Rig rig(44100.f);
    rig.plugin.setOversampling(2);
    EXPECT_EQ(rig.plugin.oversampleFactor, 4);
    EXPECT_EQ(rig.plugin.iirCoef, (float)(60000.0 / 176400.0));
    EXPECT_NEAR(rig.plugin.iirCoef, 0.3401f, 1e-4f);
    ASSERT_EQ(rig.plugin.decimator.firTaps, 101);  // FIR Auto taps is the editor's default
    // Cutoff 1/8 of the oversampled rate: the centre tap is 2 * fc under a window of 1.
    EXPECT_FLOAT_EQ(rig.plugin.decimator.firCoefs[50], 0.25f);
    // Taps are symmetric about the centre; the table holds the first half and the centre.
    EXPECT_NEAR(rig.plugin.decimator.firCoefs[0], 0.f, 1e-6f);
    double sum = rig.plugin.decimator.firCoefs[50];
    for (int i = 0; i < 50; ++i) sum += 2.0 * rig.plugin.decimator.firCoefs[i];
    EXPECT_NEAR(sum, 1.0, 2e-3);
}

TEST(Oversampling, TapCountForEveryFilterEntryAndFactor) {
    const int numbered[] = {51, 101, 151, 201, 301, 601, 1001, 1501, 1701, 2001, 4001, 6401, 12801};
    for (int v = 0; v <= 8; ++v) {
        const int f = 1 << v;
        EXPECT_EQ(Decimator::tapCount(0, f), 0);
        EXPECT_EQ(Decimator::tapCount(1, f), f == 1 ? 0 : 25 * f + 1) << f;
        EXPECT_EQ(Decimator::tapCount(2, f), f == 1 ? 0 : 50 * f + 1) << f;
        for (int i = 0; i < 13; ++i) EXPECT_EQ(Decimator::tapCount(3 + i, f), numbered[i]);
    }
    EXPECT_EQ(Decimator::tapCount(-1, 4), 0);
    EXPECT_EQ(Decimator::tapCount(16, 4), 0);

    Rig rig;
    rig.plugin.setOversampling(3);
    EXPECT_EQ(rig.plugin.decimator.firTaps, 201);
    rig.plugin.setFilterType(2);
    EXPECT_EQ(rig.plugin.decimator.firTaps, 401);
    rig.plugin.setOversampling(0);
    rig.plugin.setFilterType(1);
    EXPECT_EQ(rig.plugin.decimator.firTaps, 0);
}

TEST(Oversampling, DirectCurrentSettlesToOneThroughEitherFilter) {
    for (int filter : {0, 1, 2, 9}) {
        Rig rig(44100.f);
        UnityPath path(rig);
        rig.plugin.setFilterType(filter);
        rig.plugin.setOversampling(2);
        HostBuffers io(4096);
        std::fill(io.in[0].begin(), io.in[0].end(), 1.f);
        std::fill(io.in[1].begin(), io.in[1].end(), -1.f);
        rig.render(io);
        EXPECT_NEAR(io.out[0].back(), 1.f, 2e-3f) << "filter " << filter;
        EXPECT_NEAR(io.out[1].back(), -1.f, 2e-3f) << "filter " << filter;
    }
}

TEST(Oversampling, FirAt256XWithDoubleTapsConvolvesTheWholeRing) {
    Rig rig;
    UnityPath path(rig);
    rig.plugin.setFilterType(2);
    rig.plugin.setOversampling(8);
    const Decimator& d = rig.plugin.decimator;
    ASSERT_EQ(d.firTaps, 12801);
    const int frames = 64, factor = 256, n = d.firTaps;
    HostBuffers io(frames);
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> noise(-1.f, 1.f);
    for (float& v : io.in[0]) v = noise(gen);
    rig.render(io);
    // What the filter saw: one cable late, each host sample held for 256 passes.
    auto input = [&](long t) -> double { return t >= 1 ? io.in[0][(size_t)((t - 1) / factor)] : 0.0; };
    for (int s : {40, 52, 63}) {
        const long newest = (long)s * factor + factor - 1;
        double expected = 0.0;
        for (int k = 0; k < n && newest - k >= 0; ++k) expected += d.firCoefs[std::min(k, n - 1 - k)] * input(newest - k);
        EXPECT_NEAR(io.out[0][(size_t)s], expected, 1e-4) << s;
    }
}

TEST(Oversampling, ChangingTapCountKeepsTheWindowInsideTheLine) {
    Rig rig;
    UnityPath path(rig);
    rig.plugin.setFilterType(2);
    rig.plugin.setOversampling(8);
    HostBuffers io(7);
    std::fill(io.in[0].begin(), io.in[0].end(), 1.f);
    for (int entry : {3, 14, 1, 4, 15, 2}) {
        rig.render(io);
        rig.plugin.setFilterType(entry);
        const Decimator& d = rig.plugin.decimator;
        ASSERT_GE(d.firEnd, d.firTaps) << entry;
        ASSERT_LE(d.firEnd, d.firLimit) << entry;
        ASSERT_LE(d.firLimit, Decimator::kLineLength) << entry;
    }
    HostBuffers settle(400);
    std::fill(settle.in[0].begin(), settle.in[0].end(), 1.f);
    rig.render(settle);
    EXPECT_NEAR(settle.out[0].back(), 1.f, 2e-3f);
}

TEST(Oversampling, FilterChosenWhileOffTakesEffectAtTheNextFactor) {
    Rig rig;
    UnityPath path(rig);
    rig.plugin.setFilterType(3);  // "FIR 51 taps"
    HostBuffers io(16);
    for (int i = 0; i < 16; ++i) io.in[0][i] = (float)i;
    rig.render(io);
    for (int i = 1; i < 16; ++i) ASSERT_EQ(io.out[0][i], (float)(i - 1));  // untouched
    rig.plugin.setOversampling(1);
    EXPECT_EQ(rig.plugin.decimator.firTaps, 51);
    EXPECT_FLOAT_EQ(rig.plugin.decimator.firCoefs[25], 0.5f);
}

TEST(Oversampling, ModulesWithoutOversamplingRunOncePerHostSampleAtTheHostRate) {
    Rig rig(48000.f);
    AddModule* fast = rig.addCustom<AddModule>();
    AddModule* slow = rig.addCustom<AddModule>(1.f);
    rig.editor.setAlwaysOn(fast, true);
    rig.editor.setAlwaysOn(slow, true);
    rig.editor.setModuleOversampled(slow, false);
    rig.cable(slow->out, fast->in);
    rig.plugin.setOversampling(2);
    EXPECT_EQ(fast->lastRate, 192000.f);
    EXPECT_EQ(slow->lastRate, 48000.f);
    EXPECT_EQ(fast->sampleRate, 192000.f);
    HostBuffers io(10);
    fast->calls = slow->calls = 0;
    rig.render(io);
    EXPECT_EQ(fast->calls, 40);
    EXPECT_EQ(slow->calls, 10);
    // The slow module's value holds for the four passes the fast one reads it in.
    EXPECT_EQ(fast->out->outValue, 1.f);

    rig.plugin.setSampleRate(44100.f);
    EXPECT_EQ(fast->sampleRate, 176400.f);
    EXPECT_EQ(slow->sampleRate, 44100.f);
    EXPECT_EQ(rig.plugin.iirCoef, (float)(60000.0 / 176400.0));
}

// Every numbered tap count walks a different mix of the eight-pair, four-pair and
// single-pair steps; each output must be its own ring's convolution and no other's.
TEST(Oversampling, FirEvaluatesBothOutputsFromTheirOwnHistoryAtEveryTapCount) {
    auto decimator = std::make_unique<Decimator>();
    std::mt19937 gen(11);
    std::uniform_real_distribution<float> noise(-1.f, 1.f);
    for (int entry = 3; entry < Decimator::kFilterEntries; ++entry) {
        const int n = Decimator::tapCount(entry, 4);
        SCOPED_TRACE(n);
        Decimator& d = *decimator;
        d.setTaps(n);
        d.designFir(n, 1.0 / 8.0);
        std::vector<float> left, right;  // newest first
        for (int i = 0; i < n + 7; ++i) {
            const float l = noise(gen), r = noise(gen);
            d.firPush(l, r);
            left.insert(left.begin(), l);
            right.insert(right.begin(), r);
        }
        float outL = 0.f, outR = 0.f;
        d.firEvaluate(&outL, &outR);
        double refL = 0.0, refR = 0.0;
        for (int k = 0; k < n; ++k) {
            const double c = d.firCoefs[std::min(k, n - 1 - k)];
            refL += c * left[(size_t)k];
            refR += c * right[(size_t)k];
        }
        EXPECT_NEAR(outL, refL, 1e-5);
        EXPECT_NEAR(outR, refR, 1e-5);
        // The eight-lane sums, where the CPU has them, give the very bits of the
        // four-lane ones: what a host renders must not depend on its processor.
        if (Decimator::wideSumsAvailable()) {
            float wide[2], narrow[2];
            d.wideSums = true;
            d.firEvaluate(&wide[0], &wide[1]);
            d.wideSums = false;
            d.firEvaluate(&narrow[0], &narrow[1]);
            EXPECT_EQ(wide[0], narrow[0]);
            EXPECT_EQ(wide[1], narrow[1]);
            d.wideSums = true;
        }
        // The same history on both sides gives the same bits on both sides.
        for (int i = 0; i < n; ++i) d.firPush(left[(size_t)(n - 1 - i)], left[(size_t)(n - 1 - i)]);
        d.firEvaluate(&outL, &outR);
        EXPECT_EQ(outL, outR);
    }
}

// Inputs pushed one by one and written a stretch at a time in place, many times the
// line's length: every window, also those ending inside a stretch, is the
// convolution of the history, which must survive each slide. The right line mostly
// repeats the left and sometimes not, so that windows of the same bits on both sides
// (computed once) alternate with windows that differ somewhere.
TEST(Oversampling, TheFirLineKeepsItsWindowAcrossSlides) {
    std::mt19937 gen(5);
    std::uniform_real_distribution<float> noise(-1.f, 1.f);
    for (int n : {51, 201}) {
        SCOPED_TRACE(n);
        auto decimator = std::make_unique<Decimator>();
        Decimator& d = *decimator;
        d.setTaps(n);
        // Weights without the window's near-zero ends, so that every input counts.
        for (int k = 0; k <= n / 2; ++k) d.firCoefs[k] = 1.f / (float)(k + 1);
        // Oldest first, as the line starts.
        std::vector<float> left((size_t)n, 0.f), right((size_t)n, 0.f);
        auto next = [&] {
            const size_t i = left.size();
            left.push_back(noise(gen));
            right.push_back(i % 700 < 100 && i % 13 == 0 ? -left.back() : left.back());
        };
        int shared = 0;
        auto expect = [&](size_t end, int at) {
            double refL = 0.0, refR = 0.0;
            bool same = true;
            for (int k = 0; k < n; ++k) {
                const size_t i = end - 1 - (size_t)k;
                refL += d.firCoefs[std::min(k, n - 1 - k)] * left[i];
                refR += d.firCoefs[std::min(k, n - 1 - k)] * right[i];
                same = same && left[i] == right[i];
            }
            shared += same;
            float l = 0.f, r = 0.f;
            d.firEvaluateAt(at, &l, &r);
            ASSERT_NEAR(l, refL, 1e-5);
            ASSERT_NEAR(r, refR, 1e-5);
        };
        for (int round = 0; round < 12 * n / Decimator::kRoom + 4; ++round) {
            for (int i = 0; i < 5; ++i) {
                next();
                d.firPush(left.back(), right.back());
                expect(left.size(), d.firEnd);
            }
            const int count = Decimator::kRoom - round % 3;
            d.firReserve(count);
            float *l = d.firNext(0), *r = d.firNext(1);
            for (int i = 0; i < count; ++i) {
                next();
                l[i] = left.back();
                r[i] = right.back();
            }
            const int start = d.firEnd;
            d.firAdvance(count);
            ASSERT_LE(d.firEnd, d.firLimit);
            for (int i = 1; i <= count; i += 7) expect(left.size() - (size_t)(count - i), start + i);
        }
        EXPECT_GT(shared, 50);
    }
}
