#pragma once

#include <limits>

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;
class CVerticalSwitch;

// The standard audio oscillator: saw, triangle, rectifiable sine and pulse at once,
// exponential pitch and FM, PWM, hard sync or bend, and trigger-stepped octaves.
// Saw and pulse are band-limited with a minimum-phase step table; triangle and sine
// are leaky integrals of the pulse and inherit its band limit.
class S310VCO : public Module {
public:
    explicit S310VCO(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S310 VCO", 1001)

    // Audio thread, lock held.
    void process() override;
    int blockMode() const override { return kBlockFree; }
    void processBlock(int first, int n) override;
    void processPass() override;
    // Lock held.
    void cableConnected(PatchPoint* jack) override;
    void cableDisconnected(PatchPoint* jack) override;
    void setSampleRate(float rate) override;
    bool setBandlimit(int mode) override;
    int getStateSize() override;
    void saveState(float* buffer, int byteCount) override;
    void loadState(const int32_t* words, int byteCount, int version) override;

    // The band-limited unit step, 12 zero crossings at 16 points per sample.
    static constexpr int kTableLength = 385;
    static constexpr int kTableLast = kTableLength - 1;
    static constexpr int kTableOversampling = 16;
    static const float* minBlepTable();

    int tableStep() const { return step; }
    int correctionLength() const { return bufferLength; }

private:
    // Step 1 (Near DAW Nyquist at 16X and above) needs the longest buffers.
    static constexpr int kMaxBuffer = kTableLength / 1 + 3;
    // A correction buffer is read at a position that moves on each pass; its coming
    // cells lie ahead of it, so a correction is one straight run. When the position
    // has reached kSlide, the next read first moves them back to the start.
    static constexpr int kSlide = 128;

    // Residual of a band-limited step of height `amplitude` that happened `delay`
    // samples before the current one, spread over the coming samples.
    void insertCorrection(float* buffer, int position, float delay, float amplitude) const;
    // This pass's correction, its cell cleared for the ones to come.
    float takeCorrection(float* buffer, int& position) const;
    void updateFrequency(float pitch);
    void updatePlainSaw();
    void updateShortRoad();
    void processFull(bool knobsMoving);
    template <class Jacks>
    void followPitch(bool knobsMoving, const Jacks& io);
    bool smoothKnobs();
    bool onShortRoad() const;
    void runSaw(bool syncEvent, float g, float bend);
    void sawEdge(bool syncEvent, float g);
    float runPulse(bool syncEvent, float f, float g, float width, float bend);

    ModuleKnob* tune;
    ModuleKnob* fm;
    ModuleKnob* pw;
    ModuleKnob* ra;
    ModuleKnob* octave;
    PatchPoint* cvIn;
    PatchPoint* fmIn;
    PatchPoint* pwIn;
    PatchPoint* raIn;
    PatchPoint* trigIn;
    PatchPoint* syncIn;
    PatchPoint* sawOut;
    PatchPoint* triOut;
    PatchPoint* sineOut;
    PatchPoint* pulseOut;
    CVerticalSwitch* hardBend;

    struct Strides;
    static const Strides& strides();
    const Strides* strided;
    float baseFrequency;
    float cachedPitch = -1000.f;
    // Inputs of the last pitch sum; a NaN cv makes the next pass compute it afresh.
    float pitchCv = std::numeric_limits<float>::quiet_NaN(), pitchFm = 0.f;
    int pitchOffset = 0;
    float period = 0.f;
    float increment = 0.f;
    float quarterPeriod = 0.f;
    int octaveOffset = 0;
    float previousTrig = 0.f;
    float previousSync = -1.f;

    // Only the saw has a cable, and nothing on Sync or Trig.: the usual voice.
    bool plainSaw = false;
    // That, with Sync and Trig. reading 0 as they did last pass: set wherever the three
    // change, so a pass tests one flag.
    bool shortRoad = false;
    float sawPhase = 0.f;
    float pulsePhase = 0.f;
    float pulseLevel = -1.f;
    float pulseWidth = 0.f;
    float previousIntegrator1 = 0.f;
    float triangle = 0.f;
    float integrator2 = 0.f;
    float negativePeak = -1.f;
    int step = kTableOversampling;
    float rectifyThreshold;

    // Fixed storage sized for the smallest step, so a Bandlimit change never
    // allocates; the `bufferLength` cells from the position on are in use, and every
    // other cell holds +0 (the last few only ever do: the slide's four-wide moves
    // reach past the end).
    int bufferLength = 0;
    int sawPosition = 0;
    int pulsePosition = 0;
    float sawCorrection[kMaxBuffer + kSlide + 8] = {};
    float pulseCorrection[kMaxBuffer + kSlide + 8] = {};
    KnobWatch knobs;
};
