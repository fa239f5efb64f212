// A minimal offline VST 2.4 host: loads a plug-in module and drives it only through
// the binary interface, the way a sequencer would, so the plug-in cannot tell it apart.
#pragma once

#include "platform/SharedLibrary.h"
#include "render/MidiFile.h"
#include "vst/aeffect.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace render {

// Audio frame at which a time falls; rounding absorbs the error of times given in seconds.
int64_t frameAt(double seconds, double sampleRate);

// Moves past the events of `sorted` (from index `next`) that fall before the end of the
// block [blockStart, blockStart + blockFrames) and returns them with their offsets into
// the block. Events earlier than the block (late or negative times) are clamped to its
// first frame rather than lost.
std::vector<vst::VstMidiEvent> takeBlockEvents(const std::vector<TimedMidi>& sorted, size_t& next,
                                               int64_t blockStart, int blockFrames,
                                               double sampleRate);

// Transport of a 4/4 song that started at sample 0 with a constant tempo.
vst::VstTimeInfo transportAt(int64_t samplePos, double sampleRate, double tempo, bool playing);

class VstHost {
public:
    static constexpr vst::VstIntPtr kHostVersion = 2400;
    // Distinctive and far out of the audio range, so a plug-in leaving outputs unwritten shows.
    static constexpr float kDefaultPrefill = 1000.0f;

    using Progress = std::function<void(int64_t framesDone, int64_t framesTotal)>;

    VstHost();
    ~VstHost();
    VstHost(const VstHost&) = delete;
    VstHost& operator=(const VstHost&) = delete;

    // Each step returns false and sets error() on failure.
    bool load(const std::string& path);
    bool open(double sampleRate, int blockSize);
    // Ends the instance (the plug-in frees its AEffect); load again for a fresh one.
    void close();
    void unload();  // closes first

    const std::string& error() const { return error_; }
    vst::AEffect* effect() const { return effect_; }
    bool isOpen() const { return open_; }
    int numInputs() const { return effect_ ? effect_->numInputs : 0; }
    int numOutputs() const { return effect_ ? effect_->numOutputs : 0; }
    double sampleRate() const { return sampleRate_; }
    int blockSize() const { return blockSize_; }

    vst::VstIntPtr dispatch(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0,
                            void* ptr = nullptr, float opt = 0.0f);
    void setParameter(int index, float value);
    float getParameter(int index);

    // Bank chunk unless preset; setChunk is false when the plug-in turns the bytes down.
    bool setChunk(const std::vector<uint8_t>& bytes, bool preset = false);
    std::vector<uint8_t> getChunk(bool preset = false);

    // Events stay valid until the next sendMidi, as the plug-in may read them during processing.
    void sendMidi(const std::vector<vst::VstMidiEvent>& events);
    // Output buffers are pre-filled before the call (see setPrefill); frames <= blockSize().
    bool process(float** inputs, float** outputs, int frames);

    // Plays `events` from sample 0 for `frames` frames; `inputs` (per channel, may be shorter
    // or fewer than the plug-in's inputs) is fed in, the rest of the input is silence.
    // Returns every output channel, `frames` samples long.
    std::vector<std::vector<float>> render(std::vector<TimedMidi> events, int64_t frames,
                                           const std::vector<std::vector<float>>& inputs = {},
                                           const Progress& progress = nullptr);

    // Transport reported through audioMasterGetTime.
    void setTempo(double bpm) { tempo_ = bpm; }
    double tempo() const { return tempo_; }
    void setPlaying(bool playing) { playing_ = playing; }
    void setPosition(int64_t samplePos) { samplePos_ = samplePos; }

    // Knobs for testing plug-ins against less friendly hosts.
    void setPrefill(bool enabled, float value = kDefaultPrefill) {
        prefill_ = enabled;
        prefillValue_ = value;
    }
    void setProvideTimeInfo(bool provide) { provideTimeInfo_ = provide; }
    void setReportedVersion(vst::VstIntPtr version) { reportedVersion_ = version; }

    // (index, value) of every audioMasterAutomate call so far.
    const std::vector<std::pair<int, float>>& automation() const { return automation_; }
    void clearAutomation() { automation_.clear(); }

private:
    static vst::VstIntPtr callback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                   vst::VstIntPtr value, void* ptr, float opt);
    vst::VstIntPtr handle(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value,
                          void* ptr, float opt);
    bool fail(std::string message);

    platform::SharedLibrary module_;
    vst::AEffect* effect_ = nullptr;
    bool open_ = false;
    bool resumed_ = false;
    std::string error_;

    double sampleRate_ = 48000.0;
    int blockSize_ = 512;
    double tempo_ = 120.0;
    bool playing_ = true;
    int64_t samplePos_ = 0;
    vst::VstTimeInfo timeInfo_{};

    bool prefill_ = true;
    float prefillValue_ = kDefaultPrefill;
    bool provideTimeInfo_ = true;
    vst::VstIntPtr reportedVersion_ = kHostVersion;
    std::vector<std::pair<int, float>> automation_;

    std::vector<vst::VstMidiEvent> midiEvents_;
    std::vector<vst::VstEvent*> eventList_;  // VstEvents header followed by the pointers
    std::vector<uint8_t> chunkIn_;
};

}  // namespace render
