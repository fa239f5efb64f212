#pragma once

#include <cstdint>

#include "framework/Module.h"

class ModuleKnob;
class CControl;

// MIDI to control voltages for one monophonic voice: gate, pitch with glide and a
// note stack for legato, velocity, pitch bend, mod wheel, plus a clock pulse from MIDI
// clock and a reset level from MIDI start/continue/stop.
class SD02MCVS : public Module {
public:
    explicit SD02MCVS(Patch* editor);
    VANTOREL_MODULE_IDENTITY("SD02 MIDI-CV/Sync", 1002)
    void process() override;
    int blockMode() const override { return kBlockFree; }
    void processBlock(int first, int n) override;
    void processPass() override;
    void controlChanged(CControl* control) override;
    void setSampleRate(float rate) override;
    int getStateSize() override;
    void saveState(float* buffer, int byteCount) override;
    void loadState(const int32_t* words, int byteCount, int version) override;

    // Samples the Clock output stays high; set from the host tempo until the first
    // MIDI clock measures it.
    int clockPulseSamples() const { return clockPulseWidth; }

private:
    template <class Jacks>
    void step(const Jacks& io);
    void receive(uint32_t word);
    void runClockPulse();
    void runGlide();
    static constexpr uint8_t kNoNote = 156;
    static constexpr int kStackSize = 50;

    void noteOn(uint8_t note, uint8_t velocity);
    void noteOff(uint8_t note);
    void controller(uint8_t number, uint8_t value);
    void midiClock();
    void updateBendTarget();
    void updateGlideStep();
    void updateGapSamples();
    void allNotesOff();

    PatchPoint* clockOut;
    PatchPoint* resetOut;
    PatchPoint* gateOut;
    PatchPoint* noteOut;
    PatchPoint* velocityOut;
    PatchPoint* bendOut;
    PatchPoint* modOut;
    PatchPoint* midiIn;
    ModuleKnob* glide;
    ModuleKnob* bendRange;
    CControl* triggerMode;
    CControl* slide;
    CControl* clockLed;
    CControl* resetLed;
    CControl* gateLed;

    uint8_t currentNote = kNoNote;
    uint8_t noteStack[kStackSize] = {};
    int32_t stackTop = -1;
    float targetPitch = 0.f;
    float glideOrigin = 0.f;
    float glideStep = 0.f;
    // A pitch jump leaves the last glide step pointing from somewhere else.
    bool glideStepStale = false;
    float bendValue = 0.f;
    float bendTarget = 0.f;
    uint8_t modMsb = 0, modLsb = 0;
    float modTarget = 0.f;
    uint8_t volumeMsb = 0, volumeLsb = 0;
    float velocityScale = 1.f;
    uint8_t glideLaw = 0;
    int32_t retriggerGapMs = 0;
    int32_t retriggerGapSamples = 1;
    int32_t retriggerCountdown = 0;
    uint8_t slideFlag = 127;
    int32_t clockCounter = 0;
    int32_t clockPulseWidth = 1;
    int32_t clockWidthCap = 1;
    float smoothingLength = 1.f;
    // Set once an output has reached its target; only a new target moves it again.
    bool bendSettled = false, modSettled = false;
    // Set once the note output equals its target to the bit.
    bool pitchSettled = false;
    void smoothTowards(PatchPoint* out, float target, bool& settled);
    void setTarget(float pitch) {
        targetPitch = pitch;
        pitchSettled = false;
    }
};
