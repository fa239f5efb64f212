#pragma once

#include <cstdint>
#include <vector>

class SynEditor;

// The whole patch as bytes: the preset file body, or with `chunk` the host chunk
// (the preset reference and a NUL in front). May change the patch author (the
// default author stands in for an empty one, or always with "overwrite_author").
std::vector<uint8_t> writePatchBytes(SynEditor& editor, bool chunk);
