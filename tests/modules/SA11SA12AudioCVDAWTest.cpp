#include <string>
#include <vector>

#include "support/PatchFixture.h"

using namespace fixture;

namespace {

const int kRowY[5] = {58, 101, 144, 187, 230};

CPoint centreOf(CView* v) {
    const CRect r = v->getViewSize();
    return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// The jack of host channel k (0..9) found by its place on the panel: rows top to
// bottom, left jack before right.
PatchPoint* jackAt(Module* m, int k) {
    const int x = k % 2 == 0 ? 24 : 72, y = kRowY[k / 2];
    for (PatchPoint* p : jacks(m))
        if (centreOf(p).x == x && centreOf(p).y == y) return p;
    ADD_FAILURE() << "no jack at " << x << ", " << y;
    return nullptr;
}

// Host input k carries k * 100 + sample index.
void fillInputs(HostBuffers& io) {
    for (int k = 0; k < kNumInputs; ++k)
        for (int i = 0; i < io.frames; ++i) io.in[(size_t)k][(size_t)i] = (float)(k * 100 + i);
}

}  // namespace

TEST(SA11SA12AudioCVDAW, JacksAreBuiltRightColumnFirstAndSavedThatWay) {
    Rig rig;
    for (const char* name : {"SA11 Audio/CV From DAW", "SA12 Audio/CV To DAW"}) {
        Module* m = rig.add(name);
        EXPECT_EQ(m->getVersion(), 1000);
        EXPECT_EQ(m->getViewSize().width(), 96);
        EXPECT_FALSE(m->writesDawOutput());
        const bool outputs = std::string(name).find("From") != std::string::npos;
        const std::vector<PatchPoint*> j = jacks(m);
        ASSERT_EQ(j.size(), 10u);
        for (int n = 0; n < 10; ++n) {
            EXPECT_EQ(centreOf(j[(size_t)n]).x, n < 5 ? 72 : 24) << name << " jack " << n;
            EXPECT_EQ(centreOf(j[(size_t)n]).y, kRowY[n % 5]) << name << " jack " << n;
            EXPECT_EQ(j[(size_t)n]->direction, outputs ? kJackOutput : kJackInput);
        }
        EXPECT_EQ(m->getStateSize(), (10 + 2) * 4);  // jacks, then the two screws
        for (size_t n = 0; n < 10; ++n) EXPECT_EQ(m->getChildren()[n], j[n]);
    }
}

TEST(SA11SA12AudioCVDAW, EveryHostInputReachesItsHostOutputTwoChannelsUp) {
    Rig rig;
    Module* from = rig.add("SA11 Audio/CV From DAW");
    Module* to = rig.add("SA12 Audio/CV To DAW");
    // Input channel k into output channel 9 - k: a swapped pair or column shows up.
    for (int k = 0; k < 10; ++k) rig.cable(jackAt(from, k), jackAt(to, 9 - k));
    HostBuffers io(64);
    fillInputs(io);
    rig.render(io);
    for (int k = 0; k < 10; ++k) {
        const auto& out = io.out[(size_t)(9 - k + 2)];
        EXPECT_EQ(out[0], 0.f) << "channel " << k;  // the cable delays by one pass
        for (int i = 1; i < 64; ++i) ASSERT_EQ(out[(size_t)i], (float)(k * 100 + i - 1)) << k << " @" << i;
    }
    // No main-output writer: outputs 1 and 2 stay silent.
    for (int c = 0; c < 2; ++c)
        for (float v : io.out[(size_t)c]) ASSERT_EQ(v, 0.f);

    // The top-left jack is the same signal SA01 gives on its left output.
    Module* main = rig.add("SA01 2 From DAW");
    Module* to2 = rig.add("SA12 Audio/CV To DAW");
    rig.cable(jacks(main)[1], jackAt(to2, 0));
    rig.cable(jackAt(from, 0), jackAt(to2, 1));
    HostBuffers again(32);
    fillInputs(again);
    rig.render(again);
    EXPECT_EQ(again.out[2], again.out[3]);
}

TEST(SA11SA12AudioCVDAW, WritesOverwriteAndTheLastOversampleWins) {
    Rig rig;
    Module* first = rig.add("SA12 Audio/CV To DAW");
    Module* second = rig.add("SA12 Audio/CV To DAW");
    AddModule* a = rig.addCustom<AddModule>(0.25f);
    AddModule* b = rig.addCustom<AddModule>(0.5f);
    rig.cable(a->out, jackAt(first, 4));
    rig.cable(b->out, jackAt(second, 4));  // activated later: runs later, wins
    HostBuffers io(16);
    rig.render(io);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(io.out[6][(size_t)i], 0.5f) << i;  // not 0.75
    for (int i = 0; i < 16; ++i) EXPECT_EQ(io.out[7][(size_t)i], 0.f) << i;   // unpatched jack writes 0

    // At 4X the input is held for all four passes and the fourth pass reaches the
    // host, so the one-pass cable delay vanishes at the host rate.
    Rig over;
    over.plugin.setOversampling(2);
    Module* from = over.add("SA11 Audio/CV From DAW");
    Module* to = over.add("SA12 Audio/CV To DAW");
    over.cable(jackAt(from, 3), jackAt(to, 3));
    HostBuffers io4(32);
    fillInputs(io4);
    over.render(io4);
    for (int i = 0; i < 32; ++i) ASSERT_EQ(io4.out[5][(size_t)i], (float)(300 + i)) << i;
}
