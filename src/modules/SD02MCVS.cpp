#include "modules/SD02MCVS.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/Vantorel.h"
#include "framework/BlockRun.h"
#include "framework/ModuleKnob.h"
#include "framework/Patch.h"
#include "framework/PatchPoint.h"
#include "framework/SharedBitmaps.h"

namespace {
constexpr int kWidth = 96, kHeight = 291;
constexpr int kExtraBytes = 13;
// Records before 1002 stored a longer glide law and no slide switch setting.
constexpr int kCurrentRecord = 1002;
constexpr double kOldGlideScale = 1.18563110149669;

// An output and the light that mirrors it move together.
inline void drive(PatchPoint* jack, CControl* light, float v) {
    jack->outValue = v;
    Module::showLight(light, v);
}

inline float notePitch(uint8_t note) { return (float)((int)note - 60) / 120.f; }

void putLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(v >> (8 * i));
}

uint32_t getLE32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
}  // namespace

SD02MCVS::SD02MCVS(Patch* editor)
    : Module(CRect(0, 0, kWidth, kHeight), editor, SharedBitmaps::panel("SD02MCVS.png", kWidth, kHeight)) {
    clockOut = legend(addJack(17, 58, kJackOutput), "CLOCK");
    resetOut = legend(addJack(17, 101, kJackOutput), "RESET");
    gateOut = legend(addJack(63, 119, kJackOutput), "GATE");
    noteOut = legend(addJack(63, 152, kJackOutput), "NOTE");
    velocityOut = legend(addJack(63, 185, kJackOutput), "VEL");
    bendOut = legend(addJack(63, 218, kJackOutput), "BEND");
    modOut = legend(addJack(63, 251, kJackOutput), "MOD");
    midiIn = legend(addMidiJack(68, 62, kJackInput), "MIDI IN");
    glide = legend(addKnobWith("sknobit_gray.png", SharedBitmaps::kSmallKnobSize, 31, 149, 0.f), "GLIDE");
    bendRange = legend(addKnobWith("sknobit_gray.png", SharedBitmaps::kSmallKnobSize, 31, 215, 0.f), "RANGE");
    triggerMode = legend(addSwitch(31, 184, 2, 1.f), "TRIG");
    slide = legend(addSwitch(31, 250, 2, 1.f), "SLIDE");
    clockLed = addLight("led_blue.png", 38, 57);
    resetLed = addLight("led_blue.png", 38, 100);
    gateLed = addLight("led_blue.png", 84, 118);
    addScrews();
    setJackValues(0.f);

    clockWidthCap = (int)(sampleRate * 0.1f);
    smoothingLength = sampleRate / 1000.f * 35.f;
    // A host without a tempo (no answer, or 0) must not divide by zero: 120 BPM then.
    const double tempo = synth->timeInfo(vst::kVstTempoValid)->tempo;
    const double beats = tempo > 0.0 && std::isfinite(tempo) ? tempo : 120.0;
    const double width = (double)samplesPerMinute * 0.3 / beats;
    clockPulseWidth = width >= (double)clockWidthCap ? clockWidthCap : std::max(1, (int)width);
    updateGlideStep();
}

void SD02MCVS::updateBendTarget() {
    const float k = bendRange->getValue();
    // The sum is rounded to single precision first: k = 1 gives 77, not 78.
    const float span = (float)((double)k * k * 0.6416666666666667 + 0.008333333333333333);
    const int semitones = (int)((double)span * 120.0);
    const float scale = (float)semitones / 120.f;
    bendTarget = bendValue >= 0.f ? bendValue * scale / 8191.f : bendValue * scale / 8192.f;
    bendSettled = false;
}

void SD02MCVS::updateGlideStep() {
    const float g = glide->getValue();
    const float d = targetPitch - noteOut->outValue;
    const float span = sampleRate * 6.f * g * g * g;
    glideOrigin = targetPitch;
    // Up to six seconds; with the knob at 0 the pitch jumps and the step is unused.
    glideStep = span > 0.f ? d / span : d;
    glideStepStale = false;
}

void SD02MCVS::updateGapSamples() {
    retriggerGapSamples = retriggerGapMs == 0 ? 1 : std::max(1, (int)(sampleRate * (float)retriggerGapMs / 1000.f));
}

void SD02MCVS::allNotesOff() {
    currentNote = kNoNote;
    stackTop = -1;
    if (gateOut->outValue != 0.f) drive(gateOut, gateLed, 0.f);
    retriggerCountdown = 0;
}

