#pragma once

#include <cstdint>

#include "framework/Module.h"

class ModuleKnob;
class CMovieBitmap;

// Divides a clock into six square waves of 2n, 4n ... 64n clock edges, n from 1 to 5.
// The counters travel with the preset so a restored patch keeps every output's phase.
class S703ClockDiv : public Module {
public:
    explicit S703ClockDiv(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S703 Clock Divider", 1001)
    void process() override;
    void controlChanged(CControl* control) override;
    int getStateSize() override;
    void saveState(float* buffer, int byteCount) override;
    void loadState(const int32_t* words, int byteCount, int version) override;

    static constexpr int kOutputs = 6;

private:
    int32_t divisor(int k) const { return n << (k + 1); }
    void resetCounters();

    PatchPoint* clockIn;
    ModuleKnob* nKnob;
    PatchPoint* outs[kOutputs];
    CMovieBitmap* leds[kOutputs];

    int32_t n = 1;
    int32_t counters[kOutputs] = {};
    float prevClock = 0.f;
    bool loading = false;
};
