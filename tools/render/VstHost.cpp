#include "render/VstHost.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <limits>

namespace render {

using namespace vst;

namespace {

// More would only ever be a corrupt AEffect; refusing it keeps buffer set-up sane.
constexpr VstInt32 kMaxChannels = 256;

// Plug-ins call back from inside their entry point, before the host has seen their AEffect
// (often with a null one). The host being loaded on this thread answers those calls.
thread_local VstHost* tLoading = nullptr;

struct LoadingScope {
    VstHost* saved;
    explicit LoadingScope(VstHost* host) : saved(tLoading) { tLoading = host; }
    ~LoadingScope() { tLoading = saved; }
};

void copyString(void* dest, const char* text, size_t capacity) {
    if (!dest) return;
    std::strncpy(static_cast<char*>(dest), text, capacity - 1);
    static_cast<char*>(dest)[capacity - 1] = '\0';
}

}  // namespace

int64_t frameAt(double seconds, double sampleRate) {
    const double frame = seconds * sampleRate;
    if (!(frame > 0.0)) return 0;  // negative or NaN
    if (frame >= 9.0e18) return std::numeric_limits<int64_t>::max();
    return std::llround(frame);
}

std::vector<VstMidiEvent> takeBlockEvents(const std::vector<TimedMidi>& sorted, size_t& next,
                                          int64_t blockStart, int blockFrames, double sampleRate) {
    std::vector<VstMidiEvent> block;
    const int64_t blockEnd = blockStart + blockFrames;
    for (; next < sorted.size(); ++next) {
        const TimedMidi& m = sorted[next];
        const int64_t frame = frameAt(m.seconds, sampleRate);
        if (frame >= blockEnd) break;
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = VstInt32(std::max<int64_t>(frame - blockStart, 0));
        for (int i = 0; i < std::min<int>(m.size, 3); ++i) e.midiData[i] = char(m.bytes[i]);
        block.push_back(e);
    }
    return block;
}

VstTimeInfo transportAt(int64_t samplePos, double sampleRate, double tempo, bool playing) {
    VstTimeInfo t{};
    t.samplePos = double(samplePos);
    t.sampleRate = sampleRate;
    t.tempo = tempo;
    t.ppqPos = double(samplePos) / sampleRate * tempo / 60.0;
    t.barStartPos = std::floor(t.ppqPos / 4.0) * 4.0;
    t.timeSigNumerator = 4;
    t.timeSigDenominator = 4;
    t.flags = kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid | kVstBarsValid |
              (playing ? kVstTransportPlaying : 0);
    return t;
}

VstHost::VstHost() = default;

VstHost::~VstHost() { unload(); }

bool VstHost::fail(std::string message) {
    error_ = std::move(message);
    return false;
}

VstIntPtr VstHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
    VstHost* host = nullptr;
    if (tLoading && (!effect || !tLoading->effect_ || effect == tLoading->effect_))
        host = tLoading;
    else if (effect && effect->resvd1)
        host = reinterpret_cast<VstHost*>(effect->resvd1);
    if (!host) return opcode == audioMasterVersion ? kHostVersion : 0;
    return host->handle(opcode, index, value, ptr, opt);
}

VstIntPtr VstHost::handle(VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float opt) {
    switch (opcode) {
        case audioMasterAutomate:
            automation_.emplace_back(index, opt);
            return 0;
        case audioMasterVersion:
            return reportedVersion_;
        case audioMasterCurrentId:
            return effect_ ? effect_->uniqueID : 0;
        case audioMasterWantMidi:
            return 1;
        case audioMasterGetTime:
            if (!provideTimeInfo_) return 0;
            timeInfo_ = transportAt(samplePos_, sampleRate_, tempo_, playing_);
            return reinterpret_cast<VstIntPtr>(&timeInfo_);
        case audioMasterGetSampleRate:
            return VstIntPtr(sampleRate_);
        case audioMasterGetBlockSize:
            return blockSize_;
        case audioMasterGetVendorString:
            copyString(ptr, "Vantorel", kVstMaxVendorStrLen);
            return 1;
        case audioMasterGetProductString:
            copyString(ptr, "vantorel-render", kVstMaxProductStrLen);
            return 1;
        case audioMasterGetVendorVersion:
            return 1;
        case audioMasterCanDo: {
            if (!ptr) return 0;
            const char* what = static_cast<const char*>(ptr);
            for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo"})
                if (std::strcmp(what, yes) == 0) return 1;
            for (const char* no : {"receiveVstEvents", "receiveVstMidiEvent", "sizeWindow",
                                   "openFileSelector", "closeFileSelector", "startStopProcess"})
                if (std::strcmp(what, no) == 0) return -1;
            return 0;
        }
        default:
            return 0;
    }
}

