#include <new>

#include "engine/Vantorel.h"

using namespace vst;

#ifdef _WIN32
// Vantorel.def names the exports, so both widths carry them undecorated.
#define VANTOREL_EXPORT extern "C"
#else
#define VANTOREL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

VANTOREL_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    // A host that answers no version is not one we can talk to.
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.f) == 0) return nullptr;
    Vantorel* plugin = new (std::nothrow) Vantorel(audioMaster);
    return plugin ? plugin->getAeffect() : nullptr;
}

#ifndef _WIN32
// Older hosts look the entry point up as "main"; the symbol name is all they need.
VANTOREL_EXPORT AEffect* vstMainEntry(audioMasterCallback audioMaster) __asm__("main");
AEffect* vstMainEntry(audioMasterCallback audioMaster) { return VSTPluginMain(audioMaster); }
#endif
