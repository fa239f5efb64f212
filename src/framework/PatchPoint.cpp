#include "framework/PatchPoint.h"

#include "framework/Module.h"
#include "framework/Patch.h"
#include "framework/SharedBitmaps.h"
#include "gui/CBitmap.h"

namespace {
int framesOf(CBitmap* b, int height) {
    return b && height > 0 ? b->getHeight() / height : 1;
}
}  // namespace

PatchPoint::PatchPoint(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* bitmap,
                       int direction)
    : CMovieBitmap(size, listener, tag, framesOf(bitmap, size.height()), size.height(), bitmap),
      direction(direction) {}

PatchPoint::PatchPoint(const CRect& size, CControlListener* listener, int32_t tag, int direction, bool)
    : CMovieBitmap(size, listener, tag, framesOf(SharedBitmaps::get("MIDIpp.png"), size.height()),
                   size.height(), SharedBitmaps::get("MIDIpp.png")),
      direction(direction) {
    signalType = kSignalMidi;
    plugOffsetX = 0;
    plugOffsetY = 0;
}

PatchPoint* PatchPoint::makeMidi(const CRect& size, CControlListener* listener, int32_t tag,
                                 int direction) {
    return new PatchPoint(size, listener, tag, direction, true);
}

Module* PatchPoint::getModule() const {
    CViewContainer* p = getParentView();
    return p && p->isTypeOf("Module") ? static_cast<Module*>(p) : nullptr;
}

CPoint PatchPoint::plugPoint() const {
    const Module* m = getModule();
    const CPoint origin = m ? CPoint(m->getViewSize().left, m->getViewSize().top) : CPoint();
    return CPoint(origin.x + (size.left + size.right) / 2 + plugOffsetX,
                  origin.y + (size.top + size.bottom) / 2 + plugOffsetY);
}

CMouseEventResult PatchPoint::onMouseDown(CPoint& where, long buttons) {
    if (!editor || editor->moduleDragRunning()) return kMouseEventNotHandled;
    // A second button during a drag changes nothing; the release still ends it.
    if (editor->cableDragRunning()) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    Module* m = getModule();
    if (!m || !(buttons & kLButton)) return kMouseEventNotHandled;
    // A MIDI plug hangs where it was grabbed; an audio cable leaves the jack's centre.
    CPoint start = plugPoint();
    if (signalType == kSignalMidi) start = CPoint(where.x + m->getViewSize().left, where.y + m->getViewSize().top);
    editor->startCableDrag(this, start);
    return editor->cableDragRunning() ? kMouseEventHandled : kMouseEventNotHandled;
}

CMouseEventResult PatchPoint::onMouseUp(CPoint& where, long) {
    if (!editor || !editor->cableDragRunning()) return kMouseEventNotHandled;
    PatchPoint* from = editor->cableDragJack();
    CPoint inFrame = where;
    localToFrame(inFrame);
    CView* target = editor->viewUnderCable(inFrame);
    long answer = 0;
    if (target && target != from && target->isTypeOf("PatchPoint"))
        answer = static_cast<PatchPoint*>(target)->notify(from, kCableDraggedIn);
    if (answer != 1) editor->cancelCableDrag();
    return kMouseEventHandled;
}

long PatchPoint::notify(PatchPoint* from, const char* message) {
    if (!editor || !from || !message || std::strcmp(message, kCableDraggedIn) != 0) return 0;
    if (Patch::canJoin(from, this)) editor->joinCableDrag(this);
    else editor->cancelCableDrag();
    return 1;
}
