#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ModuleClassInfo;

// A preset or chunk taken apart and checked, before anything in the patch changes.
struct ParsedModule {
    std::string name;
    std::string vendor;
    int32_t version = -1;
    int32_t jackCount = 0;
    int32_t x = 0, y = 0;
    bool oversampled = true;
    bool alwaysOn = false;
    int32_t bandlimit = -1;
    int32_t dataBytes = 0;
    std::vector<int32_t> data;  // dataBytes rounded up to whole words, zero padded
    std::vector<int32_t> tags;
    const ModuleClassInfo* moduleClass = nullptr;  // null: unknown here, skipped
};

struct ParsedCable {
    int32_t reader, other, colour;
};

struct ParsedPatch {
    std::string reference;  // chunks only: the preset's path inside the presets folder
    int32_t version = 0;
    int32_t rowCount = 3;
    int32_t oversampleFactor = 1;
    int32_t filterType = 1;
    std::string author;
    std::string description;
    std::vector<ParsedModule> modules;
    std::vector<ParsedCable> cables;
};

enum class ParseResult { ok, laterVersion, malformed };

// Reads the whole input within its bounds. Nothing is trusted: every count and size
// is checked against the bytes that are really there.
ParseResult parsePatch(const uint8_t* data, size_t size, bool chunk, ParsedPatch& out);

// The name a preset path shows: the file name up to its first '.', except that a
// ".v<version>" segment stays ("Bass.v3.vtp" shows "Bass.v3").
std::string presetDisplayName(const std::string& path);
