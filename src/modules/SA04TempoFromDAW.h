#pragma once

#include "framework/Module.h"

class ModuleKnob;
class CControl;

// A free-running clock at the host tempo (ticks per quarter note from the Divisor),
// restarted by a rising edge on Restart In. Song position and transport are ignored.
class SA04TempoFromDAW : public Module {
public:
    explicit SA04TempoFromDAW(Patch* editor);
    VANTOREL_MODULE_IDENTITY("SA04 Tempo From DAW", 1000)
    bool isAlwaysOnByDefault() const override { return true; }
    void process() override;
    void startBlock(int sampleFrames) override;
    void controlChanged(CControl* control) override;
    void loadState(const int32_t* words, int byteCount, int version) override;
    void setSampleRate(float rate) override;

private:
    float divisorTicks() const;
    void updateRate();
    void startPulse();
    void setClock(float v);

    PatchPoint* restartIn;
    ModuleKnob* divisor;
    PatchPoint* clockOut;
    CControl* clockLed;

    float ticksPerQuarter = 1.f;
    double tempo = 120.0;
    double ticksPerCall = 0.0;
    double phase = 0.0;
    int pulseWidth = 0;
    int clockCountdown;
    float previousRestart = 0.f;
};
