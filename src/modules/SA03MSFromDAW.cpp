#include "modules/SA03MSFromDAW.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/Vantorel.h"
#include "framework/BlockRun.h"
#include "framework/ModuleKnob.h"
#include "framework/Patch.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 48, kHeight = 291;
constexpr int kCentreX = kWidth / 2 - 1;
// Tempo, song position and transport state.
constexpr vst::VstInt32 kTimeFilter = 1538;
constexpr int kInitialRing = 150;
// Far enough away that a countdown never ends on its own.
constexpr int kParked = 2147483646;
constexpr float kTicksPerQuarter[5] = {24.f, 8.f, 4.f, 2.f, 1.f};
constexpr uint8_t kMidiClock = 0xF8, kStart = 0xFA, kContinue = 0xFB, kStop = 0xFC;

// Whether a and b lie in different whole ticks, as trunc(a) != trunc(b). Without
// SSE4.1 a trunc costs a range test and two conversions; within 2^62 the integer
// conversion alone truncates the same way, so only NaN and huge values take the
// long road (and get trunc's answers, NaN included).
inline bool differentTicks(double a, double b) {
    if (std::fabs(a) < 0x1p62 && std::fabs(b) < 0x1p62) return (int64_t)a != (int64_t)b;
    return std::trunc(a) != std::trunc(b);
}

}  // namespace

SA03MSFromDAW::SA03MSFromDAW(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("SA03MSFromDAW.png", kWidth, kHeight)),
      ring((size_t)kInitialRing),
      clockCountdown(kParked),
      midiLedCountdown(kParked),
      midiLedHold((int)(sampleRate * 0.1f)) {
    midiOut = legend(addMidiJack(kCentreX, 67, kJackOutput), "MIDI OUT");
    midiLed = addLight("led_red.png", kCentreX + 16, 83);
    sync = legend(addSwitch(kCentreX, 111, 2, 0.f), "SYNC");
    divisor = legend(addKnobWith("sknobit_gray_5s.png", SharedBitmaps::kSmallKnobSize, kCentreX, 156, 1.f), "DIV");
    divisor->setStepped(true);
    divisor->snap();
    clockOut = legend(addJack(kCentreX, 199, kJackOutput), "CLOCK");
    clockLed = addLight("led_blue.png", kCentreX - 2, 222);
    resetOut = legend(addJack(kCentreX, 252, kJackOutput), "RESET");
    resetLed = addLight("led_blue.png", kCentreX - 2, 275);
    addScrews();
    setJackValues(0.f);
    setReset(1.f);

    tempo = synth->timeInfo(kTimeFilter)->tempo;
    quartersPerCall = tempo / samplesPerMinute;
    ticksPerQuarter = divisorTicks();
    updatePulseWidth();
    registerForMidi();
    registerForBlocks();
}

float SA03MSFromDAW::divisorTicks() const {
    const int position = (int)(divisor->steppedValue * 4.f + 0.5f);
    return kTicksPerQuarter[position < 0 ? 0 : position > 4 ? 4 : position];
}

void SA03MSFromDAW::updatePulseWidth() {
    // 30 % of a tick; never 0, which would hold the clock high for ever.
    const double w = 0.3 / ((double)ticksPerQuarter * quartersPerCall);
    pulseWidth = w >= (double)kParked ? kParked : w >= 1.0 ? (int)w : 1;
}

void SA03MSFromDAW::setClock(float v) {
    clockOut->outValue = v;
    showLight(clockLed, v);
}

void SA03MSFromDAW::setReset(float v) {
    resetOut->outValue = v;
    showLight(resetLed, v == 0.2f ? 0.5f : v);
}

void SA03MSFromDAW::send(uint32_t word) {
    midiOut->setOutWord(word);
    showLight(midiLed, 1.f);
    midiLedCountdown = midiLedHold;
}

void SA03MSFromDAW::runDownMidiLed() {
    if (--midiLedCountdown <= 0) {
        showLight(midiLed, 0.f);
        midiLedCountdown = kParked;
    }
}

// Audio thread, lock held; the only place that may grow the ring.
void SA03MSFromDAW::processEvents(vst::VstEvents* events) {
    if (!events) return;
    const int capacity = (int)ring.size();
    // Whatever an earlier block left unsent is overdue and goes out at once.
    for (int i = readIndex; i != writeIndex; i = (i + 1) % capacity)
        if (ring[(size_t)i].deltaFrames > 0) ring[(size_t)i].deltaFrames = -ring[(size_t)i].deltaFrames;

    int incoming = 0;
    for (int i = 0; i < events->numEvents; ++i)
        if (events->events[i] && events->events[i]->type == vst::kVstMidiType) ++incoming;
    const int unread = (writeIndex - readIndex + capacity) % capacity;
    if (unread + incoming > capacity - 1) {
        std::vector<vst::VstMidiEvent> grown((size_t)((unread + incoming + capacity) * 2 + 2));
        for (int k = 0; k < unread; ++k) grown[(size_t)k] = ring[(size_t)((readIndex + k) % capacity)];
        ring.swap(grown);
        readIndex = 0;
        writeIndex = unread;
    }
    const int size = (int)ring.size();
    for (int i = 0; i < events->numEvents; ++i) {
        const vst::VstEvent* e = events->events[i];
        if (!e || e->type != vst::kVstMidiType) continue;
        std::memcpy(&ring[(size_t)writeIndex], e, sizeof(vst::VstMidiEvent));
        writeIndex = (writeIndex + 1) % size;
    }
}

