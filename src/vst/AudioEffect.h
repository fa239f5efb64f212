#pragma once

#include "vst/aeffect.h"

class AEffGUIEditor;

// Plug-in side of the VST 2.4 interface: owns the AEffect record the host sees and
// turns dispatcher opcodes into virtual calls. Nothing product-specific lives here.
class AudioEffect {
public:
    AudioEffect(vst::audioMasterCallback audioMaster, vst::VstInt32 numPrograms,
                vst::VstInt32 numParams);
    virtual ~AudioEffect();

    vst::AEffect* getAeffect() { return &cEffect; }

    // Host calls, any thread the host likes.
    virtual vst::VstIntPtr dispatcher(vst::VstInt32 opcode, vst::VstInt32 index,
                                      vst::VstIntPtr value, void* ptr, float opt);
    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(vst::VstInt32 size) { blockSize = size; }
    virtual void processReplacing(float** inputs, float** outputs, vst::VstInt32 sampleFrames) = 0;
    virtual void processDoubleReplacing(double**, double**, vst::VstInt32) {}
    virtual void setParameter(vst::VstInt32, float) {}
    virtual float getParameter(vst::VstInt32) { return 0.f; }
    virtual void getParameterLabel(vst::VstInt32, char* label) { *label = 0; }
    virtual void getParameterDisplay(vst::VstInt32, char* text) { *text = 0; }
    virtual void getParameterName(vst::VstInt32, char* text) { *text = 0; }
    virtual vst::VstInt32 getChunk(void**, bool) { return 0; }
    virtual vst::VstInt32 setChunk(void*, vst::VstInt32, bool) { return 0; }
    virtual void setProgram(vst::VstInt32 program) { curProgram = program; }
    virtual vst::VstInt32 getProgram() { return curProgram; }
    virtual void setProgramName(char*) {}
    virtual void getProgramName(char* name) { *name = 0; }

    // Plug-in set-up, normally from the constructor.
    void setUniqueID(vst::VstInt32 id) { cEffect.uniqueID = id; }
    void setNumInputs(vst::VstInt32 n) { cEffect.numInputs = n; }
    void setNumOutputs(vst::VstInt32 n) { cEffect.numOutputs = n; }
    void setEditor(AEffGUIEditor* e);
    AEffGUIEditor* getEditor() const { return editor; }
    void setFlag(vst::VstInt32 flag, bool on);
    void isSynth(bool on = true) { setFlag(vst::effFlagsIsSynth, on); }
    void canProcessReplacing(bool on = true) { setFlag(vst::effFlagsCanReplacing, on); }
    void programsAreChunks(bool on = true) { setFlag(vst::effFlagsProgramChunks, on); }
    void hasEditor(bool on) { setFlag(vst::effFlagsHasEditor, on); }

    float getSampleRate() const { return sampleRate; }
    vst::VstInt32 getBlockSize() const { return blockSize; }

    // Plug-in -> host.
    vst::VstInt32 getMasterVersion();
    virtual void setParameterAutomated(vst::VstInt32 index, float value);
    vst::VstIntPtr callHost(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0,
                            void* ptr = nullptr, float opt = 0.f);

protected:
    vst::audioMasterCallback audioMaster;
    AEffGUIEditor* editor = nullptr;
    float sampleRate = 44100.f;
    vst::VstInt32 blockSize = 1024;
    vst::VstInt32 numPrograms;
    vst::VstInt32 numParams;
    vst::VstInt32 curProgram = 0;
    vst::AEffect cEffect;
};
