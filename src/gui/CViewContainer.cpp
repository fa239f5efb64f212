#include "gui/CViewContainer.h"

#include <algorithm>

#include "gui/CBitmap.h"

CViewContainer::CViewContainer(const CRect& size, CBitmap* background)
    : CView(size), background(background) {
    if (background) background->remember();
}

CViewContainer::~CViewContainer() {
    removeAll(true);
    if (background) background->forget();
}

void CViewContainer::addView(CView* view) {
    if (!view) return;
    children.push_back(view);
    view->setParentView(this);
    // The newcomer paints itself; the container's background under it is redrawn
    // with it, so the rest of the container need not be.
    view->setDirty();
}

void CViewContainer::addView(CView* view, int index) {
    if (!view) return;
    index = std::clamp(index, 0, (int)children.size());
    children.insert(children.begin() + index, view);
    view->setParentView(this);
    view->setDirty();
}

bool CViewContainer::removeView(CView* view, bool withForget) {
    auto it = std::find(children.begin(), children.end(), view);
    if (it == children.end()) return false;
    // What it covered is repainted without it.
    if (view->isVisible()) view->invalidRect(view->getViewSize());
    children.erase(it);
    if (mouseDownView == view) mouseDownView = nullptr;
    view->setParentView(nullptr);
    if (withForget) view->forget();
    return true;
}

void CViewContainer::removeAll(bool withForget) {
    std::vector<CView*> old;
    old.swap(children);
    mouseDownView = nullptr;
    for (CView* v : old) {
        v->setParentView(nullptr);
        if (withForget) v->forget();
    }
}

bool CViewContainer::isChild(const CView* view) const {
    return std::find(children.begin(), children.end(), view) != children.end();
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const {
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* v = *it;
        if (!v->isVisible() || !v->getViewSize().pointInside(where)) continue;
        if (deep && v->isTypeOf("CViewContainer")) {
            const CRect& r = v->getViewSize();
            CView* inner = static_cast<CViewContainer*>(v)->getViewAt(
                CPoint(where.x - r.left, where.y - r.top), true);
            if (inner) return inner;
        }
        return v;
    }
    return nullptr;
}

void CViewContainer::draw(CDrawContext* context) {
    dirty = false;
    if (!context) return;
    const CPoint outerOffset = context->getOffset();
    const CRect outerClip = context->getClipRect();
    CRect mine = size;
    mine.offset(outerOffset.x, outerOffset.y);
    const CRect clip = outerClip.intersect(mine);
    if (clip.isEmpty()) return;
    context->setClipRect(clip);
    if (background) context->drawBitmap(background, size, CPoint());
    drawChildren(context, CPoint(outerOffset.x + size.left, outerOffset.y + size.top), clip);
    context->setOffset(outerOffset);
    context->setClipRect(outerClip);
}

void CViewContainer::drawChildren(CDrawContext* context, const CPoint& origin, const CRect& clip) {
    context->setOffset(origin);
    for (CView* v : children) {
        if (!v->isVisible()) continue;
        CRect r = v->getViewSize();
        // Only what meets the area being repainted is drawn.
        if (!r.offset(origin.x, origin.y).rectOverlap(clip)) continue;
        v->draw(context);
    }
}

void CViewContainer::collectDirtyRect(CRect& region, const CPoint& origin, const CRect& clip) const {
    if (!visible) return;
    if (isDirty()) {
        CView::collectDirtyRect(region, origin, clip);
        return;
    }
    // Children are drawn clipped to the container: what lies outside it (a row
    // scrolled out of the rack) must not widen the region.
    CRect bounds = size;
    const CRect inside = clip.intersect(bounds.offset(origin.x, origin.y));
    if (inside.isEmpty()) return;
    const CPoint inner(origin.x + size.left, origin.y + size.top);
    for (const CView* v : children) v->collectDirtyRect(region, inner, inside);
}

CMouseEventResult CViewContainer::onMouseDown(CPoint& where, long buttons) {
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* v = *it;
        if (!v->isVisible() || !v->getMouseableArea().pointInside(where)) continue;
        CPoint local = where;
        if (v->isTypeOf("CViewContainer")) {
            local.x -= v->getViewSize().left;
            local.y -= v->getViewSize().top;
        }
        CMouseEventResult r = v->onMouseDown(local, buttons);
        if (r == kMouseEventHandled) {
            mouseDownView = v;
            return r;
        }
        if (r == kMouseDownEventHandledButDontNeedMovedOrUpEvents) return r;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseUp(CPoint& where, long buttons) {
    CView* v = mouseDownView;
    mouseDownView = nullptr;
    if (!v) return kMouseEventNotHandled;
    CPoint local = where;
    if (v->isTypeOf("CViewContainer")) {
        local.x -= v->getViewSize().left;
        local.y -= v->getViewSize().top;
    }
    return v->onMouseUp(local, buttons);
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint& where, long buttons) {
    CView* v = mouseDownView;
    if (!v) return kMouseEventNotHandled;
    CPoint local = where;
    if (v->isTypeOf("CViewContainer")) {
        local.x -= v->getViewSize().left;
        local.y -= v->getViewSize().top;
    }
    return v->onMouseMoved(local, buttons);
}
