#include "render/WavFormat.h"

#include <cstring>
#include <limits>

namespace render {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

void put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void tag(std::vector<uint8_t>& out, const char* fourcc) { out.insert(out.end(), fourcc, fourcc + 4); }

uint32_t le(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

bool fail(std::string& error, const std::string& why) {
    error = why;
    return false;
}

// One sample of the given kind at p, as a float in -1..1 for integers.
float sampleAt(const uint8_t* p, uint16_t format, int bits) {
    if (format == kFormatFloat) {
        const uint32_t raw = le(p, 4);
        float f;
        std::memcpy(&f, &raw, 4);
        return f;
    }
    switch (bits) {
        case 8: return float(int(p[0]) - 128) / 128.0f;  // 8-bit samples are unsigned
        case 16: return float(int16_t(le(p, 2))) / 32768.0f;
        case 24: return float(int32_t(le(p, 3) << 8) >> 8) / 8388608.0f;
        default: return float(double(int32_t(le(p, 4))) / 2147483648.0);
    }
}

}  // namespace

bool checkChannels(const std::string& path, const Channels& channels, std::string& error) {
    if (channels.empty()) return fail(error, "no channels to write to " + path);
    for (const auto& ch : channels)
        if (ch.size() != channels[0].size()) return fail(error, "channels of unequal length for " + path);
    return true;
}

std::vector<uint8_t> floatWavHeader(size_t numChannels, uint64_t frames, int sampleRate) {
    constexpr uint64_t kHeaderBytes = 12 + 26 + 12 + 8;
    const uint64_t frameBytes = uint64_t(numChannels) * 4;
    if (numChannels == 0 || numChannels > 0xFFFF || sampleRate <= 0 ||
        frames > (std::numeric_limits<uint32_t>::max() - kHeaderBytes) / frameBytes)
        return {};
    const uint32_t dataBytes = uint32_t(frames * frameBytes);
    std::vector<uint8_t> h;
    tag(h, "RIFF");
    put(h, uint32_t(kHeaderBytes - 8 + dataBytes), 4);
    tag(h, "WAVE");
    tag(h, "fmt ");
    put(h, 18, 4);
    put(h, kFormatFloat, 2);
    put(h, uint32_t(numChannels), 2);
    put(h, uint32_t(sampleRate), 4);
    put(h, uint32_t(sampleRate) * uint32_t(frameBytes), 4);  // bytes per second
    put(h, uint32_t(frameBytes), 2);
    put(h, 32, 2);
    put(h, 0, 2);  // no extension
    // Readers are told the length in frames of a non-PCM file by its fact chunk.
    tag(h, "fact");
    put(h, 4, 4);
    put(h, uint32_t(frames), 4);
    tag(h, "data");
    put(h, dataBytes, 4);
    return h;
}

bool parseWav(const uint8_t* data, size_t size, Channels& channels, int& sampleRate,
              std::string& error) {
    channels.clear();
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return fail(error, "not a WAV file");
    uint16_t format = 0, numChannels = 0, bits = 0, blockAlign = 0;
    uint32_t rate = 0;
    bool haveFormat = false;
    size_t pos = 12;
    while (pos < size) {
        if (size - pos < 8) return fail(error, "truncated WAV file");
        const uint8_t* chunk = data + pos;
        const uint32_t length = le(chunk + 4, 4);
        const size_t body = pos + 8;
        const size_t available = size - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (length < 16 || length > available) return fail(error, "truncated WAV format chunk");
            format = uint16_t(le(chunk + 8, 2));
            numChannels = uint16_t(le(chunk + 10, 2));
            rate = le(chunk + 12, 4);
            blockAlign = uint16_t(le(chunk + 20, 2));
            bits = uint16_t(le(chunk + 22, 2));
            if (format == kFormatExtensible) {
                // The sub-format's first two bytes are the plain format code.
                if (length < 40) return fail(error, "truncated WAV format chunk");
                format = uint16_t(le(chunk + 32, 2));
            }
            const bool supported = (format == kFormatFloat && bits == 32) ||
                                   (format == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32));
            if (!supported)
                return fail(error, "unsupported WAV sample format " + std::to_string(format) + " with " +
                                       std::to_string(bits) + " bits");
            if (numChannels == 0 || blockAlign != numChannels * (bits / 8) || rate == 0 ||
                rate > uint32_t(std::numeric_limits<int>::max()))
                return fail(error, "inconsistent WAV format chunk");
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return fail(error, "WAV data before its format");
            if (length > available) return fail(error, "truncated WAV data");
            const size_t frames = length / blockAlign;  // a partial last frame is not a sample
            const int bytes = bits / 8;
            channels.assign(numChannels, std::vector<float>(frames));
            const uint8_t* p = data + body;
            for (size_t i = 0; i < frames; ++i)
                for (size_t c = 0; c < numChannels; ++c, p += bytes)
                    channels[c][i] = sampleAt(p, format, bits);
            sampleRate = int(rate);
            return true;
        }
        // Chunks are padded to an even length.
        const uint64_t next = uint64_t(body) + length + (length & 1);
        if (next > size) return fail(error, "truncated WAV file");
        pos = size_t(next);
    }
    return fail(error, haveFormat ? "WAV file without data" : "WAV file without a format chunk");
}

}  // namespace render
