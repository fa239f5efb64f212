// The frame headless: which area a redraw paints, what it leaves alone, and how
// synthesized mouse events reach controls inside nested containers.
#include <gtest/gtest.h>

#include "framework/ModuleKnob.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/COffscreenContext.h"
#include "gui/CViewContainer.h"
#include "GuiKit.h"

using namespace guikit;

namespace {

struct Counter : CControlListener {
    void valueChanged(CControl* c) override { values.push_back(c->getValue()); }
    std::vector<float> values;
};

// A frame with a panel at (100, 40) holding views at panel coordinates.
struct Bench {
    Bench() : frame(new CFrame(CRect(0, 0, 400, 300), nullptr, nullptr)), panel(new CViewContainer(CRect::fromSize(100, 40, 200, 200))) {
        frame->addView(panel);
    }
    ~Bench() { frame->forget(); }
    CPoint toFrame(int x, int y) const { return CPoint(100 + x, 40 + y); }
    void press(int x, int y, long buttons) {
        CPoint p = toFrame(x, y);
        frame->onMouseDown(p, buttons);
    }
    void move(int x, int y, long buttons) {
        CPoint p = toFrame(x, y);
        frame->onMouseMoved(p, buttons);
    }
    void release(int x, int y, long buttons) {
        CPoint p = toFrame(x, y);
        frame->onMouseUp(p, buttons);
    }
    CFrame* frame;
    CViewContainer* panel;
};

}  // namespace

TEST(DirtyRegion, OnlyWhatChangedIsRepainted) {
    Bench b;
    auto* near_ = new Swatch(CRect::fromSize(10, 10, 20, 20), kRed);
    auto* far_ = new Swatch(CRect::fromSize(150, 150, 20, 20), kGreen);
    auto* inner = new CViewContainer(CRect::fromSize(50, 60, 100, 80));
    auto* nested = new Swatch(CRect::fromSize(7, 9, 11, 13), kBlue);
    inner->addView(nested);
    b.panel->addView(near_);
    b.panel->addView(far_);
    b.panel->addView(inner);
    // The first idle paints everything, the next has nothing to do.
    EXPECT_EQ(b.frame->redrawDirty(), CRect(0, 0, 400, 300));
    EXPECT_EQ(near_->draws, 1);
    EXPECT_TRUE(b.frame->redrawDirty().isEmpty());
    EXPECT_EQ(near_->draws + far_->draws + nested->draws, 3);

    // A nested view's invalidation is exactly its rectangle in frame coordinates.
    nested->invalid();
    EXPECT_EQ(b.frame->getDirtyRect(), CRect::fromSize(100 + 50 + 7, 40 + 60 + 9, 11, 13));
    EXPECT_EQ(b.frame->redrawDirty(), CRect::fromSize(157, 109, 11, 13));
    EXPECT_EQ(nested->draws, 2);
    EXPECT_EQ(near_->draws, 1);
    EXPECT_EQ(far_->draws, 1);

    // Dirty views that their container or the frame does not show (a rack row
    // scrolled out of sight) add nothing to the region.
    auto* tall = new CViewContainer(CRect::fromSize(0, 250, 60, 200));
    auto* hidden = new Swatch(CRect::fromSize(0, 100, 10, 10), kRed);     // below the frame
    auto* outside = new Swatch(CRect::fromSize(70, 10, 10, 10), kRed);    // right of its container
    tall->addView(hidden);
    tall->addView(outside);
    b.frame->addView(tall);
    b.frame->redrawDirty();
    EXPECT_TRUE(hidden->isDirty());
    nested->invalid();
    EXPECT_EQ(b.frame->redrawDirty(), CRect::fromSize(157, 109, 11, 13));

    // A value written without invalidation (as the audio thread writes a light) is
    // found by the next redraw all the same.
    auto* light = new CMovieBitmap(CRect::fromSize(170, 10, 12, 12), nullptr, 0, 5, 12, nullptr);
    b.panel->addView(light);
    b.frame->redrawDirty();
    light->setValue(0.75f);
    EXPECT_EQ(b.frame->redrawDirty(), CRect::fromSize(270, 50, 12, 12));
    EXPECT_EQ(near_->draws, 1);

    // Hiding a view repaints the area it covered, without it.
    COffscreenContext* img = b.frame->getBackBuffer();
    EXPECT_TRUE(near(img->getPixel(115, 55), kRed));
    near_->setVisible(false);
    EXPECT_EQ(b.frame->redrawDirty(), CRect::fromSize(110, 50, 20, 20));
    EXPECT_TRUE(near(img->getPixel(115, 55), kBlack));
    // So does moving one: the old place is cleared, the new one painted.
    far_->setViewSize(CRect::fromSize(0, 0, 20, 20));
    b.frame->redrawDirty();
    EXPECT_TRUE(near(img->getPixel(255, 195), kBlack));
    EXPECT_TRUE(near(img->getPixel(105, 45), kGreen));
    // Removing one too.
    inner->removeView(nested);
    EXPECT_EQ(b.frame->redrawDirty(), CRect::fromSize(157, 109, 11, 13));
    EXPECT_TRUE(near(img->getPixel(160, 112), kBlack));
}

