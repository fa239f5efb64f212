#include "framework/ModuleKnob.h"

#include <algorithm>
#include <cmath>

#include "framework/Module.h"
#include "framework/Patch.h"

std::atomic<uint32_t> knobEpoch{0};

ModuleKnob::ModuleKnob(const CRect& size, CControlListener* listener, int32_t tag, int subPixmaps,
                       int heightOfOneImage, CBitmap* background, float moduleSampleRate)
    : CAnimKnob(size, listener, tag, subPixmaps, heightOfOneImage, background) {
    smoothedValue = getValue();
    steppedValue = getValue();
    smoothDivisor = moduleSampleRate / 1000.f * (float)smoothMs;
}

void ModuleKnob::setValue(float v) {
    CAnimKnob::setValue(v);
    if (stepped) updateStepped();
    touched();
}

void ModuleKnob::updateStepped() {
    const float s = (float)(subPixmaps - 1);
    if (s <= 0.f) {
        steppedValue = 0.f;
        touched();
        return;
    }
    const float v = inverseBitmap ? 1.f - getValue() : getValue();
    steppedValue = std::trunc(v * s) / s;
    touched();
}

void ModuleKnob::setSmoothing(int ms, float moduleSampleRate) {
    if (ms >= 0) smoothMs = ms;
    smoothDivisor = moduleSampleRate / 1000.f * (float)smoothMs;
    // A zero divisor (0 ms) would make the first step infinite; 0 ms means "jump".
    if (smoothDivisor < 1.f) smoothDivisor = 1.f;
}

CMouseEventResult ModuleKnob::onMouseDown(CPoint& where, long buttons) {
    if (buttons & kRButton) {
        Module* m = getParentView() && getParentView()->isTypeOf("Module")
                        ? static_cast<Module*>(getParentView())
                        : nullptr;
        if (m && m->editor) m->editor->openKnobMenu(this, where);
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    return CAnimKnob::onMouseDown(where, buttons);
}

CMouseEventResult ModuleKnobEx::onMouseDown(CPoint& where, long buttons) {
    if (buttons & kLButton) {
        pressPoint = where;
        referenceValue = getValue();
        referenceButtons = buttons;
    }
    return ModuleKnob::onMouseDown(where, buttons);
}

CMouseEventResult ModuleKnobEx::onMouseMoved(CPoint& where, long buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    const float oldValue = getValue();
    float v;
    if (!circular) {
        float range = 400.f * ((buttons & kShift) ? zoomFactor : 1.f);
        float diff = (float)((pressPoint.y - where.y) + (where.x - pressPoint.x));
        if (buttons != referenceButtons) {
            // Keep the knob where it is when Shift changes mid-drag.
            float oldRange = 400.f * ((referenceButtons & kShift) ? zoomFactor : 1.f);
            referenceValue += diff * (vmax - vmin) / oldRange - diff * (vmax - vmin) / range;
            referenceButtons = buttons;
        }
        v = referenceValue + diff * (vmax - vmin) / range;
    } else {
        // Pixel indices, like the mouse: the middle pixel of an odd-sized knob is its
        // centre, so pointing straight above it gives the middle of the travel.
        const float cx = (float)(size.left + size.right - 1) * 0.5f;
        const float cy = (float)(size.top + size.bottom - 1) * 0.5f;
        // 0 at the lower left, full at the lower right, clockwise through the top.
        float angle = std::atan2((float)where.x - cx, cy - (float)where.y);  // -pi..pi, 0 up
        const float sweep = 0.75f * 3.14159265f;
        v = vmin + (vmax - vmin) * (std::clamp(angle, -sweep, sweep) + sweep) / (2.f * sweep);
        if (std::fabs(v - oldValue) > (vmax - vmin) * 0.5f) v = oldValue < (vmin + vmax) * 0.5f ? vmin : vmax;
    }
    v = std::clamp(v, vmin, vmax);
    if (v != oldValue) {
        setValue(v);
        valueChanged();
    }
    // Repainted by the same idle that delivered the move.
    if (redrawOnMove && isDirty()) invalid();
    return kMouseEventHandled;
}

int CMovieBitmapEx::displayFrame() const {
    float v = std::min(getValue(), 1.f);
    return v > 0.f ? (int)((float)(subPixmaps - 1) * v + 0.5f) : 0;
}

void CMovieBitmapEx::draw(CDrawContext* context) {
    if (clearDirtyOnDraw) dirty = false;
    drawStripFrame(context, offset, displayFrame(), heightOfOneImage);
}
