// S605 RM/AM and S606 VC Ring Modulator, rendered in the engine.
#include <cstring>

#include "support/PatchFixture.h"

using namespace fixture;

namespace {

struct Place {
    const char* type;
    int cx, cy, direction;  // direction -1 for controls that are not jacks
};

// Controls in saved order, then the two left screws.
void expectLayout(Module* m, const std::vector<Place>& layout) {
    const std::vector<CControl*> saved = savedControls(m);
    ASSERT_EQ(saved.size(), layout.size() + 2);
    expectPlaces(saved, layout, layout.size());
    EXPECT_EQ(saved[layout.size()]->getViewSize().left, 2);
    EXPECT_EQ(saved[layout.size() + 1]->getViewSize().left, 2);
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getVendorName(), "Kestrelmark");
    EXPECT_EQ(m->getNameLen(), (int)std::strlen(m->getName()));
}

// Host inputs 1 and 2 feed two of the module's inputs; every output is cabled to a
// listener so that outputs computed only while patched are computed.
struct Bench {
    Bench(const char* name, int inA, int inB, std::vector<int> outs, float rate = 44100.f) : rig(rate) {
        from = rig.add("SA01 2 From DAW");
        m = rig.add(name);
        rig.cable(jacks(from)[1], jacks(m)[(size_t)inA]);
        rig.cable(jacks(from)[0], jacks(m)[(size_t)inB]);
        for (int o : outs) rig.cable(jacks(m)[(size_t)o], rig.addCustom<AddModule>()->in);
    }
    void constant(int jack, float value) {
        rig.cable(rig.addCustom<AddModule>(value)->out, jacks(m)[(size_t)jack]);
    }
    void settle(float a, float b, int frames = 8) {
        HostBuffers io(frames);
        std::fill(io.in[0].begin(), io.in[0].end(), a);
        std::fill(io.in[1].begin(), io.in[1].end(), b);
        rig.render(io);
    }
    float out(int jack) { return jacks(m)[(size_t)jack]->outValue; }
    // Host samples the light stays on after clipping at (a, b) stops and (calm, calm) plays.
    int clipLightSamples(float a, float b, float calm) {
        settle(a, b, 16);
        EXPECT_EQ(clipLed->getValue(), 1.f);
        int lit = 0;
        while (lit < 100000) {
            settle(calm, calm, 1);
            if (clipLed->getValue() == 0.f) break;
            ++lit;
        }
        return lit;
    }

    Rig rig;
    Module* from;
    Module* m;
    CControl* clipLed = nullptr;
};

enum { k605Carrier, k605Modulator, k605Rm, k605Am };
enum { k606RmCar, k606CarIn, k606CarCv, k606ModIn, k606ModCv, k606Rm };
enum { kCarLevel, kCarDepth, kModLevel, kModDepth };

CControl* clipLightOf(Module* m) { return savedControls(m)[m->getStateSize() / 4 - 3]; }

}  // namespace

TEST(S605RMAM, ControlOrder) {
    Rig rig;
    Module* m = rig.add("S605 RM/AM");
    ASSERT_NE(m, nullptr);
    expectLayout(m, {{"PatchPoint", 23, 58, kJackInput},
                     {"PatchPoint", 23, 101, kJackInput},
                     {"PatchPoint", 23, 187, kJackOutput},
                     {"PatchPoint", 23, 230, kJackOutput},
                     {"CMovieBitmap", 10, 262, -1}});
    EXPECT_EQ(m->getWidth(), 48);
}

TEST(S605RMAM, RingProductAndCarrierPlusProduct) {
    Bench b("S605 RM/AM", k605Carrier, k605Modulator, {k605Rm, k605Am});
    b.settle(0.5f, -0.75f);
    EXPECT_FLOAT_EQ(b.out(k605Rm), -0.375f);
    EXPECT_FLOAT_EQ(b.out(k605Am), 0.5f - 0.375f);
    b.settle(-0.25f, 0.5f);
    EXPECT_FLOAT_EQ(b.out(k605Rm), -0.125f);
    EXPECT_FLOAT_EQ(b.out(k605Am), -0.375f);
}

TEST(S605RMAM, AmOutIsTheCarrierWithoutModulatorAndSilentWithoutCable) {
    Rig rig;
    Module* from = rig.add("SA01 2 From DAW");
    Module* m = rig.add("S605 RM/AM");
    rig.cable(jacks(from)[1], jacks(m)[k605Carrier]);
    rig.cable(jacks(m)[k605Rm], rig.addCustom<AddModule>()->in);
    HostBuffers io(8);
    std::fill(io.in[0].begin(), io.in[0].end(), 0.6f);
    rig.render(io);
    EXPECT_EQ(jacks(m)[k605Rm]->outValue, 0.f);
    EXPECT_EQ(jacks(m)[k605Am]->outValue, 0.f);  // not computed while unpatched
    rig.cable(jacks(m)[k605Am], rig.addCustom<AddModule>()->in);
    rig.render(io);
    EXPECT_FLOAT_EQ(jacks(m)[k605Am]->outValue, 0.6f);
}

