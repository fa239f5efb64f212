#pragma once

#include <cstdint>

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;
class CControl;

// Low-frequency oscillator with seven shapes, a Low (to 25 Hz) and a High (14 to
// 1700 Hz) range, a rate that can add the rate measured at Clock In, a restart input
// and an output quantiser.
class S515VCLFO : public Module {
public:
    explicit S515VCLFO(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S515 VCLFO", 1000)
    bool isAlwaysOnByDefault() const override { return true; }
    void process() override;
    void controlChanged(CControl* control) override;
    void cableDisconnected(PatchPoint* jack) override;
    int getStateSize() override;
    void saveState(float* buffer, int byteCount) override;
    void loadState(const int32_t* words, int byteCount, int version) override;

private:
    void updateWaveform();
    double shape(double p, double inc) const;

    ModuleKnob* rate;
    ModuleKnob* rateDepth;
    ModuleKnob* step;
    ModuleKnob* waveformKnob;
    PatchPoint* clockIn;
    PatchPoint* rateCvIn;
    PatchPoint* stepCvIn;
    PatchPoint* restartIn;
    PatchPoint* out;
    CControl* range;
    CControl* led;

    double phase = 0.0;
    float previousRestart = 0.f;
    float previousClock = 0.f;
    double clockRate = 0.0;
    int32_t clockCounter = 2147483646;
    int waveform = 0;
    float appliedStep = 0.f;
    KnobWatch knobs;
};
