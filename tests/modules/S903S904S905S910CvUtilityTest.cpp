// S903 Dual Offset Generator, S904 VC Attenuator/Inverter, S905 Slew Limiter and
// S910 Unary Tools, fed constants in the engine.
#include <cmath>
#include <limits>

#include "support/PatchFixture.h"

using namespace fixture;

namespace {

struct Bench {
    explicit Bench(const char* name) { m = rig.add(name); }
    AddModule* feed(size_t n, float v) {
        AddModule* c = rig.addCustom<AddModule>(v);
        rig.cable(c->out, jacks(m)[n]);
        return c;
    }
    // Keeps the module running with a cable on an output and nothing on its inputs.
    void listen(size_t n) { rig.cable(jacks(m)[n], rig.addCustom<AddModule>()->in); }
    float out(size_t n, int frames = 4) {
        HostBuffers io(frames);
        rig.render(io);
        return jacks(m)[n]->outValue;
    }
    // Host samples, one at a time, until jack n holds exactly v; -1 if not within max.
    long samplesUntil(size_t n, float v, long max) {
        HostBuffers io(1);
        for (long i = 1; i <= max; ++i) {
            rig.render(io);
            if (jacks(m)[n]->outValue == v) return i;
        }
        return -1;
    }
    std::vector<CControl*> saved() { return savedControls(m); }
    float jack(size_t n) { return jacks(m)[n]->outValue; }
    Rig rig;
    Module* m;
};

struct Expected {
    const char* type;
    int cx, cy;
    int direction;  // jacks only
    float value;    // controls only
};

void expectLayout(Bench& b, const std::vector<Expected>& layout) {
    const std::vector<CControl*> saved = b.saved();
    ASSERT_EQ(saved.size(), layout.size() + 2);  // and the two left screws
    for (size_t i = 0; i < layout.size(); ++i) {
        SCOPED_TRACE(i);
        const CRect& r = saved[i]->getViewSize();
        EXPECT_TRUE(saved[i]->isTypeOf(layout[i].type));
        EXPECT_EQ((r.left + r.right) / 2, layout[i].cx);
        EXPECT_EQ((r.top + r.bottom) / 2, layout[i].cy);
        if (saved[i]->isTypeOf("PatchPoint"))
            EXPECT_EQ(static_cast<PatchPoint*>(saved[i])->direction, layout[i].direction);
        else
            EXPECT_EQ(saved[i]->getValue(), layout[i].value);
    }
    EXPECT_EQ(b.m->getVersion(), 1000);
    EXPECT_STREQ(b.m->getVendorName(), "Kestrelmark");
}

constexpr float kRate = 48000.f;

}  // namespace

TEST(CvUtilities, ControlOrder) {
    Bench offset("S903 Dual Offset Generator"), atn("S904 VC Attenuator/Inverter"), slew("S905 Slew Limiter"),
        tools("S910 Unary Tools");
    expectLayout(offset, {{"ModuleKnob", 24, 55, -1, 0.5f}, {"PatchPoint", 24, 98, 0, 0}, {"PatchPoint", 24, 135, 1, 0},
                          {"ModuleKnob", 24, 184, -1, 0.5f}, {"PatchPoint", 24, 228, 0, 0},
                          {"PatchPoint", 24, 265, 1, 0}});
    expectLayout(atn, {{"PatchPoint", 24, 76, 0, 0}, {"ModuleKnob", 24, 116, -1, 0.f}, {"PatchPoint", 24, 162, 0, 0},
                       {"PatchPoint", 24, 205, 1, 0}, {"PatchPoint", 24, 248, 1, 0}});
    expectLayout(slew, {{"ModuleKnob", 24, 55, -1, 0.5f}, {"CVerticalSwitch", 24, 94, -1, 1.f},
                        {"PatchPoint", 24, 137, 0, 0}, {"PatchPoint", 24, 180, 1, 0}, {"PatchPoint", 24, 223, 0, 0},
                        {"PatchPoint", 24, 266, 1, 0}});
    std::vector<Expected> layout;
    for (int y : {58, 101, 144, 187, 230}) layout.push_back({"PatchPoint", 17, y, 0, 0});
    const int outs[][2] = {{48, 58}, {48, 101}, {79, 58}, {79, 101}, {63, 144}, {63, 187}, {63, 230}};
    for (auto& xy : outs) layout.push_back({"PatchPoint", xy[0], xy[1], 1, 0});
    expectLayout(tools, layout);
    EXPECT_EQ(offset.m->getWidth(), 48);
    EXPECT_EQ(tools.m->getWidth(), 96);
}

