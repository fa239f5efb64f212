#pragma once

#include "vst/AudioEffect.h"

// The 2.x extensions: events, time info, capabilities and pin properties.
class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(vst::audioMasterCallback audioMaster, vst::VstInt32 numPrograms,
                 vst::VstInt32 numParams);

    vst::VstIntPtr dispatcher(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value,
                              void* ptr, float opt) override;
    // A synth asks the host for MIDI whenever it is switched on.
    void resume() override;

    virtual vst::VstInt32 processEvents(vst::VstEvents*) { return 0; }
    virtual bool getInputProperties(vst::VstInt32, vst::VstPinProperties*) { return false; }
    virtual bool getOutputProperties(vst::VstInt32, vst::VstPinProperties*) { return false; }
    virtual bool getEffectName(char*) { return false; }
    virtual bool getVendorString(char*) { return false; }
    virtual bool getProductString(char*) { return false; }
    virtual vst::VstInt32 getVendorVersion() { return 0; }
    virtual vst::VstInt32 canDo(char*) { return 0; }
    virtual vst::VstInt32 getNumMidiInputChannels() { return 0; }
    virtual vst::VstInt32 getNumMidiOutputChannels() { return 0; }
    virtual vst::VstInt32 getVstVersion() { return 2400; }
    virtual vst::VstPlugCategory getPlugCategory();
    virtual bool canParameterBeAutomated(vst::VstInt32 index) { return index >= 0 && index < numParams; }

    // Forwards to the host; the answer may be null (hosts without a transport).
    vst::VstTimeInfo* getTimeInfo(vst::VstInt32 filter);
    bool wantEvents(vst::VstInt32 filter = 1);
};
