#include "gui/CScrollbar.h"

#include <algorithm>

CScrollbar::CScrollbar(const CRect& size, CControlListener* listener, int32_t tag, ScrollbarDirection direction,
                       int scrollSize, int visibleSize)
    : CControl(size, listener, tag, nullptr), direction(direction), scrollSize(scrollSize), visibleSize(visibleSize) {}

int CScrollbar::scrollerLength() const {
    const int track = trackLength();
    if (scrollSize <= 0) return track;
    return std::clamp((int)((long long)track * visibleSize / scrollSize), std::min(kMinScrollerLength, track), track);
}

CRect CScrollbar::getScrollerRect() const {
    if (!canScroll()) return CRect();
    const int len = scrollerLength();
    const int start = trackStart() + (int)(std::clamp(getValue(), 0.f, 1.f) * (float)(trackLength() - len));
    if (direction == kVertical) return CRect(size.left + kInset, start, size.right - kInset, start + len);
    return CRect(start, size.top + kInset, start + len, size.bottom - kInset);
}

void CScrollbar::changeTo(float v) {
    v = std::clamp(v, 0.f, 1.f);
    if (v == getValue()) return;
    setValue(v);
    invalid();
    valueChanged();
}

CMouseEventResult CScrollbar::onMouseDown(CPoint& where, long buttons) {
    if (!(buttons & kLButton) || !canScroll()) return kMouseEventNotHandled;
    const CRect scroller = getScrollerRect();
    if (scroller.pointInside(where)) {
        dragging = true;
        grab = along(where) - (direction == kVertical ? scroller.top : scroller.left);
        return kMouseEventHandled;
    }
    // A click on the track pages by one visible size towards it.
    const float page = (float)visibleSize / (float)(scrollSize - visibleSize);
    const int scrollerStart = direction == kVertical ? scroller.top : scroller.left;
    changeTo(getValue() + (along(where) < scrollerStart ? -page : page));
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CScrollbar::onMouseMoved(CPoint& where, long buttons) {
    if (!dragging || !(buttons & kLButton)) return kMouseEventNotHandled;
    const int free = trackLength() - scrollerLength();
    if (free > 0) changeTo((float)(along(where) - grab - trackStart()) / (float)free);
    return kMouseEventHandled;
}

CMouseEventResult CScrollbar::onMouseUp(CPoint&, long) {
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    return kMouseEventHandled;
}

void CScrollbar::draw(CDrawContext* context) {
    if (context) {
        context->fillRect(size, backgroundColor);
        const CRect scroller = getScrollerRect();
        if (!scroller.isEmpty()) context->fillRect(scroller, scrollerColor);
    }
    dirty = false;
}
