// Saving what was loaded gives back what was loaded: a preset or chunk that the reader
// accepts must come out of load, save, load, save with the same bytes both times, and a
// module's record must load into values the module itself could have saved, whatever
// words a damaged record carries after its control values.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "framework/ModuleRegistry.h"
#include "presets/PresetWriter.h"
#include "support/PatchFixture.h"

using namespace fixture;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

// Where two saved forms first part, for a message that says where to look.
std::string firstDifference(const Bytes& a, const Bytes& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    return "saved " + std::to_string(a.size()) + " bytes, then " + std::to_string(b.size()) +
           "; first difference at byte " + std::to_string(at);
}

// The patch in the rig was just loaded: its chunk loads again and saves the same.
void expectStableChunk(Rig& rig) {
    const Bytes first = rig.editor.writeChunk();
    ASSERT_TRUE(rig.editor.readChunk(first.data(), first.size()));
    const Bytes second = rig.editor.writeChunk();
    EXPECT_TRUE(first == second) << firstDifference(first, second);
}

TEST(RoundTrip, EveryFactoryPresetSavesAsItWasWritten) {
    const std::vector<fs::path> presets = filesIn(VANTOREL_FACTORY_PRESETS);
    ASSERT_GE(presets.size(), 8u) << "factory presets missing from " << VANTOREL_FACTORY_PRESETS;
    for (const fs::path& path : presets) {
        SCOPED_TRACE(path.string());
        // At the rate the preset builder runs at (the plug-in's default): times a record
        // keeps in seconds then convert back to the very words they were written as.
        Rig rig(44100.f);
        ASSERT_TRUE(rig.editor.readPresetFile(path.string()));
        EXPECT_GT(rig.editor.rackModules.size(), 0);
        // Written by our own writer, so reading it changes nothing a save would show.
        const Bytes file = readFile(path);
        const Bytes body = writePatchBytes(rig.editor, false);
        EXPECT_TRUE(file == body) << firstDifference(file, body);
        expectStableChunk(rig);
    }
}

// Inputs the fuzzer once tripped over, as chunks and as file bodies. Some are meant to
// be refused; every one that loads must save stably.
TEST(RoundTrip, EveryRegressionInputThatLoadsSavesStably) {
    const std::vector<fs::path> inputs = filesIn(VANTOREL_FUZZ_REGRESSIONS);
    ASSERT_FALSE(inputs.empty());
    int loaded = 0;
    bool delayFindingLoaded = false;
    for (const fs::path& path : inputs) {
        SCOPED_TRACE(path.string());
        const Bytes data = readFile(path);
        Bytes asBody(data.size() + 1, 0);
        std::copy(data.begin(), data.end(), asBody.begin() + 1);
        const Bytes* forms[] = {&data, &asBody};
        for (const Bytes* chunk : forms) {
            Rig rig;
            if (!rig.editor.readChunk(chunk->data(), chunk->size())) continue;
            ++loaded;
            if (path.filename() == "roundtrip-s602-infinite-extra.chunk") delayFindingLoaded = true;
            expectStableChunk(rig);
        }
    }
    EXPECT_TRUE(delayFindingLoaded) << "the delay-time finding no longer loads: it tests nothing";
    EXPECT_GE(loaded, 2);
}

// Four bytes spread over the words a module keeps after its control values, starting at
// each byte offset in turn, since some records keep single bytes there.
const uint32_t kHostileWords[] = {
    0x7f800000u,  // +infinity
    0xff800000u,  // -infinity
    0x7fc00000u,  // a quiet NaN
    0xffffffffu,  // a NaN, and -1 as an integer
    0x7f7fffffu,  // the largest float
    0xff7fffffu,  // the most negative float
    0x80000000u,  // -0, and the lowest integer
    0x7fffffffu,  // the highest integer
    0x00000001u,  // the smallest subnormal, and 1
    0x4f000000u,  // 2^31
    0xbf800000u,  // -1
    0x3f7fffffu,  // just below 1
};

struct Record {
    std::vector<int32_t> words;
    int bytes = 0;
};

Record save(Module* m) {
    Record r;
    r.bytes = m->getStateSize();
    r.words.assign(((size_t)r.bytes + 3) / 4, 0);
    m->saveState(reinterpret_cast<float*>(r.words.data()), r.bytes);
    return r;
}

bool sameRecord(const Record& a, const Record& b) {
    return a.bytes == b.bytes && std::memcmp(a.words.data(), b.words.data(), (size_t)a.bytes) == 0;
}

