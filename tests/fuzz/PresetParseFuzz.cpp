// libFuzzer target for the preset parser alone: no plug-in, no modules, so it runs tens
// of thousands of inputs a second and reaches the reader's corners long before the full
// target (PresetReaderFuzz.cpp) would. Beyond "no out-of-bounds read, no UB" it holds the
// two forms to what they promise each other: a chunk is a preset reference, a NUL and a
// file body, so a chunk and the body behind its reference parse to the same patch.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "presets/PresetReader.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "preset parse fuzzer: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

bool sameModule(const ParsedModule& a, const ParsedModule& b) {
    return a.name == b.name && a.vendor == b.vendor && a.version == b.version && a.jackCount == b.jackCount &&
           a.x == b.x && a.y == b.y && a.oversampled == b.oversampled && a.alwaysOn == b.alwaysOn &&
           a.bandlimit == b.bandlimit && a.dataBytes == b.dataBytes && a.data == b.data && a.tags == b.tags &&
           a.moduleClass == b.moduleClass;
}

// Everything but the reference, which only the chunk has.
bool samePatch(const ParsedPatch& a, const ParsedPatch& b) {
    if (a.version != b.version || a.rowCount != b.rowCount || a.oversampleFactor != b.oversampleFactor ||
        a.filterType != b.filterType || a.author != b.author || a.description != b.description ||
        a.modules.size() != b.modules.size() || a.cables.size() != b.cables.size())
        return false;
    for (size_t i = 0; i < a.modules.size(); ++i)
        if (!sameModule(a.modules[i], b.modules[i])) return false;
    for (size_t i = 0; i < a.cables.size(); ++i)
        if (a.cables[i].reader != b.cables[i].reader || a.cables[i].other != b.cables[i].other ||
            a.cables[i].colour != b.cables[i].colour)
            return false;
    return true;
}

// A record's words are its byte count rounded up, zero padded: the loaders read them
// as whole words and must never see bytes from beyond the record.
void checkRecords(const ParsedPatch& p) {
    for (const ParsedModule& m : p.modules) {
        if (m.dataBytes < 0 || m.data.size() != ((size_t)m.dataBytes + 3) / 4)
            fail("a record's words do not match its byte count");
        for (size_t b = (size_t)m.dataBytes; b < 4 * m.data.size(); ++b)
            if (reinterpret_cast<const uint8_t*>(m.data.data())[b] != 0) fail("a record's padding is not zero");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Reused across inputs: their buffers keep their capacity, as the editor's do.
    static ParsedPatch asChunk, asBody, behindReference;

    const ParseResult chunkResult = parsePatch(data, size, true, asChunk);
    const ParseResult bodyResult = parsePatch(data, size, false, asBody);
    if (chunkResult == ParseResult::ok) checkRecords(asChunk);
    if (bodyResult == ParseResult::ok) checkRecords(asBody);

    // The body behind the chunk's reference parses exactly as the chunk did.
    const uint8_t* nul = size ? static_cast<const uint8_t*>(std::memchr(data, 0, size)) : nullptr;
    if (nul) {
        const size_t skipped = (size_t)(nul - data) + 1;
        const ParseResult behind = parsePatch(data + skipped, size - skipped, false, behindReference);
        if (chunkResult == ParseResult::ok &&
            (behind != ParseResult::ok || !samePatch(asChunk, behindReference)))
            fail("a chunk and the file body behind its reference parse differently");
        if (behind == ParseResult::ok && skipped <= 520 && chunkResult != ParseResult::ok)
            fail("a well-formed file body behind a short reference is refused as a chunk");
    }

    // A well-formed file body behind an empty reference is a chunk.
    if (bodyResult == ParseResult::ok) {
        std::vector<uint8_t> chunk(size + 1, 0);
        if (size) std::memcpy(chunk.data() + 1, data, size);
        if (parsePatch(chunk.data(), chunk.size(), true, behindReference) != ParseResult::ok ||
            !samePatch(asBody, behindReference) || !behindReference.reference.empty())
            fail("a file body behind an empty reference does not parse as the same chunk");
    }
    return 0;
}
