#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/CControl.h"
#include "gui/CViewContainer.h"
#include "vst/aeffect.h"

class Vantorel;
class Patch;
class PatchPoint;
struct BlockLink;
class ModuleKnob;
class ModuleKnobEx;
class CMovieBitmapEx;
class CControl;
class CBitmap;
class CVerticalSwitch;
class CKickButton;
class COnOffButton;
class CMovieBitmap;

// Tags with a meaning of their own; any tag below 1000 is a host parameter index.
constexpr int32_t kTagNoParameter = 0x7ffffff8;
constexpr int32_t kTagNotSaved = 0x7ffffff7;
constexpr int kNumParameters = 1000;

// Base of every rack module: a panel (view container) plus its place in the engine.
// Thread contract: process, startBlock and processEvents run on the audio thread with
// the engine lock held; everything structural runs on the editor side under the lock.
class Module : public CViewContainer {
public:
    Module(const CRect& size, Patch* editor, CBitmap* background);
    ~Module() override;

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "Module") == 0 || CViewContainer::isTypeOf(s);
    }

    // Mouse, in the panel's own coordinates. The editor decides what a press does
    // (move the module, open its menu) and offers it to the panel's controls first
    // through the controls* forms.
    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, long buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, long buttons) override;
    CMouseEventResult controlsMouseDown(CPoint& where, long buttons) {
        return CViewContainer::onMouseDown(where, buttons);
    }
    CMouseEventResult controlsMouseMoved(CPoint& where, long buttons) {
        return CViewContainer::onMouseMoved(where, buttons);
    }
    CMouseEventResult controlsMouseUp(CPoint& where, long buttons) {
        return CViewContainer::onMouseUp(where, buttons);
    }

    // Audio thread, lock held.
    virtual void process() {}
    // Whether the module may run a block's passes on its own (see BlockPlan): never,
    // in any order its cables allow, or also after the other in-order modules before it.
    enum BlockMode { kBlockNever, kBlockFree, kBlockInOrder };
    virtual int blockMode() const { return kBlockNever; }
    // Whether each pass waits on the last through slow operations (divisions in a
    // feedback loop). Pass by pass the processor does other modules' work meanwhile;
    // module by module it would only wait, so a patch holding one runs readers first.
    virtual bool waitsOnItself() const { return false; }
    // Audio thread, lock held: one pass readers first, each input read from its
    // blockIn. This form copies them in around process().
    virtual void processPass();
    // Audio thread, lock held: passes first .. first + n - 1 of the host block, leaving
    // the module and its jacks as n calls of process() would, with each input read
    // from its row. This form copies the rows in and out around process().
    virtual void processBlock(int first, int n);
    virtual const char* getName() const { return ""; }
    virtual int getNameLen() const { return -1; }
    virtual const char* getVendorName() const { return ""; }
    virtual int getVendorNameLen() const { return -1; }
    virtual bool isAlwaysOnByDefault() const { return false; }
    virtual bool writesDawOutput() const { return false; }
    // Audio thread, lock held; only while registered and active.
    virtual void processEvents(vst::VstEvents*) {}
    virtual void startBlock(int /*sampleFrames*/) {}
    // Lock held.
    virtual void cableConnected(PatchPoint*) {}
    virtual void cableDisconnected(PatchPoint*) {}
    // Editor thread without the lock (user), or under it (loadState).
    virtual void controlChanged(CControl*) {}
    virtual int getStateSize();
    virtual void saveState(float* buffer, int byteCount);
    virtual void loadState(const int32_t* words, int byteCount, int version);
    // Lock held.
    virtual void setSampleRate(float rate);
    virtual void setKnobSmoothing(int ms);
    virtual int getVersion() const { return -1; }
    virtual bool setBandlimit(int mode) {
        bandlimit = mode;
        return true;
    }

    // Host-parameter bookkeeping.
    void releaseParamIndex(CControl* control);
    void applySavedTags(const int32_t* tags, int count);
    void countControls();
    void setJackValues(float value);

    // Panel decorations: a screw pair on the left or right edge.
    void addScrews();
    void addScrewsRight();

    // Saved controls in child order: every jack and every control not tagged "not saved".
    static bool isSavedControl(const CView* child);
    // Lights change only when their value really does: every change is a redraw.
    static void showLight(CControl* light, float v) {
        if (light->getValue() != v) light->setValue(v);
    }

    // The n-th child of a kind, in creation order ("PatchPoint", "ModuleKnob",
    // "CVerticalSwitch"...); null when there are fewer. Tools and tests address
    // controls this way, the same order presets use.
    CControl* control(const char* type, int n) const;
    PatchPoint* jack(int n) const;
    ModuleKnob* knob(int n) const;

    // The words printed beside a control on the panel, empty when it has none. The art
    // is drawn from these, so a control and its legend are declared on one line.
    const std::string& legendOf(const CView* control) const;

    float sampleRate;
    float nyquist;
    float samplesPerMinute;
    bool oversampled = true;
    bool alwaysOn = false;
    int savedControlCount = -1;
    int patchPointCount = -1;
    int cableCount = 0;
    int bandlimit = -1;
    Vantorel* synth;
    Patch* editor;
    bool dragging = false;
    int rackIndex = -1;
    int processIndex = -1;
    int midiIndex = -1;
    int blockIndex = -1;
    // The module's reading jacks and then its producing jacks, with their rows (see
    // BlockPlan).
    const BlockLink* blockLinks = nullptr;
    int blockReads = 0, blockWrites = 0;

