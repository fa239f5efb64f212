// Counting what a drawing lit, for checks of any drawing backend.
#pragma once

#include "gui/COffscreenContext.h"

namespace fixture {

struct LitCount {
    int inside = 0;   // lit pixels within the rectangle
    int outside = 0;  // lit pixels anywhere else on the image
};

// Pixels with any alpha, split by whether they lie in `r`.
inline LitCount litPixels(COffscreenContext& img, const CRect& r) {
    LitCount n;
    for (int y = 0; y < img.getHeight(); ++y)
        for (int x = 0; x < img.getWidth(); ++x) {
            const bool lit = img.getPixel(x, y).alpha > 0;
            if (r.pointInside(CPoint(x, y))) n.inside += lit;
            else n.outside += lit;
        }
    return n;
}

}  // namespace fixture
