#pragma once

#include "gui/CGraphicsTypes.h"

class CBitmap;

enum CDrawStyle { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };
enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };

// Drawing surface handed to views. Every drawing call of every view goes through
// here, so a platform backend (cairo, GDI+) is the only code that knows how pixels are
// made. The base draws nothing, which is what a view tree without a window needs.
//
// Coordinates: views draw in their own parent's coordinates; containers shift the
// origin for their children with setOffset, and the backend adds the offset.
class CDrawContext {
public:
    virtual ~CDrawContext() = default;

    // Origin shift applied to every coordinate below (containers nest it).
    void setOffset(const CPoint& p) { offset = p; }
    const CPoint& getOffset() const { return offset; }
    // Clip rectangle in surface coordinates (offset already applied); drawing outside
    // it is discarded. The full surface when never set.
    virtual void setClipRect(const CRect& r) { clip = r; }
    const CRect& getClipRect() const { return clip; }

    // Multiplies the alpha of everything drawn (0 to 1).
    virtual void setGlobalAlpha(float a) { globalAlpha = a; }
    float getGlobalAlpha() const { return globalAlpha; }
    virtual void setLineWidth(float w) { lineWidth = w; }
    float getLineWidth() const { return lineWidth; }
    virtual void setFrameColor(const CColor& c) { frameColor = c; }
    virtual void setFillColor(const CColor& c) { fillColor = c; }
    virtual void setFontColor(const CColor& c) { fontColor = c; }
    const CColor& getFrameColor() const { return frameColor; }
    const CColor& getFillColor() const { return fillColor; }
    const CColor& getFontColor() const { return fontColor; }
    // Font of drawString: pixel size and weight (family is the toolkit's default sans).
    virtual void setFont(float pixelSize, bool bold = false) {
        fontSize = pixelSize;
        fontBold = bold;
    }
    float getFontSize() const { return fontSize; }

    // Lines and shapes, antialiased, with the frame colour / fill colour.
    virtual void drawLine(const CDPoint& /*from*/, const CDPoint& /*to*/) {}
    virtual void drawRect(const CRect& /*r*/, CDrawStyle = kDrawStroked) {}
    virtual void drawEllipse(const CRect& /*r*/, CDrawStyle = kDrawStroked) {}
    virtual void drawPolygon(const CDPoint* /*points*/, int /*count*/, CDrawStyle = kDrawStroked) {}
    // An open path of cubic Bezier segments: start, then three points per segment.
    virtual void drawBezier(const CDPoint* /*points*/, int /*count*/) {}

    // Text in the font colour, vertically centred in the rectangle.
    virtual void drawString(const char* /*text*/, const CRect& /*r*/, CHoriTxtAlign = kCenterText) {}
    // Width in pixels of the text in the current font (0 without a backend).
    virtual int getStringWidth(const char* /*text*/) { return 0; }

    // Copies the part of the bitmap starting at srcOffset into dest (same size), with
    // the bitmap's own alpha, times `alpha`.
    virtual void drawBitmap(CBitmap*, const CRect& /*dest*/, const CPoint& /*srcOffset*/,
                            float /*alpha*/ = 1.f) {}
    // Shortcut: a filled rectangle in the given colour.
    virtual void fillRect(const CRect& r, const CColor& c) {
        CColor old = fillColor;
        setFillColor(c);
        drawRect(r, kDrawFilled);
        setFillColor(old);
    }

protected:
    CPoint offset;
    CRect clip{-1000000, -1000000, 1000000, 1000000};
    float globalAlpha = 1.f;
    float lineWidth = 1.f;
    CColor frameColor{0, 0, 0, 255};
    CColor fillColor{255, 255, 255, 255};
    CColor fontColor{255, 255, 255, 255};
    float fontSize = 12.f;
    bool fontBold = false;
};
