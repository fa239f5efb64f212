#pragma once

#include <atomic>
#include <cstring>

#include "gui/CDrawContext.h"
#include "gui/CGraphicsTypes.h"
#include "gui/CReferenceCounter.h"

class CViewContainer;
class CFrame;

class CView : public CReferenceCounter {
public:
    explicit CView(const CRect& size) : size(size), mouseableArea(size) {}

    virtual void draw(CDrawContext*) { dirty = false; }
    virtual CMouseEventResult onMouseDown(CPoint&, long /*buttons*/) { return kMouseEventNotImplemented; }
    virtual CMouseEventResult onMouseUp(CPoint&, long) { return kMouseEventNotImplemented; }
    virtual CMouseEventResult onMouseMoved(CPoint&, long) { return kMouseEventNotImplemented; }
    virtual bool isTypeOf(const char* s) const { return std::strcmp(s, "CView") == 0; }
    // Keys reach the frame's focus view first; true when the view used the key.
    virtual bool onKeyDown(VstKeyCode&) { return false; }
    // Told when the view gains or loses the frame's keyboard focus.
    virtual void takeFocus() {}
    virtual void looseFocus() {}

    const CRect& getViewSize() const { return size; }
    // The old area is repainted too (a moved view leaves nothing behind).
    virtual void setViewSize(const CRect& r) {
        if (r == size) return;
        invalidRect(size);
        size = r;
        setDirty();
    }
    const CRect& getMouseableArea() const { return mouseableArea; }
    void setMouseableArea(const CRect& r) { mouseableArea = r; }
    int getWidth() const { return size.width(); }
    int getHeight() const { return size.height(); }

    void setParentView(CViewContainer* p) { parent = p; }
    CViewContainer* getParentView() const { return parent; }
    CFrame* getFrame() const;

    // The audio thread marks lights and displays dirty; the editor's idle finds them.
    virtual void setDirty(bool state = true) { dirty.store(state, std::memory_order_relaxed); }
    bool isDirty() const { return dirty.load(std::memory_order_relaxed); }
    // Adds the frame rectangle of every visible dirty view at or below this one, cut
    // to `clip` (what its ancestors show); `origin` is the frame position of this
    // view's coordinate origin (its parent's).
    virtual void collectDirtyRect(CRect& region, const CPoint& origin, const CRect& clip) const;
    // Marks the view for redraw and adds its rectangle to the frame's dirty region.
    void invalid() {
        setDirty();
        invalidRect(size);
    }
    // A rectangle in the coordinates this view's size is given in (its parent's).
    void invalidRect(const CRect& r) const;
    // Between this view's coordinates (those its size is given in) and the frame's.
    CPoint& localToFrame(CPoint& p) const;
    CPoint& frameToLocal(CPoint& p) const;
    CRect& localToFrame(CRect& r) const;
    // Showing or hiding repaints the area the view covers.
    void setVisible(bool v);
    bool isVisible() const { return visible; }
    void setTransparency(bool t) { transparent = t; }
    bool getTransparency() const { return transparent; }

protected:
    CRect size;
    CRect mouseableArea;
    CViewContainer* parent = nullptr;
    // Cleared by draw before reading the value, so a change written meanwhile stays dirty.
    std::atomic<bool> dirty{true};
    bool visible = true;
    bool transparent = false;
};
