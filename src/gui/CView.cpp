#include "gui/CView.h"

#include "gui/CFrame.h"

CFrame* CView::getFrame() const {
    const CView* v = this;
    while (v->getParentView()) v = v->getParentView();
    return v->isTypeOf("CFrame") ? static_cast<CFrame*>(const_cast<CView*>(v)) : nullptr;
}

CPoint& CView::localToFrame(CPoint& p) const {
    for (const CView* c = parent; c && c->getParentView(); c = c->getParentView()) {
        p.x += c->getViewSize().left;
        p.y += c->getViewSize().top;
    }
    return p;
}

CPoint& CView::frameToLocal(CPoint& p) const {
    for (const CView* c = parent; c && c->getParentView(); c = c->getParentView()) {
        p.x -= c->getViewSize().left;
        p.y -= c->getViewSize().top;
    }
    return p;
}

CRect& CView::localToFrame(CRect& r) const {
    CPoint tl(r.left, r.top);
    localToFrame(tl);
    r.moveTo(tl.x, tl.y);
    return r;
}

void CView::invalidRect(const CRect& r) const {
    CFrame* frame = getFrame();
    if (!frame) return;
    CRect f = r;
    localToFrame(f);
    frame->invalidateFrameRect(f);
}

void CView::setVisible(bool v) {
    if (v == visible) return;
    visible = v;
    setDirty();
    invalidRect(size);
}

void CView::collectDirtyRect(CRect& region, const CPoint& origin, const CRect& clip) const {
    if (!visible || !isDirty()) return;
    CRect r = size;
    region = region.unite(r.offset(origin.x, origin.y).intersect(clip));
}
