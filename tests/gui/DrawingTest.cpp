// What the toolkit puts on the surface: frames chosen by value, nested origins,
// clipping, alpha, text. Drawn into memory images and read back pixel by pixel.
#include <gtest/gtest.h>

#include "framework/ModuleKnob.h"
#include "framework/SharedBitmaps.h"
#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/COffscreenContext.h"
#include "gui/CViewContainer.h"
#include "support/LitPixels.h"
#include "support/PatchFixture.h"
#include "GuiKit.h"

using namespace guikit;

namespace {

// A frame holding one control at (20, 10); returns the colour at the control's centre.
class OneControl {
public:
    explicit OneControl(CControl* c) : frame(new CFrame(CRect(0, 0, 64, 48), nullptr, nullptr)) {
        frame->addView(c);
    }
    ~OneControl() { frame->forget(); }
    CColor centre(CControl* c) {
        COffscreenContext* img = frame->renderOffscreen();
        const CRect& r = c->getViewSize();
        return img->getPixel((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    CFrame* frame;
};

const std::vector<CColor> kThree{kRed, kGreen, kBlue};

}  // namespace

TEST(StripFrames, EveryFrameControlShowsTheFrameItsValueSelects) {
    const CRect r = CRect::fromSize(20, 10, 10, 10);
    struct Case {
        const char* what;
        CControl* control;
    };
    CBitmap* art = strip(10, 10, kThree);
    std::vector<Case> cases = {
        {"CMovieBitmap", new CMovieBitmap(r, nullptr, 0, 3, 10, art)},
        {"CAnimKnob", new CAnimKnob(r, nullptr, 0, 3, 10, art)},
        {"ModuleKnob", new ModuleKnob(r, nullptr, 0, 3, 10, art, 48000.f)},
        {"CVerticalSwitch", new CVerticalSwitch(r, nullptr, 0, 3, 10, 3, art)},
        {"CMovieBitmapEx", new CMovieBitmapEx(r, nullptr, 0, 3, 10, art)},
    };
    art->forget();
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        OneControl one(c.control);
        c.control->setValue(0.f);
        EXPECT_TRUE(near(one.centre(c.control), kRed));
        c.control->setValue(0.5f);
        EXPECT_TRUE(near(one.centre(c.control), kGreen));
        c.control->setValue(1.f);
        EXPECT_TRUE(near(one.centre(c.control), kBlue));
        // Nothing beside the control is painted with its art.
        EXPECT_TRUE(near(one.frame->getBackBuffer()->getPixel(19, 15), kBlack));
        EXPECT_TRUE(near(one.frame->getBackBuffer()->getPixel(30, 15), kBlack));
    }
}

TEST(StripFrames, StepsInvertedKnobsAndTwoStateButtons) {
    const CRect r = CRect::fromSize(20, 10, 10, 10);
    CBitmap* five = strip(10, 10, {kRed, kGreen, kBlue, kWhite, kYellow});
    // A stepped knob shows the step its module plays: 0.99 of five frames is step 3.
    auto* stepped = new ModuleKnob(r, nullptr, 0, 5, 10, five, 48000.f);
    {
        OneControl one(stepped);
        stepped->setStepped(true);
        stepped->setValue(0.99f);
        EXPECT_FLOAT_EQ(stepped->steppedValue, 0.75f);
        EXPECT_TRUE(near(one.centre(stepped), kWhite));
        stepped->setInverseBitmap(true);
        stepped->setValue(0.1f);  // runs the strip backwards
        EXPECT_TRUE(near(one.centre(stepped), kWhite));
    }
    // On/off and kick buttons: the off look on top, the on look below.
    CBitmap* two = strip(10, 10, {kRed, kGreen});
    auto* onOff = new COnOffButton(r, nullptr, 0, two);
    auto* kick = new CKickButton(r, nullptr, 0, two);
    for (CControl* c : {(CControl*)onOff, (CControl*)kick}) {
        OneControl one(c);
        c->setValue(0.f);
        EXPECT_TRUE(near(one.centre(c), kRed));
        c->setValue(1.f);
        EXPECT_TRUE(near(one.centre(c), kGreen));
    }
    five->forget();
    two->forget();
}

TEST(StripFrames, MovieBitmapExRoundsHalfUpClampsAndMayStayDirty) {
    CBitmap* five = strip(10, 10, {kRed, kGreen, kBlue, kWhite, kYellow});
    auto* ex = new CMovieBitmapEx(CRect::fromSize(20, 10, 10, 10), nullptr, 0, 5, 10, five);
    five->forget();
    OneControl one(ex);
    struct {
        float value;
        int frame;
        CColor colour;
    } cases[] = {
        {-0.5f, 0, kRed}, {0.f, 0, kRed},   {0.12f, 0, kRed},  // trunc(0.98)
        {0.13f, 1, kGreen},                                     // trunc(1.02)
        {0.5f, 2, kBlue}, {0.99f, 4, kYellow}, {7.f, 4, kYellow},  // clamped to 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        ex->setValue(c.value);
        EXPECT_EQ(ex->displayFrame(), c.frame);
        EXPECT_TRUE(near(one.centre(ex), c.colour));
        EXPECT_FALSE(ex->isDirty());
    }
    // Step lights keep their dirty mark through every draw.
    ex->clearDirtyOnDraw = false;
    ex->setValue(0.5f);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(one.frame->redrawDirty(), CRect::fromSize(20, 10, 10, 10));
        EXPECT_TRUE(ex->isDirty());
    }
}

TEST(StripFrames, SpecialDigitDrawsEachDigitAtItsPosition) {
    std::vector<CColor> digits;
    for (int i = 0; i < 10; ++i) digits.push_back(CColor{(uint8_t)(i * 25), (uint8_t)(255 - i * 25), 100, 255});
    CBitmap* art = strip(6, 8, digits);
    int xs[] = {30, 10};  // the most significant digit placed to the right of the other
    int ys[] = {5, 20};
    auto* d = new CSpecialDigit(CRect(10, 5, 36, 28), nullptr, 0, 47, 2, xs, ys, 6, 8, art);
    art->forget();
    OneControl one(d);
    COffscreenContext* img = one.frame->renderOffscreen();
    EXPECT_TRUE(near(img->getPixel(33, 9), digits[4]));
    EXPECT_TRUE(near(img->getPixel(13, 24), digits[7]));
    d->setValue(3.f);
    img = one.frame->renderOffscreen();
    EXPECT_TRUE(near(img->getPixel(33, 9), digits[0]));
    EXPECT_TRUE(near(img->getPixel(13, 24), digits[3]));
}

TEST(Containers, ChildrenDrawAtTheirContainersOriginClippedToIt) {
    CFrame* frame = new CFrame(CRect(0, 0, 200, 120), nullptr, nullptr);
    CBitmap* panelArt = strip(60, 40, {kBlue});
    auto* outer = new CViewContainer(CRect::fromSize(100, 50, 80, 60));
    auto* inner = new CViewContainer(CRect::fromSize(10, 20, 60, 40), panelArt);
    panelArt->forget();
    auto* dot = new Swatch(CRect::fromSize(5, 5, 4, 4), kRed);
    // Reaches past the inner container's right and bottom edges.
    auto* spill = new Swatch(CRect::fromSize(50, 30, 30, 30), kGreen);
    inner->addView(dot);
    inner->addView(spill);
    outer->addView(inner);
    frame->addView(outer);
    COffscreenContext* img = frame->renderOffscreen();
    // dot: frame position = outer (100,50) + inner (10,20) + (5,5).
    EXPECT_TRUE(near(img->getPixel(115, 75), kRed));
    EXPECT_TRUE(near(img->getPixel(118, 78), kRed));
    EXPECT_TRUE(near(img->getPixel(114, 75), kBlue));  // the inner background around it
    EXPECT_TRUE(near(img->getPixel(119, 79), kBlue));
    // spill: inside the inner container only (it ends at x 170, y 110).
    EXPECT_TRUE(near(img->getPixel(169, 109), kGreen));
    EXPECT_TRUE(near(img->getPixel(170, 100), kBlack));
    EXPECT_TRUE(near(img->getPixel(165, 110), kBlack));
    EXPECT_TRUE(near(img->getPixel(109, 70), kBlack));  // left of the inner container
    frame->forget();
}

TEST(Containers, RealModuleDrawsItsKnobsWhereTheRackPlacesIt) {
    fixture::Rig rig;
    CBitmap* knobArt = SharedBitmaps::get("minibrute_knob_s.png");
    knobArt->setPngData(stripPng(53, 53, std::vector<CColor>(49, kYellow)));
    Module* m = rig.editor.createModuleAt("S310 VCO", 120, 291);
    ASSERT_NE(m, nullptr);
    CViewContainer* rack = rig.editor.rackView();
    CFrame* frame = new CFrame(CRect(0, 0, 1010, 622), nullptr, nullptr);
    rack->setViewSize(CRect::fromSize(25, 40 - 291, 960, rack->getHeight()));  // scrolled by a row
    frame->addView(rack);
    COffscreenContext* img = frame->renderOffscreen();
    const CRect k = fixture::knobs(m)[0]->getViewSize();
    const int x = 25 + 120 + (k.left + k.right) / 2, y = 40 - 291 + 291 + (k.top + k.bottom) / 2;
    EXPECT_TRUE(near(img->getPixel(x, y), kYellow));
    EXPECT_FALSE(near(img->getPixel(x - 30, y - 30), kYellow)) << "knob art of the knob's own size only";
    frame->removeView(rack, false);
    frame->forget();
    knobArt->setPngData({});
}

TEST(Backend, AlphaBlendsBitmapsColoursAndGlobalAlpha) {
    auto img = COffscreenContext::create(40, 10);
    img->fillRect(CRect(0, 0, 40, 10), kWhite);
    img->fillRect(CRect(0, 0, 10, 10), CColor{255, 0, 0, 128});
    CBitmap* red = strip(10, 10, {kRed});
    img->drawBitmap(red, CRect(10, 0, 20, 10), CPoint(), 0.5f);
    img->setGlobalAlpha(0.25f);
    img->fillRect(CRect(20, 0, 30, 10), kBlack);
    img->setGlobalAlpha(1.f);
    // A half-transparent PNG keeps its own alpha.
    CBitmap* glass = strip(10, 10, {CColor{0, 0, 255, 64}});
    img->drawBitmap(glass, CRect(30, 0, 40, 10), CPoint());
    EXPECT_TRUE(near(img->getPixel(5, 5), CColor{255, 127, 127, 255}));
    EXPECT_TRUE(near(img->getPixel(15, 5), CColor{255, 127, 127, 255}));
    EXPECT_TRUE(near(img->getPixel(25, 5), CColor{191, 191, 191, 255}));
    EXPECT_TRUE(near(img->getPixel(35, 5), CColor{191, 191, 255, 255}));
    red->forget();
    glass->forget();
}

TEST(Backend, ClipOffsetAndMissingArt) {
    auto img = COffscreenContext::create(30, 30);
    img->setOffset(CPoint(10, 10));
    img->setClipRect(CRect(0, 0, 15, 30));  // surface coordinates
    img->fillRect(CRect(0, 0, 10, 10), kGreen);  // lands on 10..20, cut at 15
    EXPECT_TRUE(near(img->getPixel(10, 10), kGreen));
    EXPECT_TRUE(near(img->getPixel(14, 19), kGreen));
    EXPECT_EQ(img->getPixel(15, 15).alpha, 0);
    EXPECT_EQ(img->getPixel(9, 9).alpha, 0);
    // A bitmap without data draws nothing and keeps the size it was declared with.
    CBitmap none("no-such-resource.png", 53, 2597);
    img->setClipRect(CRect(0, 0, 30, 30));
    img->drawBitmap(&none, CRect(0, 0, 20, 20), CPoint());
    EXPECT_EQ(img->getPixel(25, 25).alpha, 0);
    EXPECT_EQ(none.getWidth(), 53);
    EXPECT_EQ(none.getHeight(), 2597);
    EXPECT_EQ(none.getPixels(), nullptr);
    // Data that is no PNG is turned down safely, however short.
    CBitmap junk("junk", std::vector<uint8_t>{0x89, 'P', 'N'});
    EXPECT_EQ(junk.getPixels(), nullptr);
}

TEST(Backend, TextIsDrawnInsideItsRectangleAndMeasured) {
    auto img = COffscreenContext::create(120, 30);
    img->setFontColor(kWhite);
    img->setFont(14.f);
    const int shortWidth = img->getStringWidth("Hi");
    const int longWidth = img->getStringWidth("Hi there, rack");
    EXPECT_GT(shortWidth, 4);
    EXPECT_GT(longWidth, shortWidth * 3);
    img->drawString("Hi there, rack", CRect(10, 5, 60, 25), kLeftText);
    const fixture::LitCount lit = fixture::litPixels(*img, CRect(10, 5, 60, 25));
    EXPECT_GT(lit.inside, 30);
    EXPECT_EQ(lit.outside, 0) << "text is clipped to its rectangle";
}