void SD02MCVS::noteOn(uint8_t note, uint8_t velocity) {
    if (currentNote == kNoNote) {
        drive(gateOut, gateLed, 1.f);
        currentNote = note;
        setTarget(notePitch(note));
        if (slideFlag < 64) {
            noteOut->outValue = targetPitch;
            glideStepStale = true;
        }
    } else {
        // A full stack keeps its newest slot for the note being left.
        if (stackTop >= kStackSize - 1) noteStack[stackTop] = currentNote;
        else noteStack[++stackTop] = currentNote;
        if (triggerMode->getValue() >= 0.5f && retriggerCountdown == 0) {
            retriggerCountdown = retriggerGapSamples;
            drive(gateOut, gateLed, 0.f);
        }
        currentNote = note;
        setTarget(notePitch(note));
    }
    velocityOut->outValue = (float)velocity * velocityScale / 127.f;
}

void SD02MCVS::noteOff(uint8_t note) {
    if (note != currentNote) {
        for (int i = stackTop; i >= 0; --i)
            if (noteStack[i] == note) {
                noteStack[i] = kNoNote;
                break;
            }
        return;
    }
    currentNote = kNoNote;
    while (stackTop >= 0) {
        const uint8_t earlier = noteStack[stackTop--];
        if (earlier != kNoNote) {
            // Back to a held note: the gate stays up and the pitch glides there.
            currentNote = earlier;
            setTarget(notePitch(earlier));
            return;
        }
    }
    drive(gateOut, gateLed, 0.f);
    retriggerCountdown = 0;
}

void SD02MCVS::controller(uint8_t number, uint8_t value) {
    switch (number) {
        case 1:
        case 33:
            (number == 1 ? modMsb : modLsb) = value;
            modTarget = (float)(modMsb * 128 + modLsb) / 16383.f;
            modSettled = false;
            break;
        case 7:
        case 39:
            (number == 7 ? volumeMsb : volumeLsb) = value;
            velocityScale = (float)(volumeMsb * 128 + volumeLsb) / 16383.f;
            break;
        case 80:
            retriggerGapMs = value;
            updateGapSamples();
            break;
        case 81:
            glideLaw = value;
            break;
        case 123: case 124: case 125: case 126:
            allNotesOff();
            break;
        default:
            break;
    }
}

void SD02MCVS::midiClock() {
    if (clockOut->outValue != 1.f) drive(clockOut, clockLed, 1.f);
    // 30 % of the interval since the previous clock, at most 100 ms.
    const int width = (int)(clockCounter * 0.3);
    clockPulseWidth = width <= clockWidthCap ? std::max(width, 1) : clockWidthCap;
    clockCounter = 1;
}

// Audio thread, lock held.
// Bend and mod glide to their targets over the smoothing time, snapping within 0.001.
// Once an output has met its target (the difference exactly 0) it stays there until
// the target moves, so a settled one skips the step.
inline void SD02MCVS::smoothTowards(PatchPoint* out, float target, bool& settled) {
    if (settled) return;
    const float d = target - out->outValue;
    if (d != 0.f)
        out->outValue = std::fabs(d) < 0.001f ? target : out->outValue + d / smoothingLength;
    else
        settled = true;
}

// The clock output's pulse ends after its width; the count is held at its top
// rather than wrapping when no clock comes for hours.
inline void SD02MCVS::runClockPulse() {
    if (clockCounter == clockPulseWidth) drive(clockOut, clockLed, 0.f);
    if (clockCounter < INT32_MAX) ++clockCounter;
}

// Out of line, so that the usual pass (no message, the note settled) stays small.
__attribute__((noinline)) void SD02MCVS::receive(uint32_t word) {
    const uint8_t status = (uint8_t)word, data1 = (uint8_t)(word >> 8), data2 = (uint8_t)(word >> 16);
    switch (status & 0xF0) {
        case 0x80:
            noteOff(data1);
            break;
        case 0x90:
            if (data2 == 0) noteOff(data1);
            else noteOn(data1, data2);
            break;
        case 0xB0:
            controller(data1, data2);
            break;
        case 0xE0:
            bendValue = (float)(data1 + data2 * 128 - 8192);
            updateBendTarget();
            break;
        default:
            if (status == 0xF8) {
                midiClock();
                break;
            }
            runClockPulse();
            if (status == 0xFA || status == 0xFB) drive(resetOut, resetLed, 0.f);
            else if (status == 0xFC) drive(resetOut, resetLed, 1.f);
            break;
    }
}

