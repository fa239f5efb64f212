#include "editor/SynFrame.h"

#include "editor/SynEditor.h"
#include "framework/Module.h"

SynTimer::SynTimer(SynFrame* frame, uint32_t intervalMs)
    : CVSTGUITimer([frame](CVSTGUITimer* t) { frame->onTimer(t); }, intervalMs) {}

SynFrame::SynFrame(const CRect& size, void* parentWindow, SynEditor* editor)
    : CFrame(size, parentWindow, editor),
      timerA([this](CVSTGUITimer* t) { onTimer(t); }, kAutoScrollMs),
      timerB(this, kAutoScrollMs),
      timerC(this, kAuthorDelayMs),
      synEditor(editor) {}

namespace {

// A frame point in the panel coordinates of a module in the rack.
CPoint inModule(const Module* m, const CPoint& framePoint) {
    CPoint p = framePoint;
    m->frameToLocal(p);
    return CPoint(p.x - m->getViewSize().left, p.y - m->getViewSize().top);
}

}  // namespace

CMouseEventResult SynFrame::onMouseDown(CPoint& where, long buttons) {
    // A new module hangs on the mouse: this click is its drop, wherever it lands.
    if (Module* placed = synEditor->placingModule ? synEditor->draggedModule : nullptr) {
        CPoint local = inModule(placed, where);
        return placed->onMouseDown(local, buttons);
    }
    const CMouseEventResult r = CFrame::onMouseDown(where, buttons);
    if ((r == kMouseEventNotHandled || r == kMouseEventNotImplemented) && (buttons & kRButton)) {
        synEditor->openCableColourMenu(where);
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    return r;
}

CMouseEventResult SynFrame::onMouseMoved(CPoint& where, long buttons) {
    if (synEditor->cableDragging) {
        synEditor->cableDragMoved(where);
        return kMouseEventHandled;
    }
    if (Module* dragged = synEditor->draggedModule) {
        CPoint local = inModule(dragged, where);
        return dragged->onMouseMoved(local, buttons);
    }
    return CFrame::onMouseMoved(where, buttons);
}

void SynFrame::onTimer(CVSTGUITimer* timer) {
    if (timer == &timerA) synEditor->cableDragMoved(synEditor->cableDragPoint);
    else if (timer == &timerB) synEditor->dragModuleTo(lastPoint);
    else if (timer == &timerC) synEditor->authorFlashTick();
}
