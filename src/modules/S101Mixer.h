#pragma once

#include "framework/Module.h"
#include "framework/ModuleKnob.h"

class ModuleKnob;

// Four inputs with level knobs into one output, with a linear or squared level law.
class S101Mixer : public Module {
public:
    explicit S101Mixer(Patch* editor);
    VANTOREL_MODULE_IDENTITY("S101 Mixer", 1000)
    void process() override;
    int blockMode() const override { return kBlockFree; }
    void processBlock(int first, int n) override;
    void processPass() override;

private:
    template <class Jacks>
    void step(const Jacks& io);
    PatchPoint* ins[4];
    PatchPoint* out;
    ModuleKnob* levels[4];
    ModuleKnob* outLevel;
    CControl* response;
    KnobWatch knobs;
};
