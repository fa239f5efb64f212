#include "framework/Module.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/Vantorel.h"
#include "framework/ModuleKnob.h"
#include "framework/Patch.h"
#include "framework/PatchPoint.h"
#include "framework/Random.h"
#include "framework/SharedBitmaps.h"
#include "gui/CBitmap.h"

Module::Module(const CRect& size, Patch* editor, CBitmap* background)
    : CViewContainer(size, background), synth(editor->synth), editor(editor) {
    const double rate = (double)synth->oversampleFactor * (double)synth->hostSampleRate;
    sampleRate = (float)rate;
    nyquist = (float)(rate * 0.5);
    samplesPerMinute = (float)(rate * 60.0);
}

Module::~Module() = default;

CMouseEventResult Module::onMouseDown(CPoint& where, long buttons) {
    return editor->moduleMouseDown(this, where, buttons);
}

CMouseEventResult Module::onMouseMoved(CPoint& where, long buttons) {
    return editor->moduleMouseMoved(this, where, buttons);
}

CMouseEventResult Module::onMouseUp(CPoint& where, long buttons) {
    return editor->moduleMouseUp(this, where, buttons);
}

bool Module::isSavedControl(const CView* child) {
    if (child->isTypeOf("PatchPoint")) return true;
    return child->isTypeOf("CControl") && static_cast<const CControl*>(child)->getTag() != kTagNotSaved;
}

CControl* Module::control(const char* type, int n) const {
    for (CView* v : children)
        if (v->isTypeOf(type) && v->isTypeOf("CControl") && n-- == 0) return static_cast<CControl*>(v);
    return nullptr;
}

PatchPoint* Module::jack(int n) const { return static_cast<PatchPoint*>(control("PatchPoint", n)); }
ModuleKnob* Module::knob(int n) const { return static_cast<ModuleKnob*>(control("ModuleKnob", n)); }

const std::string& Module::legendOf(const CView* control) const {
    static const std::string none;
    for (const Legend& l : legends)
        if (l.control == control) return l.text;
    return none;
}

void Module::setLegend(const CView* control, const std::string& text) {
    for (Legend& l : legends)
        if (l.control == control) {
            l.text = text;
            return;
        }
    legends.push_back({control, text});
}

void Module::countControls() {
    int saved = 0, jacks = 0;
    for (CView* v : children) {
        if (v->isTypeOf("PatchPoint")) ++jacks;
        if (isSavedControl(v)) ++saved;
    }
    savedControlCount = saved;
    patchPointCount = jacks;
}

int Module::getStateSize() {
    if (savedControlCount < 0) countControls();
    return 4 * savedControlCount;
}

void Module::saveState(float* buffer, int byteCount) {
    // Subclasses append after the control values and find them by this count.
    if (savedControlCount < 0) countControls();
    int n = 0;
    for (CView* v : children) {
        if (!isSavedControl(v)) continue;
        if ((n + 1) * 4 > byteCount) break;
        buffer[n++] = static_cast<CControl*>(v)->getValue();
    }
}

void Module::loadState(const int32_t* words, int byteCount, int /*version*/) {
    int remaining = byteCount;
    const int32_t* w = words;
    for (CView* v : children) {
        if (!isSavedControl(v)) continue;
        if (remaining < 4) break;
        float value;
        std::memcpy(&value, w, sizeof value);
        CControl* c = static_cast<CControl*>(v);
        // A damaged record must not feed NaN or infinity into a module's arithmetic.
        c->setValue(std::isfinite(value) ? value : c->getDefaultValue());
        c->bounceValue();
        if (c->isTypeOf("ModuleKnob")) static_cast<ModuleKnob*>(c)->snap();
        controlChanged(c);
        ++w;
        remaining -= 4;
    }
}

void Module::saveAfterControls(float* buffer, int byteCount, const void* values, int count) {
    const int offset = Module::getStateSize();
    if (byteCount >= offset + 4 * count)
        std::memcpy(reinterpret_cast<char*>(buffer) + offset, values, (size_t)(4 * count));
}

bool Module::loadAfterControls(const int32_t* record, int byteCount, void* values, int count) {
    const int offset = Module::getStateSize();
    if (byteCount < offset + 4 * count) return false;
    std::memcpy(values, reinterpret_cast<const char*>(record) + offset, (size_t)(4 * count));
    return true;
}

void Module::setSampleRate(float rate) {
    sampleRate = rate;
    nyquist = rate * 0.5f;
    samplesPerMinute = rate * 60.f;
    setKnobSmoothing(-1);
}

void Module::setKnobSmoothing(int ms) {
    for (CView* v : children)
        if (v->isTypeOf("ModuleKnob")) static_cast<ModuleKnob*>(v)->setSmoothing(ms, sampleRate);
}

