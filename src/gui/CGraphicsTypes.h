#pragma once

#include <algorithm>
#include <cstdint>

struct CPoint {
    int x = 0;
    int y = 0;
    CPoint() = default;
    CPoint(int x, int y) : x(x), y(y) {}
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const CPoint& o) const { return !(*this == o); }
};

// Half-open pixel rectangle: left/top inside, right/bottom just outside.
struct CRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    CRect() = default;
    CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    static CRect fromSize(int x, int y, int w, int h) { return CRect(x, y, x + w, y + h); }

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    CRect& offset(int dx, int dy) {
        left += dx; right += dx; top += dy; bottom += dy;
        return *this;
    }
    CRect& moveTo(int x, int y) { return offset(x - left, y - top); }
    bool pointInside(const CPoint& p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    bool rectOverlap(const CRect& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }
};

struct CColor {
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;
};

enum CButtonState {
    kLButton = 1 << 0,
    kMButton = 1 << 1,
    kRButton = 1 << 2,
    kShift = 1 << 3,
    kControl = 1 << 4,
    kAlt = 1 << 5,
    kApple = 1 << 6,
};

enum CMouseEventResult {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled = 1,
    kMouseEventNotHandled = 2,
    kMouseDownEventHandledButDontNeedMovedOrUpEvents = 3,
};
