// S101 Mixer, S102 Unity Mixer and S110 Dual VC Panner, fed constants in the engine.
#include "support/PatchFixture.h"

using namespace fixture;

namespace {

struct Bench {
    explicit Bench(const char* name) { m = rig.add(name); }
    // A constant source on jack n; its offset can change between renders.
    AddModule* feed(size_t n, float v) {
        AddModule* c = rig.addCustom<AddModule>(v);
        rig.cable(c->out, jacks(m)[n]);
        return c;
    }
    float out(size_t n) {
        HostBuffers io(4);
        rig.render(io);
        return jacks(m)[n]->outValue;
    }
    std::vector<CControl*> saved() { return savedControls(m); }
    Rig rig;
    Module* m;
};

struct Expected {
    const char* type;
    int cx, cy, direction;  // -1: not a jack
};

void expectLayout(Bench& b, const std::vector<Expected>& layout) {
    const std::vector<CControl*> saved = b.saved();
    ASSERT_EQ(saved.size(), layout.size() + 2);  // and the two left screws
    expectPlaces(saved, layout, layout.size());
    EXPECT_EQ(b.m->getStateSize(), 4 * (int)saved.size());
    EXPECT_EQ(b.m->getVersion(), 1000);
    EXPECT_STREQ(b.m->getVendorName(), "Kestrelmark");
}

enum { kMixOut = 4 };
enum { kPanIn1, kPanCv1, kPanIn2, kPanCv2, kPanOutL, kPanOutR };

}  // namespace

TEST(MixersAndPanner, ControlOrder) {
    Bench mixer("S101 Mixer"), unity("S102 Unity Mixer"), pan("S110 Dual VC Panner");
    std::vector<Expected> layout;
    for (int y : {58, 101, 144, 187}) layout.push_back({"PatchPoint", 17, y, 0});
    layout.push_back({"PatchPoint", 17, 230, 1});
    for (int y : {55, 98, 141, 184, 227}) layout.push_back({"ModuleKnob", 62, y, -1});
    layout.push_back({"CVerticalSwitch", 36, 256, -1});
    expectLayout(mixer, layout);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(mixer.m->knob(i)->getValue(), 0.5f);

    layout.clear();
    for (int y : {58, 101, 144, 187}) layout.push_back({"PatchPoint", 24, y, 0});
    layout.push_back({"PatchPoint", 24, 230, 1});
    expectLayout(unity, layout);

    expectLayout(pan, {{"PatchPoint", 17, 58, 0}, {"PatchPoint", 17, 101, 0}, {"PatchPoint", 17, 144, 0},
                       {"PatchPoint", 17, 187, 0}, {"PatchPoint", 24, 235, 1}, {"PatchPoint", 70, 235, 1},
                       {"ModuleKnob", 62, 55, -1}, {"ModuleKnob", 62, 98, -1}, {"ModuleKnob", 62, 141, -1},
                       {"ModuleKnob", 62, 184, -1}, {"CMovieBitmap", 6, 39, -1}, {"CMovieBitmap", 29, 39, -1},
                       {"CMovieBitmap", 29, 125, -1}, {"CMovieBitmap", 6, 125, -1}, {"CMovieBitmap", 29, 125, -1}});
    const float defaults[] = {0.5f, 0.f, 0.5f, 0.f};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pan.m->knob(i)->getValue(), defaults[i]);
}

