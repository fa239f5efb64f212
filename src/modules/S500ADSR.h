#pragma once

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;
class CVerticalSwitch;
class CKickButton;

// Gate-driven attack-decay-sustain-release envelope from 0 to 1 with cubic time knobs,
// curved or straight segments, retrigger, a manual trigger and an end-of-decay output.
// The Pos. input scales the running time of whatever stage is playing.
class S500ADSR : public Module {
public:
    explicit S500ADSR(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S500 ADSR", 1000)
    void process() override;
    int blockMode() const override { return kBlockFree; }
    void processBlock(int first, int n) override;
    void processPass() override;
    void setSampleRate(float rate) override;

private:
    // What a pass takes from the knobs and switches, which stand while the knobs rest.
    struct Setting {
        float ta, td, tr, sustain;
        double posAmount;
        bool straight, button;
    };
    // What a pass leaves for the next, besides the outputs' values.
    struct State {
        // A float clock stops counting at 2^24, which long stages at high rates reach.
        double stageClock = 0.0;
        float gateLatch = 0.f;
        float prevRetrig = 0.f;
        float releaseStart = 0.f;
    };
    template <class Jacks>
    void step(const Jacks& io);
    void refreshStages(bool moving);
    Setting setting() const;
    template <bool Straight>
    static void advance(const Setting& set, State& e, float g, float retrig, double speed, float& out, float& eod);
    static double speedOf(const Setting& set, float pos) { return (double)pos * set.posAmount + 1.0; }
    template <bool Straight, bool Free>
    void restingBlock(int n);
    template <bool Straight>
    static bool fourHeld(const Setting& set, State& e, const float* gate, float* level);
    bool straightCurve() const;
    void updateTimeLimits();

    ModuleKnob* posAmount;
    ModuleKnob* attack;
    ModuleKnob* decay;
    ModuleKnob* sustain;
    ModuleKnob* release;
    PatchPoint* posIn;
    PatchPoint* gateIn;
    PatchPoint* retrigIn;
    PatchPoint* eodOut;
    PatchPoint* out;
    CVerticalSwitch* curve;
    CKickButton* trigButton;

    State env;
    float maxTime = 0.f;
    float minAttack = 0.f;
    float minDecayRelease = 0.f;
    // Stage lengths in samples, from the knobs and the limits above.
    float attackLength = 0.f, decayLength = 0.f, releaseLength = 0.f;
    bool stagesStale = true;
    KnobWatch knobs;
};
