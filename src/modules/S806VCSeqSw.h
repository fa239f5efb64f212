#pragma once

#include <cstdint>

#include "framework/Module.h"

class ModuleKnob;
class CMovieBitmap;

// One common jack joined to one of four switched jacks, both ways at once (1-to-4
// distributor and 4-to-1 selector). Triggers step the selection, reset returns it
// to the first jack, and a scaled CV offsets it.
class S806VCSeqSw : public Module {
public:
    explicit S806VCSeqSw(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S806 VC Sequential Switch", 1000)
    void process() override;
    void loadState(const int32_t* words, int byteCount, int version) override;

    static constexpr int kWays = 4;

private:
    PatchPoint* forwardIn;
    PatchPoint* backwardIn;
    PatchPoint* cvIn;
    ModuleKnob* cvAmount;
    PatchPoint* common;
    PatchPoint* resetIn;
    PatchPoint* switched[kWays];
    CMovieBitmap* leds[kWays];

    int32_t position = 0;
    int32_t litLed = 0;
    float prevForward = 0.f;
    float prevBackward = 0.f;
};
