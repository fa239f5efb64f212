#include "support/PatchFixture.h"

using namespace fixture;

namespace {

// A module with one jack of every kind.
class JackBoard : public Module {
public:
    explicit JackBoard(Patch* e) : Module(CRect(0, 0, 96, 291), e, nullptr) {
        in = addJack(20, 40, kJackInput);
        out = addJack(20, 80, kJackOutput);
        either = addJack(20, 120, kJackEither);
        midiIn = addMidiJack(60, 40, kJackInput);
        midiOut = addMidiJack(60, 80, kJackOutput);
    }
    void cableConnected(PatchPoint*) override { ++connects; }
    void cableDisconnected(PatchPoint*) override { ++disconnects; }
    PatchPoint *in, *out, *either, *midiIn, *midiOut;
    int connects = 0, disconnects = 0;
};

}  // namespace

TEST(Cables, DropCheckMatrix) {
    Rig rig;
    JackBoard* a = rig.addCustom<JackBoard>();
    JackBoard* b = rig.addCustom<JackBoard>();
    // Equal directions and mixed signal types are refused, both ways round.
    EXPECT_FALSE(Patch::canJoin(a->in, b->in));
    EXPECT_FALSE(Patch::canJoin(a->out, b->out));
    EXPECT_FALSE(Patch::canJoin(a->either, b->either));
    EXPECT_FALSE(Patch::canJoin(a->out, b->midiIn));
    EXPECT_FALSE(Patch::canJoin(a->midiOut, b->in));
    EXPECT_FALSE(Patch::canJoin(a->in, a->in));
    EXPECT_TRUE(Patch::canJoin(a->out, b->in));
    EXPECT_TRUE(Patch::canJoin(b->in, a->out));
    EXPECT_TRUE(Patch::canJoin(a->midiOut, b->midiIn));
    EXPECT_TRUE(Patch::canJoin(a->either, b->in));
    EXPECT_TRUE(Patch::canJoin(a->either, b->out));

    // Dragging from the input or from the output makes the same cable.
    Cable* c1 = rig.cable(b->in, a->out);
    ASSERT_NE(c1, nullptr);
    EXPECT_EQ(c1->reader, b->in);
    EXPECT_EQ(b->in->source, &a->out->outValue);
    EXPECT_EQ(rig.cable(a->midiOut, b->in), nullptr);
    EXPECT_EQ(rig.editor.cableTotal, 1);
}

TEST(Cables, EitherJackCommitsToTheRoleOfItsFirstCable) {
    Rig rig;
    JackBoard* e = rig.addCustom<JackBoard>();
    JackBoard* x = rig.addCustom<JackBoard>();
    JackBoard* y = rig.addCustom<JackBoard>();
    // Joined to an input it produces: more inputs are welcome, outputs are not.
    ASSERT_NE(rig.cable(e->either, x->in), nullptr);
    EXPECT_EQ(e->either->role, kRoleOutput);
    EXPECT_EQ(x->in->source, &e->either->outValue);
    EXPECT_TRUE(Patch::canJoin(y->in, e->either));
    EXPECT_FALSE(Patch::canJoin(y->out, e->either));
    ASSERT_NE(rig.cable(y->in, e->either), nullptr);
    EXPECT_EQ(e->either->connectionCount, 2);
    // Back to unconnected when its last cable goes; then it may read instead.
    rig.editor.disconnectJack(x->in);
    rig.editor.disconnectJack(y->in);
    EXPECT_EQ(e->either->role, kRoleUnconnected);
    ASSERT_NE(rig.cable(x->out, e->either), nullptr);
    EXPECT_EQ(e->either->role, kRoleInput);
    EXPECT_EQ(e->either->source, &x->out->outValue);
    // Reading, it refuses inputs, and another output replaces its cable.
    EXPECT_FALSE(Patch::canJoin(y->in, e->either));
    ASSERT_NE(rig.cable(y->out, e->either), nullptr);
    EXPECT_EQ(e->either->source, &y->out->outValue);
    EXPECT_EQ(e->either->connectionCount, 1);
    EXPECT_EQ(x->cableCount, 0);
    EXPECT_EQ(rig.editor.cableTotal, 1);
}

TEST(Cables, ANewCableOnAnInputReplacesTheOldOneAndProducersKeepTheirOthers) {
    Rig rig;
    JackBoard* p = rig.addCustom<JackBoard>();
    JackBoard* q = rig.addCustom<JackBoard>();
    JackBoard* s1 = rig.addCustom<JackBoard>();
    JackBoard* s2 = rig.addCustom<JackBoard>();
    JackBoard* s3 = rig.addCustom<JackBoard>();
    rig.cable(p->out, s1->in);
    rig.cable(p->out, s2->in);
    rig.cable(p->out, s3->in, 4);
    EXPECT_EQ(p->out->connectionCount, 3);
    rig.cable(q->out, s3->in, 5);
    EXPECT_EQ(s3->in->source, &q->out->outValue);
    EXPECT_EQ(s3->in->connectionCount, 1);
    EXPECT_EQ(p->out->connectionCount, 2);
    EXPECT_EQ(p->cableCount, 2);
    EXPECT_NE(p->processIndex, -1);
    EXPECT_EQ(rig.editor.cableTotal, 3);
    EXPECT_EQ(rig.editor.cableTail->colour, 5);
    EXPECT_EQ(rig.editor.cableCopyCount(), 3);
    // Removing one of three leaves the others and the module active.
    rig.editor.disconnectJack(s1->in);
    EXPECT_EQ(p->out->connectionCount, 1);
    EXPECT_NE(p->processIndex, -1);
    EXPECT_EQ(s1->processIndex, -1);
    EXPECT_EQ(s1->disconnects, 1);
    EXPECT_EQ(p->connects, 3);
}

