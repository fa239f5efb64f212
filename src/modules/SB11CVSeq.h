#pragma once

#include <cstdint>

#include "framework/Module.h"

class ModuleKnob;
class ModuleKnobEx;
class CMovieBitmapEx;
class CControl;

// Clocked 16-step CV sequencer: one track of 16, two of 8 or four of 4 steps,
// forward, reverse or ping-pong, optionally quantised to semitones, with a gate
// whose length follows the measured clock period.
class SB11CVSeq : public Module {
public:
    explicit SB11CVSeq(Patch* editor);
    ~SB11CVSeq() override;
    VANTOREL_MODULE_IDENTITY("SB11 CV Sequencer", 1001)
    void process() override;
    void controlChanged(CControl* control) override;
    int getStateSize() override;
    void saveState(float* buffer, int byteCount) override;
    void loadState(const int32_t* words, int byteCount, int version) override;

    static constexpr int kSteps = 16;
    // The clock counter's ceiling, and the period of a clock never measured.
    static constexpr int32_t kNoPeriod = 2147483646;

private:
    void goToStartPositions();
    void advanceCursors();
    void playCursors();
    void showEditStep();
    bool smoothEditStep();
    bool previewing() const;
    bool quantizeOn() const;
    float stepValue(float v) const;
    void setPeriod(int32_t samples);
    void light(int step, float v);

    ModuleKnobEx** steps;
    CMovieBitmapEx** leds;
    ModuleKnob* length;
    ModuleKnob* transposeKnob;
    PatchPoint* clockIn;
    PatchPoint* resetIn;
    PatchPoint* lengthCv;
    PatchPoint* outs[4];
    PatchPoint* gateOut;
    CControl* rangeSwitch;
    CControl* directionSwitch;
    CControl* quantizeSwitch;
    CControl* modeSwitch;

    int32_t cursor[4] = {3, 7, 11, 15};
    int32_t editStep = 0;
    int32_t directionCode = 1;
    int32_t pingPong = 1;
    float rangeScale = 0.1f;
    float semitoneRange = 12.f;
    float transpose = 0.f;
    float prevClock = 0.f, prevReset = 0.f;
    int32_t clockCounter = kNoPeriod;
    int32_t clockPeriod = kNoPeriod;
    float phaseStep = 0.f;
    // 1 (a finished step) until the first edge, so a clock cable alone raises no gate.
    float gatePhase = 1.f;
};