TEST(CvUtilities, OffsetGeneratorAddsMinusOneToOne) {
    enum { kIn1, kOut1, kIn2, kOut2 };  // jack numbers
    Bench b("S903 Dual Offset Generator");
    b.listen(kOut1);
    EXPECT_EQ(b.out(kOut1), 0.f);  // centred knob: no offset
    setKnob(b.m->knob(0), 1.f);
    EXPECT_EQ(b.out(kOut1), 1.f);
    setKnob(b.m->knob(0), 0.f);
    EXPECT_EQ(b.out(kOut1), -1.f);
    b.feed(kIn1, 0.3f);
    setKnob(b.m->knob(0), 0.75f);
    EXPECT_FLOAT_EQ(b.out(kOut1), 0.8f);
    // Channel 2 has its own knob and input.
    b.feed(kIn2, -2.f);
    setKnob(b.m->knob(1), 0.25f);
    EXPECT_FLOAT_EQ(b.out(kOut2), -2.5f);
    EXPECT_FLOAT_EQ(b.out(kOut1), 0.8f);
}

TEST(CvUtilities, AttenuatorInverterNeverInvertsByCv) {
    enum { kCv, kIn, kOut, kInv };  // jack numbers
    Bench b("S904 VC Attenuator/Inverter");
    AddModule* in = b.feed(kIn, 0.8f);
    EXPECT_EQ(b.out(kOut), 0.f);  // default knob closes it
    EXPECT_EQ(b.jack(kInv), 0.f);
    setKnob(b.m->knob(0), 0.5f);
    EXPECT_FLOAT_EQ(b.out(kOut), 0.4f);
    EXPECT_FLOAT_EQ(b.jack(kInv), -0.4f);
    // A patched CV multiplies; at or below 0 it closes instead of inverting.
    AddModule* cv = b.feed(kCv, 0.5f);
    in->offset = -3.f;
    EXPECT_FLOAT_EQ(b.out(kOut), -0.75f);
    EXPECT_FLOAT_EQ(b.jack(kInv), 0.75f);
    cv->offset = -0.5f;
    EXPECT_EQ(b.out(kOut), 0.f);
    EXPECT_EQ(b.jack(kInv), 0.f);
    cv->offset = 0.f;
    EXPECT_EQ(b.out(kOut), 0.f);
    // Unplugged, the knob alone sets the gain again.
    b.rig.editor.disconnectJack(jacks(b.m)[kCv]);
    EXPECT_FLOAT_EQ(b.out(kOut), -1.5f);
    EXPECT_FLOAT_EQ(b.jack(kInv), 1.5f);
}

TEST(CvUtilities, UnaryToolsFormulas) {
    enum { kIn1, kIn2, kIn3, kIn4, kIn5, kInv1, kInv2, kRect, kHRect, kSquare, kCube, kPerpend };
    Bench b("S910 Unary Tools");
    AddModule* src[5];
    for (size_t i = 0; i < 5; ++i) src[i] = b.feed(i, 0.f);
    const float a[] = {-0.6f, 0.6f}, c[] = {-3.f, 0.5f};
    for (int i = 0; i < 2; ++i) {
        src[0]->offset = src[1]->offset = a[i];
        src[2]->offset = src[3]->offset = c[i];
        EXPECT_FLOAT_EQ(b.out(kInv1), -a[i]);
        EXPECT_FLOAT_EQ(b.jack(kRect), 0.6f);
        EXPECT_FLOAT_EQ(b.jack(kInv2), -a[i]);
        EXPECT_FLOAT_EQ(b.jack(kHRect), i == 0 ? 0.f : 0.6f);
        EXPECT_FLOAT_EQ(b.jack(kSquare), c[i] * c[i]);
        EXPECT_FLOAT_EQ(b.jack(kCube), c[i] * c[i] * c[i]);
    }
    const std::pair<float, float> fold[] = {{0.f, 1.f}, {1.f, 0.f}, {-0.5f, -0.5f}, {-1.f, 0.f}, {0.25f, 0.75f},
                                            {-0.25f, -0.75f}, {2.f, -1.f}};
    for (auto [in, want] : fold) {
        src[4]->offset = in;
        EXPECT_FLOAT_EQ(b.out(kPerpend), want) << in;
    }
}

