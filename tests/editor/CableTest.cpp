// Cables made, moved and drawn with the mouse in a headless editor window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "editor/EditorWindow.h"
#include "editor/SynRack.h"
#include "engine/Vantorel.h"
#include "framework/ModuleKnob.h"
#include "framework/Random.h"
#include "gui/COffscreenContext.h"

using editorwindow::Window;
using fixture::AddModule;
using fixture::jacks;
using fixture::MidiProbe;
using fixture::MidiSink;

namespace {

// One jack that is an input or an output by what it is joined to.
class Either : public Module {
public:
    explicit Either(Patch* e) : Module(CRect(0, 0, 48, 291), e, nullptr) { jack = addJack(20, 60, kJackEither); }
    void process() override {}
    PatchPoint* jack;
};

// Records the curves and discs the rack draws, with their pens and colours.
struct Recorder : CDrawContext {
    struct Stroke {
        CColor colour;
        float width;
        std::vector<CDPoint> points;
    };
    void drawBezier(const CDPoint* p, int n) override { strokes.push_back({frameColor, lineWidth, {p, p + n}}); }
    void drawEllipse(const CRect&, CDrawStyle style) override {
        if (style != kDrawStroked) discs.push_back(fillColor);
    }
    std::vector<Stroke> strokes;
    std::vector<CColor> discs;
};

CColor rgba(int r, int g, int b, int a) { return CColor{(uint8_t)r, (uint8_t)g, (uint8_t)b, (uint8_t)a}; }

struct Cables : ::testing::Test, Window {
    template <class T>
    T* place(int x, int y) {
        T* m = addCustom<T>();
        editor.moveModule(m, x, y);
        return m;
    }
    // The window point over the middle of a jack.
    CPoint over(const PatchPoint* j) const {
        const CRect& m = j->getParentView()->getViewSize();
        const CRect& r = j->getViewSize();
        return atRack(m.left + (r.left + r.right) / 2, m.top + (r.top + r.bottom) / 2);
    }
    // Press on one jack, move over the other and let go there.
    void drag(const PatchPoint* from, const PatchPoint* to) {
        down(over(from));
        move(over(to));
        up(over(to));
    }
    void dragTo(const PatchPoint* from, CPoint release) {
        down(over(from));
        move(release);
        up(release);
    }
    // The frame rectangle of a rack rectangle.
    CRect inFrame(CRect r) const { return r.offset(editor.getRack()->getViewSize().left, editor.rackTop()); }
    Recorder record() {
        Recorder rec;
        frame->draw(&rec);
        return rec;
    }
};

TEST_F(Cables, TheDropCheckJoinsOnlyMatchingJacksWhateverWayTheyAreDragged) {
    auto* a = place<AddModule>(0, 0);
    auto* b = place<AddModule>(120, 0);
    auto* midiOut = place<MidiProbe>(240, 0);
    auto* midiIn = place<MidiSink>(360, 0);

    // Output to output, input to input, and across the signal kinds: nothing.
    drag(a->out, b->out);
    drag(a->in, b->in);
    drag(midiOut->midiOut, b->in);
    drag(a->out, midiIn->midiIn);
    EXPECT_EQ(editor.cableTotal, 0);
    EXPECT_FALSE(editor.cableDragging);

    // From the input back to the output is the same cable: the input reads.
    drag(b->in, a->out);
    ASSERT_EQ(editor.cableTotal, 1);
    EXPECT_EQ(editor.cableHead->reader, b->in);
    EXPECT_EQ(editor.cableHead->other, a->out);
    EXPECT_EQ(b->in->source, &a->out->outValue);

    // A second cable onto that input replaces the first; a's output keeps nothing.
    drag(b->out, b->in);
    ASSERT_EQ(editor.cableTotal, 1);
    EXPECT_EQ(editor.cableHead->other, b->out);
    EXPECT_EQ(a->out->connectionCount, 0);

    // MIDI meets MIDI, near-black whatever colour is chosen.
    editor.chooseCableColour(2);
    drag(midiOut->midiOut, midiIn->midiIn);
    ASSERT_EQ(editor.cableTotal, 2);
    EXPECT_EQ(editor.cableTail->colour, 7);
    EXPECT_EQ(midiIn->midiIn->getValue(), 1.f);
    EXPECT_EQ(midiOut->midiOut->getValue(), 1.f);

    // Released over the start jack, over bare panel or over the top bar: no cable.
    drag(a->out, a->out);
    dragTo(a->out, atRack(80, 250));
    dragTo(a->out, CPoint(500, 10));
    EXPECT_EQ(editor.cableTotal, 2);
    EXPECT_FALSE(editor.cableDragging);
}

TEST_F(Cables, AnEitherWayJackTakesTheRoleOfItsFirstCable) {
    auto* e = place<Either>(0, 0);
    auto* e2 = place<Either>(60, 0);
    auto* a = place<AddModule>(120, 0);
    auto* b = place<AddModule>(180, 0);

    drag(e->jack, e2->jack);
    EXPECT_EQ(editor.cableTotal, 0);

    // Joined to an input it acts as an output: more inputs, no outputs.
    drag(e->jack, a->in);
    ASSERT_EQ(editor.cableTotal, 1);
    EXPECT_EQ(e->jack->role, kRoleOutput);
    drag(b->in, e->jack);
    EXPECT_EQ(editor.cableTotal, 2);
    EXPECT_EQ(b->in->source, &e->jack->outValue);
    drag(a->out, e->jack);
    EXPECT_EQ(editor.cableTotal, 2);
    EXPECT_EQ(e->jack->source, nullptr);

    // Joined to an output it reads: an input is refused, another output replaces.
    auto* c = place<AddModule>(240, 0);
    drag(a->out, e2->jack);
    EXPECT_EQ(e2->jack->role, kRoleInput);
    drag(c->in, e2->jack);
    EXPECT_EQ(c->in->source, nullptr);
    drag(b->out, e2->jack);
    EXPECT_EQ(e2->jack->source, &b->out->outValue);
    EXPECT_EQ(a->out->connectionCount, 0);
    EXPECT_EQ(editor.cableTotal, 3);
}

TEST_F(Cables, PressingAReadingInputPicksUpItsCableWithItsColour) {
    auto* a = place<AddModule>(0, 0);
    auto* b = place<AddModule>(120, 0);
    auto* c = place<AddModule>(240, 0);
    cable(a->out, b->in, 5);
    b->in->inValue = 0.7f;

    down(over(b->in));
    EXPECT_TRUE(editor.cableDragging);
    EXPECT_EQ(editor.cableTotal, 0);
    EXPECT_EQ(b->in->source, nullptr);
    EXPECT_EQ(b->in->inValue, 0.f);
    EXPECT_EQ(editor.cableStart, a->out);
    EXPECT_EQ(editor.cableDragColour, 5);
    // The loose end stays where the cable was plugged.
    EXPECT_EQ(editor.cableEnd, b->in->plugPoint());
    move(over(c->in));
    up(over(c->in));
    ASSERT_EQ(editor.cableTotal, 1);
    EXPECT_EQ(editor.cableHead->reader, c->in);
    EXPECT_EQ(editor.cableHead->other, a->out);
    EXPECT_EQ(editor.cableHead->colour, 5);

    // Picked up and dropped on nothing, it is gone.
    dragTo(c->in, atRack(80, 250));
    EXPECT_EQ(editor.cableTotal, 0);
    EXPECT_EQ(a->out->connectionCount, 0);
    EXPECT_EQ(c->in->connectionCount, 0);
}

TEST_F(Cables, AMidiPlugFollowsTheMouseAndTheJacksShowWhetherTheyArePlugged) {
    auto* src = place<MidiProbe>(0, 0);
    auto* dst = place<MidiSink>(120, 0);
    auto* other = place<MidiSink>(240, 0);
    CView* plug = nullptr;

    down(over(src->midiOut));
    plug = editor.getMidiPlug();
    ASSERT_NE(plug, nullptr);
    EXPECT_TRUE(editor.getRack()->isChild(plug));
    EXPECT_EQ(editor.getRack()->getView(editor.getRack()->getNbViews() - 1), plug);
    EXPECT_EQ(src->midiOut->getValue(), 1.f);
    move(atRack(300, 200));
    EXPECT_EQ(plug->getViewSize(), CRect::fromSize(300 - 19, 200 - 19, 38, 38));
    // Released over the jack (under the plug image) it plugs in.
    move(over(dst->midiIn));
    up(over(dst->midiIn));
    EXPECT_EQ(editor.cableTotal, 1);
    EXPECT_FALSE(editor.getRack()->isChild(plug));

    // Picking the plug up leaves the reader unplugged; the source keeps its frame
    // while the cable hangs from it, and loses it when the cable is dropped nowhere.
    down(over(dst->midiIn));
    EXPECT_EQ(dst->midiIn->getValue(), 0.f);
    EXPECT_EQ(src->midiOut->getValue(), 1.f);
    EXPECT_EQ(editor.cableDragColour, 7);
    move(atRack(300, 250));
    up(atRack(300, 250));
    EXPECT_EQ(src->midiOut->getValue(), 0.f);

    // Moved from one reader to another: the first shows unplugged, both ends of the
    // new cable plugged.
    drag(src->midiOut, dst->midiIn);
    drag(dst->midiIn, other->midiIn);
    EXPECT_EQ(dst->midiIn->getValue(), 0.f);
    EXPECT_EQ(other->midiIn->getValue(), 1.f);
    EXPECT_EQ(src->midiOut->getValue(), 1.f);
}

TEST_F(Cables, NewCablesTakeTheChosenColourOrPseudoRandomOnesFromOneToSix) {
    auto* a = place<AddModule>(0, 0);
    std::vector<AddModule*> readers;
    for (int i = 0; i < 8; ++i) readers.push_back(place<AddModule>(60 + 60 * i, 0));

    const uint32_t saved = randomSeed;
    randomSeed = 12345;
    uint32_t seed = 12345;
    std::vector<int> seen;
    for (AddModule* r : readers) {
        seed = (uint32_t)(((uint64_t)seed * 16807u) & 0x7fffffffu);
        const int expected = (int)((double)seed / 2147483648.0 * 6.0 + 1.0);
        drag(a->out, r->in);
        ASSERT_NE(r->in->cable, nullptr);
        EXPECT_EQ(r->in->cable->colour, expected);
        seen.push_back(r->in->cable->colour);
    }
    randomSeed = saved;
    for (int c : seen) {
        EXPECT_GE(c, 1);
        EXPECT_LE(c, 6);
    }
    EXPECT_LT(std::count(seen.begin(), seen.end(), seen[0]), (long)seen.size());

    // A fixed choice holds; out-of-menu values are ignored.
    editor.chooseCableColour(6);
    editor.chooseCableColour(7);
    editor.chooseCableColour(-1);
    EXPECT_EQ(editor.chosenCableColour, 6);
    drag(a->in, readers[1]->out);
    ASSERT_EQ(editor.cableTotal, 9);
    EXPECT_EQ(a->in->cable->colour, 6);
}

TEST_F(Cables, CablesAreDrawnInTheirColourAtTheChosenAlphaAndTheDraggedOneOpaque) {
    auto* a = place<AddModule>(0, 0);
    auto* b = place<AddModule>(240, 291);
    auto* c = place<AddModule>(120, 0);
    auto* under = place<AddModule>(0, 291);
    cable(a->out, b->in, 1);
    cable(a->out, under->in, 2);

    // Shadow, then the body's three pens, each 45 brighter.
    Recorder full = record();
    ASSERT_EQ(full.strokes.size(), 8u);
    EXPECT_EQ(full.strokes[0].colour, rgba(0, 0, 0, 50));
    const float pens[4] = {8.f, 8.f, 5.f, 2.f};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(full.strokes[i].width, pens[i]);
    EXPECT_EQ(full.strokes[1].colour, rgba(0x7D, 0x0A, 0x0A, 255));
    EXPECT_EQ(full.strokes[3].colour, rgba(0x7D + 90, 0x0A + 90, 0x0A + 90, 255));
    ASSERT_EQ(full.discs.size(), 12u);
    EXPECT_EQ(full.discs[1], full.strokes[2].colour);

    // From the reader through the sag below the lower end to the producer; the
    // shadow 15 further right and down.
    const CPoint p0 = b->in->plugPoint(), p2 = a->out->plugPoint();
    const auto& body = full.strokes[1].points;
    ASSERT_EQ(body.size(), 7u);
    EXPECT_EQ(CPoint((int)body[0].x, (int)body[0].y), p0);
    EXPECT_EQ(CPoint((int)body[3].x, (int)body[3].y), CPoint((p0.x + p2.x) / 2, std::max(p0.y, p2.y) + 15));
    EXPECT_EQ(CPoint((int)body[6].x, (int)body[6].y), p2);
    EXPECT_EQ(full.strokes[0].points[3].x, body[3].x + 15);
    EXPECT_EQ(full.strokes[0].points[3].y, body[3].y + 15);
    // Ends within 4 pixels horizontally bow 7 further right.
    const CPoint v0 = under->in->plugPoint();
    ASSERT_LE(std::abs(v0.x - p2.x), 4);
    EXPECT_EQ(full.strokes[5].points[3].x, (v0.x + p2.x) / 2 + 7);

    // Transparency 4: alpha 40, shadow trunc(40 / 255 * 50) = 7. The cable in the
    // hand is opaque with the plain shadow.
    editor.cableAlpha = 40;
    editor.chooseCableColour(4);
    down(over(c->out));
    move(atRack(500, 100));
    Recorder faint = record();
    up(atRack(500, 100));
    ASSERT_EQ(faint.strokes.size(), 12u);
    EXPECT_EQ(faint.strokes[0].colour, rgba(0, 0, 0, 7));
    EXPECT_EQ(faint.strokes[1].colour, rgba(0x7D, 0x0A, 0x0A, 40));
    EXPECT_EQ(faint.strokes[3].colour.alpha, 40);
    EXPECT_EQ(faint.strokes[8].colour, rgba(0, 0, 0, 50));
    EXPECT_EQ(faint.strokes[9].colour, rgba(0x50, 0x50, 0x50, 255));
    EXPECT_EQ(faint.strokes[9].points[6].x, 500);
    EXPECT_EQ(faint.strokes[9].points[6].y, 100);
}

TEST_F(Cables, AMidiCableIsDrawnNearBlackOnScreen) {
    auto* src = place<MidiProbe>(0, 0);
    auto* dst = place<MidiSink>(240, 0);
    editor.chooseCableColour(1);
    drag(src->midiOut, dst->midiIn);
    ASSERT_EQ(editor.cableTotal, 1);
    COffscreenContext* image = frame->renderOffscreen();
    ASSERT_NE(image, nullptr);
    // Along the sag below the jacks the body's outer pen shows: near-black grey.
    const CPoint p = dst->midiIn->plugPoint();
    const CPoint mid((p.x + src->midiOut->plugPoint().x) / 2, p.y + 15);
    const CPoint at = atRack(mid.x, mid.y);
    const CColor centre = image->getPixel(at.x, at.y);
    EXPECT_EQ(centre.red, centre.green);
    EXPECT_EQ(centre.green, centre.blue);
    EXPECT_LE(centre.red, 0x64 + 4);
    // Three pixels off the middle only the widest pen, the table's colour itself.
    const CColor edge = image->getPixel(at.x, at.y - 3);
    EXPECT_LE(std::abs(edge.red - 0x0A), 2);
    EXPECT_EQ(edge.red, edge.green);
    EXPECT_EQ(edge.red, edge.blue);
}

TEST_F(Cables, RedrawsCoverOnlyTheCablesAreas) {
    auto* a = place<AddModule>(0, 0);
    auto* b = place<AddModule>(240, 0);
    auto* far = place<AddModule>(600, 291);
    cable(a->out, b->in, 3);
    frame->renderOffscreen();

    // A dragged end: its old and new areas.
    down(over(far->out));
    frame->redrawDirty();
    const CPoint start = far->out->plugPoint();
    const CRect before = SynEditor::cableArea(start, editor.cableEnd);
    move(atRack(700, 300));
    const CRect after = SynEditor::cableArea(start, CPoint(700, 300));
    EXPECT_EQ(frame->getDirtyRect(), inFrame(before).unite(inFrame(after)));
    up(atRack(700, 300));
    frame->redrawDirty();

    // A module with a cable moved: the module's places and its cable's areas, not
    // the whole rack.
    const CRect oldModule = b->getViewSize();
    const CRect oldCable = SynEditor::cableArea(editor.cableHead);
    frame->clearDirtyRect();
    down(atRack(240 + 40, 200));
    move(atRack(360 + 40, 200));
    up(atRack(360 + 40, 200));
    ASSERT_EQ(b->getViewSize().left, 360);
    const CRect expected = inFrame(oldModule)
                               .unite(inFrame(oldCable))
                               .unite(inFrame(b->getViewSize()))
                               .unite(inFrame(SynEditor::cableArea(editor.cableHead)));
    EXPECT_EQ(frame->getDirtyRect(), expected);
    EXPECT_LT(frame->getDirtyRect().width(), 500);
}

TEST_F(Cables, ACableHeldNearTheBottomScrollsTheRackWithTimerA) {
    auto* a = place<AddModule>(0, 0);
    auto* b = place<AddModule>(120, 582);
    down(over(a->out));
    move(CPoint(300, 40 + 582 + 30));
    EXPECT_GT(editor.scrollPosition(), 0.f);
    EXPECT_TRUE(frame->timerA.isRunning());
    // Timer A repeats the move at the same window point until the rack ends.
    for (int i = 0; i < 40 && editor.scrollPosition() < 1.f; ++i) frame->onTimer(&frame->timerA);
    EXPECT_EQ(editor.scrollPosition(), 1.f);
    move(over(b->in));
    EXPECT_FALSE(frame->timerA.isRunning());
    up(over(b->in));
    ASSERT_EQ(editor.cableTotal, 1);
    EXPECT_EQ(b->in->source, &a->out->outValue);
}

TEST_F(Cables, ACableDraggedBetweenRealModulesCarriesTheHostsAudio) {
    Module* from = editor.createModuleAt("SA01 2 From DAW", 0, 0);
    Module* to = editor.createModuleAt("SA02 2 DAW", 120, 0);
    ASSERT_TRUE(from && to);
    PatchPoint* left = jacks(from)[1];
    PatchPoint* hostLeft = jacks(to)[1];

    fixture::HostBuffers io(512);
    for (int i = 0; i < io.frames; ++i) io.in[0][i] = 0.5f * std::sin(0.05 * i);
    render(io);
    for (float v : io.out[0]) ASSERT_EQ(v, 0.f);

    drag(left, hostLeft);
    ASSERT_EQ(editor.cableTotal, 1);
    fixture::HostBuffers played(512);
    for (int i = 0; i < played.frames; ++i) played.in[0][i] = 0.5f * std::sin(0.05 * i);
    render(played);  // the gain knob settles during the first block
    render(played);
    // Left in, left out, one pass late, at one steady gain; the right side silent.
    const double gain = played.out[0][101] / played.in[0][100];
    EXPECT_GT(gain, 0.1);
    for (int i = 1; i < played.frames; ++i) {
        ASSERT_NEAR(played.out[0][i], gain * played.in[0][i - 1], 1e-5) << i;
        ASSERT_EQ(played.out[1][i], 0.f);
    }
}

TEST_F(Cables, DeletingTheModuleACableHangsFromEndsTheDrag) {
    auto* a = place<AddModule>(0, 0);
    down(over(a->out));
    ASSERT_TRUE(editor.cableDragging);
    editor.deleteModule(a);
    EXPECT_FALSE(editor.cableDragging);
    EXPECT_EQ(editor.cableStart, nullptr);
    move(atRack(300, 100));
    up(atRack(300, 100));
    frame->renderOffscreen();
    EXPECT_EQ(editor.cableTotal, 0);
}


// A sequencer's step knob dragged in the window: straight or around its centre.
struct StepKnob : ::testing::Test, Window {
    StepKnob() {
        Module* seq = editor.createModuleAt("SB11 CV Sequencer", 0, 0);
        for (CView* v : seq->getChildren())
            if (!knob && v->isTypeOf("ModuleKnobEx")) knob = static_cast<ModuleKnobEx*>(v);
        const CRect& r = knob->getViewSize();
        centre = atRack((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    CPoint at(int dx, int dy) const { return CPoint(centre.x + dx, centre.y + dy); }
    ModuleKnobEx* knob = nullptr;
    CPoint centre;
};

TEST_F(StepKnob, LinearDragCoversTheRangeInFourHundredPixelsAndShiftMakesItFiner) {
    ASSERT_NE(knob, nullptr);
    fixture::setKnob(knob, 0.2f);
    down(centre);
    move(at(30, -10));  // 10 up and 30 right
    EXPECT_NEAR(knob->getValue(), 0.3f, 1e-5);
    move(at(30, -10), kLButton | kShift);
    EXPECT_NEAR(knob->getValue(), 0.3f, 1e-5) << "no jump when Shift goes down";
    move(at(30, -110), kLButton | kShift);
    EXPECT_NEAR(knob->getValue(), 0.3f + 100.f / (400.f * knob->getZoomFactor()), 1e-5);
    move(at(-600, 600), kLButton | kShift);
    EXPECT_EQ(knob->getValue(), 0.f);
    up(at(-600, 600), kLButton | kShift);
    EXPECT_FALSE(editor.draggedModule) << "the press went to the knob, not the panel";
}

TEST_F(StepKnob, CircularDragFollowsTheAngleAndHoldsAtTheEndItCameFrom) {
    ASSERT_NE(knob, nullptr);
    knob->circular = true;
    fixture::setKnob(knob, 0.f);
    down(centre);
    move(at(0, -20));  // straight up: the middle of a 270 degree travel
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-5);
    move(at(20, 0));  // a quarter turn clockwise
    EXPECT_NEAR(knob->getValue(), 0.5f + 90.f / 270.f, 1e-5);
    move(at(20, 20));
    EXPECT_NEAR(knob->getValue(), 1.f, 1e-5);
    // Across the gap at the bottom it would jump to the start: it stays at the end.
    move(at(-20, 20));
    EXPECT_EQ(knob->getValue(), 1.f);
    up(at(-20, 20));
}

}  // namespace
