// The rack's rows, scrolling, and the modules moved on it with the mouse.
#include "editor/SynRack.h"

#include <algorithm>

#include "editor/SynEditor.h"
#include "editor/SynFrame.h"
#include "editor/SynScrollbar.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/SharedBitmaps.h"

namespace {

constexpr const char* kRowBitmaps[] = {"1st_row.jpg", "2nd_row.jpg", "3rd_row.jpg"};
// A module snaps to a row when its top lies up to 58 pixels below the row's top, or
// 233 or more (to the next row).
constexpr int kRowSnap = 58;
constexpr int kNextRowSnap = kRowHeight - kRowSnap;
constexpr int kModuleScrollMargin = 30;
constexpr float kModuleScrollSpeed = 0.5f;
// The point a new module hangs from, below its top.
constexpr int kPlacingGrabY = 97;

}  // namespace

CMouseEventResult SynRack::onMouseDown(CPoint& where, long buttons) {
    const int windowY = where.y + size.top;
    if (windowY < kTopBarHeight || windowY >= kTopBarHeight + kVisibleRackHeight) return kMouseEventNotHandled;
    return CViewContainer::onMouseDown(where, buttons);
}

void SynEditor::addRow() {
    rowSelector = (rowSelector + 1) % 3;
    const int top = rowCount * kRowHeight;
    auto* row = new CMovieBitmap(CRect::fromSize(0, top, kRowWidth, kRowHeight), nullptr, kTagNoParameter, 1,
                                 kRowHeight, SharedBitmaps::panel(kRowBitmaps[rowSelector], kRowWidth, kRowHeight));
    rowViews.push_back(row);
    rack->addView(row, rowCount);
    ++rowCount;
    layoutRack();
}

void SynEditor::applyRowCount(int rows) {
    while (rowCount < rows) addRow();
    while (rowCount > rows && rowCount > 1) {
        rowSelector = rowSelector == 0 ? 2 : rowSelector - 1;
        rack->removeView(rowViews.back(), true);
        rowViews.pop_back();
        --rowCount;
        layoutRack();
    }
}

bool SynEditor::removeRow() {
    if (rowCount <= 1) return false;
    EngineLockGuard guard(synth->engineLock);
    // Probe the last row's top line on the grid; a module found there goes, and the
    // probe goes on past its right edge.
    const int y = rack->contentHeight() - (kRowHeight - 1);
    for (int x = 0; x < kRowWidth;) {
        const CPoint probe(x + 1, y);
        Module* hit = nullptr;
        for (int i = 0; i < rackModules.size() && !hit; ++i)
            if (rackModules[i]->getViewSize().pointInside(probe)) hit = rackModules[i];
        if (!hit) {
            x += kGrid;
            continue;
        }
        const int right = hit->getViewSize().right;
        deleteModule(hit);
        x = std::max(x + kGrid, right - (right % kGrid));
    }
    applyRowCount(rowCount - 1);
    return true;
}

void SynEditor::layoutRack() {
    const int height = rowCount * kRowHeight;
    if (scrollbar) {
        scrollbar->setScrollSize(height);
        scrollbar->invalid();
    }
    placeRack(height);
}

void SynEditor::placeRack(int contentHeight) {
    const CRect r = CRect::fromSize(kSideBarWidth, rackTop(), kRowWidth, contentHeight);
    rack->setViewSize(r);
    rack->setMouseableArea(r);
    rack->invalid();
}

float SynEditor::scrollPosition() const { return scrollbar ? scrollbar->getValue() : 0.f; }

int SynEditor::rackTop() const {
    // One row is shorter than the window: it simply sits at the top.
    const int range = std::max(0, rowCount * kRowHeight - kVisibleRackHeight);
    return kTopBarHeight - (int)(scrollPosition() * (float)range);
}

void SynEditor::scrollTo(float p) {
    if (scrollbar && scrollbar->getValue() != p) {
        scrollbar->setValue(std::clamp(p, 0.f, 1.f));
        scrollbar->invalid();
    }
    placeRack(rack->contentHeight());
}

int SynEditor::autoScroll(int y, int margin, float speed) {
    const int range = rack->contentHeight() - kVisibleRackHeight;
    if (range <= 0) return 0;
    const int r = y - kTopBarHeight;
    float p = scrollPosition();
    int d = r - margin - kVisibleRackHeight;
    if (d > 0) {
        if (p >= 1.f) return 0;
        p = std::min(1.f, p + (float)d * speed / (float)range);
    } else if ((d = r + margin) < 0) {
        if (p <= 0.f) return 0;
        p = std::max(0.f, p + (float)d * speed / (float)range);
    } else {
        return 0;
    }
    scrollTo(p);
    return (int)((float)d * speed);
}

Module* SynEditor::addModuleFromMenu(const char* displayName) {
    if (!frame) return createModule(displayName);
    endModuleDrag();
    Module* m = createModuleAt(displayName, 0, 0);
    if (m) placeNewModule(m);
    return m;
}

void SynEditor::placeNewModule(Module* m) {
    if (!rack->isChild(m)) rack->addView(m);
    placingModule = true;
    if (frame) frame->setMouseCapture(true);
    CPoint grab(m->getWidth() / 3, kPlacingGrabY);
    m->onMouseDown(grab, kLButton);
}

void SynEditor::startModuleDrag(Module* m, const CPoint& rackPoint) {
    draggedModule = m;
    m->dragging = true;
    badDrop = true;
    const CRect& r = m->getViewSize();
    dragStart = CPoint(r.left, r.top);
    grabOffset = CPoint(rackPoint.x - r.left, rackPoint.y - r.top);
}