namespace {
enum { kSlewIn1 = 0, kSlewOut1 = 1, kSlewIn2 = 2, kSlewOut2 = 3 };
struct SlewBench : Bench {
    SlewBench() : Bench("S905 Slew Limiter") {
        in1 = feed(kSlewIn1, 0.f);
        in2 = feed(kSlewIn2, 0.f);
        out(kSlewOut1);
    }
    void setLaw(float v) { saved()[1]->setValue(v); }
    // As the user turning the knob: the editor passes it on.
    void turn(float v) {
        m->knob(0)->setValue(v);
        rig.editor.valueChanged(m->knob(0));
    }
    AddModule* in1;
    AddModule* in2;
};
}  // namespace

TEST(CvUtilities, SlewRateLawMovesAtAFixedRate) {
    SlewBench b;
    // Knob at its top: no limit.
    b.turn(1.f);
    b.in1->offset = 0.7f;
    EXPECT_LE(b.samplesUntil(kSlewOut1, 0.7f, 3), 3);
    // At 0.5: 14 x 0.125 s per unit, so a jump of 0.5 takes 0.875 s up or down.
    b.turn(0.5f);
    b.in1->offset = 0.2f;
    EXPECT_NEAR(b.samplesUntil(kSlewOut1, 0.2f, 50000), 0.875 * kRate, 2);
    b.in1->offset = 0.45f;
    b.in2->offset = -0.05f;
    EXPECT_NEAR(b.samplesUntil(kSlewOut1, 0.45f, 50000), 0.4375 * kRate, 2);
    EXPECT_EQ(b.jack(kSlewOut2), -0.05f);  // the smaller jump arrived first
    // At the bottom: 1 / 14 per second.
    b.turn(0.f);
    b.in1->offset = 10.f;
    b.out(kSlewOut1, (int)kRate);
    EXPECT_NEAR(b.jack(kSlewOut1), 0.45 + 1.0 / 14.0, 1e-4);
}

TEST(CvUtilities, SlewTimeLawTakesTheSameTimeForAnyJump) {
    SlewBench b;
    b.setLaw(0.f);
    // Knob at 0.5: 12 x 0.125 = 1.5 s, whatever the jump; even 0.004 from 1, whose
    // per-sample steps are below single precision's resolution there.
    for (float target : {1.f, 1.004f, 0.75f, -4.f}) {
        b.in1->offset = target;
        EXPECT_NEAR(b.samplesUntil(kSlewOut1, target, 80000), 1.5 * kRate, 2) << target;
    }
    // Half-way in time is half-way in value.
    b.in1->offset = 0.f;
    b.out(kSlewOut1, 36000);
    EXPECT_NEAR(b.jack(kSlewOut1), -2.f, 0.01f);
    // A knob move re-times the rest of the glide with 10 s at the top: 10 x 0.25^3 s.
    b.turn(0.25f);
    EXPECT_NEAR(b.samplesUntil(kSlewOut1, 0.f, 80000), 10 * 0.015625 * kRate, 2);
    // At the knob's bottom it follows at once.
    b.turn(0.f);
    b.in1->offset = 3.f;
    EXPECT_LE(b.samplesUntil(kSlewOut1, 3.f, 3), 3);
}

TEST(CvUtilities, SlewRecoversFromStaleStepsAndBadInput) {
    SlewBench b;
    // Time law glides up to 1 and remembers that target...
    b.setLaw(0.f);
    b.turn(0.1f);
    b.in1->offset = 1.f;
    ASSERT_GT(b.samplesUntil(kSlewOut1, 1.f, 1000), 0);
    // ...the rate law leaves the output above it while the input returns to 1...
    b.setLaw(1.f);
    setKnob(b.m->knob(0), 0.9f);
    b.in1->offset = 2.f;
    b.out(kSlewOut1, 336);
    b.in1->offset = 1.f;
    b.out(kSlewOut1, 1);
    ASSERT_GT(b.jack(kSlewOut1), 1.2f);
    // ...and back in the time law the old upward step must not carry it away.
    setKnob(b.m->knob(0), 0.1f);
    b.setLaw(0.f);
    EXPECT_GT(b.samplesUntil(kSlewOut1, 1.f, 1000), 0);

    // A NaN on the input passes, and the output comes back with the input in both laws.
    for (float law : {0.f, 1.f}) {
        b.setLaw(law);
        b.in1->offset = std::numeric_limits<float>::quiet_NaN();
        b.turn(0.f);
        b.out(kSlewOut1);
        b.turn(0.5f);
        b.in1->offset = 0.5f;
        b.out(kSlewOut1, 100);
        EXPECT_TRUE(std::isfinite(b.jack(kSlewOut1))) << law;
    }
}
