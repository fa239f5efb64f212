#pragma once

#include "modules/SA022DAW.h"

// As SA02, with the knob centre at unity and full travel at four times (+12 dB).
class SA052DAW12dbAmp : public SA022DAW {
public:
    explicit SA052DAW12dbAmp(Patch* editor);
    VANTOREL_MODULE_IDENTITY("SA05 2 DAW 12db Amplifier", 1000)
};
