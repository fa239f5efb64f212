#pragma once

#include <cstdint>
#include <vector>

#include "framework/ClipLight.h"
#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;

// A voltage-controlled delay of up to two seconds: linear-interpolated reading,
// feedback that also sets the wet level, a compensated dry/wet mix and a DC blocker.
// A clock at Clock In sets the time to its measured period; otherwise the Time knob
// and Tim. CV combine by the Tame or the Wild law.
class S602VCDel : public Module {
public:
    explicit S602VCDel(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S602 VC Delay", 1002)
    void process() override;
    int getStateSize() override;
    void saveState(float* buffer, int byteCount) override;
    void loadState(const int32_t* words, int byteCount, int version) override;
    // Lock held, editor side: the only place the ring is (re)allocated.
    void setSampleRate(float rate) override;

private:
    static int ringLength(float rate) { return (int)(rate * 2.f + 1.f); }

    ModuleKnob* time;
    ModuleKnob* timeDepth;
    ModuleKnob* feedback;
    ModuleKnob* mix;
    PatchPoint* audioIn;
    PatchPoint* timeCvIn;
    PatchPoint* feedbackCvIn;
    PatchPoint* clockIn;
    PatchPoint* mixOut;
    CVerticalSwitch* law;
    ClipLight clip;

    std::vector<float> ring;
    int ringSize;
    int writePos = -1;
    float readPos = -1.f;
    float clockedDelay;
    int32_t clockCounter = 1;
    float previousClock = 0.f;
    double dcIn = 0.0, dcOut = 0.0;
    float guard = 1e-13f;
    KnobWatch knobs;
};
