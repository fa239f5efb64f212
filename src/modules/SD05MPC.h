#pragma once

#include <cstdint>

#include "framework/Module.h"

class CControl;

// Spreads one MIDI stream over up to eight outputs, one voice each: note-ons go to
// free voices in rotation, note-offs and poly aftertouch follow their note, other
// channel and system messages go to every voice.
class SD05MPC : public Module {
public:
    explicit SD05MPC(Patch* editor);
    VANTOREL_MODULE_IDENTITY("SD05 MIDI Poly Chainer", 1000)
    void process() override;
    int blockMode() const override { return kBlockFree; }
    void processBlock(int first, int n) override;
    void processPass() override;
    void controlChanged(CControl* control) override;
    void setSampleRate(float rate) override;
    void startBlock(int sampleFrames) override;
    void cableConnected(PatchPoint* jack) override;
    void cableDisconnected(PatchPoint* jack) override;

private:
    template <class Jacks>
    void step(const Jacks& io);
    static constexpr int kVoices = 8;
    static constexpr int kHeldNotes = 50;
    static constexpr int kAllVoices = -1, kNoVoice = -2;

    int voiceOf(const PatchPoint* jack) const;
    void clearLastSent();
    void send(int voice, uint32_t word);
    void broadcast(uint32_t word);
    void noteOn(uint32_t word);
    void followNote(uint32_t word, bool release);
    bool channelBlocked(uint8_t status) const;

    PatchPoint* midiIn;
    PatchPoint* outs[kVoices];
    CControl* leds[kVoices];
    CControl* channelUp;
    CControl* channelDown;
    CControl* channelDisplay;

    // The note-ons each voice is holding, newest on top.
    uint32_t held[kVoices][kHeldNotes] = {};
    int32_t top[kVoices] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int32_t voices = 0;
    int32_t lastVoice = 0;
    int32_t lastTarget = kAllVoices;
    int32_t ledCountdown[kVoices] = {};
    int32_t ledHold = 1;
    int32_t channel = 0;
};
