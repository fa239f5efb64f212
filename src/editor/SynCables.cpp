// Cables on screen: dragging them from jack to jack, their redraw areas and drawing.
#include <algorithm>
#include <cstdlib>

#include "editor/SynEditor.h"
#include "editor/SynFrame.h"
#include "editor/SynRack.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/SharedBitmaps.h"

const uint32_t SynEditor::kCableColours[8] = {0x32000000, 0xFF7D0A0A, 0xFF0A7D0A, 0xFF0A0A7D,
                                              0xFF505050, 0xFF995104, 0xFF7D119E, 0xFF0A0A0A};

namespace {

constexpr int kMidiColour = 7;
constexpr int kCableScrollMargin = 10;
constexpr int kPlugSize = 38;
// Ends within this many pixels of each other horizontally bow further right, so a
// vertical cable still shows a curve.
constexpr int kNearlyVertical = 4;
constexpr int kVerticalBow = 7;
constexpr int kSag = 15;
constexpr int kShadowShift = 15;
constexpr int kShadowAlpha = 50;
// Pens and end circles, widest first; each step is 45 brighter.
constexpr float kPens[3] = {8.f, 5.f, 2.f};
constexpr int kBrighten = 45;
// Catmull-Rom curve through the three points.
constexpr double kTension = 0.5;

CColor fromArgb(uint32_t argb, int alpha) {
    return CColor{(uint8_t)(argb >> 16), (uint8_t)(argb >> 8), (uint8_t)argb, (uint8_t)alpha};
}

// Channels wrap rather than clip: the highlight of a bright colour turns dark.
CColor brighter(const CColor& c, int steps) {
    const int d = kBrighten * steps;
    return CColor{(uint8_t)(c.red + d), (uint8_t)(c.green + d), (uint8_t)(c.blue + d), c.alpha};
}

// A curve through three points as two cubic Bezier segments.
void drawCurve(CDrawContext* context, const CPoint& a, const CPoint& m, const CPoint& b) {
    const double k = kTension / 3.0;
    const CDPoint p[7] = {
        {(double)a.x, (double)a.y},
        {a.x + k * (m.x - a.x), a.y + k * (m.y - a.y)},
        {m.x - k * (b.x - a.x), m.y - k * (b.y - a.y)},
        {(double)m.x, (double)m.y},
        {m.x + k * (b.x - a.x), m.y + k * (b.y - a.y)},
        {b.x - k * (b.x - m.x), b.y - k * (b.y - m.y)},
        {(double)b.x, (double)b.y},
    };
    context->drawBezier(p, 7);
}

void drawCable(CDrawContext* context, const CPoint& p0, const CPoint& p2, const CColor& shadow, const CColor& c) {
    const CPoint pm((p0.x + p2.x) / 2 + (std::abs(p0.x - p2.x) <= kNearlyVertical ? kVerticalBow : 0),
                    std::max(p0.y, p2.y) + kSag);
    context->setLineWidth(kPens[0]);
    context->setFrameColor(shadow);
    drawCurve(context, p0, CPoint(pm.x + kShadowShift, pm.y + kShadowShift), p2);
    for (const CPoint& end : {p0, p2}) {
        for (int i = 0; i < 3; ++i) {
            const int d = (int)kPens[i];
            context->setFillColor(brighter(c, i));
            context->drawEllipse(CRect::fromSize(end.x - d / 2, end.y - d / 2, d, d), kDrawFilled);
        }
    }
    for (int i = 0; i < 3; ++i) {
        context->setLineWidth(kPens[i]);
        context->setFrameColor(brighter(c, i));
        drawCurve(context, p0, pm, p2);
    }
}

void centreOn(CView* v, const CPoint& p) {
    const CRect r = CRect::fromSize(p.x - v->getWidth() / 2, p.y - v->getHeight() / 2, v->getWidth(), v->getHeight());
    v->setViewSize(r);
    v->setMouseableArea(r);
}

Cable* cableReadBy(Cable* head, const PatchPoint* jack) {
    for (Cable* c = head; c; c = c->next)
        if (c->reader == jack) return c;
    return nullptr;
}

}  // namespace

CRect SynEditor::cableArea(const CPoint& p0, const CPoint& p2) {
    const bool nearlyVertical = std::abs(p0.x - p2.x) <= kNearlyVertical;
    const int top = std::min(p0.y, p2.y);
    const double m = std::max(p0.y, p2.y);
    const int bottom = (int)(m + ((m - top) * 2.0 / kRowHeight + 1.0) * 15.0 + 20.0);
    return CRect(std::min(p0.x, p2.x) - 5, top - 5, std::max(p0.x, p2.x) + 20 + (nearlyVertical ? kVerticalBow : 0),
                 bottom);
}

CRect SynEditor::cableArea(const Cable* c) { return cableArea(c->reader->plugPoint(), c->other->plugPoint()); }

void SynEditor::invalidateRackArea(const CRect& r) {
    CRect inFrame = r;
    inFrame.offset(rack->getViewSize().left, rack->getViewSize().top);
    rack->invalidRect(inFrame);
}

void SynEditor::chooseCableColour(int entry) {
    if (entry >= 0 && entry <= 6) chosenCableColour = entry;
}

