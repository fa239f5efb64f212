#pragma once

#include <cstdint>

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;
class CControl;

// A smooth random voltage that glides linearly between random targets (at a knob
// rate or the rate measured at Clock In), with a three-level gate taken at each new
// target, and a clocked sample-and-hold that also reports the extremes since the
// last clock.
class S516RSH : public Module {
public:
    explicit S516RSH(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S516 R-S&H", 1001)
    void process() override;
    void cableConnected(PatchPoint* jack) override;
    void cableDisconnected(PatchPoint* jack) override;
    int getStateSize() override;
    void saveState(float* buffer, int byteCount) override;
    void loadState(const int32_t* words, int byteCount, int version) override;

private:
    static float randomTarget();

    ModuleKnob* rate;
    ModuleKnob* rateDepth;
    PatchPoint* gateOut;
    PatchPoint* maxOut;
    PatchPoint* minOut;
    PatchPoint* clockIn;
    PatchPoint* rateCvIn;
    PatchPoint* randOut;
    PatchPoint* sampleIn;
    PatchPoint* holdOut;
    CControl* plusLed;
    CControl* minusLed;

    double phase = 0.0;
    float previousTarget = 0.f;
    float currentTarget;
    float previousClock = 0.f;
    double clockRate = 0.0;
    int32_t clockCounter = 2147483646;
    bool resync = false;
    KnobWatch knobs;
};
