// writeWav and readWav where no sound file library is at hand (the Windows build).
#include "render/FileBytes.h"
#include "render/WavFile.h"
#include "render/WavFormat.h"

#include <algorithm>
#include <cstring>

namespace render {

bool writeWav(const std::string& path, const Channels& channels, int sampleRate,
              std::string& error) {
    if (!checkChannels(path, channels, error)) return false;
    const size_t frames = channels[0].size();
    const std::vector<uint8_t> header = floatWavHeader(channels.size(), frames, sampleRate);
    if (header.empty()) {
        error = "too long for a WAV file: " + path;
        return false;
    }
    return writeFile(path, [&](std::ostream& out) {
        out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
        constexpr size_t kBlockFrames = 4096;
        const size_t numCh = channels.size();
        std::vector<uint8_t> block(kBlockFrames * numCh * 4);
        for (size_t start = 0; start < frames && out; start += kBlockFrames) {
            const size_t n = std::min(kBlockFrames, frames - start);
            uint8_t* p = block.data();
            for (size_t i = 0; i < n; ++i)
                for (size_t c = 0; c < numCh; ++c) {
                    uint32_t raw;
                    std::memcpy(&raw, &channels[c][start + i], 4);
                    for (int b = 0; b < 4; ++b) *p++ = uint8_t(raw >> (8 * b));
                }
            out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(p - block.data()));
        }
    }, error);
}

bool readWav(const std::string& path, Channels& channels, int& sampleRate, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!readFileBytes(path, "WAV file", bytes, error)) return false;
    std::string why;
    if (!parseWav(bytes.data(), bytes.size(), channels, sampleRate, why)) {
        error = "cannot read " + path + ": " + why;
        return false;
    }
    return true;
}

}  // namespace render
