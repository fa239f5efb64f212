// Module panels: every control a musician touches is labelled, no label covers a
// control or another label, and the art is the same whichever process draws it.
#include <algorithm>
#include <map>

#include "ArtSupport.h"
#include "framework/PatchPoint.h"
#include "gui/CBitmap.h"

using namespace arttest;

namespace {

bool touchable(const CView* v) {
    return v->isTypeOf("ModuleKnob") || v->isTypeOf("CVerticalSwitch") || v->isTypeOf("CKickButton") ||
           v->isTypeOf("COnOffButton") || v->isTypeOf("PatchPoint");
}

// What a control paints on its panel, from the compiled-in strip it is drawn with:
// the box of its non-transparent pixels over all frames.
art::Box paintedBox(const CView* v) {
    const CRect& r = v->getViewSize();
    const art::Box whole = {(double)r.left, (double)r.top, (double)r.right, (double)r.bottom};
    const CBitmap* b = v->isTypeOf("CControl") ? static_cast<const CControl*>(v)->getBackground() : nullptr;
    if (!b || v->isTypeOf("CSpecialDigit")) return whole;
    static std::map<std::pair<std::string, int>, art::Box> cache;
    const auto key = std::make_pair(b->getName(), r.height());
    auto it = cache.find(key);
    if (it == cache.end()) {
        const Pixels strip(b->getName().c_str());
        EXPECT_TRUE(strip.ok()) << b->getName();
        int x0 = strip.width(), y0 = r.height(), x1 = -1, y1 = -1;
        for (int y = 0; y < strip.height(); ++y)
            for (int x = 0; x < strip.width(); ++x)
                if (strip.alpha(x, y) > 0) {
                    x0 = std::min(x0, x), x1 = std::max(x1, x);
                    y0 = std::min(y0, y % r.height()), y1 = std::max(y1, y % r.height());
                }
        it = cache.emplace(key, x1 < 0 ? art::Box{} : art::Box{(double)x0, (double)y0, x1 + 1.0, y1 + 1.0}).first;
    }
    return it->second.moved(r.left, r.top);
}

std::string describe(const art::Box& b) {
    return "(" + std::to_string(b.x0) + ", " + std::to_string(b.y0) + ") - (" + std::to_string(b.x1) + ", " +
           std::to_string(b.y1) + ")";
}

}  // namespace

TEST(PanelLegends, LieInsideThePanelClearOfEachOtherTheTitleAndEveryControl) {
    needFonts();
    forEachModule([](Module& m) {
        const art::PanelLayout layout = art::layoutPanel(m);
        EXPECT_TRUE(layout.unplaced.empty()) << layout.unplaced.size() << " legends found no room";
        const art::Box panel = {0, 0, (double)m.getWidth(), (double)m.getHeight()};
        ASSERT_FALSE(layout.titleBoxes.empty());
        EXPECT_LT(layout.titleBoxes[0].y0, 12) << "the name belongs at the top";
        for (size_t i = 0; i < layout.legends.size(); ++i) {
            const art::PlacedLegend& l = layout.legends[i];
            SCOPED_TRACE(l.text + " at " + describe(l.box));
            EXPECT_GE(l.pixels, 7.0);
            EXPECT_TRUE(l.box.inside(panel));
            for (size_t j = i + 1; j < layout.legends.size(); ++j)
                EXPECT_FALSE(l.box.overlaps(layout.legends[j].box)) << "covers " << layout.legends[j].text;
            for (const art::Box& t : layout.titleBoxes) EXPECT_FALSE(l.box.overlaps(t)) << "covers the title";
            for (CView* v : m.getChildren()) {
                if (!v->isVisible() || !v->isTypeOf("CControl")) continue;
                EXPECT_FALSE(l.box.overlaps(paintedBox(v))) << "covers a control at " << describe(paintedBox(v));
            }
        }
        for (CView* v : m.getChildren()) {
            if (!v->isVisible() || !touchable(v)) continue;
            const bool labelled = std::any_of(layout.legends.begin(), layout.legends.end(),
                                              [v](const art::PlacedLegend& l) { return l.control == v; });
            EXPECT_TRUE(labelled) << "an unlabelled control at " << describe(paintedBox(v));
        }
    });
}

TEST(PanelLegends, ArePrintedWhereLaidOutOutputsLightOnDarkPlates) {
    needFonts();
    int outputs = 0, inputs = 0;
    forEachModule([&](Module& m) {
        const art::PanelLayout layout = art::layoutPanel(m);
        const Pixels panel(m.getBackground()->getName().c_str());
        ASSERT_TRUE(panel.ok());
        for (const art::PlacedLegend& l : layout.legends) {
            SCOPED_TRACE(l.text);
            // The box holds the text: enough pixels far from the ground they stand on.
            std::vector<double> lum;
            for (int y = (int)l.box.y0; y < (int)std::ceil(l.box.y1); ++y)
                for (int x = (int)l.box.x0; x < (int)std::ceil(l.box.x1); ++x) lum.push_back(panel.luminance(x, y));
            // The ground is what surrounds the box: the ring of pixels just outside it.
            std::vector<double> ring;
            const int x0 = (int)std::floor(l.box.x0) - 1, x1 = (int)std::ceil(l.box.x1);
            const int y0 = (int)std::floor(l.box.y0) - 1, y1 = (int)std::ceil(l.box.y1);
            for (int x = x0; x <= x1; ++x) ring.push_back(panel.luminance(x, y0)), ring.push_back(panel.luminance(x, y1));
            for (int y = y0; y <= y1; ++y) ring.push_back(panel.luminance(x0, y)), ring.push_back(panel.luminance(x1, y));
            std::sort(ring.begin(), ring.end());
            const double ground = ring[ring.size() / 2];
            const long strokes = std::count_if(lum.begin(), lum.end(), [&](double v) { return std::abs(v - ground) > 0.4; });
            EXPECT_GE(strokes, 4) << "no legible text at " << describe(l.box);
            if (!l.control->isTypeOf("PatchPoint")) continue;
            const int direction = static_cast<const PatchPoint*>(l.control)->direction;
            if (direction == kJackOutput) {
                EXPECT_LT(ground, 0.3) << "an output off its plate";
                ++outputs;
            } else if (direction == kJackInput) {
                EXPECT_GT(ground, 0.6) << "an input on a plate";
                ++inputs;
            }
        }
    });
    EXPECT_GT(outputs, 50);
    EXPECT_GT(inputs, 50);
}

TEST(PanelArt, IsTheSameBytesWhicheverProcessDrawsIt) {
    needFonts();
    forEachModule([](Module& m) {
        const std::string& name = m.getBackground()->getName();
        if (name != "S310VCO.png" && name != "SB12RachetTrigSeq.png" && name != "SD05MPC.png") return;
        const art::Image first = art::drawPanel(m), second = art::drawPanel(m);
        EXPECT_EQ(first.png, second.png);
        // The build drew the compiled-in copy in another process, with other jack
        // bitmaps drawn at random: the panel must not depend on them.
        const Resource* built = findResource(name.c_str());
        ASSERT_NE(built, nullptr);
        EXPECT_EQ(first.png, std::vector<unsigned char>(built->data, built->data + built->size));
    });
}
