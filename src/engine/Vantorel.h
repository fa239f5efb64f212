#pragma once

#include <string>
#include <vector>

#include "engine/Decimator.h"
#include "framework/BlockPlan.h"
#include "platform/EngineLock.h"
#include "vst/AudioEffectX.h"

class SynEditor;
class Module;
struct ModuleList;
struct CableCopy;

// Shared by every instance in the loaded library.
extern float noteFrequency[128];
extern int hostBlockSize;
extern int openCount;

constexpr int kNumInputs = 10;
constexpr int kNumOutputs = 12;
constexpr int kVersion = 22;

// The plug-in object the host talks to. It owns the engine state; the editor object
// it creates owns the patch.
class Vantorel : public AudioEffectX {
public:
    explicit Vantorel(vst::audioMasterCallback audioMaster);
    ~Vantorel() override;

    void open() override;
    void close() override;
    void setSampleRate(float rate) override;
    void setBlockSize(vst::VstInt32 size) override;
    void processReplacing(float** inputs, float** outputs, vst::VstInt32 sampleFrames) override;
    vst::VstInt32 processEvents(vst::VstEvents* events) override;
    void setParameter(vst::VstInt32 index, float value) override;
    float getParameter(vst::VstInt32 index) override;
    void getParameterName(vst::VstInt32 index, char* text) override;
    vst::VstInt32 getChunk(void** data, bool isPreset) override;
    vst::VstInt32 setChunk(void* data, vst::VstInt32 size, bool isPreset) override;
    bool getInputProperties(vst::VstInt32 index, vst::VstPinProperties* props) override;
    bool getOutputProperties(vst::VstInt32 index, vst::VstPinProperties* props) override;
    vst::VstInt32 getNumMidiInputChannels() override { return 16; }
    vst::VstInt32 getNumMidiOutputChannels() override { return 16; }
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    vst::VstInt32 getVendorVersion() override { return kVersion; }
    vst::VstInt32 canDo(char* text) override;

    // Oversampling (editor side; takes the lock).
    void setOversampling(int v);
    void setFilterType(int index);

    // Time info that is never null: without an answer from the host the last tempo
    // (120 before any) is kept and the transport reads as stopped. Audio thread.
    const vst::VstTimeInfo* timeInfo(vst::VstInt32 filter);

    std::string pluginFolder;
    int pluginFolderLen = -1;
    EngineLock engineLock;

    // The rate the host runs this instance at; each instance has its own, as hosts
    // may run instances at different rates in one process.
    float hostSampleRate = 44100.f;

    // Oversampling.
    int oversampleFactor = 1;
    int filterType = 0;
    float iirCoef = 0.f;
    Decimator decimator;

    // The engine walks the editor's process list as the editor leaves it.
    const ModuleList* processList = nullptr;
    int dawOutWriters = 0;
    float* curOutL = nullptr;
    float* curOutR = nullptr;
    float** inputs = nullptr;
    float** outputs = nullptr;
    int sampleIndex = 0;
    SynEditor* editor = nullptr;

    // Where pass p of a module's block writes the host's two main outputs, and the
    // host sample it belongs to. Without oversampling these are the host's buffers;
    // with it, a tail writes a stretch of oversampled values for the decimator.
    float* passOutL = nullptr;
    float* passOutR = nullptr;
    int passBase = 0;
    int passShift = 0;
    void enterPass(int p) {
        sampleIndex = passBase + (p >> passShift);
        curOutL = passOutL + p;
        curOutR = passOutR + p;
    }

private:
    // Host buffers as the modules see them: inputs that the host aliased with an
    // output, or left null, are read from our own copy so writes cannot touch them.
    void prepareBuffers(float** hostIn, float** hostOut, int frames);
    void reserveScratch(int frames);
    void runPasses(int frames);
    struct ByProcess;
    struct ByPass;
    template <class Call>
    void runPassLoop(int frames, Module* const* first, Module* const* last, const CableCopy* copies,
                     const CableCopy* copiesEnd);
    // The block module by module, once the plan allows it.
    void runBlocks(int frames);
    void runPassesThenTail(int frames);
    void runOversampledPassesThenTail(int frames);
    // The oversampled modules of first..last gathered in order; returns their end.
    Module* const* gatherOversampled(Module* const* first, Module* const* last);
    void updateModuleRates();

    float* inputPtrs[kNumInputs] = {};
    float* outputPtrs[kNumOutputs] = {};
    std::vector<float> scratch;
    // A tail's oversampled main outputs for the IIR, one stretch of passes (the FIR
    // takes them in its own line).
    float tailOut[2][kBlockPasses] = {};
    int scratchFrames = 0;
    vst::VstTimeInfo fallbackTime = {};
    bool opened = false;
    double lastTempo = 120.0;
};
