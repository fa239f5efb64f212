#pragma once

#include "gui/CControl.h"

// A scrollbar over content of `scrollSize` pixels of which `visibleSize` show. The
// value runs from 0 (start) to 1 (end); the listener hears every change the mouse
// makes. Content that fits shows no scroller and ignores the mouse.
class CScrollbar : public CControl {
public:
    enum ScrollbarDirection { kHorizontal, kVertical };

    CScrollbar(const CRect& size, CControlListener* listener, int32_t tag, ScrollbarDirection direction,
               int scrollSize, int visibleSize);

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CScrollbar") == 0 || CControl::isTypeOf(s);
    }

    void setScrollSize(int s) { scrollSize = s; setDirty(); }
    int getScrollSize() const { return scrollSize; }
    void setVisibleSize(int s) { visibleSize = s; setDirty(); }
    int getVisibleSize() const { return visibleSize; }
    bool canScroll() const { return scrollSize > visibleSize; }
    ScrollbarDirection getDirection() const { return direction; }

    void setBackgroundColor(const CColor& c) { backgroundColor = c; }
    const CColor& getBackgroundColor() const { return backgroundColor; }
    void setScrollerColor(const CColor& c) { scrollerColor = c; }
    const CColor& getScrollerColor() const { return scrollerColor; }

    // The scroller (thumb) in the coordinates the bar's size is given in; empty when
    // nothing scrolls.
    CRect getScrollerRect() const;

    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, long buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, long buttons) override;
    void draw(CDrawContext* context) override;

    static constexpr int kMinScrollerLength = 16;
    static constexpr int kInset = 2;

private:
    int along(const CPoint& p) const { return direction == kVertical ? p.y : p.x; }
    int trackStart() const { return (direction == kVertical ? size.top : size.left) + kInset; }
    int trackLength() const { return (direction == kVertical ? size.height() : size.width()) - 2 * kInset; }
    int scrollerLength() const;
    void changeTo(float v);

    ScrollbarDirection direction;
    int scrollSize;
    int visibleSize;
    CColor backgroundColor{0, 0, 0, 150};
    CColor scrollerColor{150, 150, 150, 200};
    bool dragging = false;
    int grab = 0;
};
