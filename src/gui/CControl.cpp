#include "gui/CControl.h"

#include <algorithm>
#include <cmath>

#include "gui/CBitmap.h"

CControl::CControl(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background)
    : CView(size), listener(listener), tag(tag), background(background) {
    if (background) background->remember();
}

CControl::~CControl() {
    if (background) background->forget();
}

CMovieBitmap::CMovieBitmap(const CRect& size, CControlListener* listener, int32_t tag,
                           int subPixmaps, int heightOfOneImage, CBitmap* background, CPoint offset)
    : CControl(size, listener, tag, background),
      subPixmaps(std::max(1, subPixmaps)),
      heightOfOneImage(heightOfOneImage),
      offset(offset) {}

int CMovieBitmap::currentFrame() const {
    float range = vmax - vmin;
    float norm = range != 0.f ? (getValue() - vmin) / range : 0.f;
    // Clamped as a float first: converting NaN or a huge value to int is undefined.
    norm = norm >= 0.f ? std::min(norm, 1.f) : 0.f;
    return (int)(norm * (float)(subPixmaps - 1) + 0.5f);
}

void CMovieBitmap::draw(CDrawContext* context) {
    if (background && context)
        context->drawBitmap(background, size, CPoint(offset.x, offset.y + currentFrame() * heightOfOneImage));
    dirty = false;
}

CKnob::CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background)
    : CControl(size, listener, tag, background) {}

CMouseEventResult CKnob::onMouseDown(CPoint& where, long buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    firstPoint = where;
    startValue = getValue();
    lastButtons = buttons;
    tracking = true;
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseUp(CPoint&, long) {
    tracking = false;
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, long buttons) {
    if (!tracking || !(buttons & kLButton)) return kMouseEventNotHandled;
    // Vertical drag: 200 pixels cover the whole range, finer by the zoom factor with Shift.
    float range = 200.f * ((buttons & kShift) ? zoomFactor : 1.f);
    if ((buttons & kShift) != (lastButtons & kShift)) {
        // Re-anchor so switching precision mid-drag does not make the knob jump.
        startValue = getValue();
        firstPoint = where;
        lastButtons = buttons;
    }
    float diff = (float)(firstPoint.y - where.y) * (vmax - vmin) / range;
    float v = std::clamp(startValue + diff, vmin, vmax);
    if (v != getValue()) {
        setValue(v);
        valueChanged();
    }
    return kMouseEventHandled;
}

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int subPixmaps,
                     int heightOfOneImage, CBitmap* background, CPoint offset)
    : CKnob(size, listener, tag, background),
      subPixmaps(std::max(1, subPixmaps)),
      heightOfOneImage(heightOfOneImage),
      offset(offset) {}

void CAnimKnob::draw(CDrawContext* context) {
    float range = vmax - vmin;
    float norm = range != 0.f ? (getValue() - vmin) / range : 0.f;
    if (inverseBitmap) norm = 1.f - norm;
    norm = norm >= 0.f ? std::min(norm, 1.f) : 0.f;
    const int frame = (int)(norm * (float)(subPixmaps - 1) + 0.5f);
    if (background && context)
        context->drawBitmap(background, size, CPoint(offset.x, offset.y + frame * heightOfOneImage));
    dirty = false;
}

CVerticalSwitch::CVerticalSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                                 int subPixmaps, int heightOfOneImage, int iMaxPositions,
                                 CBitmap* background, CPoint offset)
    : CControl(size, listener, tag, background),
      subPixmaps(subPixmaps),
      heightOfOneImage(heightOfOneImage),
      iMaxPositions(std::max(2, iMaxPositions)),
      offset(offset) {}

CMouseEventResult CVerticalSwitch::onMouseDown(CPoint& where, long buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    int step = std::max(1, heightOfOneImage / iMaxPositions);
    int pos = std::clamp((where.y - size.top) / step, 0, iMaxPositions - 1);
    setValue(vmin + (vmax - vmin) * (float)pos / (float)(iMaxPositions - 1));
    valueChanged();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

COnOffButton::COnOffButton(const CRect& size, CControlListener* listener, int32_t tag,
                           CBitmap* background)
    : CControl(size, listener, tag, background) {}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, long buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    setValue(getValue() == vmax ? vmin : vmax);
    valueChanged();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CKickButton::CKickButton(const CRect& size, CControlListener* listener, int32_t tag,
                         CBitmap* background)
    : CControl(size, listener, tag, background) {}

CMouseEventResult CKickButton::onMouseDown(CPoint&, long buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    setValue(vmax);
    valueChanged();
    return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint&, long) {
    setValue(vmin);
    valueChanged();
    return kMouseEventHandled;
}

CSpecialDigit::CSpecialDigit(const CRect& size, CControlListener* listener, int32_t tag, int dwPos,
                             int iNumbers, int* xp, int* yp, int width, int height,
                             CBitmap* background)
    : CControl(size, listener, tag, background),
      iNumbers(std::clamp(iNumbers, 1, 7)),
      digitWidth(width),
      digitHeight(height) {
    for (int i = 0; i < 7; ++i) {
        xpos[i] = xp && i < this->iNumbers ? xp[i] : size.left + i * width;
        ypos[i] = yp && i < this->iNumbers ? yp[i] : size.top;
    }
    vmin = 0.f;
    vmax = std::pow(10.f, (float)this->iNumbers) - 1.f;
    setValue((float)dwPos);
}

int CSpecialDigit::digitAt(int i) const {
    long v = std::lround(std::clamp(getValue(), vmin, vmax));
    for (int k = iNumbers - 1; k > i; --k) v /= 10;
    return (int)(v % 10);
}
