#pragma once

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;

// Two-pole resonant low-pass: two trapezoidal one-pole stages in a feedback loop,
// solved without delay, with a hard limit on the loop's internal node.
class S201VCF : public Module {
public:
    explicit S201VCF(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S201 VCF", 1000)

    // Audio thread, lock held.
    void process() override;
    int blockMode() const override { return kBlockFree; }
    bool waitsOnItself() const override { return true; }
    void processBlock(int first, int n) override;
    void processPass() override;
    // Lock held; the filter states carry over.
    void setSampleRate(float rate) override;
    void cableConnected(PatchPoint* jack) override;
    void cableDisconnected(PatchPoint* jack) override;

    // The limited loop node of the last sample (for inspection; always within -4..4).
    float internalNode() const { return node; }

    // Whether the states' update takes one fused step where two roundings of the same
    // result would do. The catalogue makes the fused kind where the processor has it
    // (chosen at run time); a filter made directly is the plain kind, which tests
    // compare it with.
    static bool fusedAvailable();
    static Module* make(Patch* editor);
    virtual bool fusedDoubling() const { return false; }

protected:
    template <bool Fused, class Jacks>
    void step(const Jacks& io);
    template <bool Fused>
    void restingBlock(int n);
    KnobWatch knobs;

private:
    struct Coefficients;
    static float drive(float in, float lev, float guard);
    static float doubledLess(float t, float s);
    template <bool Fused>
    static float filter(const Coefficients& q, float x, float& s1, float& s2, float& node);
    // With no cable on the three CV inputs they read exactly 0.
    bool modulated() const;
    void updateCoefficients(float o, float r);

    ModuleKnob* level;
    ModuleKnob* cutoff;
    ModuleKnob* frequencyDepth;
    ModuleKnob* resonanceDepth;
    ModuleKnob* resonance;
    PatchPoint* audioIn;
    PatchPoint* cutoffIn;
    PatchPoint* frequencyIn;
    PatchPoint* resonanceIn;
    PatchPoint* output;

    // Apart on purpose: side by side the compiler updates the two states as one pair,
    // and the shuffles that takes lengthen the wait from one sample to the next.
    float s1 = 0.f;  // second stage
    float frequencyScale;
    float s2 = 0.f;  // first stage
    float guard = 1e-13f;
    float node = 0.f;
    // Coefficients of the last (o, r); o never goes below 0, so -1 means none yet.
    float lastO = -1.f, lastR = 0.f;
    struct Coefficients {
        float k = 0.f, g = 0.f, a = 1.f, ag = 0.f, denominator = 1.f;
    } q;
    // Set once the coefficients were made from the knobs alone; cleared whenever a
    // cable comes or goes, so a pass need not look at the CV inputs.
    bool coefficientsStand = false;
};