// Audio thread, lock held.
void SA03MSFromDAW::startBlock(int) {
    const vst::VstTimeInfo* t = synth->timeInfo(kTimeFilter);
    tempo = t->tempo;
    quartersPerCall = tempo / samplesPerMinute;
    songPosition = t->ppqPos;
    ticksPerQuarter = divisorTicks();
    updatePulseWidth();

    const bool playing = (t->flags & vst::kVstTransportPlaying) != 0;
    const bool syncOn = sync->getValue() < 0.5f;
    const float reset = resetOut->outValue;
    if (playing && reset != 0.f) {
        if (songPosition < 0.0) {
            previousPosition = -1.0;
        } else {
            setReset(0.f);
            if (syncOn) pendingStatus = blockStartPosition == 0.0 ? kStart : kContinue;
            // Starting exactly on a tick sends that tick at once.
            const double ticks = (double)ticksPerQuarter * songPosition;
            if (previousPosition != -1.0) previousPosition = std::trunc(ticks) == ticks ? -1.0 : songPosition;
        }
    } else if (!playing) {
        if (reset != 1.f && songPosition == 0.0) {
            setReset(1.f);
            if (syncOn) pendingStatus = kStop;
        } else if (reset == 0.f) {
            setReset(0.2f);
        }
    }
    blockStartPosition = songPosition;
    updateCalm();
}

// Audio thread, lock held.
void SA03MSFromDAW::process() { step(synth->sampleIndex); }
void SA03MSFromDAW::processPass() { step(synth->sampleIndex); }

void SA03MSFromDAW::processBlock(int first, int n) {
    runBlockProduced(*this, n, [this, first](const BlockJacks& io) { step(first + io.i); });
}

inline void SA03MSFromDAW::step(int sample) {
    midiOut->setOutWord(0);
    if (calm > 0 && songPosition <= songLimit &&
        (readIndex == writeIndex || ring[(size_t)readIndex].deltaFrames > sample)) {
        --calm;
        previousPosition = songPosition;
        songPosition += quartersPerCall;
        --clockCountdown;
        --midiLedCountdown;
        return;
    }
    stepFully(sample);
}

// Out of line, so that the counting pass above keeps a small prologue.
__attribute__((noinline)) void SA03MSFromDAW::stepFully(int sample) {
    tickAndSend(sample);
    updateCalm();
}

// With nothing owed, a pass sends nothing until the clock countdown ends or the light
// goes out (each fires when its countdown reaches 1 before the pass), an event falls
// due or the song position reaches the next tick; until then it only counts.
void SA03MSFromDAW::updateCalm() {
    const int nearest = std::min(clockCountdown, midiLedCountdown);
    calm = pendingStatus == 0 && !clockOwed && nearest > 1 ? nearest - 1 : 0;
    songLimit = resetOut->outValue <= 0.15f ? lastPositionOfTick() : HUGE_VAL;
}

// The last song position that still lies in the tick the previous position lies in, as
// the tick test sees it: a product of the tick rate and a position at or below it
// stays below the next whole tick, the product being monotonic. -inf where the test's
// path is not that simple (before the song's start, backwards, huge or not a number).
double SA03MSFromDAW::lastPositionOfTick() const {
    const double tpq = ticksPerQuarter;
    const double base = tpq * previousPosition;
    if (!(tpq > 0.0 && base >= 0.0 && base < 0x1p52 && quartersPerCall >= 0.0 && songPosition >= previousPosition))
        return -HUGE_VAL;
    const double next = std::floor(base) + 1.0;
    double s = next / tpq;
    for (int i = 0; i < 4; ++i) {
        if (tpq * s < next) return s;
        s = std::nextafter(s, 0.0);
    }
    return -HUGE_VAL;
}

inline void SA03MSFromDAW::tickAndSend(int sample) {
    const double tpq = ticksPerQuarter;
    if (resetOut->outValue <= 0.15f && differentTicks(tpq * previousPosition, tpq * songPosition) &&
        clockOut->outValue != 1.f) {
        setClock(1.f);
        clockCountdown = pulseWidth;
        if (sync->getValue() < 0.5f) {
            if (pendingStatus) {
                send(pendingStatus);
                pendingStatus = 0;
                clockOwed = true;
            } else {
                send(kMidiClock);
            }
        } else {
            runDownMidiLed();
        }
        previousPosition = songPosition;
        songPosition += quartersPerCall;
        return;
    }
    previousPosition = songPosition;
    songPosition += quartersPerCall;

    if (--clockCountdown == 0) {
        setClock(0.f);
        clockCountdown = kParked;
    }

    if (pendingStatus) {
        send(pendingStatus);
        pendingStatus = 0;
    } else if (clockOwed) {
        send(kMidiClock);
        clockOwed = false;
    } else if (readIndex != writeIndex && ring[(size_t)readIndex].deltaFrames <= sample) {
        // deltaFrames counts host samples, which stand still across oversamples.
        uint32_t word;
        std::memcpy(&word, ring[(size_t)readIndex].midiData, sizeof word);
        send(word);
        readIndex = (readIndex + 1) % (int)ring.size();
    } else {
        runDownMidiLed();
    }
}

void SA03MSFromDAW::controlChanged(CControl* control) {
    if (control == divisor) divisor->updateStepped();
}

void SA03MSFromDAW::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    calm = 0;
    showLight(clockLed, clockOut->outValue);
    setReset(resetOut->outValue);
    uint32_t word;
    std::memcpy(&word, &midiOut->outValue, sizeof word);
    showLight(midiLed, word != 0 ? 1.f : 0.f);
}

void SA03MSFromDAW::setSampleRate(float rate) {
    Module::setSampleRate(rate);
    quartersPerCall = tempo / samplesPerMinute;
    midiLedHold = (int)(rate * 0.1f);
    updatePulseWidth();
    updateCalm();
}