void Module::releaseParamIndex(CControl* control) {
    int32_t tag = control->getTag();
    if (tag >= 0 && tag < kNumParameters && editor->paramControls[tag] == control) {
        editor->paramControls[tag] = nullptr;
        control->setTag(kTagNoParameter);
    }
}

void Module::applySavedTags(const int32_t* tags, int count) {
    // The module's own indices are let go first: a preset may bind its controls to
    // the very indices this module just took, in another order, and must get them.
    std::vector<std::pair<CControl*, int32_t>> held;
    for (CView* v : children) {
        if (!v->isTypeOf("CControl") || v->isTypeOf("PatchPoint")) continue;
        CControl* c = static_cast<CControl*>(v);
        const int32_t tag = c->getTag();
        if (tag >= 0 && tag < kNumParameters && editor->paramControls[tag] == c) {
            editor->paramControls[tag] = nullptr;
            held.push_back({c, tag});
        }
    }
    int cursor = 0;
    for (CView* v : children) {
        if (cursor >= count) break;
        if (v->isTypeOf("PatchPoint")) {
            static_cast<CControl*>(v)->setTag(tags[cursor++]);
            continue;
        }
        if (!v->isTypeOf("CControl")) continue;
        CControl* c = static_cast<CControl*>(v);
        if (c->getTag() == kTagNotSaved) continue;
        const int32_t saved = tags[cursor++];
        if (saved < 0 || saved >= kNumParameters || editor->paramControls[saved] != nullptr) continue;
        editor->paramControls[saved] = c;
        editor->lastParamIndex = saved;
        c->setTag(saved);
    }
    // A control whose saved index was unusable keeps the one it was built with, or,
    // when a sibling took that, the next free one.
    for (auto& [c, tag] : held) {
        const int32_t now = c->getTag();
        if (now >= 0 && now < kNumParameters && editor->paramControls[now] == c) continue;  // bound by the preset
        if (editor->paramControls[tag] == nullptr) {
            editor->paramControls[tag] = c;
            c->setTag(tag);
        } else {
            c->setTag(editor->allocParamIndex());
            bindParam(c);
        }
    }
}

void Module::setJackValues(float value) {
    for (CView* v : children)
        if (v->isTypeOf("PatchPoint")) {
            PatchPoint* p = static_cast<PatchPoint*>(v);
            p->inValue = value;
            p->outValue = value;
        }
}

void Module::addScrewPair(int left) {
    CBitmap* screw = SharedBitmaps::get("screw.png");
    for (int top : {1, getHeight() - 17}) {
        auto* s = new CMovieBitmap(CRect::fromSize(left, top, SharedBitmaps::kScrewSize,
                                                   SharedBitmaps::kScrewSize),
                                   editor->controlListener(), kTagNoParameter,
                                   SharedBitmaps::kScrewFrames, SharedBitmaps::kScrewSize, screw);
        s->setValue((float)(int)(nextRandom() * 10.0) / 9.f);
        addView(s);
    }
}

void Module::addScrews() { addScrewPair(2); }
void Module::addScrewsRight() { addScrewPair(getWidth() - 18); }

int32_t Module::takeParamIndex() { return editor->allocParamIndex(); }

void Module::bindParam(CControl* control) {
    int32_t tag = control->getTag();
    if (tag >= 0 && tag < kNumParameters) editor->paramControls[tag] = control;
}

namespace {

// Knobs of either kind are placed by their centre over one frame of their strip.
template <class Knob>
Knob* makeKnob(Module* m, Patch* editor, const char* bitmap, int frameSize, int cx, int cy, int32_t tag) {
    CBitmap* strip = SharedBitmaps::get(bitmap);
    CRect r = CRect::fromSize(cx - frameSize / 2, cy - frameSize / 2, strip->getWidth(), frameSize);
    return new Knob(r, editor->controlListener(), tag, strip->getHeight() / frameSize, frameSize, strip,
                    m->sampleRate);
}

}  // namespace

void Module::setUpKnob(ModuleKnob* knob, float initial) {
    bindParam(knob);
    knob->setZoomFactor(5.f);
    knob->setDefaultValue(initial);
    knob->setValue(initial);
    knob->snap();
    addView(knob);
}

ModuleKnob* Module::addKnobWith(const char* bitmap, int frameSize, int cx, int cy, float initial,
                                bool automatable) {
    auto* knob = makeKnob<ModuleKnob>(this, editor, bitmap, frameSize, cx, cy,
                                      automatable ? takeParamIndex() : kTagNoParameter);
    setUpKnob(knob, initial);
    return knob;
}

