#pragma once

#include <cstdint>

#include "framework/Module.h"

class ModuleKnob;
class ModuleKnobEx;
class CMovieBitmapEx;
class CControl;

// 16-step trigger sequencer: each step fires 0 to 10 evenly spaced sub-pulses
// (ratchets) per clock period, on one track of 16, two of 8 or four of 4 steps,
// clocked internally or from Clock In, with pulse length and swing of every n-th
// sub-pulse. Mix Out carries the OR of the four track outputs.
class SB12RachetTrigSeq : public Module {
public:
    explicit SB12RachetTrigSeq(Patch* editor);
    ~SB12RachetTrigSeq() override;
    VANTOREL_MODULE_IDENTITY("SB12 Racheting Trigger Sequencer", 1000)
    void process() override;
    void controlChanged(CControl* control) override;
    int getStateSize() override;
    void saveState(float* buffer, int byteCount) override;
    void loadState(const int32_t* words, int byteCount, int version) override;
    void setSampleRate(float rate) override;
    void cableConnected(PatchPoint* jack) override;
    void cableDisconnected(PatchPoint* jack) override;

    static constexpr int kSteps = 16;
    // The clock counter's ceiling, and the period of a clock never measured.
    static constexpr int32_t kNoPeriod = 2147483646;

private:
    void goToStartPositions();
    void advanceCursors();
    void writeOutputs();
    void setPeriod(int32_t samples);
    void light(int step, float v);

    ModuleKnobEx** steps;
    CMovieBitmapEx** leds;
    ModuleKnob* length;
    ModuleKnob* clockKnob;
    PatchPoint* clockIn;
    PatchPoint* resetIn;
    CControl* resetButton;
    CControl* startPause;
    PatchPoint* outs[4];
    PatchPoint* mixOut;
    ModuleKnob* swingKnob;
    ModuleKnob* skipKnob;
    CControl* directionSwitch;
    CControl* modeSwitch;

    int32_t cursor[4] = {3, 7, 11, 15};
    int32_t editStep = 0;
    int32_t directionCode = 1;
    int32_t pingPong = 1;
    float ratchets[kSteps] = {};
    float current[4] = {};
    int32_t skipPeriod = 2;
    float swing = 0.f;
    double rateFactor = 40.0 / 48000.0;
    // Double: float sums of a tiny step drift by several samples over a few seconds.
    double phaseStep = 0.0;
    double phase = 1.0;
    int32_t clockCounter = kNoPeriod;
    int32_t clockPeriod = kNoPeriod;
    float prevClock = 0.f, prevReset = 0.f;
    // The running step had no measured period and holds its first sub-pulse.
    bool holding = false;
};
