#pragma once

#include <cstdint>
#include <limits>

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;
class CVerticalSwitch;

// Multi-output resonant filter: high-pass, band-pass, low-pass and notch biquads over one
// shared denominator, one section (12 dB/oct) or two in series (24 dB/oct). Every
// section output passes a soft clipper, so resonance past self-oscillation stays bounded.
class S212VCF : public Module {
public:
    explicit S212VCF(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S212 VCF", 1000)

    // Audio thread, lock held.
    void process() override;
    // Lock held; histories carry over, coefficients are recomputed at the next sample.
    void setSampleRate(float rate) override;
    void cableConnected(PatchPoint* jack) override;
    void cableDisconnected(PatchPoint* jack) override;

private:
    enum Output { kLP, kHP, kBP, kNotch, kOutputs };

    void setRateConstants();
    void updateLiveLanes();

    ModuleKnob* level;
    ModuleKnob* cutoff;
    ModuleKnob* frequencyDepth;
    ModuleKnob* resonanceDepth;
    ModuleKnob* resonance;
    ModuleKnob* feedback;
    PatchPoint* audioIn;
    PatchPoint* cutoffIn;
    PatchPoint* frequencyIn;
    PatchPoint* resonanceIn;
    PatchPoint* feedbackIn;
    PatchPoint* outputs[kOutputs];
    CVerticalSwitch* slope;

    float x0 = 0.f, x1 = 0.f, x2 = 0.f;
    // Outputs of each section (first, second) of each output, newest first: y[n-1],
    // y[n-2], y[n-3]. An output is a lane, so the four run side by side; aligned rows
    // never straddle a cache line, which would keep a load from taking the last store.
    alignas(16) float y1[2][kOutputs] = {};
    alignas(16) float y2[2][kOutputs] = {};
    alignas(16) float y3[2][kOutputs] = {};

    float u = 0.f, c = 1.f, R = 3.f;
    float cutoffCache = -1000.f, resonanceCache = -1000.f;
    float phase = 0.f;
    float fmHighPass = 0.f, lastFm = 0.f;

    float uMax = 0.f, uMin = 0.f, fadeLimit = 0.f, rMin = 0.f, phaseMin = 0.f, phaseMax = 0.f;

    // Per-sample denominator, shared by every section.
    float a1 = 0.f, a2 = 0.f, invA0 = 1.f, k3 = 0.f;
    // What follows from the feedback, cutoff and resonance alone, kept until one moves
    // (the NaN start matches no feedback, so the first sample makes them).
    float feedbackCache = std::numeric_limits<float>::quiet_NaN();
    float d = 0.f, b4 = 0.f, damping = 0.f, fade = 1.f;
    // Numerator coefficients b0, b1, b2, each for every output.
    alignas(16) float coef[3][kOutputs] = {};
    // The outputs with a cable, as a lane mask (all bits of a lane set) and as bits.
    alignas(16) int32_t liveLanes[kOutputs] = {};
    int liveBits = 0;
    KnobWatch knobs;
};
