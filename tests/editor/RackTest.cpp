// Modules moved and placed with the mouse, rows added and removed, scrolling.
#include <gtest/gtest.h>

#include "editor/SynRack.h"
#include "editor/SynScrollbar.h"
#include "editor/EditorWindow.h"
#include "engine/Vantorel.h"
#include "framework/ModuleKnob.h"
#include "gui/CBitmap.h"

using editorwindow::Window;
using fixture::AddModule;

namespace {

// Bare panel (no control) at this point of an AddModule: the place to grab it.
const CPoint kGrab(40, 200);

struct RackDrag : ::testing::Test, Window {
    AddModule* addAt(int x, int y) {
        auto* m = addCustom<AddModule>();
        editor.moveModule(m, x, y);
        return m;
    }
    // Presses on the module's bare panel; the mouse then moves so that the module's
    // candidate top-left becomes (x, y).
    void grab(Module* m) {
        const CRect& r = m->getViewSize();
        down(atRack(r.left + kGrab.x, r.top + kGrab.y));
    }
    void dragTo(int x, int y) { move(atRack(x + kGrab.x, y + kGrab.y)); }
    void releaseAt(int x, int y) { up(atRack(x + kGrab.x, y + kGrab.y)); }
    static CPoint topLeft(const Module* m) { return CPoint(m->getViewSize().left, m->getViewSize().top); }
};

TEST_F(RackDrag, SnapsToGridAndRowsWithinTheSnapDistancesAndReturnsFromBetweenRows) {
    AddModule* m = addAt(0, 0);
    grab(m);
    EXPECT_TRUE(m->dragging);
    EXPECT_EQ(editor.draggedModule, m);

    // The grid truncates: 47 is still on the 36 column.
    dragTo(47, 58);
    EXPECT_EQ(topLeft(m), CPoint(36, 0));
    // One pixel further and it hangs between rows, following the mouse freely.
    dragTo(47, 59);
    EXPECT_EQ(topLeft(m), CPoint(47, 59));
    dragTo(47, 232);
    EXPECT_EQ(topLeft(m), CPoint(47, 232));
    // 233 below a row's top belongs to the next row.
    dragTo(47, 233);
    EXPECT_EQ(topLeft(m), CPoint(36, 291));
    releaseAt(47, 233);
    EXPECT_FALSE(m->dragging);
    EXPECT_EQ(editor.draggedModule, nullptr);
    EXPECT_EQ(topLeft(m), CPoint(36, 291));

    // Released between rows, it goes back where this drag began.
    grab(m);
    dragTo(100, 59);
    EXPECT_EQ(topLeft(m), CPoint(100, 59));
    releaseAt(100, 59);
    EXPECT_EQ(topLeft(m), CPoint(36, 291));
}

TEST_F(RackDrag, HeldAtTheRackEdgesAndRefusedWhereAProbeMeetsAnotherModule) {
    AddModule* m = addAt(0, 0);
    AddModule* other = addAt(96, 0);
    grab(m);
    dragTo(-100, 0);
    EXPECT_EQ(topLeft(m), CPoint(0, 0));
    dragTo(2000, 0);
    EXPECT_EQ(topLeft(m), CPoint(kRowWidth - m->getWidth(), 0));

    // Right beside the other module is a resting place...
    dragTo(48, 0);
    EXPECT_EQ(topLeft(m), CPoint(48, 0));
    EXPECT_FALSE(editor.badDrop);
    // ...one grid step over it is not: it follows the mouse and returns when dropped.
    dragTo(65, 0);
    EXPECT_TRUE(editor.badDrop);
    EXPECT_EQ(topLeft(m), CPoint(65, 0));
    releaseAt(65, 0);
    EXPECT_EQ(topLeft(m), CPoint(0, 0));
    EXPECT_EQ(topLeft(other), CPoint(96, 0));
}

TEST_F(RackDrag, APressOnAControlWorksTheControlAndLeavesTheModuleInPlace) {
    Module* vcf = editor.createModuleAt("S201 VCF", 240, kRowHeight);
    ASSERT_NE(vcf, nullptr);
    ModuleKnob* knob = fixture::knobs(vcf)[0];
    fixture::setKnob(knob, 0.2f);
    const CRect& k = knob->getViewSize();
    const CPoint centre = atRack(240 + (k.left + k.right) / 2, kRowHeight + (k.top + k.bottom) / 2);
    down(centre);
    EXPECT_EQ(editor.draggedModule, nullptr);
    move(CPoint(centre.x, centre.y - 100));
    up(CPoint(centre.x, centre.y - 100));
    EXPECT_GT(knob->getValue(), 0.2f);
    EXPECT_EQ(topLeft(vcf), CPoint(240, kRowHeight));
}

TEST_F(RackDrag, ANewModuleHangsOnTheMouseAndIsKeptOnAFreePlaceOrDeletedOnAnOccupiedOne) {
    Module* placed = editor.addModuleFromMenu("S303 Noise");
    ASSERT_NE(placed, nullptr);
    EXPECT_TRUE(editor.placingModule);
    EXPECT_EQ(editor.draggedModule, placed);
    EXPECT_TRUE(frame->hasMouseCapture());
    const int w = placed->getWidth();
    // It hangs at a third of its width and 97 pixels below its top.
    EXPECT_EQ(editor.grabOffset, CPoint(w / 3, 97));

    const CPoint free = atRack(120 + w / 3, 291 + 97);
    move(free, 0);
    EXPECT_EQ(topLeft(placed), CPoint(120, 291));
    down(free);
    up(free);
    EXPECT_FALSE(editor.placingModule);
    EXPECT_FALSE(frame->hasMouseCapture());
    ASSERT_EQ(editor.rackModules.size(), 1);
    EXPECT_EQ(editor.rackModules[0], placed);
    EXPECT_EQ(topLeft(placed), CPoint(120, 291));

    // The same place again is taken: the second module goes, the first stays.
    Module* second = editor.addModuleFromMenu("S303 Noise");
    ASSERT_NE(second, nullptr);
    move(free, 0);
    EXPECT_TRUE(editor.badDrop);
    down(free);
    EXPECT_FALSE(editor.placingModule);
    EXPECT_FALSE(frame->hasMouseCapture());
    ASSERT_EQ(editor.rackModules.size(), 1);
    EXPECT_EQ(editor.rackModules[0], placed);
    EXPECT_EQ(placed->rackIndex, 0);
    EXPECT_EQ(editor.getRack()->getNbViews(), editor.rowCount + 1);
}

TEST_F(RackDrag, AModuleOnTheMouseIsLetGoWhenItIsDeletedOrTheWindowCloses) {
    std::vector<uint8_t> empty = editor.writeChunk();
    AddModule* m = addAt(0, 0);
    grab(m);
    dragTo(100, 100);
    // The host replaces the patch mid-drag: the drag ends with the module.
    ASSERT_TRUE(editor.readChunk(empty.data(), empty.size()));
    EXPECT_EQ(editor.draggedModule, nullptr);
    EXPECT_EQ(editor.rackModules.size(), 0);
    dragTo(200, 0);
    releaseAt(200, 0);
    EXPECT_FALSE(frame->timerB.isRunning());

    // Closed while a new module hangs between rows: it is dropped as a click there would.
    ASSERT_NE(editor.addModuleFromMenu("S303 Noise"), nullptr);
    move(atRack(300, 150 + 97), 0);
    ASSERT_TRUE(editor.badDrop);
    editor.close();
    EXPECT_FALSE(editor.placingModule);
    EXPECT_EQ(editor.draggedModule, nullptr);
    EXPECT_EQ(editor.rackModules.size(), 0);
    EXPECT_EQ(editor.getRack()->getNbViews(), editor.rowCount);
}

TEST_F(RackDrag, RemoveRowDeletesTheLastRowsModulesWithTheirCablesAndKeepsTheOnlyRow) {
    AddModule* keep = addAt(0, 0);
    AddModule* gone = addAt(480, 2 * kRowHeight);
    AddModule* alsoGone = addAt(528, 2 * kRowHeight);
    ASSERT_NE(cable(keep->out, gone->in), nullptr);
    ASSERT_NE(cable(gone->out, alsoGone->in), nullptr);
    ASSERT_EQ(editor.processList.size(), 3);

    // Rows take the three bitmaps in turn; a fourth row starts over.
    auto rowBitmap = [&](int row) {
        return static_cast<CControl*>(editor.getRack()->getView(row))->getBackground()->getName();
    };
    EXPECT_EQ(rowBitmap(0), "1st_row.jpg");
    EXPECT_EQ(rowBitmap(2), "3rd_row.jpg");
    editor.addRow();
    EXPECT_EQ(rowBitmap(3), "1st_row.jpg");
    EXPECT_TRUE(editor.removeRow());

    // The remove-row button, pressed and released in the window.
    CView* removeButton = nullptr;
    for (CView* v : frame->getChildren())
        if (v->isTypeOf("CKickButton") && v->getViewSize().left == kEditorWidth - 10 - 35 - 3 - 35) removeButton = v;
    ASSERT_NE(removeButton, nullptr);
    click(middleOf(removeButton));
    EXPECT_EQ(editor.rowCount, 2);
    EXPECT_EQ(editor.getRack()->contentHeight(), 2 * kRowHeight);
    ASSERT_EQ(editor.rackModules.size(), 1);
    EXPECT_EQ(editor.rackModules[0], keep);
    EXPECT_EQ(editor.cableTotal, 0);
    EXPECT_EQ(keep->cableCount, 0);
    EXPECT_EQ(editor.processList.size(), 0);

    click(middleOf(removeButton));
    EXPECT_EQ(editor.rowCount, 1);
    click(middleOf(removeButton));
    EXPECT_EQ(editor.rowCount, 1);
    EXPECT_EQ(editor.rackModules.size(), 1);
    EXPECT_EQ(editor.rackTop(), kTopBarHeight);
}

TEST_F(RackDrag, ScrollRangeIsTheContentBeyondTwoRows) {
    SynScrollbar* bar = editor.getScrollbar();
    EXPECT_EQ(bar->getScrollSize(), 3 * kRowHeight);
    EXPECT_TRUE(bar->canScroll());
    editor.scrollTo(1.f);
    EXPECT_EQ(editor.getRack()->getViewSize().top, kTopBarHeight - kRowHeight);

    // A click on the bar's track above the scroller pages back to the top.
    click(CPoint(middleOf(bar).x, bar->getViewSize().top + 3));
    EXPECT_EQ(bar->getValue(), 0.f);
    EXPECT_EQ(editor.getRack()->getViewSize().top, kTopBarHeight);

    editor.scrollTo(1.f);
    editor.removeRow();
    EXPECT_FALSE(bar->canScroll());
    EXPECT_EQ(editor.getRack()->getViewSize().top, kTopBarHeight);
    EXPECT_EQ(editor.autoScroll(kEditorHeight + 200, 30, 0.5f), 0);
    EXPECT_EQ(editor.autoScroll(-200, 30, 0.5f), 0);
}

TEST_F(RackDrag, AutoScrollMovesTheScrollbarByTheFormula) {
    const int range = 3 * kRowHeight - kVisibleRackHeight;
    // 100 pixels beyond the margin below the visible rack, at half speed.
    const int below = kTopBarHeight + kVisibleRackHeight + 30 + 100;
    EXPECT_EQ(editor.autoScroll(below, 30, 0.5f), 50);
    EXPECT_NEAR(editor.scrollPosition(), 50.0 / range, 1e-6);
    EXPECT_EQ(editor.getRack()->getViewSize().top, kTopBarHeight - (int)(editor.scrollPosition() * (float)range));
    // Inside the margins nothing moves.
    EXPECT_EQ(editor.autoScroll(kTopBarHeight + 300, 30, 0.5f), 0);
    EXPECT_EQ(editor.autoScroll(kTopBarHeight - 30 - 120, 30, 0.5f), -60);
    EXPECT_EQ(editor.scrollPosition(), 0.f);
    EXPECT_EQ(editor.autoScroll(kTopBarHeight - 30 - 120, 30, 0.5f), 0);
}

uint64_t fakeMs = 0;
uint64_t fakeClock() { return fakeMs; }

struct Clock {
    Clock() {
        fakeMs = 1000;
        CVSTGUITimer::setClock(fakeClock);
    }
    ~Clock() { CVSTGUITimer::setClock(nullptr); }
    void advance(uint64_t ms) {
        fakeMs += ms;
        CVSTGUITimer::pumpTimers();
    }
};

TEST_F(RackDrag, DraggingPastTheWindowBottomKeepsScrollingOnTimerB) {
    Clock clock;
    const int range = 3 * kRowHeight - kVisibleRackHeight;
    AddModule* m = addAt(0, kRowHeight);
    grab(m);
    // Between rows 1 and 2, its bottom 29 pixels past the margin: 14 pixels at half speed.
    dragTo(0, kRowHeight + 59);
    EXPECT_TRUE(frame->timerB.isRunning());
    EXPECT_NEAR(editor.scrollPosition(), 14.5 / range, 1e-6);
    const int rackTopBefore = editor.rackTop();

    // The mouse rests; every 50 ms the rack scrolls on and the module moves with the mouse.
    clock.advance(49);
    EXPECT_EQ(editor.rackTop(), rackTopBefore);
    clock.advance(1);
    EXPECT_NEAR(editor.scrollPosition(), 29.0 / range, 1e-5);
    EXPECT_EQ(topLeft(m).y, kRowHeight + 59 + 14);

    up(atRack(kGrab.x, topLeft(m).y + kGrab.y));
    EXPECT_FALSE(frame->timerB.isRunning());
    EXPECT_EQ(topLeft(m), CPoint(0, kRowHeight));
}

}  // namespace
