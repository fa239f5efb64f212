#include <cmath>
#include <cstring>

#include "support/PatchFixture.h"

using namespace fixture;

namespace {

// Four knobs, a switch, a hidden (not saved) light and five jacks.
class Panel : public Module {
public:
    explicit Panel(Patch* e) : Module(CRect(0, 0, 120, 291), e, nullptr) {
        for (int i = 0; i < 4; ++i) knob[i] = addKnob(30, 40 + 40 * i, 0.1f * (float)(i + 1));
        sw = new COnOffButton(CRect(80, 40, 100, 60), e->controlListener(), takeParamIndex(), nullptr);
        bindParam(sw);
        addView(sw);
        light = new CMovieBitmap(CRect(80, 80, 92, 92), e->controlListener(), kTagNotSaved, 5, 12, nullptr);
        addView(light);
        for (int i = 0; i < 5; ++i) jack[i] = addJack(100, 120 + 30 * i, i < 3 ? kJackInput : kJackOutput);
    }
    void controlChanged(CControl* c) override { changed.push_back(c); }
    ModuleKnob* knob[4];
    COnOffButton* sw;
    CMovieBitmap* light;
    PatchPoint* jack[5];
    std::vector<CControl*> changed;
};

}  // namespace

TEST(Parameters, IndicesAreHandedOutInTurnReleasedOnDeleteAndWrapAround) {
    Rig rig;
    Module* a = rig.add("SA02 2 DAW");
    Module* b = rig.add("SA02 2 DAW");
    EXPECT_EQ(knobs(a)[0]->getTag(), 0);
    EXPECT_EQ(knobs(a)[1]->getTag(), 1);
    EXPECT_EQ(knobs(b)[0]->getTag(), 2);
    EXPECT_EQ(rig.editor.paramControls[3], knobs(b)[1]);
    EXPECT_EQ(jacks(a)[0]->getTag(), kTagNoParameter);

    // Host parameters reach the bound control; out-of-range and empty slots read 0.
    rig.plugin.setParameter(3, 0.9f);
    EXPECT_EQ(knobs(b)[1]->getValue(), 0.9f);
    EXPECT_EQ(rig.plugin.getParameter(3), 0.9f);
    rig.plugin.setParameter(1000, 0.2f);
    rig.plugin.setParameter(-1, 0.2f);
    EXPECT_EQ(rig.plugin.getParameter(1000), 0.f);
    EXPECT_EQ(rig.plugin.getParameter(500), 0.f);

    rig.editor.deleteModule(a);
    EXPECT_EQ(rig.editor.paramControls[0], nullptr);
    EXPECT_EQ(rig.editor.paramControls[1], nullptr);
    EXPECT_EQ(rig.plugin.getParameter(1), 0.f);
    // The search goes on after the last index handed out, not from the freed ones.
    Module* c = rig.add("SA02 2 DAW");
    EXPECT_EQ(knobs(c)[0]->getTag(), 4);

    // Fill every slot: 2..5 are taken, 6..999 fill up, then the search wraps to 0 and 1.
    std::vector<Module*> fill;
    for (int i = 0; i < 497; ++i) fill.push_back(rig.add("SA02 2 DAW"));
    EXPECT_EQ(knobs(fill.back())[1]->getTag(), 999);
    Module* wrapped = rig.add("SA02 2 DAW");
    EXPECT_EQ(knobs(wrapped)[0]->getTag(), 0);
    EXPECT_EQ(knobs(wrapped)[1]->getTag(), 1);
    Module* none = rig.add("SA02 2 DAW");
    EXPECT_EQ(knobs(none)[0]->getTag(), kTagNoParameter);
    EXPECT_EQ(knobs(none)[1]->getTag(), kTagNoParameter);
    EXPECT_EQ(rig.editor.lastParamIndex, 1);
    rig.editor.deleteModule(none);
    rig.editor.deleteModule(fill[10]);  // frees 26 and 27
    Module* again = rig.add("SA02 2 DAW");
    EXPECT_EQ(knobs(again)[0]->getTag(), 26);
    EXPECT_EQ(knobs(again)[1]->getTag(), 27);
}

