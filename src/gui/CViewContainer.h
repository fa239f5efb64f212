#pragma once

#include <vector>

#include "gui/CView.h"

class CBitmap;

// A view that owns child views; children are positioned in the container's own
// coordinates and released when removed (unless asked not to) or when it dies.
class CViewContainer : public CView {
public:
    CViewContainer(const CRect& size, CBitmap* background = nullptr);
    ~CViewContainer() override;

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "CViewContainer") == 0 || CView::isTypeOf(s);
    }

    virtual void addView(CView* view);
    // Inserts below the children from `index` on (drawn before them).
    void addView(CView* view, int index);
    // Returns false when the view is not a child.
    virtual bool removeView(CView* view, bool withForget = true);
    void removeAll(bool withForget = true);
    bool isChild(const CView* view) const;
    int getNbViews() const { return (int)children.size(); }
    CView* getView(int index) const {
        return index >= 0 && index < (int)children.size() ? children[index] : nullptr;
    }
    const std::vector<CView*>& getChildren() const { return children; }

    // Topmost visible child whose area holds the point (container coordinates).
    CView* getViewAt(const CPoint& where, bool deep = false) const;

    // Background first, then the children with the origin moved to the container's
    // corner and drawing clipped to it; children outside the clip are skipped.
    void draw(CDrawContext* context) override;
    void collectDirtyRect(CRect& region, const CPoint& origin, const CRect& clip) const override;
    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, long buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, long buttons) override;

    CBitmap* getBackground() const { return background; }

protected:
    // Draws the visible children meeting `clip` (surface coordinates), with the
    // context's origin at `origin`.
    void drawChildren(CDrawContext* context, const CPoint& origin, const CRect& clip);

    std::vector<CView*> children;
    CBitmap* background;
    CView* mouseDownView = nullptr;
};
