#pragma once

#include <cstdint>
#include <cstring>

#include "gui/CControl.h"

class Module;
class PatchPoint;
class Patch;

// One cable, in the patch's doubly linked list (oldest first).
struct Cable {
    Cable* prev = nullptr;
    Cable* next = nullptr;
    PatchPoint* reader = nullptr;  // its `source` points into `other`
    PatchPoint* other = nullptr;   // the producing end
    int colour = 1;                // 1..6 audio/CV, 7 MIDI
};

enum JackDirection { kJackInput = 0, kJackOutput = 1, kJackEither = 2 };
enum JackRole { kRoleInput = 0, kRoleOutput = 1, kRoleUnconnected = 3 };
enum SignalType { kSignalAudio = 0, kSignalMidi = 1 };

// A jack. Inputs read `inValue`, outputs write `outValue`; the engine copies along
// cables once per pass. MIDI jacks carry a message word in the float's bits.
class PatchPoint : public CMovieBitmap {
public:
    // Audio/CV jack over one of the jack strips.
    PatchPoint(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* bitmap,
               int direction);
    // MIDI jack: always the shared MIDI jack strip, whatever bitmap is passed.
    static PatchPoint* makeMidi(const CRect& size, CControlListener* listener, int32_t tag,
                                int direction);

    bool isTypeOf(const char* s) const override {
        return std::strcmp(s, "PatchPoint") == 0 || CMovieBitmap::isTypeOf(s);
    }

    Module* getModule() const;
    // Where a cable plugged here ends: the jack's centre moved by the plug offsets, in
    // rack coordinates (the module's parent's).
    CPoint plugPoint() const;

    // A press starts a cable drag (picking up the cable of a jack that reads); the
    // release offers the cable to the jack under the mouse.
    CMouseEventResult onMouseDown(CPoint& where, long buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, long buttons) override;
    CMouseEventResult onMouseMoved(CPoint&, long) override { return kMouseEventNotHandled; }
    // The drop check for a cable dragged from `from` with kCableDraggedIn: joins when
    // the two may meet, ends the drag otherwise. Answers 1 when it handled the message.
    long notify(PatchPoint* from, const char* message);
    static constexpr const char* kCableDraggedIn = "Cable Draged In";

    int direction;
    int role = kRoleUnconnected;
    int signalType = kSignalAudio;
    float inValue = 0.f;
    float outValue = 0.f;
    Cable* cable = nullptr;
    float* source = nullptr;
    int connectionCount = 0;
    int8_t plugOffsetX = -1;
    int8_t plugOffsetY = -2;
    Patch* editor = nullptr;
    int saveIndex = -1;
    // Module by module, an input reads pass i at blockIn[i] and a producing output's
    // row takes its value after pass i at blockOut[i + 1]; readers first, blockIn
    // points at the source's value.
    const float* blockIn = nullptr;
    float* blockOut = nullptr;

    // MIDI words travel as raw bits in the value slots. Inline: MIDI modules read
    // and write them every pass.
    uint32_t inWord() const {
        uint32_t w;
        std::memcpy(&w, &inValue, sizeof w);
        return w;
    }
    uint32_t outWord() const {
        uint32_t w;
        std::memcpy(&w, &outValue, sizeof w);
        return w;
    }
    void setOutWord(uint32_t word) { std::memcpy(&outValue, &word, sizeof word); }

private:
    PatchPoint(const CRect& size, CControlListener* listener, int32_t tag, int direction, bool midi);
};
