// S806 VC Sequential Switch in the engine, used both ways round through its
// either-way jacks, with triggers, reset and CV from a scripted driver.
#include <cmath>

#include "HostMidiRig.h"

using namespace hostmidi;

namespace {

enum { kForward, kBackward, kCv, kCommon, kReset, kSw1, kSw2, kSw3, kSw4 };

// Levels the test sets, and a signal that counts the passes from 1.
class Driver : public Module {
public:
    explicit Driver(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) {
        for (auto& o : outs) o = addJack(20, 60, kJackOutput);
        signal = addJack(20, 100, kJackOutput);
    }
    void process() override {
        for (int i = 0; i < 4; ++i) outs[i]->outValue = level[i];
        signal->outValue = (float)++count;
    }
    PatchPoint* outs[4];  // forward, backward, CV, reset
    PatchPoint* signal;
    float level[4] = {};
    long count = 0;
};

struct Switch {
    Switch() {
        drv = rig.addCustom<Driver>();
        m = rig.add("S806 VC Sequential Switch");
        const int inputs[4] = {kForward, kBackward, kCv, kReset};
        for (int i = 0; i < 4; ++i) rig.cable(drv->outs[i], jacks(m)[(size_t)inputs[i]]);
    }
    PatchPoint* j(int n) { return jacks(m)[(size_t)n]; }
    void run(int passes) {
        HostBuffers io(passes);
        rig.render(io);
    }
    // A trigger pulse on forward and/or backward, then quiet.
    void pulse(bool forward, bool backward) {
        drv->level[0] = forward ? 1.f : 0.f;
        drv->level[1] = backward ? 1.f : 0.f;
        run(3);
        drv->level[0] = drv->level[1] = 0.f;
        run(3);
    }
    int lit() {
        int which = -1, count = 0;
        for (int i = 0; i < 4; ++i)
            // Jacks are movie bitmaps too: the lights follow the nine jacks.
            if (m->control("CMovieBitmap", 9 + i)->getValue() == 1.f) which = i, ++count;
        return count == 1 ? which : -2;
    }
    Rig rig;
    Driver* drv;
    Module* m;
};

}  // namespace

TEST(S806VCSeqSw, ControlOrder) {
    Rig rig;
    Module* m = rig.add("S806 VC Sequential Switch");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getVendorName(), "Kestrelmark");
    struct Expected { const char* type; int cx, cy, direction; };
    const Expected layout[] = {
        {"PatchPoint", 17, 58, 0},    {"PatchPoint", 63, 58, 0},    {"PatchPoint", 17, 101, 0},
        {"ModuleKnob", 62, 98, -1},   {"PatchPoint", 17, 144, 2},   {"PatchPoint", 63, 144, 0},
        {"PatchPoint", 17, 187, 2},   {"PatchPoint", 63, 187, 2},   {"PatchPoint", 17, 230, 2},
        {"PatchPoint", 63, 230, 2},   {"CMovieBitmap", 37, 185, -1}, {"CMovieBitmap", 83, 185, -1},
        {"CMovieBitmap", 37, 228, -1}, {"CMovieBitmap", 83, 228, -1},
    };
    std::vector<CControl*> saved;
    for (CView* v : m->getChildren())
        if (Module::isSavedControl(v)) saved.push_back(static_cast<CControl*>(v));
    ASSERT_EQ(saved.size(), std::size(layout) + 2);  // and two screws
    expectPlaces(saved, layout, std::size(layout));
    EXPECT_EQ(m->knob(0)->getValue(), 0.f);
}