CMouseEventResult SynEditor::moduleMouseDown(Module* m, CPoint& where, long buttons) {
    const CPoint inRack(where.x + m->getViewSize().left, where.y + m->getViewSize().top);
    if (placingModule) {
        if (!draggedModule) {
            // The click placeNewModule sends: the module starts hanging on the mouse.
            startModuleDrag(m, inRack);
            return kMouseEventHandled;
        }
        if (draggedModule == m) endModuleDrag();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    const CMouseEventResult taken = m->controlsMouseDown(where, buttons);
    if (taken == kMouseEventHandled || taken == kMouseDownEventHandledButDontNeedMovedOrUpEvents) return taken;
    if (buttons & kRButton) {
        openModuleContextMenu(m, inRack);
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (draggedModule || cableDragging) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    // To the front, so it is drawn over its neighbours while it moves.
    rack->removeView(m, false);
    rack->addView(m);
    startModuleDrag(m, inRack);
    return kMouseEventHandled;
}

CMouseEventResult SynEditor::moduleMouseMoved(Module* m, CPoint& where, long buttons) {
    if (m != draggedModule) return m->controlsMouseMoved(where, buttons);
    dragModuleTo(CPoint(where.x + m->getViewSize().left, where.y + m->getViewSize().top));
    return kMouseEventHandled;
}

CMouseEventResult SynEditor::moduleMouseUp(Module* m, CPoint& where, long buttons) {
    if (m != draggedModule) return m->controlsMouseUp(where, buttons);
    endModuleDrag();
    return kMouseEventHandled;
}

bool SynEditor::probesClear(Module* m, int x, int y) {
    m->setVisible(false);
    bool clear = true;
    for (int k = 0; k < m->getWidth() && clear; k += kGrid) {
        CView* hit = rack->getViewAt(CPoint(x + k + 1, y + 1));
        clear = !(hit && hit->isTypeOf("Module"));
    }
    m->setVisible(true);
    return clear;
}

void SynEditor::dragModuleTo(const CPoint& p) {
    Module* m = draggedModule;
    if (!m) return;
    const int W = kRowWidth, H = rack->contentHeight();
    const int w = m->getWidth(), h = m->getHeight();
    const int t = p.y - grabOffset.y;
    const bool scrolling = frame && frame->timerB.isRunning();

    CPoint target;
    bool follow = true;
    if (!(scrolling && t >= 0 && t < H - kRowHeight)) {
        const int x = std::clamp(kGrid * ((p.x - grabOffset.x) / kGrid), 0, std::max(0, W - w));
        int row = kRowHeight * (t / kRowHeight);
        const int q = t % kRowHeight;
        if (q >= kNextRowSnap) {
            row = std::clamp(row + kRowHeight, 0, std::max(0, H - h));
            badDrop = false;
        } else {
            row = std::clamp(row, 0, std::max(0, H - h));
            badDrop = row < H - kRowHeight && q > kRowSnap;
        }
        if (!badDrop && !probesClear(m, x, row)) badDrop = true;
        if (!badDrop) {
            target = CPoint(x, row);
            follow = false;
        }
    }
    if (follow)
        target = CPoint(std::clamp(p.x - grabOffset.x, 0, std::max(0, W - w)), std::clamp(t, 0, std::max(0, H - h)));

    const CRect& now = m->getViewSize();
    if (now.left != target.x || now.top != target.y) {
        invalidateWithCables(m);
        moveModule(m, target.x, target.y);
        invalidateWithCables(m);
    }

    // Near the top or bottom of the window the rack scrolls under the module; timer B
    // keeps it going while the mouse rests there.
    const int top = m->getViewSize().top, bottom = m->getViewSize().bottom;
    int s = autoScroll(rackTop() + top, top == 0 ? 0 : kModuleScrollMargin, top == 0 ? 1.f : kModuleScrollSpeed);
    if (s == 0)
        s = autoScroll(rackTop() + bottom, bottom == H ? 0 : kModuleScrollMargin,
                       bottom == H ? 1.f : kModuleScrollSpeed);
    if (!frame) return;
    if (s != 0) {
        frame->lastPoint = CPoint(p.x, p.y + s);
        frame->timerB.start();
    } else {
        frame->timerB.stop();
    }
}

void SynEditor::endModuleDrag() {
    Module* m = draggedModule;
    if (!m) return;
    m->dragging = false;
    draggedModule = nullptr;
    if (frame) frame->timerB.stop();
    if (placingModule) {
        placingModule = false;
        if (badDrop) {
            rack->invalid();
            deleteModule(m);
        }
        if (frame) frame->setMouseCapture(false);
    } else if (badDrop) {
        invalidateWithCables(m);
        moveModule(m, dragStart.x, dragStart.y);
        invalidateWithCables(m);
    }
}

void SynEditor::invalidateWithCables(Module* m) {
    m->invalid();
    if (m->cableCount == 0) return;
    for (const Cable* c = cableHead; c; c = c->next)
        if (c->reader->getModule() == m || c->other->getModule() == m) invalidateRackArea(cableArea(c));
}

void SynEditor::deleteModule(Module* m) {
    if (!m) return;
    // A module on the mouse is let go first, so no drag points at a dead module.
    if (m == draggedModule) {
        m->dragging = false;
        draggedModule = nullptr;
        if (placingModule && frame) frame->setMouseCapture(false);
        placingModule = false;
        if (frame) frame->timerB.stop();
    }
    // Nor does a cable hang from a jack that is going.
    if (cableStart && cableStart->getModule() == m) cancelCableDrag();
    invalidateWithCables(m);
    Patch::deleteModule(m);
}

