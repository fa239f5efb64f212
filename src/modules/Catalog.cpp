#include "framework/ModuleRegistry.h"
#include "modules/SA012FromDAW.h"
#include "modules/SA022DAW.h"
#include "modules/SA052DAW12dbAmp.h"

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
        {"SA01 2 From DAW", kVendorName, kDaw, make<SA012FromDAW>},
        {"SA02 2 DAW", kVendorName, kDaw, make<SA022DAW>},
        {"SA05 2 DAW 12db Amplifier", kVendorName, kDaw, make<SA052DAW12dbAmp>},
    };
    return catalog;
}
