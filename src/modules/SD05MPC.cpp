#include "modules/SD05MPC.h"

#include <algorithm>
#include <cmath>

#include "engine/Vantorel.h"
#include "framework/BlockRun.h"
#include "framework/Patch.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"
#include "gui/CBitmap.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kOutX[2] = {23, 72};
constexpr int kOutY[4] = {106, 152, 198, 244};
constexpr int kLedOffset = 16;
constexpr int kDigitWidth = 13, kDigitHeight = 22;
constexpr int kMaxChannel = 16;

int ledHoldAtHostRate(float hostRate) { return std::max(1, (int)(hostRate * 0.1f)); }
}  // namespace

SD05MPC::SD05MPC(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("SD05MPC.png", kWidth, kHeight)) {
    midiIn = legend(addMidiJack(23, 60, kJackInput), "MIDI IN");
    for (int v = 0; v < kVoices; ++v) outs[v] = legend(addMidiJack(kOutX[v / 4], kOutY[v % 4], kJackOutput),
            "OUT " + std::to_string(v + 1));
    for (int v = 0; v < kVoices; ++v)
        leds[v] = addLight("led_red.png", kOutX[v / 4] + kLedOffset, kOutY[v % 4] + kLedOffset);

    // Arrow buttons with their own art; automatable like every other push button.
    channelUp = legend(addKickButton(84, 52, "bb_up.png"), "UP");
    channelDown = legend(addKickButton(84, 68, "bb_down.png"), "DOWN");
    int digitX[2] = {48, 48 + kDigitWidth}, digitY[2] = {49, 49};
    channelDisplay = new CSpecialDigit(CRect(48, 49, 74, 71), editor->controlListener(), kTagNoParameter, 0, 2, digitX,
                                       digitY, kDigitWidth, kDigitHeight, SharedBitmaps::get("digits_mid_red.png"));
    channelDisplay->setDefaultValue(0.f);
    addView(channelDisplay);

    addScrews();
    setJackValues(0.f);
    ledHold = ledHoldAtHostRate(synth->hostSampleRate);
    registerForBlocks();
}

void SD05MPC::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    ledHold = ledHoldAtHostRate(synth->hostSampleRate);
}

// Editor thread without the lock, or under it from loadState.
void SD05MPC::controlChanged(CControl* control) {
    int shown = channel;
    if (control == channelUp) {
        if (control->getValue() != 1.f || shown >= kMaxChannel) return;
        ++shown;
    } else if (control == channelDown) {
        if (control->getValue() != 1.f || shown <= 0) return;
        --shown;
    } else if (control == channelDisplay) {
        // A damaged record may hold anything up to 99: keep to a real channel.
        const float v = control->getValue();
        shown = std::isfinite(v) ? std::clamp((int)std::lround(v), 0, kMaxChannel) : 0;
    } else {
        return;
    }
    channel = shown;
    if (channelDisplay->getValue() != (float)shown) channelDisplay->setValue((float)shown);
}

int SD05MPC::voiceOf(const PatchPoint* jack) const {
    for (int v = 0; v < kVoices; ++v)
        if (outs[v] == jack) return v;
    return -1;
}

// Lock held.
void SD05MPC::cableConnected(PatchPoint* jack) {
    const int k = voiceOf(jack);
    if (k >= voices) voices = k + 1;
}

// Lock held.
void SD05MPC::cableDisconnected(PatchPoint* jack) {
    const int k = voiceOf(jack);
    if (k < 0 || jack->connectionCount > 0) return;
    top[k] = -1;
    showLight(leds[k], 0.f);
    ledCountdown[k] = 0;
    if (k == voices - 1) {
        int below = k - 1;
        while (below >= 0 && outs[below]->connectionCount == 0) --below;
        voices = below + 1;
    }
}

// Audio thread, lock held.
void SD05MPC::startBlock(int sampleFrames) {
    for (int v = 0; v < voices; ++v) {
        if (ledCountdown[v] > 0) ledCountdown[v] -= sampleFrames;
        if (ledCountdown[v] <= 0) showLight(leds[v], 0.f);
    }
}

void SD05MPC::clearLastSent() {
    if (lastTarget == kAllVoices) {
        for (PatchPoint* out : outs) out->setOutWord(0);
    } else if (lastTarget >= 0) {
        outs[lastTarget]->setOutWord(0);
    }
}

void SD05MPC::send(int voice, uint32_t word) {
    outs[voice]->setOutWord(word);
    showLight(leds[voice], 1.f);
    ledCountdown[voice] = ledHold;
}

void SD05MPC::broadcast(uint32_t word) {
    for (int v = 0; v < voices; ++v) send(v, word);
    lastTarget = kAllVoices;
}

bool SD05MPC::channelBlocked(uint8_t status) const {
    const int filter = channel;
    return filter != 0 && filter != (status & 0x0F) + 1;
}

void SD05MPC::noteOn(uint32_t word) {
    if (voices == 0 || channelBlocked((uint8_t)word)) {
        lastTarget = kNoVoice;
        return;
    }
    const int start = (lastVoice + 1) % voices;
    int voice = start;
    for (int i = 0; i < voices; ++i) {
        const int v = (start + i) % voices;
        if (top[v] < 0) {
            voice = v;
            break;
        }
    }
    // A full list gives up its newest entry rather than grow.
    if (top[voice] >= kHeldNotes - 1) held[voice][top[voice]] = word;
    else held[voice][++top[voice]] = word;
    send(voice, word);
    lastVoice = voice;
    lastTarget = voice;
}

// Note-offs and poly aftertouch go where the note is held, whatever the channel filter.
void SD05MPC::followNote(uint32_t word, bool release) {
    lastTarget = kNoVoice;
    if (voices == 0) return;
    const uint32_t key = word & 0xFF0F;  // channel nibble and note number
    const int start = (lastVoice + 1) % voices;
    for (int i = 0; i < voices; ++i) {
        const int v = (start + i) % voices;
        for (int n = top[v]; n >= 0; --n) {
            if ((held[v][n] & 0xFF0F) != key) continue;
            send(v, word);
            lastTarget = v;
            if (release) {
                held[v][n] = held[v][top[v]];
                --top[v];
            }
            return;
        }
    }
}

// Audio thread, lock held.
void SD05MPC::processBlock(int, int n) {
    runBlockProduced(*this, n, [this](const BlockJacks& io) { step(io); });
}

void SD05MPC::process() { step(PassJacks{}); }
void SD05MPC::processPass() { step(SourceJacks{}); }

template <class Jacks>
inline void SD05MPC::step(const Jacks& io) {
    const uint32_t word = io.word(midiIn);
    const uint8_t status = (uint8_t)word;
    if (status >= 0xF0) {
        broadcast(word);
        return;
    }
    clearLastSent();
    switch (status & 0xF0) {
        case 0x90:
            if (((word >> 16) & 0xFF) != 0) noteOn(word);
            else followNote(word, true);
            return;
        case 0x80:
            followNote(word, true);
            return;
        case 0xA0:
            followNote(word, false);
            return;
        case 0xB0: {
            if (channelBlocked(status)) break;
            const uint8_t controller = (uint8_t)(word >> 8);
            if (controller >= 123 && controller <= 126) {
                for (int32_t& t : top) t = -1;
            }
            broadcast(word);
            return;
        }
        case 0xC0:
        case 0xD0:
        case 0xE0:
            if (channelBlocked(status)) break;
            broadcast(word);
            return;
        default:
            // No message (or a stray data byte where a status belongs): nothing to pass on.
            break;
    }
    lastTarget = kNoVoice;
}
