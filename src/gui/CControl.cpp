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

float CControl::getValueNormalized() const {
    const float range = vmax - vmin;
    const float norm = range != 0.f ? (getValue() - vmin) / range : 0.f;
    // Clamped as a float first: converting NaN or a huge value to int is undefined.
    return norm >= 0.f ? std::min(norm, 1.f) : 0.f;
}

void CControl::drawStripFrame(CDrawContext* context, const CPoint& origin, int frame, int frameHeight) const {
    if (background && context)
        context->drawBitmap(background, size, CPoint(origin.x, origin.y + frame * frameHeight));
}

CMovieBitmap::CMovieBitmap(const CRect& size, CControlListener* listener, int32_t tag,
                           int subPixmaps, int heightOfOneImage, CBitmap* background, CPoint offset)
    : CControl(size, listener, tag, background),
      subPixmaps(std::max(1, subPixmaps)),
      heightOfOneImage(heightOfOneImage),
      offset(offset) {}

int CMovieBitmap::currentFrame() const {
    return (int)(getValueNormalized() * (float)(subPixmaps - 1) + 0.5f);
}

void CMovieBitmap::draw(CDrawContext* context) {
    dirty = false;
    drawStripFrame(context, offset, currentFrame(), heightOfOneImage);
}

CKnob::CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background)
    : CControl(size, listener, tag, background) {}

void CKnob::draw(CDrawContext* context) {
    dirty = false;
    if (!context) return;
    if (background) context->drawBitmap(background, size, CPoint());
    // The handle sweeps 270 degrees: minimum at lower left, maximum at lower right.
    const double angle = (-135.0 + 270.0 * getValueNormalized()) * 3.14159265358979 / 180.0;
    const double cx = (size.left + size.right - 1) * 0.5, cy = (size.top + size.bottom - 1) * 0.5;
    const double radius = std::min(size.width(), size.height()) * 0.5 - 2.0;
    const CColor oldFrame = context->getFrameColor();
    const float oldWidth = context->getLineWidth();
    context->setFrameColor(handleColor);
    context->setLineWidth(2.f);
    context->drawLine(CDPoint(cx, cy), CDPoint(cx + radius * std::sin(angle), cy - radius * std::cos(angle)));
    context->setFrameColor(oldFrame);
    context->setLineWidth(oldWidth);
}

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

int CAnimKnob::currentFrame() const {
    const float norm = inverseBitmap ? 1.f - getValueNormalized() : getValueNormalized();
    // Truncated, the way stepped knobs cut their values, so a stepped knob always
    // shows the step its module plays.
    return std::min((int)(norm * (float)(subPixmaps - 1)), subPixmaps - 1);
}

void CAnimKnob::draw(CDrawContext* context) {
    dirty = false;
    drawStripFrame(context, offset, currentFrame(), heightOfOneImage);
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
    followMouse(where);
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSwitch::onMouseMoved(CPoint& where, long buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    followMouse(where);
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSwitch::onMouseUp(CPoint&, long) { return kMouseEventHandled; }

// The position under the pointer, the switch's height split evenly between positions;
// dragging past either end holds the end position.
void CVerticalSwitch::followMouse(const CPoint& where) {
    const int step = std::max(1, (heightOfOneImage > 0 ? heightOfOneImage : size.height()) / iMaxPositions);
    const int pos = std::clamp((where.y - size.top) / step, 0, iMaxPositions - 1);
    const float v = vmin + (vmax - vmin) * (float)pos / (float)(iMaxPositions - 1);
    if (v == getValue()) return;
    setValue(v);
    valueChanged();
}

int CVerticalSwitch::currentFrame() const {
    return std::min((int)(getValueNormalized() * (float)(iMaxPositions - 1) + 0.5f), std::max(0, subPixmaps - 1));
}

void CVerticalSwitch::draw(CDrawContext* context) {
    dirty = false;
    drawStripFrame(context, offset, currentFrame(), heightOfOneImage);
}

COnOffButton::COnOffButton(const CRect& size, CControlListener* listener, int32_t tag,
                           CBitmap* background)
    : CControl(size, listener, tag, background) {}

void COnOffButton::draw(CDrawContext* context) {
    dirty = false;
    // The off look on top of the strip, the on look below it.
    drawStripFrame(context, CPoint(), getValue() != vmin ? 1 : 0, size.height());
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, long buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    setValue(getValue() == vmax ? vmin : vmax);
    valueChanged();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CKickButton::CKickButton(const CRect& size, CControlListener* listener, int32_t tag,
                         CBitmap* background)
    : CControl(size, listener, tag, background) {}

void CKickButton::draw(CDrawContext* context) {
    dirty = false;
    drawStripFrame(context, CPoint(), getValue() == vmax ? 1 : 0, size.height());
}

CMouseEventResult CKickButton::onMouseDown(CPoint&, long buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    pressed = true;
    setValue(vmax);
    valueChanged();
    return kMouseEventHandled;
}

// Held down, the button is pressed only while the pointer is over it: sliding off
// lets go, sliding back presses again.
CMouseEventResult CKickButton::onMouseMoved(CPoint& where, long buttons) {
    if (!pressed) return kMouseEventNotHandled;
    const float v = (buttons & kLButton) && size.pointInside(where) ? vmax : vmin;
    if (v != getValue()) {
        setValue(v);
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint&, long) {
    if (!pressed) return kMouseEventNotHandled;
    pressed = false;
    if (getValue() != vmin) {
        setValue(vmin);
        valueChanged();
    }
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

void CSpecialDigit::draw(CDrawContext* context) {
    dirty = false;
    if (!background || !context) return;
    for (int i = 0; i < iNumbers; ++i)
        context->drawBitmap(background, CRect::fromSize(xpos[i], ypos[i], digitWidth, digitHeight),
                            CPoint(0, digitAt(i) * digitHeight));
}

int CSpecialDigit::digitAt(int i) const {
    long v = std::lround(std::clamp(getValue(), vmin, vmax));
    for (int k = iNumbers - 1; k > i; --k) v /= 10;
    return (int)(v % 10);
}
