#pragma once

#include "framework/Module.h"

class ModuleKnob;

// Two-channel slew limiter. Time law: every new target is reached in the same time,
// whatever the jump. Rate law: the output moves at most a fixed amount per second.
class S905SlewLim : public Module {
public:
    explicit S905SlewLim(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S905 Slew Limiter", 1000)
    void process() override;
    // Editor thread (user, host parameter) or under the lock (loadState).
    void controlChanged(CControl* control) override;

private:
    struct Channel {
        PatchPoint* in;
        PatchPoint* out;
        float step = 0.f;    // per-sample glide of the time law
        float target = 0.f;  // the input the step was computed for
        double level = 0.0;  // the output before rounding to the jack
    };
    void restartGlides(float samplesPerGlide);
    void followTime(Channel& c, float samplesPerGlide);

    ModuleKnob* amount;
    CVerticalSwitch* law;
    Channel channels[2];
};