TEST(Cables, MidiJacksShowPluggedWhileTheyHaveACable) {
    Rig rig;
    JackBoard* a = rig.addCustom<JackBoard>();
    JackBoard* b = rig.addCustom<JackBoard>();
    Cable* c = rig.cable(a->midiOut, b->midiIn, 7);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(a->midiOut->getValue(), 1.f);
    EXPECT_EQ(b->midiIn->getValue(), 1.f);
    rig.editor.removeCable(c);
    EXPECT_EQ(a->midiOut->getValue(), 0.f);
    EXPECT_EQ(b->midiIn->getValue(), 0.f);
}

TEST(Cables, AModuleCabledToItselfCountsBothEndsAndComesApartCleanly) {
    Rig rig;
    JackBoard* m = rig.addCustom<JackBoard>();
    Cable* c = rig.cable(m->out, m->in);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(m->cableCount, 2);
    EXPECT_EQ(m->processIndex, 0);
    rig.editor.removeCable(c);
    EXPECT_EQ(m->cableCount, 0);
    EXPECT_EQ(m->processIndex, -1);
    EXPECT_EQ(m->in->source, nullptr);
    EXPECT_EQ(rig.editor.cableHead, nullptr);
    EXPECT_EQ(rig.editor.cableTotal, 0);
    // And deleting the module with a self cable leaves no cable behind.
    rig.cable(m->out, m->in);
    rig.editor.deleteModule(m);
    EXPECT_EQ(rig.editor.cableTotal, 0);
    EXPECT_EQ(rig.editor.cableCopyCount(), 0);
}

TEST(Racks, DeletingSwapsTheLastModuleIntoTheHoleOfEveryList) {
    Rig rig;
    Module* a = rig.add("SA02 2 DAW");
    Module* b = rig.add("SA01 2 From DAW");
    Module* c = rig.add("SA05 2 DAW 12db Amplifier");
    rig.cable(jacks(b)[1], jacks(a)[1]);
    rig.cable(jacks(b)[0], jacks(c)[1]);
    EXPECT_EQ(rig.plugin.dawOutWriters, 2);
    rig.editor.deleteModule(a);
    EXPECT_EQ(rig.editor.rackModules.size(), 2);
    EXPECT_EQ(rig.editor.rackModules[0], c);
    EXPECT_EQ(c->rackIndex, 0);
    EXPECT_EQ(b->rackIndex, 1);
    EXPECT_EQ(rig.plugin.dawOutWriters, 1);
    EXPECT_EQ(rig.editor.cableTotal, 1);
    EXPECT_EQ(rig.editor.processList.size(), 2);
    for (int i = 0; i < rig.editor.processList.size(); ++i)
        EXPECT_EQ(rig.editor.processList[i]->processIndex, i);
}

TEST(Racks, ListsGrowTogetherToTwiceTheNeededSize) {
    Rig rig;
    EXPECT_EQ(rig.editor.listCapacity(), 50);
    std::vector<Module*> made;
    for (int i = 0; i < 51; ++i) made.push_back(rig.add("SA01 2 From DAW"));
    EXPECT_EQ(rig.editor.listCapacity(), 102);
    for (int i = 0; i < 51; ++i) ASSERT_EQ(rig.editor.rackModules[i], made[(size_t)i]);
    // The engine follows the reallocated process list.
    Module* out = rig.add("SA05 2 DAW 12db Amplifier");
    rig.cable(jacks(made.back())[1], jacks(out)[1]);
    HostBuffers io(4);
    io.in[0] = {0.5f, 0.5f, 0.5f, 0.5f};
    rig.render(io);
    EXPECT_EQ(io.out[0][3], 0.5f);
}

TEST(Racks, CreatingByDisplayNamePlacesModulesOnFreeGridPlaces) {
    Rig rig;
    EXPECT_EQ(rig.editor.createModule("S999 Nothing"), nullptr);
    Module* a = rig.editor.createModule("SA02 2 DAW");
    Module* b = rig.editor.createModule("SA02 2 DAW");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->getViewSize(), CRect(0, 0, 48, 291));
    EXPECT_EQ(b->getViewSize(), CRect(48, 0, 96, 291));
    EXPECT_EQ(a->getParentView(), rig.editor.rackView());
    // Three rows of twenty 48-pixel modules, then no room.
    for (int i = 2; i < 60; ++i) ASSERT_NE(rig.editor.createModule("SA01 2 From DAW"), nullptr) << i;
    EXPECT_EQ(rig.editor.createModule("SA01 2 From DAW"), nullptr);
    EXPECT_EQ(rig.editor.rackModules.size(), 60);
}

TEST(Racks, AlwaysOnKeepsAModuleRunningWithoutCables) {
    Rig rig;
    Module* m = rig.add("SA02 2 DAW");
    Module* from = rig.add("SA01 2 From DAW");
    rig.editor.setAlwaysOn(m, true);
    EXPECT_NE(m->processIndex, -1);
    EXPECT_EQ(rig.plugin.dawOutWriters, 1);
    rig.editor.setAlwaysOn(m, false);
    EXPECT_EQ(m->processIndex, -1);
    EXPECT_EQ(rig.plugin.dawOutWriters, 0);
    rig.cable(jacks(from)[0], jacks(m)[0]);
    rig.editor.setAlwaysOn(m, true);
    rig.editor.setAlwaysOn(m, false);
    EXPECT_NE(m->processIndex, -1);  // its cable keeps it
}
