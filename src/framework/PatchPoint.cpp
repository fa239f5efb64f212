#include "framework/PatchPoint.h"

#include "framework/Module.h"
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
