#include "render/WavFile.h"
#include "render/WavFormat.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>

namespace render {

namespace {

constexpr sf_count_t kChunkFrames = 4096;

}  // namespace

bool writeWav(const std::string& path, const Channels& channels, int sampleRate,
              std::string& error) {
    if (!checkChannels(path, channels, error)) return false;
    const size_t frames = channels[0].size();
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = int(channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    const size_t numCh = channels.size();
    std::vector<float> interleaved(size_t(kChunkFrames) * numCh);
    bool ok = true;
    for (size_t start = 0; start < frames && ok; start += kChunkFrames) {
        const size_t n = std::min<size_t>(kChunkFrames, frames - start);
        for (size_t i = 0; i < n; ++i)
            for (size_t c = 0; c < numCh; ++c) interleaved[i * numCh + c] = channels[c][start + i];
        ok = sf_writef_float(file, interleaved.data(), sf_count_t(n)) == sf_count_t(n);
    }
    if (!ok) error = "cannot write " + path + ": " + sf_strerror(file);
    // The header is only complete once closed; a failed close is a broken file.
    if (sf_close(file) != 0 && ok) {
        error = "cannot finish " + path;
        ok = false;
    }
    // A shorter but well-formed file would pass for a finished render.
    if (!ok) std::remove(path.c_str());
    return ok;
}

bool readWav(const std::string& path, Channels& channels, int& sampleRate, std::string& error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    const size_t numCh = size_t(info.channels);
    channels.assign(numCh, {});
    std::vector<float> interleaved(size_t(kChunkFrames) * numCh);
    sf_count_t got;
    while ((got = sf_readf_float(file, interleaved.data(), kChunkFrames)) > 0)
        for (sf_count_t i = 0; i < got; ++i)
            for (size_t c = 0; c < numCh; ++c) channels[c].push_back(interleaved[size_t(i) * numCh + c]);
    sampleRate = info.samplerate;
    const bool complete = sf_count_t(channels.empty() ? 0 : channels[0].size()) == info.frames;
    sf_close(file);
    if (!complete) error = "truncated WAV " + path;
    return complete;
}

}  // namespace render
