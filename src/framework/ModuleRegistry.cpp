#include "framework/ModuleRegistry.h"

#include <cstring>

// The table itself lives with the modules (modules/Catalog.cpp).
extern const std::vector<ModuleClassInfo>& moduleCatalog();

namespace ModuleRegistry {

const std::vector<ModuleClassInfo>& all() { return moduleCatalog(); }

const ModuleClassInfo* find(const char* displayName, const char* vendor) {
    if (!displayName || !vendor) return nullptr;
    for (const ModuleClassInfo& info : all())
        if (std::strcmp(info.displayName, displayName) == 0 && std::strcmp(info.vendor, vendor) == 0)
            return &info;
    return nullptr;
}

const ModuleClassInfo* find(const char* displayName) { return find(displayName, kVendorName); }

const std::vector<const char*>& categories() {
    static const std::vector<const char*> titles = {
        "Mixer/Panner", "Filter", "Oscillator/Source", "Amplifier", "Modulator",
        "Modifier/Effect", "Clock/Gate", "Switch/Multiple", "CV Source/Processor",
        "From/To DAW", "Sequencer", "Logic/Bit", "MIDI", "Other",
    };
    return titles;
}

}  // namespace ModuleRegistry
