#include "framework/ModuleRegistry.h"
#include "modules/S201VCF.h"
#include "modules/S310VCO.h"
#include "modules/S400DVCA.h"
#include "modules/S401VCAAtn.h"
#include "modules/S404VCA.h"
#include "modules/S500ADSR.h"
#include "modules/SA012FromDAW.h"
#include "modules/SA022DAW.h"
#include "modules/SA03MSFromDAW.h"
#include "modules/SA04TempoFromDAW.h"
#include "modules/SA052DAW12dbAmp.h"
#include "modules/SD02MCVS.h"

namespace {

template <class T>
Module* make(Patch* editor) {
    return new T(editor);
}

enum Category {
    kMixerPanner, kFilter, kSource, kAmplifier, kModulator, kEffect, kClockGate, kSwitch,
    kCvTools, kDaw, kSequencer, kLogic, kMidi, kOther
};

}  // namespace

// Every module class, in module-menu order within its category.
const std::vector<ModuleClassInfo>& moduleCatalog() {
    static const std::vector<ModuleClassInfo> catalog = {
        {"S201 VCF", kVendorName, kFilter, make<S201VCF>},
        {"S310 VCO", kVendorName, kSource, make<S310VCO>},
        {"S400 Dual VCA", kVendorName, kAmplifier, make<S400DVCA>},
        {"S401 Multi db VCA/Attenuator", kVendorName, kAmplifier, make<S401VCAAtn>},
        {"S404 VCA", kVendorName, kAmplifier, make<S404VCA>},
        {"S500 ADSR", kVendorName, kModulator, make<S500ADSR>},
        {"SA01 2 From DAW", kVendorName, kDaw, make<SA012FromDAW>},
        {"SA02 2 DAW", kVendorName, kDaw, make<SA022DAW>},
        {"SA03 MIDI/Sync From DAW", kVendorName, kDaw, make<SA03MSFromDAW>},
        {"SA04 Tempo From DAW", kVendorName, kDaw, make<SA04TempoFromDAW>},
        {"SA05 2 DAW 12db Amplifier", kVendorName, kDaw, make<SA052DAW12dbAmp>},
        {"SD02 MIDI-CV/Sync", kVendorName, kMidi, make<SD02MCVS>},
    };
    return catalog;
}