void SynEditor::startCableDrag(PatchPoint* jack, const CPoint& rackPoint) {
    if (cableDragging || !jack) return;
    cableEnd = rackPoint;
    cableDragPoint = CPoint(rackPoint.x + rack->getViewSize().left, rackPoint.y + rack->getViewSize().top);
    PatchPoint* start = jack;
    int colour;
    Cable* picked = jack->source ? cableReadBy(cableHead, jack) : nullptr;
    if (picked) {
        // The cable comes off this jack and hangs from its producer, colour kept.
        invalidateRackArea(cableArea(picked));
        start = picked->other;
        colour = picked->colour;
        removeCable(picked);
    } else if (jack->signalType == kSignalMidi) {
        colour = kMidiColour;
    } else {
        colour = chosenCableColour != 0 ? chosenCableColour : randomCableColour();
    }
    cableStart = start;
    cableDragColour = colour;
    if (start->signalType == kSignalMidi) {
        if (!midiPlug)
            midiPlug = new CMovieBitmap(CRect(0, 0, kPlugSize, kPlugSize), nullptr, kTagNoParameter, 1, kPlugSize,
                                        SharedBitmaps::panel("MIDIplug.png", kPlugSize, kPlugSize));
        centreOn(midiPlug, cableEnd);
        // On top of every module while it is dragged.
        rack->removeView(midiPlug, false);
        rack->addView(midiPlug);
        midiPlug->setVisible(true);
        start->setValue(1.f);
        start->invalid();
    }
    cableDragging = true;
    invalidateRackArea(cableArea(start->plugPoint(), cableEnd));
}

void SynEditor::cableDragMoved(const CPoint& framePoint) {
    cableDragPoint = framePoint;
    if (!cableDragging || !cableStart) return;
    invalidateRackArea(cableArea(cableStart->plugPoint(), cableEnd));
    cableEnd = CPoint(framePoint.x - rack->getViewSize().left, framePoint.y - rack->getViewSize().top);
    if (midiPlug && rack->isChild(midiPlug)) centreOn(midiPlug, cableEnd);
    if (frame) {
        if (autoScroll(framePoint.y, kCableScrollMargin, 1.f) != 0) frame->timerA.start();
        else frame->timerA.stop();
    }
    invalidateRackArea(cableArea(cableStart->plugPoint(), cableEnd));
}

CView* SynEditor::viewUnderCable(const CPoint& framePoint) {
    if (!frame) return nullptr;
    // The plug image sits right under the mouse; the drop is for what lies below it.
    const bool plugShown = midiPlug && midiPlug->isVisible();
    if (plugShown) midiPlug->setVisible(false);
    CView* hit = frame->getViewAt(framePoint, true);
    if (plugShown) midiPlug->setVisible(true);
    return hit;
}

void SynEditor::joinCableDrag(PatchPoint* target) {
    if (!cableDragging || !target) return;
    if (Cable* old = target->source ? cableReadBy(cableHead, target) : nullptr) {
        invalidateRackArea(cableArea(old));
        PatchPoint* oldProducer = old->other;
        disconnectJack(target);
        if (oldProducer->signalType == kSignalMidi && oldProducer->connectionCount == 0 && oldProducer != cableStart) {
            oldProducer->setValue(0.f);
            oldProducer->invalid();
        }
    }
    if (Cable* c = connectJacks(cableStart, target, cableDragColour)) {
        invalidateRackArea(cableArea(c));
        target->invalid();
    }
    finishCableDrag();
}

void SynEditor::cancelCableDrag() {
    if (cableDragging) finishCableDrag();
}

void SynEditor::finishCableDrag() {
    PatchPoint* start = cableStart;
    if (start) invalidateRackArea(cableArea(start->plugPoint(), cableEnd));
    if (midiPlug && rack->isChild(midiPlug)) rack->removeView(midiPlug, false);
    if (start && start->signalType == kSignalMidi && start->connectionCount == 0) {
        start->setValue(0.f);
        start->invalid();
    }
    cableDragging = false;
    cableStart = nullptr;
    if (frame) frame->timerA.stop();
}

void SynEditor::drawCables(CDrawContext* context, const CRect& area) {
    for (const Cable* c = cableHead; c; c = c->next) {
        const CPoint p0 = c->reader->plugPoint(), p2 = c->other->plugPoint();
        if (!cableArea(p0, p2).rectOverlap(area)) continue;
        const int colour = std::clamp(c->colour, 1, 7);
        drawCable(context, p0, p2, CColor{0, 0, 0, (uint8_t)(int)(cableAlpha / 255.0 * kShadowAlpha)},
                  fromArgb(kCableColours[colour], cableAlpha));
    }
    // The cable in the hand is always drawn opaque, with the plain shadow.
    if (cableDragging && cableStart) {
        const CPoint p0 = cableStart->plugPoint();
        if (!cableArea(p0, cableEnd).rectOverlap(area)) return;
        drawCable(context, p0, cableEnd, fromArgb(kCableColours[0], kCableColours[0] >> 24),
                  fromArgb(kCableColours[std::clamp(cableDragColour, 1, 7)], 255));
    }
}

void SynRack::draw(CDrawContext* context) {
    CViewContainer::draw(context);
    CFrame* f = getFrame();
    if (!context || !f || !f->isTypeOf("SynFrame")) return;
    SynEditor* editor = static_cast<SynFrame*>(f)->getSynEditor();
    const CPoint outer = context->getOffset();
    const CRect outerClip = context->getClipRect();
    CRect mine = size;
    const CRect clip = outerClip.intersect(mine.offset(outer.x, outer.y));
    if (clip.isEmpty()) return;
    const CPoint origin(outer.x + size.left, outer.y + size.top);
    context->setClipRect(clip);
    context->setOffset(origin);
    CRect area = clip;
    editor->drawCables(context, area.offset(-origin.x, -origin.y));
    context->setOffset(outer);
    context->setClipRect(outerClip);
}
