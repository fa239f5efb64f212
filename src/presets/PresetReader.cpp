#include "presets/PresetReader.h"

#include <cstring>

#include "engine/Vantorel.h"
#include "framework/ModuleRegistry.h"

namespace {

constexpr size_t kMaxName = 519;
constexpr int32_t kMaxRows = 1000;
constexpr int32_t kFixedPartSize = 26;

// Bounded little-endian reads; any read past the end marks the input bad for good.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : p(data), end(data + size) {}

    bool ok() const { return good; }
    size_t remaining() const { return good ? (size_t)(end - p) : 0; }

    int32_t int32() {
        if (!need(4)) return 0;
        uint32_t v = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
        p += 4;
        return (int32_t)v;
    }
    uint8_t byte() { return need(1) ? *p++ : 0; }
    void skip(size_t n) {
        if (need(n)) p += n;
    }
    // Text up to its NUL, at most kMaxName characters.
    std::string cString() {
        const size_t limit = std::min(remaining(), kMaxName + 1);
        const void* nul = good ? std::memchr(p, 0, limit) : nullptr;
        if (!nul) return fail(), std::string();
        std::string s((const char*)p, (const char*)nul);
        p = (const uint8_t*)nul + 1;
        return s;
    }
    // A length-prefixed text block; the text ends at its first NUL.
    std::string textBlock() {
        const int32_t len = int32();
        if (len < 0 || !need((size_t)len)) return fail(), std::string();
        const char* s = (const char*)p;
        p += len;
        return std::string(s, strnlen(s, (size_t)len));
    }
    void words(std::vector<int32_t>& out, int32_t bytes) {
        if (bytes < 0 || !need((size_t)bytes)) return fail();
        out.assign(((size_t)bytes + 3) / 4, 0);
        if (bytes > 0) std::memcpy(out.data(), p, (size_t)bytes);
        p += bytes;
    }
    void fail() { good = false; }

private:
    bool need(size_t n) {
        if (good && (size_t)(end - p) >= n) return true;
        good = false;
        return false;
    }
    const uint8_t* p;
    const uint8_t* end;
    bool good = true;
};

bool readModule(ByteReader& in, ParsedModule& m) {
    in.int32();  // name length: the NUL ends the name
    m.name = in.cString();
    in.int32();
    m.vendor = in.cString();
    const int32_t fixed = in.int32();
    if (!in.ok() || fixed < kFixedPartSize) return false;
    m.version = in.int32();
    in.int32();  // saved-control count: the tag block says it again
    m.jackCount = in.int32();
    m.x = in.int32();
    m.y = in.int32();
    m.oversampled = in.byte() != 0;
    m.alwaysOn = in.byte() != 0;
    m.bandlimit = in.int32();
    in.skip((size_t)(fixed - kFixedPartSize));  // room a later format may use
    m.dataBytes = in.int32();
    in.words(m.data, m.dataBytes);
    const int32_t tagBytes = in.int32();
    std::vector<int32_t> tagWords;
    in.words(tagWords, tagBytes);
    if (!in.ok()) return false;
    m.tags.assign(tagWords.begin(), tagWords.begin() + tagBytes / 4);
    // Every jack is a saved control with a tag, so a record cannot claim more jacks
    // than tags; this also bounds the jack table a hostile record can ask for.
    if (m.jackCount < 0 || m.jackCount > (int32_t)m.tags.size()) return false;
    m.moduleClass = ModuleRegistry::find(m.name.c_str(), m.vendor.c_str());
    return true;
}

}  // namespace

ParseResult parsePatch(const uint8_t* data, size_t size, bool chunk, ParsedPatch& out) {
    out = ParsedPatch{};
    if (!data) return ParseResult::malformed;
    ByteReader in(data, size);
    if (chunk) out.reference = in.cString();
    out.version = in.int32();
    if (!in.ok()) return ParseResult::malformed;
    if (out.version > kVersion) return ParseResult::laterVersion;

    in.int32();  // header size
    out.rowCount = in.int32();
    in.int32();  // largest module block: we size per module instead
    out.oversampleFactor = in.int32();
    out.filterType = in.int32();
    const int32_t moduleCount = in.int32();
    in.int32();  // jack total: rebuilt from the records
    out.author = in.textBlock();
    out.description = in.textBlock();
    if (!in.ok() || out.rowCount < 1 || out.rowCount > kMaxRows || moduleCount < 0) return ParseResult::malformed;
    // The smallest possible record is far above 8 bytes; a count beyond that cannot be real.
    if ((size_t)moduleCount > in.remaining() / 8) return ParseResult::malformed;

    out.modules.resize((size_t)moduleCount);
    for (ParsedModule& m : out.modules)
        if (!readModule(in, m)) return ParseResult::malformed;

    in.int32();  // cable header size
    const int32_t cableCount = in.int32();
    in.int32();  // cable record size
    if (!in.ok() || cableCount < 0 || (size_t)cableCount > in.remaining() / 12) return ParseResult::malformed;
    out.cables.resize((size_t)cableCount);
    for (ParsedCable& c : out.cables) {
        c.reader = in.int32();
        c.other = in.int32();
        c.colour = in.int32();
    }
    return in.ok() ? ParseResult::ok : ParseResult::malformed;
}

std::string presetDisplayName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = file.find('.');
    if (dot == std::string::npos) return file;
    if (dot + 1 < file.size() && (file[dot + 1] == 'v' || file[dot + 1] == 'V')) {
        const size_t next = file.find('.', dot + 1);
        if (next != std::string::npos) return file.substr(0, next);
    }
    return file.substr(0, dot);
}
