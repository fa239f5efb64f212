#pragma once

#include <atomic>
#include <vector>

#include "framework/ClipLight.h"
#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;

// A stereo chorus of two to eight modulated delay lines: even lines delay the left
// input, odd lines the right one, each with its own LFO phase and feedback. The
// modulation depth falls as the rate rises, so the pitch deviation stays comparable.
class S612OctetChorus : public Module {
public:
    explicit S612OctetChorus(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S612 Octet Chorus", 1000)
    void process() override;
    // Editor thread without the lock, or under it from loadState.
    void controlChanged(CControl* control) override;
    // Lock held, editor side: the only place the rings are (re)allocated.
    void setSampleRate(float rate) override;

private:
    static constexpr int kMaxLines = 8;
    static int ringLength(float rate) { return (int)(rate * 1.6f + 1.f); }
    void applyLineCount(int lines);
    void updateLimits();

    ModuleKnob* depthAmount;
    ModuleKnob* rateAmount;
    ModuleKnob* stereo;
    ModuleKnob* feedback;
    ModuleKnob* depth;
    ModuleKnob* rate;
    ModuleKnob* mix;
    ModuleKnob* lines;
    PatchPoint* inL;
    PatchPoint* depthCvIn;
    PatchPoint* rateCvIn;
    PatchPoint* stereoCvIn;
    PatchPoint* inR;
    PatchPoint* outL;
    PatchPoint* outR;
    ClipLight clip;

    // Line i only ever uses the ring of its own side, so one ring per line suffices.
    std::vector<float> rings[kMaxLines];
    int ringSize;
    int writeIndex = -1;
    int lineCount = 2;
    // The Lines knob's count, handed from the editor thread to the audio thread.
    std::atomic<int> requestedLines{2};
    double phases[kMaxLines] = {};
    double rateMin, rateMax, minDelay;
    // The delay swing, cached with the step and depth it was computed for (a step is
    // never negative, so -1 forces the next computation).
    double span = 0.0, spanStep = -1.0, spanDepth = 0.0;
    double dcInL = 0.0, dcOutL = 0.0, dcInR = 0.0, dcOutR = 0.0;
    KnobWatch knobs;
};