ModuleKnobEx* Module::addStepKnob(const char* bitmap, int frameSize, int cx, int cy, int stepIndex) {
    auto* knob = makeKnob<ModuleKnobEx>(this, editor, bitmap, frameSize, cx, cy, takeParamIndex());
    knob->stepIndex = stepIndex;
    setUpKnob(knob, 0.f);
    return knob;
}

CMovieBitmapEx* Module::addStepLight(const char* bitmap, int cx, int cy) {
    CBitmap* strip = SharedBitmaps::get(bitmap);
    const int size = strip->getWidth(), frames = strip->getHeight() / size;
    auto* light = new CMovieBitmapEx(CRect::fromSize(cx - size / 2, cy - size / 2, size, size),
                                     editor->controlListener(), kTagNoParameter, frames, size, strip);
    // The playhead moves every step, so step lights stay marked for redraw.
    light->clearDirtyOnDraw = false;
    addView(light);
    return light;
}

ModuleKnob* Module::addKnob(int cx, int cy, float initial, bool automatable) {
    return addKnobWith("minibrute_knob_s.png", SharedBitmaps::kKnobSize, cx, cy, initial, automatable);
}

PatchPoint* Module::addJackWith(const char* bitmap, int cx, int cy, int direction) {
    CBitmap* art = SharedBitmaps::get(bitmap);
    CRect r = CRect::fromSize(cx - art->getWidth() / 2, cy - art->getHeight() / 2, art->getWidth(),
                              art->getHeight());
    auto* jack = new PatchPoint(r, editor->controlListener(), kTagNoParameter, art, direction);
    jack->editor = editor;
    addView(jack);
    return jack;
}

PatchPoint* Module::addJack(int cx, int cy, int direction) {
    char name[32];
    std::snprintf(name, sizeof name, "patchpoint%d.png", 1 + (int)(nextRandom() * 8.0));
    return addJackWith(name, cx, cy, direction);
}

CVerticalSwitch* Module::addSwitch(int cx, int cy, int positions, float initial) {
    CBitmap* strip = SharedBitmaps::get(positions == 3 ? "vert_triple_switch_toggle.png" : "vert_switch_toggle.png");
    const int h = strip->getHeight() / positions, w = strip->getWidth();
    auto* sw = new CVerticalSwitch(CRect::fromSize(cx - w / 2, cy - h / 2, w, h), editor->controlListener(),
                                   takeParamIndex(), positions, h, positions, strip);
    bindParam(sw);
    sw->setDefaultValue(initial);
    sw->setValue(initial);
    addView(sw);
    return sw;
}

namespace {

// Two-frame buttons are placed by their centre over one frame of their strip.
template <class Button>
Button* makeButton(Patch* editor, const char* bitmap, int cx, int cy, int32_t tag) {
    CBitmap* strip = SharedBitmaps::get(bitmap);
    const int h = strip->getHeight() / 2, w = strip->getWidth();
    return new Button(CRect::fromSize(cx - w / 2, cy - h / 2, w, h), editor->controlListener(), tag, strip);
}

}  // namespace

CKickButton* Module::addKickButton(int cx, int cy, const char* bitmap) {
    auto* button = makeButton<CKickButton>(editor, bitmap, cx, cy, takeParamIndex());
    bindParam(button);
    button->setDefaultValue(0.f);
    addView(button);
    return button;
}

COnOffButton* Module::addOnOffButton(int cx, int cy) {
    auto* button = makeButton<COnOffButton>(editor, "red_button_small.png", cx, cy, takeParamIndex());
    bindParam(button);
    button->setDefaultValue(0.f);
    button->setValue(0.f);
    addView(button);
    return button;
}

CMovieBitmap* Module::addLight(const char* bitmap, int cx, int cy) {
    CBitmap* strip = SharedBitmaps::get(bitmap);
    const int size = strip->getWidth(), frames = strip->getHeight() / size;
    auto* light = new CMovieBitmap(CRect::fromSize(cx - size / 2, cy - size / 2, size, size), editor->controlListener(),
                                   kTagNoParameter, frames, size, strip);
    addView(light);
    return light;
}

PatchPoint* Module::addMidiJack(int cx, int cy, int direction) {
    CRect r = CRect::fromSize(cx - SharedBitmaps::kMidiJackWidth / 2, cy - SharedBitmaps::kMidiJackHeight / 2,
                              SharedBitmaps::kMidiJackWidth, SharedBitmaps::kMidiJackHeight);
    PatchPoint* jack = PatchPoint::makeMidi(r, editor->controlListener(), kTagNoParameter, direction);
    jack->editor = editor;
    addView(jack);
    return jack;
}

void Module::registerForMidi() { editor->registerMidiReceiver(this); }
void Module::registerForBlocks() { editor->registerBlockListener(this); }
