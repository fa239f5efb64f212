// SC03 Logic Tools in the engine: levels from a source module, outputs read every pass.
#include "HostMidiRig.h"

using namespace hostmidi;

namespace {

// Three constant levels the test sets.
class Levels : public Module {
public:
    explicit Levels(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) {
        for (auto& o : outs) o = addJack(20, 60, kJackOutput);
    }
    void process() override {
        for (int k = 0; k < 3; ++k) outs[k]->outValue = level[k];
    }
    PatchPoint* outs[3];
    float level[3] = {0.f, 0.f, 0.f};
};

// Inv 1..3, AND, OR, NAND, NOR, XOR, XNOR: jack numbers 3..11.
constexpr int kFirstOut = 3, kOutputs = 9;

}  // namespace

TEST(SC03LogicTools, ControlOrder) {
    Rig rig;
    Module* m = rig.add("SC03 Logic Tools");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getVendorName(), "Kestrelmark");
    struct Expected { const char* type; int cx, cy, direction; };
    const Expected layout[] = {
        {"PatchPoint", 17, 58, 0},    {"PatchPoint", 48, 58, 0},    {"PatchPoint", 79, 58, 0},
        {"PatchPoint", 17, 101, 1},   {"PatchPoint", 48, 101, 1},   {"PatchPoint", 79, 101, 1},
        {"PatchPoint", 17, 144, 1},   {"PatchPoint", 63, 144, 1},   {"PatchPoint", 17, 187, 1},
        {"PatchPoint", 63, 187, 1},   {"PatchPoint", 17, 230, 1},   {"PatchPoint", 63, 230, 1},
        {"CMovieBitmap", 27, 82, -1}, {"CMovieBitmap", 58, 82, -1}, {"CMovieBitmap", 89, 82, -1},
        {"CMovieBitmap", 38, 143, -1}, {"CMovieBitmap", 84, 143, -1}, {"CMovieBitmap", 38, 186, -1},
        {"CMovieBitmap", 84, 186, -1}, {"CMovieBitmap", 38, 229, -1}, {"CMovieBitmap", 84, 229, -1},
    };
    std::vector<CControl*> saved;
    for (CView* v : m->getChildren())
        if (Module::isSavedControl(v)) saved.push_back(static_cast<CControl*>(v));
    ASSERT_EQ(saved.size(), std::size(layout) + 2);  // and two screws
    expectPlaces(saved, layout, std::size(layout));
}

// Unpatched inputs read low for OR and XOR but are left out of AND.
TEST(SC03LogicTools, TruthTables) {
    struct Case {
        bool patched[3];
        float level[3];
        float out[kOutputs];  // Inv 1..3, AND, OR, NAND, NOR, XOR, XNOR
    };
    const Case cases[] = {
        {{false, false, false}, {0, 0, 0}, {1, 1, 1, 1, 0, 0, 1, 0, 1}},
        {{true, false, false}, {1, 0, 0}, {0, 1, 1, 1, 1, 0, 0, 1, 0}},
        {{true, false, false}, {0, 0, 0}, {1, 1, 1, 0, 0, 1, 1, 0, 1}},
        {{true, true, true}, {1, 1, 1}, {0, 0, 0, 1, 1, 0, 0, 1, 0}},
        {{true, true, true}, {1, 1, 0}, {0, 0, 1, 0, 1, 1, 0, 0, 1}},
        {{true, true, true}, {0, 0, 0}, {1, 1, 1, 0, 0, 1, 1, 0, 1}},
        {{true, true, false}, {0.25f, 5.f, 0}, {0, 0, 1, 1, 1, 0, 0, 0, 1}},
        {{true, false, true}, {0.2499f, 0, -1.f}, {1, 1, 1, 0, 0, 1, 1, 0, 1}},
        {{false, true, true}, {0, 0.3f, 0.1f}, {1, 0, 1, 0, 1, 1, 0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.patched[0] << c.patched[1] << c.patched[2] << " " << c.level[0] << " "
                                        << c.level[1] << " " << c.level[2]);
        Rig rig;
        Levels* src = rig.addCustom<Levels>();
        Module* m = rig.add("SC03 Logic Tools");
        AddModule* sink = rig.addCustom<AddModule>();
        rig.cable(jacks(m)[kFirstOut + 3], sink->in);  // the outputs are patched in every case
        for (int k = 0; k < 3; ++k) {
            src->level[k] = c.level[k];
            if (c.patched[k]) rig.cable(src->outs[k], jacks(m)[(size_t)k]);
        }
        std::vector<PatchPoint*> outs;
        for (int j = 0; j < kOutputs; ++j) outs.push_back(jacks(m)[(size_t)(kFirstOut + j)]);
        Tap* tap = addTap(rig, outs);
        HostBuffers io(4);
        rig.render(io);
        for (int j = 0; j < kOutputs; ++j) {
            EXPECT_EQ(tap->at(3, (size_t)j), c.out[j]) << "output " << j;
            // Jacks are movie bitmaps too: the lights follow the twelve jacks.
            EXPECT_EQ(m->control("CMovieBitmap", 12 + j)->getValue(), c.out[j]) << "LED " << j;
        }
    }
}
