#include "vst/AudioEffect.h"

#include <cstring>

#include "vst/AEffGUIEditor.h"

using namespace vst;

namespace {

AudioEffect* self(AEffect* e) { return e ? static_cast<AudioEffect*>(e->object) : nullptr; }

VstIntPtr dispatchTrampoline(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                             void* ptr, float opt) {
    AudioEffect* fx = self(e);
    if (!fx) return 0;
    if (opcode == effClose) {
        // The host's last word to this instance: it owns nothing of ours afterwards.
        fx->dispatcher(opcode, index, value, ptr, opt);
        delete fx;
        return 1;
    }
    return fx->dispatcher(opcode, index, value, ptr, opt);
}

// The accumulating entry point predates 2.4; hosts that still call it get silence
// rather than a crash.
void processAccumulating(AEffect*, float**, float**, VstInt32) {}

void processReplacingTrampoline(AEffect* e, float** in, float** out, VstInt32 frames) {
    if (AudioEffect* fx = self(e)) fx->processReplacing(in, out, frames);
}

void processDoubleTrampoline(AEffect* e, double** in, double** out, VstInt32 frames) {
    if (AudioEffect* fx = self(e)) fx->processDoubleReplacing(in, out, frames);
}

void setParameterTrampoline(AEffect* e, VstInt32 index, float value) {
    if (AudioEffect* fx = self(e)) fx->setParameter(index, value);
}

float getParameterTrampoline(AEffect* e, VstInt32 index) {
    AudioEffect* fx = self(e);
    return fx ? fx->getParameter(index) : 0.f;
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchTrampoline;
    cEffect.process = processAccumulating;
    cEffect.setParameter = setParameterTrampoline;
    cEffect.getParameter = getParameterTrampoline;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.f;
    cEffect.object = this;
    cEffect.uniqueID = fourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingTrampoline;
    cEffect.processDoubleReplacing = processDoubleTrampoline;
}

AudioEffect::~AudioEffect() = default;

void AudioEffect::setFlag(VstInt32 flag, bool on) {
    if (on)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

void AudioEffect::setEditor(AEffGUIEditor* e) {
    editor = e;
    hasEditor(e != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

VstInt32 AudioEffect::getMasterVersion() {
    VstInt32 version = (VstInt32)callHost(audioMasterVersion);
    return version == 0 && audioMaster ? 1 : version;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    const bool paramInRange = index >= 0 && index < numParams;
    switch (opcode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
        if (value >= 0 && value < numPrograms) setProgram((VstInt32)value);
        return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName:
        if (ptr) setProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetProgramName:
        if (ptr) getProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName: {
        char* text = static_cast<char*>(ptr);
        if (!text) return 0;
        *text = 0;
        if (!paramInRange) return 0;
        if (opcode == effGetParamLabel) getParameterLabel(index, text);
        else if (opcode == effGetParamDisplay) getParameterDisplay(index, text);
        else getParameterName(index, text);
        return 0;
    }
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize((VstInt32)value); return 0;
    case effMainsChanged:
        if (value) resume();
        else suspend();
        return 0;
    case effEditGetRect:
        if (editor && ptr) return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
        return 0;
    case effEditOpen: return editor && editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effGetChunk: return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case effSetChunk: return setChunk(ptr, (VstInt32)value, index != 0);
    default: return 0;
    }
}