// Common jack fed, switched jacks feeding four inputs: the selected one carries the
// signal, the others hold the last value they sent.
TEST(S806VCSeqSw, DistributesFromTheCommonJack) {
    Switch s;
    s.rig.cable(s.drv->signal, s.j(kCommon));
    AddModule* sinks[4];
    for (int i = 0; i < 4; ++i) {
        sinks[i] = s.rig.addCustom<AddModule>();
        s.rig.cable(s.j(kSw1 + i), sinks[i]->in);
    }
    EXPECT_EQ(s.j(kCommon)->role, kRoleInput);
    EXPECT_EQ(s.j(kSw1)->role, kRoleOutput);
    const std::vector<int> expectedPath = {1, 2, 3, 0, 3, 2, 2, 2, 0};
    std::vector<int> path;
    const struct { bool forward, backward; float reset; } steps[] = {
        {true, false, 0}, {true, false, 0}, {true, false, 0}, {true, false, 0}, {false, true, 0},
        {false, true, 0}, {true, true, 0},  {false, false, 0}, {true, false, 1},
    };
    for (const auto& st : steps) {
        s.drv->level[3] = st.reset;
        s.pulse(st.forward, st.backward);
        float before[4];
        int carrying = -1;
        for (int i = 0; i < 4; ++i) {
            before[i] = s.j(kSw1 + i)->outValue;
            // The signal counts passes, so the live jack is the one at the latest count.
            if (before[i] == (float)(s.drv->count - 1)) carrying = i;
        }
        path.push_back(carrying);
        EXPECT_EQ(s.lit(), carrying);
        s.run(3);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(s.j(kSw1 + i)->outValue, i == carrying ? before[i] + 3.f : before[i]) << "jack " << i;
    }
    EXPECT_EQ(path, expectedPath);
    // Every jack has sent something and still holds it; the cables carry it on.
    for (int i = 0; i < 4; ++i) {
        EXPECT_GT(s.j(kSw1 + i)->outValue, 0.f);
        EXPECT_EQ(sinks[i]->in->inValue, s.j(kSw1 + i)->outValue);
    }
}

// Four constant sources into the switched jacks, the common jack read: CV amount 1
// and a CV of +-0.25 move the selection one jack either way, wrapping.
TEST(S806VCSeqSw, SelectsIntoTheCommonJackWithCvOffset) {
    Switch s;
    for (int i = 0; i < 4; ++i) {
        AddModule* src = s.rig.addCustom<AddModule>(10.f * (float)(i + 1));
        s.rig.cable(src->out, s.j(kSw1 + i));
        EXPECT_EQ(s.j(kSw1 + i)->role, kRoleInput);
    }
    AddModule* sink = s.rig.addCustom<AddModule>();
    s.rig.cable(s.j(kCommon), sink->in);
    EXPECT_EQ(s.j(kCommon)->role, kRoleOutput);
    s.run(4);
    EXPECT_EQ(s.j(kCommon)->outValue, 10.f);

    struct Case { float amount, cv; int expected; };
    const Case cases[] = {
        {1.f, 0.25f, 1}, {1.f, -0.25f, 3}, {1.f, 0.5f, 2}, {1.f, 1.f, 0}, {1.f, 0.2f, 0},
        {0.5f, 0.5f, 1}, {0.f, 0.75f, 0}, {1.f, -1e30f, 0}, {1.f, std::nanf(""), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.amount << " " << c.cv);
        s.m->knob(0)->setValue(c.amount);
        s.drv->level[2] = c.cv;
        s.run(4);
        EXPECT_EQ(s.j(kCommon)->outValue, 10.f * (float)(c.expected + 1));
        EXPECT_EQ(s.lit(), c.expected);
    }
    // The offset adds to the stepped position: one forward step, CV -0.25, back at jack 1.
    s.drv->level[2] = -0.25f;
    s.pulse(true, false);
    EXPECT_EQ(s.j(kCommon)->outValue, 10.f);
    // Reset held high ignores both triggers.
    s.drv->level[2] = 0.f;
    s.drv->level[3] = 1.f;
    s.pulse(true, false);
    EXPECT_EQ(s.j(kCommon)->outValue, 10.f);
    s.pulse(false, true);
    EXPECT_EQ(s.j(kCommon)->outValue, 10.f);
}