__attribute__((noinline)) void SD02MCVS::runGlide() {
    float note = noteOut->outValue;
    const float d = targetPitch - note;
    const float g = glide->getValue();
    if (glideLaw == 0) {
        if (g == 0.f) {
            note = targetPitch;
        } else if (d != 0.f) {
            if (targetPitch != glideOrigin || glideStepStale) updateGlideStep();
            const bool sameSign = (d > 0.f && glideStep > 0.f) || (d < 0.f && glideStep < 0.f);
            if (sameSign && std::fabs(d) <= std::fabs(glideStep)) note = targetPitch;
            else note += glideStep;
        }
    } else {
        const float w = (float)(sampleRate * 12.0 * (1.0 - g));
        // A glide knob past 1 (older records are scaled up) would turn the step around.
        if (w <= 0.f) {
            note = targetPitch;
        } else if (d != 0.f) {
            const float step = d > 0.f ? 1.f / w : -1.f / w;
            if (std::fabs(d) <= std::fabs(step)) note = targetPitch;
            else note += step;
        }
    }
    noteOut->outValue = note;
    pitchSettled = d == 0.f && std::memcmp(&note, &targetPitch, sizeof note) == 0;
}

void SD02MCVS::process() { step(PassJacks{}); }
void SD02MCVS::processPass() { step(SourceJacks{}); }

template <class Jacks>
inline void SD02MCVS::step(const Jacks& io) {
    if (retriggerCountdown != 0 && triggerMode->getValue() >= 0.5f) {
        if (retriggerCountdown == 1) {
            retriggerCountdown = 0;
            drive(gateOut, gateLed, 1.f);
        } else {
            --retriggerCountdown;
        }
    }

    const uint32_t word = io.word(midiIn);
    if (word == 0) {
        // Most passes carry no message: only the clock pulse runs on.
        runClockPulse();
    } else {
        receive(word);
    }

    // Once the note has met its target it stays there, whatever the glide, until the
    // target moves; the settled pass skips the glide.
    if (!pitchSettled) runGlide();

    smoothTowards(bendOut, bendTarget, bendSettled);
    smoothTowards(modOut, modTarget, modSettled);
}

void SD02MCVS::processBlock(int, int n) {
    runBlockProduced(*this, n, [this](const BlockJacks& io) { step(io); });
}

void SD02MCVS::controlChanged(CControl* control) {
    if (control == bendRange) updateBendTarget();
    else if (control == glide) updateGlideStep();
    else if (control == slide) slideFlag = slide->getValue() >= 0.5f ? 127 : 0;
}

void SD02MCVS::setSampleRate(float rate) {
    const float oldRate = sampleRate;
    Module::setSampleRate(rate);
    clockPulseWidth = std::max(1, (int)((double)clockPulseWidth * rate / oldRate));
    clockWidthCap = (int)(rate * 0.1f);
    smoothingLength = rate / 1000.f * 35.f;
    updateGlideStep();
    updateGapSamples();
}

int SD02MCVS::getStateSize() { return Module::getStateSize() + kExtraBytes; }

void SD02MCVS::saveState(float* buffer, int byteCount) {
    Module::saveState(buffer, byteCount);
    const int offset = Module::getStateSize();
    if (byteCount < offset + kExtraBytes) return;
    uint8_t* p = reinterpret_cast<uint8_t*>(buffer) + offset;
    uint32_t bits;
    p[0] = glideLaw;
    putLE32(p + 1, (uint32_t)retriggerGapMs);
    std::memcpy(&bits, &velocityScale, 4);
    putLE32(p + 5, bits);
    std::memcpy(&bits, &modTarget, 4);
    putLE32(p + 9, bits);
}

void SD02MCVS::loadState(const int32_t* words, int byteCount, int version) {
    Module::loadState(words, byteCount, version);
    const int offset = Module::getStateSize();
    if (byteCount >= offset + kExtraBytes) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(words) + offset;
        uint32_t bits;
        glideLaw = p[0];
        // A controller can only ever have set a byte; anything else is a damaged record.
        retriggerGapMs = std::clamp((int32_t)getLE32(p + 1), 0, 255);
        // Both come from a 14-bit controller pair divided by its full scale: 0 to 1.
        float v;
        bits = getLE32(p + 5);
        std::memcpy(&v, &bits, 4);
        velocityScale = keptInRange(v, 0.f, 1.f, 1.f);
        bits = getLE32(p + 9);
        std::memcpy(&v, &bits, 4);
        modTarget = keptInRange(v, 0.f, 1.f, 0.f);
        modSettled = false;
    }
    if (version < kCurrentRecord) {
        slide->setValue(1.f);
        controlChanged(slide);
        glide->setValue((float)(glide->getValue() * kOldGlideScale));
        // Old glides beyond the new scale's reach take the longest glide there is: a
        // knob past its end would save a value the next load stops at the end.
        glide->bounceValue();
        glide->snap();
        controlChanged(glide);
    }
    updateGapSamples();
    showLight(clockLed, clockOut->outValue);
    showLight(resetLed, resetOut->outValue);
    showLight(gateLed, gateOut->outValue);
}
