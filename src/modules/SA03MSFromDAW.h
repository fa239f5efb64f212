#pragma once

#include <cmath>
#include <vector>

#include "framework/Module.h"

class ModuleKnob;
class CControl;

// Host MIDI onto a MIDI output jack, one message per process call on the host sample
// each event names; plus a clock and a run/reset level from the host transport, and
// MIDI clock, start, continue and stop when Sync is on.
class SA03MSFromDAW : public Module {
public:
    explicit SA03MSFromDAW(Patch* editor);
    VANTOREL_MODULE_IDENTITY("SA03 MIDI/Sync From DAW", 1000)
    bool isAlwaysOnByDefault() const override { return true; }
    void process() override;
    int blockMode() const override { return kBlockFree; }
    void processBlock(int first, int n) override;
    void processPass() override;
    void processEvents(vst::VstEvents* events) override;
    void startBlock(int sampleFrames) override;
    void controlChanged(CControl* control) override;
    void loadState(const int32_t* words, int byteCount, int version) override;
    void setSampleRate(float rate) override;

private:
    // One pass at host sample `sample`.
    void step(int sample);
    void stepFully(int sample);
    void tickAndSend(int sample);
    void updateCalm();
    double lastPositionOfTick() const;
    float divisorTicks() const;
    void updatePulseWidth();
    void send(uint32_t word);
    void runDownMidiLed();
    void setClock(float v);
    void setReset(float v);

    PatchPoint* midiOut;
    CControl* midiLed;
    CControl* sync;
    ModuleKnob* divisor;
    PatchPoint* clockOut;
    CControl* clockLed;
    PatchPoint* resetOut;
    CControl* resetLed;

    // Ring of host events waiting to go out; read == write means empty.
    std::vector<vst::VstMidiEvent> ring;
    int writeIndex = 0;
    int readIndex = 0;

    float ticksPerQuarter = 1.f;
    double tempo = 120.0;
    double quartersPerCall = 0.0;
    double songPosition = 0.0;
    double previousPosition = -1.0;
    double blockStartPosition = 0.0;
    int pulseWidth = 0;
    int clockCountdown;
    int midiLedCountdown;
    int midiLedHold = 0;
    uint8_t pendingStatus = 0;
    // A MIDI clock that a start/continue/stop displaced from its tick.
    bool clockOwed = false;
    // Passes ahead that can only count down (events aside, which each pass checks).
    int calm = 0;
    double songLimit = -HUGE_VAL;
};