TEST(S605RMAM, ClipsAtFourAndHoldsTheLight200ms) {
    for (float rate : {44100.f, 48000.f}) {
        SCOPED_TRACE(rate);
        Bench b("S605 RM/AM", k605Carrier, k605Modulator, {k605Rm, k605Am}, rate);
        b.clipLed = clipLightOf(b.m);
        b.settle(3.f, 3.f);
        EXPECT_EQ(b.out(k605Rm), 4.f);
        EXPECT_EQ(b.out(k605Am), 4.f);
        b.settle(-3.f, 3.f);
        EXPECT_EQ(b.out(k605Rm), -4.f);
        EXPECT_EQ(b.out(k605Am), -4.f);
        EXPECT_EQ(b.clipLightSamples(3.f, 3.f, 0.5f), (int)(rate * 0.2f));
    }
}

TEST(S606VCRingMod, ControlOrder) {
    Rig rig;
    Module* m = rig.add("S606 VC Ring Modulator");
    ASSERT_NE(m, nullptr);
    expectLayout(m, {{"ModuleKnob", 62, 55, -1},
                     {"ModuleKnob", 62, 98, -1},
                     {"ModuleKnob", 62, 141, -1},
                     {"ModuleKnob", 62, 184, -1},
                     {"PatchPoint", 63, 230, kJackOutput},
                     {"PatchPoint", 17, 58, kJackInput},
                     {"PatchPoint", 17, 101, kJackInput},
                     {"PatchPoint", 17, 144, kJackInput},
                     {"PatchPoint", 17, 187, kJackInput},
                     {"PatchPoint", 17, 230, kJackOutput},
                     {"CMovieBitmap", 10, 262, -1}});
    const std::vector<ModuleKnob*> k = knobs(m);
    EXPECT_EQ(k[kCarLevel]->getValue(), 1.f);
    EXPECT_EQ(k[kCarDepth]->getValue(), 0.f);
    EXPECT_EQ(k[kModLevel]->getValue(), 1.f);
    EXPECT_EQ(k[kModDepth]->getValue(), 0.f);
}

TEST(S606VCRingMod, LevelsBlendFromSilenceThroughEachInputToTheProduct) {
    Bench b("S606 VC Ring Modulator", k606CarIn, k606ModIn, {k606Rm, k606RmCar});
    const std::vector<ModuleKnob*> k = knobs(b.m);
    const float c = 0.5f, mo = -0.8f;
    struct Case { float a, bm, rm; } cases[] = {
        {1.f, 1.f, c * mo},                       // as created: a plain ring modulator
        {1.f, 0.f, c},                            // carrier alone
        {0.f, 1.f, mo},                           // modulator alone
        {0.f, 0.f, 0.f},                          // silence
        {0.5f, 1.f, mo * (0.5f * c + 0.5f)},      // half the carrier: product plus half the modulator
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.a * 10 + t.bm);
        setKnob(k[kCarLevel], t.a);
        setKnob(k[kModLevel], t.bm);
        b.settle(c, mo);
        EXPECT_NEAR(b.out(k606Rm), t.rm, 1e-6);
        EXPECT_NEAR(b.out(k606RmCar), t.rm + c, 1e-6);
    }
}

TEST(S606VCRingMod, CvDepthsMoveTheAmountsWithoutClamping) {
    Bench b("S606 VC Ring Modulator", k606CarIn, k606ModIn, {k606Rm});
    const std::vector<ModuleKnob*> k = knobs(b.m);
    b.constant(k606CarCv, 1.f);
    b.constant(k606ModCv, -0.5f);
    setKnob(k[kCarLevel], 0.f);
    setKnob(k[kCarDepth], 1.f);    // a = 1
    setKnob(k[kModDepth], 0.5f);   // b = 1 - 0.25 = 0.75
    b.settle(0.5f, -0.8f);
    // (0.75 x -0.8 + 0.25) x 0.5 - 1 + 1
    EXPECT_NEAR(b.out(k606Rm), -0.175f, 1e-6);
    setKnob(k[kCarLevel], 1.f);
    setKnob(k[kCarDepth], 0.5f);   // a = 1.5
    setKnob(k[kModDepth], 1.f);    // b = 0.5
    b.settle(0.5f, -0.8f);
    // (0.5 x -0.8 + 0.5) x (1.5 x 0.5 - 0.5) - 1 + 1.5
    EXPECT_NEAR(b.out(k606Rm), 0.1f * 0.25f + 0.5f, 1e-6);
}

TEST(S606VCRingMod, ClipsTheProductThenTheSumWithTheCarrier) {
    Bench b("S606 VC Ring Modulator", k606CarIn, k606ModIn, {k606Rm, k606RmCar});
    b.clipLed = clipLightOf(b.m);
    b.settle(3.f, 3.f);
    EXPECT_EQ(b.out(k606Rm), 4.f);
    EXPECT_EQ(b.out(k606RmCar), 4.f);  // 4 + 3 limited again
    // The carrier is added to the limited product: 4 - 3, not 9 - 3.
    b.settle(-3.f, -3.f);
    EXPECT_EQ(b.out(k606Rm), 4.f);
    EXPECT_FLOAT_EQ(b.out(k606RmCar), 1.f);
    b.settle(-3.f, 3.f);
    EXPECT_EQ(b.out(k606Rm), -4.f);
    EXPECT_EQ(b.out(k606RmCar), -4.f);
    EXPECT_EQ(b.clipLightSamples(3.f, 3.f, 0.5f), 8820);
}