protected:
    // Panel building helpers for subclasses. Positions are control centres in panel
    // coordinates; every control is added as the next child (the saved order).
    ModuleKnob* addKnob(int cx, int cy, float initial, bool automatable = true);
    ModuleKnob* addKnobWith(const char* bitmap, int frameSize, int cx, int cy, float initial,
                            bool automatable = true);
    // A sequencer step knob (finer dragging), starting at 0, and the light that
    // follows the playhead over it.
    ModuleKnobEx* addStepKnob(const char* bitmap, int frameSize, int cx, int cy, int stepIndex);
    CMovieBitmapEx* addStepLight(const char* bitmap, int cx, int cy);
    PatchPoint* addJack(int cx, int cy, int direction);
    // A jack always drawn with the same strip instead of a random one.
    PatchPoint* addJackWith(const char* bitmap, int cx, int cy, int direction);
    PatchPoint* addMidiJack(int cx, int cy, int direction);
    // A two- or three-position toggle, automatable like a knob.
    CVerticalSwitch* addSwitch(int cx, int cy, int positions, float initial);
    // A momentary push button, automatable like a knob.
    CKickButton* addKickButton(int cx, int cy, const char* bitmap = "red_button_small.png");
    // A latching push button, automatable like a knob.
    COnOffButton* addOnOffButton(int cx, int cy);
    // A light over a five-frame LED strip ("led_red.png", "led_blue.png").
    CMovieBitmap* addLight(const char* bitmap, int cx, int cy);
    // Words a module keeps in its record after the control values (phases, clock
    // periods): raw 32-bit values, written only when the buffer holds them all.
    void saveAfterControls(float* buffer, int byteCount, const void* values, int count);
    // False, with nothing read, when the record is too short to hold them.
    bool loadAfterControls(const int32_t* record, int byteCount, void* values, int count);
    // A word read back after the control values, brought into the range [lo, hi] the
    // module itself keeps it in, so that what a damaged record loads saves as it loaded;
    // a non-number becomes the fallback.
    static float keptInRange(float v, float lo, float hi, float fallback) {
        return v != v ? fallback : v < lo ? lo : v > hi ? hi : v;
    }
    // Next free host parameter index, or kTagNoParameter.
    int32_t takeParamIndex();
    void bindParam(CControl* control);
    void registerForMidi();
    void registerForBlocks();
    // Gives the control its panel legend and hands it back, so a legend wraps the call
    // that creates its control: `cutoff = legend(addKnob(62, 98, 0.5f), "CUTOFF");`.
    template <class Control>
    Control* legend(Control* control, const std::string& text) {
        setLegend(control, text);
        return control;
    }

private:
    void addScrewPair(int left);
    void setUpKnob(ModuleKnob* knob, float initial);
    void setLegend(const CView* control, const std::string& text);

    struct Legend {
        const CView* control;
        std::string text;
    };
    std::vector<Legend> legends;
};

// The identity every module class reports: display name, vendor and record version.
#define VANTOREL_MODULE_IDENTITY(DISPLAY_NAME, VERSION)                                  \
    const char* getName() const override { return DISPLAY_NAME; }                        \
    int getNameLen() const override { return (int)sizeof(DISPLAY_NAME) - 1; }             \
    const char* getVendorName() const override { return "Kestrelmark"; }                 \
    int getVendorNameLen() const override { return 11; }                                 \
    int getVersion() const override { return VERSION; }