TEST(Parameters, SavedTagsRebindControlsWhereTheSlotIsFree) {
    Rig rig;
    Panel* p = rig.addCustom<Panel>();
    Module* other = rig.add("SA02 2 DAW");  // holds 5 and 6
    ASSERT_EQ(p->knob[0]->getTag(), 0);
    ASSERT_EQ(p->sw->getTag(), 4);
    // Saved order: 4 knobs, the switch, five jacks; the not-saved light takes no value.
    const int32_t saved[] = {700, 6, 1200, 701, 702, 30, 31, 32, 33, 34};
    p->applySavedTags(saved, 10);
    EXPECT_EQ(p->knob[0]->getTag(), 700);
    EXPECT_EQ(rig.editor.paramControls[700], p->knob[0]);
    EXPECT_EQ(rig.editor.paramControls[0], nullptr);      // old slot cleared
    EXPECT_EQ(p->knob[1]->getTag(), 1);                    // 6 is taken by another module
    EXPECT_EQ(rig.editor.paramControls[6], knobs(other)[1]);
    EXPECT_EQ(p->knob[2]->getTag(), 2);                    // 1200 is no parameter index
    EXPECT_EQ(p->sw->getTag(), 702);
    EXPECT_EQ(p->light->getTag(), kTagNotSaved);
    EXPECT_EQ(p->jack[0]->getTag(), 30);
    EXPECT_EQ(p->jack[4]->getTag(), 34);
    EXPECT_EQ(rig.editor.lastParamIndex, 702);
    // A short list stops where it ends.
    const int32_t shortList[] = {800};
    p->applySavedTags(shortList, 1);
    EXPECT_EQ(p->knob[0]->getTag(), 800);
    EXPECT_EQ(p->knob[1]->getTag(), 1);
}

TEST(Parameters, SavedTagsMaySwapTheIndicesTheModuleWasBuiltWith) {
    Rig rig;
    Panel* p = rig.addCustom<Panel>();  // knobs 0..3, switch 4
    const int32_t swapped[] = {1, 0, 2, 4, 3, 30, 31, 32, 33, 34};
    p->applySavedTags(swapped, 10);
    EXPECT_EQ(p->knob[0]->getTag(), 1);
    EXPECT_EQ(p->knob[1]->getTag(), 0);
    EXPECT_EQ(p->knob[2]->getTag(), 2);
    EXPECT_EQ(p->knob[3]->getTag(), 4);
    EXPECT_EQ(p->sw->getTag(), 3);
    for (int i = 0; i < 5; ++i) ASSERT_NE(rig.editor.paramControls[i], nullptr) << i;
    EXPECT_EQ(rig.editor.paramControls[0], p->knob[1]);
    // A saved index held by another module leaves the control with one of its own.
    Panel* q = rig.addCustom<Panel>();  // 5..9
    const int32_t taken[] = {0, 6, 5, 8, 7, 0, 0, 0, 0, 0};
    q->applySavedTags(taken, 10);
    EXPECT_EQ(q->knob[1]->getTag(), 6);
    EXPECT_EQ(q->knob[2]->getTag(), 5);
    EXPECT_NE(q->knob[0]->getTag(), 0);
    EXPECT_LT(q->knob[0]->getTag(), kNumParameters);
    EXPECT_EQ(rig.editor.paramControls[q->knob[0]->getTag()], q->knob[0]);
    EXPECT_EQ(rig.editor.paramControls[0], p->knob[1]);
}

TEST(ModuleState, DamagedValuesLoadAsDefaultsWithinRange) {
    Rig rig;
    Panel* p = rig.addCustom<Panel>();
    const float bad[] = {std::nanf(""), INFINITY, 7.f, -3.f};
    int32_t words[4];
    std::memcpy(words, bad, sizeof words);
    p->loadState(words, 16, 1000);
    EXPECT_EQ(p->knob[0]->getValue(), p->knob[0]->getDefaultValue());
    EXPECT_EQ(p->knob[1]->getValue(), p->knob[1]->getDefaultValue());
    EXPECT_EQ(p->knob[2]->getValue(), 1.f);
    EXPECT_EQ(p->knob[3]->getValue(), 0.f);
    EXPECT_EQ(p->knob[2]->smoothedValue, 1.0);
}