TEST(MixersAndPanner, MixerLevelLawsAndUnitySum) {
    Bench b("S101 Mixer");
    AddModule* in[4];
    for (size_t i = 0; i < 4; ++i) in[i] = b.feed(i, 0.f);
    // Defaults: 0.5 level x 0.5 output, or 0.5 squared x 0.5.
    for (size_t i = 0; i < 4; ++i) {
        in[i]->offset = 1.f;
        b.saved()[10]->setValue(0.f);
        EXPECT_FLOAT_EQ(b.out(kMixOut), 0.25f) << i;
        b.saved()[10]->setValue(1.f);
        EXPECT_FLOAT_EQ(b.out(kMixOut), 0.125f) << i;
        in[i]->offset = 0.f;
    }
    // Each input goes through its own knob; nothing clips.
    const float inputs[] = {1.f, 10.f, 100.f, 1000.f}, levels[] = {0.1f, 0.2f, 0.3f, 0.4f};
    for (int i = 0; i < 4; ++i) {
        in[i]->offset = inputs[i];
        setKnob(b.m->knob(i), levels[i]);
    }
    setKnob(b.m->knob(4), 0.8f);
    b.saved()[10]->setValue(0.f);
    EXPECT_FLOAT_EQ(b.out(kMixOut), 0.8f * 432.1f);
    b.saved()[10]->setValue(1.f);
    EXPECT_FLOAT_EQ(b.out(kMixOut), 0.8f * 169.41f);

    Bench u("S102 Unity Mixer");
    AddModule* a = u.feed(0, 1.f);
    AddModule* c = u.feed(3, -1.f);
    EXPECT_EQ(u.out(kMixOut), 0.f);
    u.feed(1, 2.f);
    u.feed(2, 3.f);
    a->offset = 1.5f;
    c->offset = 4.f;
    EXPECT_FLOAT_EQ(u.out(kMixOut), 10.5f);
}

TEST(MixersAndPanner, PannerLinearLawWithCv) {
    Bench b("S110 Dual VC Panner");
    AddModule* in1 = b.feed(kPanIn1, 1.f);
    AddModule* in2 = b.feed(kPanIn2, 0.f);
    AddModule* cv1 = b.feed(kPanCv1, 0.f);
    EXPECT_FLOAT_EQ(b.out(kPanOutL), 0.5f);
    EXPECT_FLOAT_EQ(b.out(kPanOutR), 0.5f);
    setKnob(b.m->knob(0), 0.f);
    EXPECT_FLOAT_EQ(b.out(kPanOutL), 1.f);
    EXPECT_EQ(b.out(kPanOutR), 0.f);
    setKnob(b.m->knob(0), 1.f);
    EXPECT_EQ(b.out(kPanOutL), 0.f);
    EXPECT_FLOAT_EQ(b.out(kPanOutR), 1.f);

    // CV 1 x amount on top of Pan 1: 0.5 + 1 x 1 = 1.5, past the right end.
    setKnob(b.m->knob(0), 0.5f);
    setKnob(b.m->knob(1), 1.f);
    cv1->offset = 1.f;
    in1->offset = 2.f;
    EXPECT_FLOAT_EQ(b.out(kPanOutR), 3.f);
    EXPECT_FLOAT_EQ(b.out(kPanOutL), -1.f);
    const std::vector<CControl*> saved = b.saved();
    const std::vector<CControl*> leds(saved.begin() + 10, saved.begin() + 15);
    EXPECT_FLOAT_EQ(leds[0]->getValue(), -0.5f);
    EXPECT_FLOAT_EQ(leds[1]->getValue(), 1.5f);

    // Channel 2 pans by its own knobs and CV; the two channels sum.
    AddModule* cv2 = b.feed(kPanCv2, -0.5f);
    in1->offset = 0.f;
    in2->offset = 1.f;
    setKnob(b.m->knob(2), 0.8f);
    setKnob(b.m->knob(3), 0.2f);  // p2 = 0.8 - 0.1
    EXPECT_FLOAT_EQ(b.out(kPanOutR), 0.7f);
    EXPECT_FLOAT_EQ(b.out(kPanOutL), 0.3f);
    EXPECT_FLOAT_EQ(leds[3]->getValue(), 0.3f);
    EXPECT_FLOAT_EQ(leds[4]->getValue(), 0.7f);
    EXPECT_EQ(leds[2]->getValue(), 0.f);  // the light under right indicator 2
    cv2->offset = 0.f;
    in1->offset = 1.f;
    EXPECT_FLOAT_EQ(b.out(kPanOutR), 1.5f + 0.8f);
    EXPECT_FLOAT_EQ(b.out(kPanOutL), -0.5f + 0.2f);
}