// The classes that keep words after their controls, found by their record size, so a
// class that starts keeping some is covered without edits here.
TEST(RoundTrip, DamagedWordsAfterTheControlsLoadIntoTheModulesOwnRange) {
    int classesWithExtraWords = 0;
    for (const ModuleClassInfo& info : ModuleRegistry::all()) {
        if (ModuleRegistry::find(info.displayName) != &info) continue;
        Rig probe;
        Module* m = probe.add(info.displayName);
        ASSERT_NE(m, nullptr);
        const Record fresh = save(m);
        const int controlBytes = 4 * m->savedControlCount;
        if (fresh.bytes == controlBytes) continue;
        ++classesWithExtraWords;
        for (uint32_t hostile : kHostileWords)
            for (int shift = 0; shift < 4; ++shift) {
                SCOPED_TRACE(std::string(info.displayName) + " word " + std::to_string(hostile) + " at byte " +
                             std::to_string(shift));
                Rig rig;
                Module* under = rig.add(info.displayName);
                Record damaged = fresh;
                auto* bytes = reinterpret_cast<uint8_t*>(damaged.words.data());
                for (int b = controlBytes; b < damaged.bytes; ++b)
                    bytes[b] = (uint8_t)(hostile >> (8 * ((b - controlBytes + shift) % 4)));
                {
                    EngineLockGuard guard(rig.plugin.engineLock);
                    under->loadState(damaged.words.data(), damaged.bytes, under->getVersion());
                }
                const Record first = save(under);
                {
                    EngineLockGuard guard(rig.plugin.engineLock);
                    under->loadState(first.words.data(), first.bytes, under->getVersion());
                }
                const Record second = save(under);
                EXPECT_TRUE(sameRecord(first, second));
                // What was loaded runs: every output stays a number.
                rig.editor.setAlwaysOn(under, true);
                HostBuffers io(64);
                rig.render(io);
                for (PatchPoint* jack : jacks(under)) EXPECT_TRUE(std::isfinite(jack->outValue));
            }
    }
    EXPECT_GE(classesWithExtraWords, 10);
}

// Records from older versions are converted as they load (new control laws, switches
// that did not exist); the converted patch is saved with the current version and must
// then load as it saved, with every control inside its travel.
TEST(RoundTrip, OlderRecordsConvertOnceAndThenSaveStably) {
    for (const ModuleClassInfo& info : ModuleRegistry::all()) {
        if (ModuleRegistry::find(info.displayName) != &info) continue;
        for (int version : {-1, 1000, 1001})
            for (float level : {0.9f, 1.f}) {
                SCOPED_TRACE(std::string(info.displayName) + " version " + std::to_string(version) + " controls at " +
                             std::to_string(level));
                Rig rig;
                Module* m = rig.add(info.displayName);
                ASSERT_NE(m, nullptr);
                Record old = save(m);
                for (int i = 0; i < m->savedControlCount; ++i) std::memcpy(&old.words[(size_t)i], &level, 4);
                EngineLockGuard guard(rig.plugin.engineLock);
                m->loadState(old.words.data(), old.bytes, version);
                for (CControl* c : savedControls(m)) {
                    EXPECT_GE(c->getValue(), c->getMin());
                    EXPECT_LE(c->getValue(), c->getMax());
                }
                const Record first = save(m);
                m->loadState(first.words.data(), first.bytes, m->getVersion());
                EXPECT_TRUE(sameRecord(first, save(m)));
            }
    }
}

// The delay time a clock set is kept as seconds; the longest a clock can measure is
// the counter's cap. An infinite product must neither survive nor turn into another
// value on the next load.
TEST(RoundTrip, DelayTimeBeyondAnyClockLoadsAsTheLongestOne) {
    Rig rig;
    Module* delay = rig.add("S602 VC Delay");
    Record r = save(delay);
    const int at = 4 * delay->savedControlCount;
    const float huge = 3e38f;
    std::memcpy(reinterpret_cast<uint8_t*>(r.words.data()) + at, &huge, 4);
    delay->loadState(r.words.data(), r.bytes, delay->getVersion());
    const Record saved = save(delay);
    float seconds;
    std::memcpy(&seconds, reinterpret_cast<const uint8_t*>(saved.words.data()) + at, 4);
    EXPECT_FLOAT_EQ(seconds, 2147483646.f / 48000.f);

    // An ordinary stored time comes back to the sample.
    const float oneSecond = 1.f;
    std::memcpy(reinterpret_cast<uint8_t*>(r.words.data()) + at, &oneSecond, 4);
    delay->loadState(r.words.data(), r.bytes, delay->getVersion());
    std::memcpy(&seconds, reinterpret_cast<const uint8_t*>(save(delay).words.data()) + at, 4);
    EXPECT_EQ(seconds, 1.f);
}

}  // namespace
