#include <algorithm>

#include "framework/SharedBitmaps.h"
#include "modules/HostMidiRig.h"

using namespace hostmidi;

namespace {

// Jacks of SA04 in saved order.
enum { kRestartIn, kClockOut };

// Writes 1 on the listed passes and 0 on every other.
class Pulses : public Module {
public:
    Pulses(Patch* e, std::vector<long> at) : Module(CRect(0, 0, 48, 291), e, nullptr), at(std::move(at)) {
        out = addJack(20, 60, kJackOutput);
    }
    void process() override {
        out->outValue = std::count(at.begin(), at.end(), pass) ? 1.f : 0.f;
        ++pass;
    }
    PatchPoint* out;
    std::vector<long> at;
    long pass = 0;
};

std::vector<long> risingEdges(const Tap& tap) {
    std::vector<long> out;
    for (size_t p = 0; p < tap.passes(); ++p)
        if (tap.at(p, 0) == 1.f && (p == 0 || tap.at(p - 1, 0) == 0.f)) out.push_back((long)p);
    return out;
}

long highLength(const Tap& tap, long edge) {
    long p = edge;
    while ((size_t)p < tap.passes() && tap.at((size_t)p, 0) == 1.f) ++p;
    return p - edge;
}

template <class R>
void renderBlocks(R& rig, int blocks, int frames = 512) {
    HostBuffers io(frames);
    for (int b = 0; b < blocks; ++b) rig.plugin.processReplacing(io.inPtr, io.outPtr, frames);
}

}  // namespace

TEST(SA04TempoFromDAW, WithoutTimeInfoClocksAtOneHundredTwentyBpm) {
    Rig rig;
    Module* sa04 = rig.add("SA04 Tempo From DAW");
    EXPECT_NE(sa04->processIndex, -1);  // Always ON: runs without cables
    Tap* tap = addTap(rig, {jacks(sa04)[kClockOut]});
    renderBlocks(rig, 100);  // 51200 samples
    const auto edges = risingEdges(*tap);
    ASSERT_EQ(edges.size(), 2u);
    EXPECT_NEAR(edges[0], 24000 - 1, 1);  // the phase reaches 1 on the 24000th call
    EXPECT_NEAR(edges[1] - edges[0], 24000, 1);
    EXPECT_NEAR(highLength(*tap, edges[0]), 7200, 1);  // 30 % of a beat
}

TEST(SA04TempoFromDAW, FollowsTheHostTempoBlockByBlockAtTheDivisor) {
    TimedRig rig;
    hostClock.info.tempo = 150.0;
    Module* sa04 = rig.add("SA04 Tempo From DAW");
    setKnob(knobs(sa04)[0], 0.f);  // 24 ticks per quarter
    Tap* tap = addTap(rig, {jacks(sa04)[kClockOut]});
    renderBlocks(rig, 20);  // 10240 samples at 800 per tick
    hostClock.info.tempo = 75.0;
    renderBlocks(rig, 20);  // 1600 per tick
    hostClock.info.tempo = 0.0;  // no tempo: the last one stays
    renderBlocks(rig, 10);
    hostClock.answers = false;  // no answer: the engine keeps the last tempo too
    renderBlocks(rig, 10);

    const auto edges = risingEdges(*tap);
    auto intervalNear = [&](long from, long to, double expected) {
        int checked = 0;
        for (size_t i = 1; i < edges.size(); ++i)
            if (edges[i - 1] >= from && edges[i] < to) {
                EXPECT_NEAR(edges[i] - edges[i - 1], expected, 1.0) << "edge at " << edges[i];
                ++checked;
            }
        EXPECT_GT(checked, 3);
    };
    intervalNear(0, 10240, 800.0);
    intervalNear(10240 + 1600, 20480, 1600.0);
    intervalNear(20480 + 1600, 30720, 1600.0);
    EXPECT_NEAR(highLength(*tap, edges[2]), 240, 1);
    const auto unanswered = std::find_if(edges.begin(), edges.end(), [](long e) { return e > 25600; });
    ASSERT_NE(unanswered, edges.end());
    EXPECT_NEAR(highLength(*tap, *unanswered), 480, 1);
}

TEST(SA04TempoFromDAW, RestartEdgeStartsAPulseOrDropsAHighClockForOneSample) {
    Rig rig;
    Module* sa04 = rig.add("SA04 Tempo From DAW");
    // Edges leave Pulses on passes 999 and 1099 and reach SA04 one pass later.
    auto* pulses = rig.addCustom<Pulses>(std::vector<long>{999, 1099});
    rig.cable(pulses->out, jacks(sa04)[kRestartIn]);
    Tap* tap = addTap(rig, {jacks(sa04)[kClockOut]});
    renderBlocks(rig, 64);  // 32768 samples

    // Clock low: the pulse starts on the edge and the phase restarts with it.
    EXPECT_EQ(tap->at(999, 0), 0.f);
    EXPECT_EQ(tap->at(1000, 0), 1.f);
    // Clock high: it drops for one sample and a new pulse starts on the next.
    EXPECT_EQ(tap->at(1099, 0), 1.f);
    EXPECT_EQ(tap->at(1100, 0), 0.f);
    EXPECT_EQ(tap->at(1101, 0), 1.f);
    EXPECT_NEAR(highLength(*tap, 1101), 7200, 1);
    // The free-running clock counts on from the restart.
    const auto edges = risingEdges(*tap);
    ASSERT_EQ(edges.size(), 3u);
    EXPECT_EQ(edges[0], 1000);
    EXPECT_EQ(edges[1], 1101);
    EXPECT_NEAR(edges[2], 1101 + 24000, 1);
}

TEST(SA04TempoFromDAW, SavedRecordListsControlsInPanelOrder) {
    Rig rig;
    Module* m = rig.add("SA04 Tempo From DAW");
    EXPECT_TRUE(m->isAlwaysOnByDefault());
    EXPECT_EQ(m->getVersion(), 1000);
    const auto& kids = m->getChildren();
    ASSERT_EQ(kids.size(), 6u);
    const char* types[] = {"PatchPoint", "ModuleKnob", "PatchPoint", "CMovieBitmap", "CMovieBitmap", "CMovieBitmap"};
    for (size_t i = 0; i < kids.size(); ++i) EXPECT_TRUE(kids[i]->isTypeOf(types[i])) << i;
    auto j = jacks(m);
    EXPECT_EQ(j[kRestartIn]->direction, kJackInput);
    EXPECT_EQ(j[kClockOut]->direction, kJackOutput);
    EXPECT_EQ(j[kRestartIn]->getBackground(), SharedBitmaps::get("patchpoint1.png"));
    EXPECT_EQ(j[kRestartIn]->getViewSize().top + j[kRestartIn]->getHeight() / 2, 76);
    knobs(m)[0]->setValue(0.5f);
    EXPECT_EQ(m->getStateSize(), 24);
    EXPECT_EQ(savedRecord(m)[1], 0.5f);
}
