// Small pieces the toolkit tests share: PNG strips made with the drawing backend,
// a view that counts its draws, and colour comparison.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "gui/CBitmap.h"
#include "gui/COffscreenContext.h"
#include "gui/CView.h"

namespace guikit {

constexpr CColor kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255},
    kWhite{255, 255, 255, 255}, kBlack{0, 0, 0, 255}, kYellow{255, 255, 0, 255};

// PNG data of a strip of equal frames stacked vertically, each one solid colour.
inline std::vector<uint8_t> stripPng(int width, int frameHeight, const std::vector<CColor>& frames) {
    auto img = COffscreenContext::create(width, frameHeight * (int)frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
        img->fillRect(CRect::fromSize(0, (int)i * frameHeight, width, frameHeight), frames[i]);
    std::vector<uint8_t> png;
    EXPECT_TRUE(img->encodePng(png));
    return png;
}

inline CBitmap* strip(int width, int frameHeight, const std::vector<CColor>& frames) {
    return new CBitmap("test-strip", stripPng(width, frameHeight, frames));
}

// Colours equal within `tolerance` per channel (antialiasing and rounding).
inline ::testing::AssertionResult near(const CColor& got, const CColor& want, int tolerance = 2) {
    auto d = [](int a, int b) { return std::abs(a - b); };
    if (d(got.red, want.red) <= tolerance && d(got.green, want.green) <= tolerance &&
        d(got.blue, want.blue) <= tolerance && d(got.alpha, want.alpha) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << (int)got.red << "," << (int)got.green << "," << (int)got.blue << ","
           << (int)got.alpha << ") want (" << (int)want.red << "," << (int)want.green << ","
           << (int)want.blue << "," << (int)want.alpha << ")";
}

// A solid rectangle that counts how often it is drawn.
class Swatch : public CView {
public:
    Swatch(const CRect& r, CColor c) : CView(r), colour(c) {}
    void draw(CDrawContext* context) override {
        dirty = false;
        ++draws;
        context->fillRect(size, colour);
    }
    CColor colour;
    int draws = 0;
};

}  // namespace guikit