bool VstHost::load(const std::string& path) {
    unload();
    error_.clear();
    std::error_code ec;
    const auto status = std::filesystem::status(platform::toPath(path), ec);
    if (ec || !std::filesystem::exists(status))
        return fail("cannot open plug-in " + path + ": " + (ec ? ec.message() : "no such file"));
    if (!std::filesystem::is_regular_file(status)) return fail("plug-in " + path + " is not a file");
    if (!module_.open(path)) return fail("cannot load plug-in " + path + ": " + module_.error());
    using Entry = AEffect* (*)(audioMasterCallback);
    void* symbol = module_.symbol("VSTPluginMain");
    if (!symbol) symbol = module_.symbol("main");
    if (!symbol) {
        unload();
        return fail(path + " is not a VST plug-in: no VSTPluginMain or main entry point");
    }
    AEffect* e = nullptr;
    {
        LoadingScope scope(this);
        e = reinterpret_cast<Entry>(symbol)(&VstHost::callback);
    }
    if (!e) {
        unload();
        return fail("plug-in " + path + " refused to load (its entry point returned null)");
    }
    if (e->magic != kEffectMagic) {
        // Not an AEffect at all, so its dispatcher cannot be trusted to clean up.
        unload();
        return fail("plug-in " + path + " returned an object without the VST magic number");
    }
    std::string problem;
    if (!e->dispatcher)
        problem = "has no dispatcher";
    else if (!e->processReplacing)
        problem = "does not support processReplacing";
    else if (e->numInputs < 0 || e->numInputs > kMaxChannels || e->numOutputs < 0 ||
             e->numOutputs > kMaxChannels)
        problem = "declares an impossible channel count";
    e->resvd1 = reinterpret_cast<VstIntPtr>(this);
    effect_ = e;
    if (!problem.empty()) {
        if (!e->dispatcher) effect_ = nullptr;
        unload();
        return fail("plug-in " + path + " " + problem);
    }
    return true;
}

bool VstHost::open(double sampleRate, int blockSize) {
    if (!effect_) return fail("no plug-in loaded");
    if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) return fail("invalid sample rate");
    if (blockSize <= 0) return fail("invalid block size");
    if (open_) return fail("plug-in is already open");
    sampleRate_ = sampleRate;
    blockSize_ = blockSize;
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, float(sampleRate));
    dispatch(effSetBlockSize, 0, blockSize);
    dispatch(effMainsChanged, 0, 1);
    open_ = resumed_ = true;
    return true;
}

void VstHost::close() {
    if (!effect_) return;
    if (resumed_) dispatch(effMainsChanged, 0, 0);
    // effClose ends the instance: the plug-in frees its AEffect.
    dispatch(effClose);
    effect_ = nullptr;
    open_ = resumed_ = false;
}

void VstHost::unload() {
    close();
    module_.close();
    midiEvents_.clear();
    eventList_.clear();
}

VstIntPtr VstHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                            float opt) {
    return effect_ ? effect_->dispatcher(effect_, opcode, index, value, ptr, opt) : 0;
}

void VstHost::setParameter(int index, float value) {
    if (effect_ && effect_->setParameter && index >= 0 && index < effect_->numParams)
        effect_->setParameter(effect_, index, value);
}

float VstHost::getParameter(int index) {
    if (effect_ && effect_->getParameter && index >= 0 && index < effect_->numParams)
        return effect_->getParameter(effect_, index);
    return 0.0f;
}

bool VstHost::setChunk(const std::vector<uint8_t>& bytes, bool preset) {
    if (!effect_) return fail("no plug-in loaded");
    chunkIn_ = bytes;  // the plug-in gets a buffer of its own that outlives the call
    const VstIntPtr accepted = dispatch(effSetChunk, preset ? 1 : 0, VstIntPtr(chunkIn_.size()),
                                        chunkIn_.empty() ? nullptr : chunkIn_.data());
    return accepted != 0 || fail("plug-in rejected the chunk");
}

