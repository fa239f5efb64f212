#pragma once

#include "gui/CGraphicsTypes.h"

class CBitmap;

// Drawing surface handed to views. The base draws nothing, which is what a view
// tree without a window needs; a window-backed context overrides the primitives.
class CDrawContext {
public:
    virtual ~CDrawContext() = default;

    virtual void drawBitmap(CBitmap*, const CRect& /*dest*/, const CPoint& /*srcOffset*/,
                            float /*alpha*/ = 1.f) {}
    virtual void fillRect(const CRect&, const CColor&) {}
    virtual void drawString(const char*, const CRect&, const CColor&) {}
};