TEST(Mouse, KnobDragsVerticallyFinerWithShiftWithoutJumping) {
    Bench b;
    Counter listener;
    CBitmap* art = strip(20, 20, {kRed});
    auto* knob = new ModuleKnob(CRect::fromSize(40, 40, 20, 20), &listener, 0, 49, 20, art, 48000.f);
    art->forget();
    knob->setZoomFactor(5.f);
    knob->setValue(0.5f);
    b.panel->addView(knob);

    b.press(50, 50, kLButton);
    b.move(80, 30, kLButton);  // 20 up (sideways does nothing): 20 / 200 of the range
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-5);
    b.move(50, 50, kLButton);
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-5);
    b.move(50, 150, kLButton);  // clamped at the bottom
    EXPECT_EQ(knob->getValue(), 0.f);
    b.release(50, 150, kLButton);
    ASSERT_FALSE(listener.values.empty());
    EXPECT_EQ(listener.values.back(), 0.f);

    // Shift held from the start: five times finer.
    knob->setValue(0.5f);
    b.press(50, 50, kLButton | kShift);
    b.move(50, 30, kLButton | kShift);
    EXPECT_NEAR(knob->getValue(), 0.52f, 1e-5);
    // Letting go of Shift mid-drag: no jump at the change, coarse from there on.
    b.move(50, 30, kLButton);
    EXPECT_NEAR(knob->getValue(), 0.52f, 1e-5);
    b.move(50, 10, kLButton);
    EXPECT_NEAR(knob->getValue(), 0.62f, 1e-5);
    // And back to fine.
    b.move(50, 10, kLButton | kShift);
    b.move(50, 0, kLButton | kShift);
    EXPECT_NEAR(knob->getValue(), 0.63f, 1e-5);
    b.release(50, 0, kLButton | kShift);

    // Moves after the release reach nothing.
    b.move(50, -100, kLButton);
    EXPECT_NEAR(knob->getValue(), 0.63f, 1e-5);
}

TEST(Mouse, StepKnobDragsBothWaysOverFourHundredPixels) {
    Bench b;
    auto* knob = new ModuleKnobEx(CRect::fromSize(40, 40, 20, 20), nullptr, 0, 49, 20, nullptr, 48000.f);
    knob->setZoomFactor(5.f);
    knob->setValue(0.5f);
    b.panel->addView(knob);
    b.frame->redrawDirty();
    b.press(50, 50, kLButton);
    b.move(60, 40, kLButton);  // 10 up and 10 right: 20 of 400 pixels
    EXPECT_NEAR(knob->getValue(), 0.55f, 1e-5);
    EXPECT_EQ(b.frame->getDirtyRect(), CRect::fromSize(140, 80, 20, 20)) << "redrawn as it moves";
    b.move(60, 40, kLButton | kShift);  // Shift pressed: no jump
    EXPECT_NEAR(knob->getValue(), 0.55f, 1e-5);
    b.move(60, 20, kLButton | kShift);  // 20 more, five times finer
    EXPECT_NEAR(knob->getValue(), 0.56f, 1e-5);
    b.release(60, 20, kLButton | kShift);
}

TEST(Mouse, SwitchesAndButtons) {
    Bench b;
    Counter listener;
    // Three positions, 10 pixels each; dragging follows the pointer and holds the ends.
    auto* sw = new CVerticalSwitch(CRect::fromSize(10, 10, 20, 30), &listener, 0, 3, 30, 3, nullptr);
    auto* kick = new CKickButton(CRect::fromSize(60, 10, 20, 20), &listener, 1, nullptr);
    auto* onOff = new COnOffButton(CRect::fromSize(100, 10, 20, 20), &listener, 2, nullptr);
    for (CControl* c : {(CControl*)sw, (CControl*)kick, (CControl*)onOff}) b.panel->addView(c);

    b.press(15, 25, kLButton);
    EXPECT_EQ(sw->getValue(), 0.5f);
    b.move(15, 12, kLButton);
    EXPECT_EQ(sw->getValue(), 0.f);
    b.move(15, 80, kLButton);
    EXPECT_EQ(sw->getValue(), 1.f);
    b.release(15, 80, kLButton);
    EXPECT_EQ(listener.values, (std::vector<float>{0.5f, 0.f, 1.f}));

    // Kick: pressed while held over it, let go when the pointer slides off or is released.
    listener.values.clear();
    b.press(70, 20, kLButton);
    EXPECT_EQ(kick->getValue(), 1.f);
    b.move(90, 20, kLButton);
    EXPECT_EQ(kick->getValue(), 0.f);
    b.move(75, 15, kLButton);
    EXPECT_EQ(kick->getValue(), 1.f);
    b.release(75, 15, kLButton);
    EXPECT_EQ(kick->getValue(), 0.f);
    EXPECT_EQ(listener.values, (std::vector<float>{1.f, 0.f, 1.f, 0.f}));

    // On/off toggles per click; the right button leaves it alone.
    b.press(110, 20, kLButton);
    b.release(110, 20, kLButton);
    EXPECT_EQ(onOff->getValue(), 1.f);
    b.press(110, 20, kRButton);
    EXPECT_EQ(onOff->getValue(), 1.f);
    b.press(110, 20, kLButton);
    EXPECT_EQ(onOff->getValue(), 0.f);
}