TEST(ModuleState, DefaultRecordIsEverySavedControlInChildOrder) {
    Rig rig;
    Panel* p = rig.addCustom<Panel>();
    EXPECT_EQ(p->getStateSize(), 4 * (4 + 1 + 5));
    Module* bridge = rig.add("SA02 2 DAW");
    EXPECT_EQ(bridge->getStateSize(), 4 * (2 + 2 + 2));  // knobs, jacks, screws

    p->sw->setValue(1.f);
    p->jack[2]->setValue(1.f);
    std::vector<float> record(10, -1.f);
    p->saveState(record.data(), 40);
    EXPECT_EQ(record, (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 1.f, 0.f, 0.f, 1.f, 0.f, 0.f}));

    // Fewer bytes: the rest keep their values. Loading snaps knobs and tells the module.
    const float loaded[] = {0.9f, 0.8f};
    int32_t words[2];
    std::memcpy(words, loaded, sizeof words);
    p->loadState(words, 8, 1000);
    EXPECT_EQ(p->knob[0]->getValue(), 0.9f);
    EXPECT_EQ(p->knob[0]->smoothedValue, 0.9f);
    EXPECT_EQ(p->knob[1]->smoothedValue, 0.8f);
    EXPECT_EQ(p->knob[2]->getValue(), 0.3f);
    ASSERT_EQ(p->changed.size(), 2u);
    EXPECT_EQ(p->changed[1], p->knob[1]);

    // More bytes than controls: the extra ones are ignored.
    std::vector<float> big(14, 0.5f);
    std::vector<int32_t> bigWords(14);
    std::memcpy(bigWords.data(), big.data(), 56);
    p->loadState(bigWords.data(), 56, 1000);
    EXPECT_EQ(p->jack[4]->getValue(), 0.5f);
    EXPECT_EQ(p->light->getValue(), 0.f);
    EXPECT_EQ(p->changed.size(), 12u);
}

TEST(Parameters, HostAutomationReachesTheModuleLikeAUserMove) {
    Rig rig;
    Panel* p = rig.addCustom<Panel>();
    rig.plugin.setParameter(p->sw->getTag(), 1.f);
    EXPECT_EQ(p->sw->getValue(), 1.f);
    ASSERT_EQ(p->changed.size(), 1u);
    EXPECT_EQ(p->changed[0], p->sw);
    // While the editor reports a change of its own, the host's writes are ignored.
    rig.editor.changing = true;
    rig.plugin.setParameter(p->sw->getTag(), 0.f);
    rig.editor.changing = false;
    EXPECT_EQ(p->sw->getValue(), 1.f);
    EXPECT_EQ(p->changed.size(), 1u);
}

TEST(ModuleState, RateChangesRescaleKnobSmoothing) {
    Rig rig(48000.f);
    rig.plugin.setOversampling(3);
    Module* m = rig.add("SA02 2 DAW");
    EXPECT_EQ(m->sampleRate, 384000.f);
    EXPECT_EQ(m->nyquist, 192000.f);
    EXPECT_EQ(m->samplesPerMinute, 384000.f * 60.f);
    EXPECT_FLOAT_EQ(knobs(m)[0]->smoothDivisor, 13440.f);
    rig.editor.setModuleOversampled(m, false);
    EXPECT_EQ(m->sampleRate, 48000.f);
    EXPECT_FLOAT_EQ(knobs(m)[0]->smoothDivisor, 1680.f);
    m->setKnobSmoothing(10);
    EXPECT_FLOAT_EQ(knobs(m)[1]->smoothDivisor, 480.f);
    m->setSampleRate(96000.f);  // keeps the 10 ms
    EXPECT_FLOAT_EQ(knobs(m)[1]->smoothDivisor, 960.f);
}

TEST(ModuleState, NewModulesWaitForACableOrAlwaysOn) {
    Rig rig;
    Module* m = rig.add("SA01 2 From DAW");
    EXPECT_EQ(m->processIndex, -1);
    EXPECT_FALSE(m->alwaysOn);
    EXPECT_EQ(m->getVersion(), 1000);
    EXPECT_STREQ(m->getVendorName(), "Kestrelmark");
    EXPECT_EQ(m->getNameLen(), (int)std::strlen(m->getName()));
}
