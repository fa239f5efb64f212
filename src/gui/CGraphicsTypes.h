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

// A point with fractional coordinates, for curves and antialiased lines.
struct CDPoint {
    double x = 0.0;
    double y = 0.0;
    CDPoint() = default;
    CDPoint(double x, double y) : x(x), y(y) {}
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
    bool isEmpty() const { return right <= left || bottom <= top; }
    // Smallest rectangle holding both (an empty one adds nothing).
    CRect unite(const CRect& o) const {
        if (isEmpty()) return o;
        if (o.isEmpty()) return *this;
        return CRect(std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
                     std::max(bottom, o.bottom));
    }
    CRect intersect(const CRect& o) const {
        CRect r(std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom));
        return r.isEmpty() ? CRect() : r;
    }
    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }
};

struct CColor {
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;
    bool operator==(const CColor& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    bool operator!=(const CColor& o) const { return !(*this == o); }
};

// A key press as the window delivers it: a character (Unicode code point, 0 for none)
// and, for keys without one, a virtual key (VKEY_*), with the modifier bits below.
enum VirtualKey {
    VKEY_NONE = 0, VKEY_BACK, VKEY_TAB, VKEY_RETURN, VKEY_ESCAPE, VKEY_SPACE, VKEY_END,
    VKEY_HOME, VKEY_LEFT, VKEY_UP, VKEY_RIGHT, VKEY_DOWN, VKEY_DELETE, VKEY_ENTER,
};
struct VstKeyCode {
    uint32_t character = 0;
    int virt = VKEY_NONE;
    long modifier = 0;  // kShift, kControl, kAlt
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