std::vector<uint8_t> VstHost::getChunk(bool preset) {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

void VstHost::sendMidi(const std::vector<VstMidiEvent>& events) {
    midiEvents_ = events;
    if (midiEvents_.empty() || !effect_) return;
    // VstEvents ends in a variable-length pointer array; lay it out in pointer-sized slots.
    constexpr size_t headerSlots = (offsetof(VstEvents, events) + sizeof(VstEvent*) - 1) /
                                   sizeof(VstEvent*);
    eventList_.assign(headerSlots + std::max<size_t>(midiEvents_.size(), 2), nullptr);
    VstEvents header{};
    header.numEvents = VstInt32(midiEvents_.size());
    std::memcpy(eventList_.data(), &header, offsetof(VstEvents, events));
    for (size_t i = 0; i < midiEvents_.size(); ++i) {
        midiEvents_[i].type = kVstMidiType;
        midiEvents_[i].byteSize = sizeof(VstMidiEvent);
        eventList_[headerSlots + i] = reinterpret_cast<VstEvent*>(&midiEvents_[i]);
    }
    dispatch(effProcessEvents, 0, 0, eventList_.data());
}

bool VstHost::process(float** inputs, float** outputs, int frames) {
    if (!effect_ || !open_) return fail("plug-in is not open");
    if (frames < 0 || frames > blockSize_) return fail("block longer than the announced size");
    if (prefill_)
        for (int c = 0; c < effect_->numOutputs; ++c) std::fill_n(outputs[c], frames, prefillValue_);
    effect_->processReplacing(effect_, inputs, outputs, frames);
    return true;
}

std::vector<std::vector<float>> VstHost::render(std::vector<TimedMidi> events, int64_t frames,
                                                const std::vector<std::vector<float>>& inputs,
                                                const Progress& progress) {
    if (!effect_ || !open_) {
        fail("plug-in is not open");
        return {};
    }
    frames = std::max<int64_t>(frames, 0);
    const double rate = sampleRate_;
    // Sorting by frame rather than by seconds keeps a total order even for NaN times, and
    // simultaneous events stay in the order given (a note-off before the next note-on).
    std::stable_sort(events.begin(), events.end(), [rate](const TimedMidi& a, const TimedMidi& b) {
        return frameAt(a.seconds, rate) < frameAt(b.seconds, rate);
    });
    const int numIn = effect_->numInputs, numOut = effect_->numOutputs;
    const std::vector<float> blockOfZeros(static_cast<size_t>(blockSize_), 0.0f);
    std::vector<std::vector<float>> out(static_cast<size_t>(numOut),
                                        std::vector<float>(static_cast<size_t>(frames), 0.0f));
    std::vector<std::vector<float>> inBuf(static_cast<size_t>(numIn), blockOfZeros);
    std::vector<std::vector<float>> outBuf(static_cast<size_t>(numOut), blockOfZeros);
    std::vector<float*> inPtr, outPtr;
    for (auto& b : inBuf) inPtr.push_back(b.data());
    for (auto& b : outBuf) outPtr.push_back(b.data());

    size_t next = 0;
    for (int64_t pos = 0; pos < frames;) {
        const int n = int(std::min<int64_t>(blockSize_, frames - pos));
        samplePos_ = pos;
        // Refilled every block: a plug-in is allowed to scribble over its inputs.
        for (int c = 0; c < numIn; ++c) {
            std::fill(inBuf[c].begin(), inBuf[c].end(), 0.0f);
            if (size_t(c) < inputs.size() && int64_t(inputs[c].size()) > pos) {
                const int64_t avail = std::min<int64_t>(n, int64_t(inputs[c].size()) - pos);
                std::copy_n(inputs[c].begin() + pos, avail, inBuf[c].begin());
            }
        }
        sendMidi(takeBlockEvents(events, next, pos, n, rate));
        process(inPtr.data(), outPtr.data(), n);
        for (int c = 0; c < numOut; ++c) std::copy_n(outBuf[c].begin(), n, out[c].begin() + pos);
        pos += n;
        if (progress) progress(pos, frames);
    }
    samplePos_ = frames;
    return out;
}

}  // namespace render
