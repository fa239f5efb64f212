#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "editor/SynRack.h"
#include "presets/PresetReader.h"
#include "support/PatchFixture.h"

using namespace fixture;

namespace {

std::vector<int32_t> words(const std::vector<uint8_t>& bytes, size_t from) {
    std::vector<int32_t> out((bytes.size() - from) / 4);
    std::memcpy(out.data(), bytes.data() + from, out.size() * 4);
    return out;
}

// A patch using every kind of saved control the modules have, with cables, tags,
// positions, flags, rows, texts and oversampling.
void buildBusyPatch(Rig& rig) {
    SynEditor& e = rig.editor;
    e.addRow();
    e.addRow();
    rig.plugin.setFilterType(2);
    rig.plugin.setOversampling(2);
    Module* from = e.createModule("SA01 2 From DAW");
    Module* out = e.createModule("SA02 2 DAW");
    Module* amp = e.createModule("SA05 2 DAW 12db Amplifier");
    e.moveModule(amp, 480, 2 * kRowHeight);
    setKnob(knobs(out)[0], 0.3f);
    setKnob(knobs(amp)[1], 0.9f);
    rig.cable(jacks(from)[1], jacks(out)[1], 3);
    rig.cable(jacks(from)[0], jacks(out)[0], 5);
    rig.cable(jacks(from)[1], jacks(amp)[0], 6);
    e.setAlwaysOn(amp, true);
    e.setModuleOversampled(from, false);
    from->bandlimit = 1;
    // Host parameter bindings that differ from the construction order.
    e.deleteModule(e.createModule("SA02 2 DAW"));
    const int32_t tags[] = {40, 41, 0, 0, kTagNoParameter, kTagNoParameter};
    amp->applySavedTags(tags, 6);
    e.author = "Ada";
    e.description = "Busy test patch";
    // Stepped knobs, switches, a push button and lights, with values off their defaults.
    Module* vco = e.createModuleAt("S310 VCO", 0, kRowHeight);
    Module* cv = e.createModuleAt("SD02 MIDI-CV/Sync", 120, kRowHeight);
    Module* env = e.createModuleAt("S500 ADSR", 216, kRowHeight);
    Module* vca = e.createModuleAt("S404 VCA", 312, kRowHeight);
    setKnob(vco->knob(4), 9.f / 12.f);
    vco->control("CVerticalSwitch", 0)->setValue(1.f);
    cv->control("CVerticalSwitch", 1)->setValue(0.f);
    setKnob(cv->knob(1), 0.6f);
    env->control("CVerticalSwitch", 0)->setValue(1.f);
    vca->control("CVerticalSwitch", 0)->setValue(0.5f);
    rig.cable(cv->jack(3), vco->jack(0), 2);
    rig.cable(cv->jack(2), env->jack(1), 4);
    rig.cable(vco->jack(6), vca->jack(0), 1);
    rig.cable(env->jack(4), vca->jack(2), 5);
    rig.cable(vca->jack(5), jacks(amp)[1], 6);
}

}  // namespace

TEST(PresetFormat, FreshEditorWritesTheFiftyFourByteFile) {
    Rig rig;
    const std::vector<uint8_t> chunk = rig.editor.writeChunk();
    ASSERT_EQ(chunk.size(), 5u + 54u);
    EXPECT_EQ(std::memcmp(chunk.data(), ".vtp", 5), 0);
    std::vector<uint8_t> body(chunk.begin() + 5, chunk.end());
    const auto w = words(body, 0);
    EXPECT_EQ(std::vector<int32_t>(w.begin(), w.begin() + 9), (std::vector<int32_t>{22, 24, 3, 0, 1, 1, 0, 0, 1}));
    EXPECT_EQ(body[36], 0);
    int32_t tail[4];
    std::memcpy(tail, body.data() + 37, 4);
    EXPECT_EQ(tail[0], 1);
    EXPECT_EQ(body[41], 0);
    std::memcpy(tail, body.data() + 42, 12);
    EXPECT_EQ(tail[0], 8);
    EXPECT_EQ(tail[1], 0);
    EXPECT_EQ(tail[2], 12);
}

TEST(PresetFormat, BusyPatchComesBackAndWritesTheSameBytes) {
    Rig a;
    buildBusyPatch(a);
    const std::vector<uint8_t> first = a.editor.writeChunk();

    Rig b;
    ASSERT_TRUE(b.editor.readChunk(first.data(), first.size()));
    EXPECT_EQ(b.editor.writeChunk(), first);
    EXPECT_EQ(b.editor.rowCount, 5);
    EXPECT_EQ(b.plugin.oversampleFactor, 4);
    EXPECT_EQ(b.plugin.filterType, 2);
    EXPECT_EQ(b.editor.author, "Ada");
    EXPECT_EQ(b.editor.description, "Busy test patch");
    ASSERT_EQ(b.editor.rackModules.size(), 7);
    EXPECT_EQ(b.editor.rackModules[3]->control("CVerticalSwitch", 0)->getValue(), 1.f);
    EXPECT_FLOAT_EQ(b.editor.rackModules[3]->knob(4)->steppedValue, 0.75f);
    EXPECT_EQ(b.editor.rackModules[6]->control("CVerticalSwitch", 0)->getValue(), 0.5f);
    Module* from = b.editor.rackModules[0];
    Module* out = b.editor.rackModules[1];
    Module* amp = b.editor.rackModules[2];
    EXPECT_EQ(amp->getViewSize().left, 480);
    EXPECT_EQ(amp->getViewSize().top, 2 * kRowHeight);
    EXPECT_TRUE(amp->alwaysOn);
    EXPECT_FALSE(from->oversampled);
    EXPECT_EQ(from->sampleRate, from->synth->hostSampleRate);
    EXPECT_EQ(from->bandlimit, 1);
    EXPECT_FLOAT_EQ(knobs(out)[0]->getValue(), 0.3f);
    EXPECT_FLOAT_EQ(knobs(out)[0]->smoothedValue, 0.3f);
    EXPECT_EQ(knobs(amp)[0]->getTag(), 40);
    EXPECT_EQ(b.editor.paramControls[41], knobs(amp)[1]);

    // Cables: same jacks, same reader, same colour, in the same order.
    ASSERT_EQ(b.editor.cableTotal, 8);
    Cable* c = b.editor.cableHead;
    EXPECT_EQ(c->reader, jacks(out)[1]);
    EXPECT_EQ(c->other, jacks(from)[1]);
    EXPECT_EQ(c->colour, 3);
    c = c->next->next;
    EXPECT_EQ(c->reader, jacks(amp)[0]);
    EXPECT_EQ(c->colour, 6);
    // Jack numbers run on over the modules in rack order.
    EXPECT_EQ(jacks(from)[0]->saveIndex, 0);
    EXPECT_EQ(jacks(out)[0]->saveIndex, 2);
    EXPECT_EQ(jacks(amp)[1]->saveIndex, 5);

    // And the same through a file, which has no reference in front.
    const std::string path = testing::TempDir() + "busy.vtp";
    ASSERT_TRUE(b.editor.writePresetFile(path));
    std::vector<uint8_t> fileBytes(std::filesystem::file_size(path));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(fileBytes.data()), (std::streamsize)fileBytes.size());
    Rig d;
    ASSERT_TRUE(d.editor.readPresetFile(path));
    ASSERT_TRUE(d.editor.writePresetFile(path));
    std::vector<uint8_t> again(std::filesystem::file_size(path));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(again.data()), (std::streamsize)again.size());
    EXPECT_EQ(again, fileBytes);
    EXPECT_TRUE(std::equal(fileBytes.begin(), fileBytes.end(), first.begin() + 5));
}

TEST(PresetFormat, LaterVersionsAreRefusedAndThePatchIsKept) {
    Rig a;
    buildBusyPatch(a);
    std::vector<uint8_t> chunk = a.editor.writeChunk();
    Rig b;
    Module* keep = b.editor.createModule("SA02 2 DAW");
    const std::vector<uint8_t> before = b.editor.writeChunk();
    chunk[5] = 23;
    EXPECT_FALSE(b.editor.readChunk(chunk.data(), chunk.size()));
    EXPECT_EQ(b.editor.lastMessageTitle, "Later Version!!");
    EXPECT_EQ(b.editor.lastMessageText,
              "This preset was saved with a later version. Please download the\nlatest version of Vantorel");
    EXPECT_EQ(b.editor.rackModules[0], keep);
    EXPECT_EQ(b.editor.writeChunk(), before);
    chunk[5] = 21;
    EXPECT_TRUE(b.editor.readChunk(chunk.data(), chunk.size()));

    const std::string path = testing::TempDir() + "later.vtp";
    std::vector<uint8_t> v23(chunk.begin() + 5, chunk.end());
    v23[0] = 23;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(v23.data()), (std::streamsize)v23.size());
    EXPECT_FALSE(b.editor.readPresetFile(path));
    EXPECT_EQ(b.editor.lastMessageText.back(), '.');
}

TEST(PresetFormat, EveryTruncationFailsAndLeavesThePatchAlone) {
    Rig a;
    buildBusyPatch(a);
    const std::vector<uint8_t> chunk = a.editor.writeChunk();
    Rig b;
    b.editor.createModule("SA01 2 From DAW");
    const std::vector<uint8_t> before = b.editor.writeChunk();
    for (size_t n = 0; n < chunk.size(); ++n) {
        ASSERT_FALSE(b.editor.readChunk(chunk.data(), n)) << n;
        ASSERT_EQ(b.editor.writeChunk(), before) << n;
    }
    EXPECT_FALSE(b.editor.readPresetFile(testing::TempDir() + "no-such-preset.vtp"));
}

TEST(PresetFormat, HostileCountsAndSizesAreRefused) {
    Rig a;
    buildBusyPatch(a);
    const std::vector<uint8_t> good = a.editor.writeChunk();
    auto patched = [&](size_t offset, int32_t value) {
        std::vector<uint8_t> bad = good;
        std::memcpy(bad.data() + offset, &value, 4);
        return bad;
    };
    Rig b;
    const size_t body = 5;
    for (int32_t v : {-1, 0x7fffffff, 100000}) {
        for (size_t field : {2u, 6u}) {  // row count, module count
            std::vector<uint8_t> bad = patched(body + 4 * field, v);
            EXPECT_FALSE(b.editor.readChunk(bad.data(), bad.size())) << field << " " << v;
        }
    }
    std::vector<uint8_t> bad = patched(body + 32, 0x40000000);  // author length
    EXPECT_FALSE(b.editor.readChunk(bad.data(), bad.size()));
    // A reference without its NUL inside 520 bytes is not a chunk.
    std::vector<uint8_t> longName(600, 'a');
    EXPECT_FALSE(b.editor.readChunk(longName.data(), longName.size()));
    EXPECT_EQ(b.editor.rackModules.size(), 0);
}

TEST(PresetFormat, UnknownModulesAreSkippedAndTheirCablesDropped) {
    Rig a;
    buildBusyPatch(a);
    std::vector<uint8_t> chunk = a.editor.writeChunk();
    // Rename the second module record ("SA02 2 DAW") to a class nobody has.
    const char* name = "SA02 2 DAW";
    auto at = std::search(chunk.begin(), chunk.end(), name, name + std::strlen(name));
    ASSERT_NE(at, chunk.end());
    at[3] = 'X';
    Rig b;
    ASSERT_TRUE(b.editor.readChunk(chunk.data(), chunk.size()));
    EXPECT_EQ(b.editor.lastMessageTitle, "Missing Modules");
    EXPECT_NE(b.editor.lastMessageText.find("SA0X 2 DAW"), std::string::npos);
    ASSERT_EQ(b.editor.rackModules.size(), 6);
    Module* from = b.editor.rackModules[0];
    Module* amp = b.editor.rackModules[1];
    EXPECT_STREQ(amp->getName(), "SA05 2 DAW 12db Amplifier");
    // Cables between known modules survive with their ends right; jack numbers after
    // the missing module still land on the right jacks.
    ASSERT_EQ(b.editor.cableTotal, 6);
    EXPECT_EQ(b.editor.cableTail->reader, jacks(amp)[1]);
    EXPECT_EQ(b.editor.cableTail->other, b.editor.rackModules[5]->jack(5));
    EXPECT_EQ(b.editor.cableHead->reader, jacks(amp)[0]);
    EXPECT_EQ(b.editor.cableHead->other, jacks(from)[1]);
}

TEST(PresetFormat, ChunkReferenceMayUseEitherSeparator) {
    Rig a;
    std::vector<uint8_t> chunk = a.editor.writeChunk();
    const std::string reference = "Bass\\Deep.v2.vtp";
    chunk.erase(chunk.begin(), chunk.begin() + 5);
    chunk.insert(chunk.begin(), reference.c_str(), reference.c_str() + reference.size() + 1);
    Rig b;
    ASSERT_TRUE(b.editor.readChunk(chunk.data(), chunk.size()));
    EXPECT_EQ(b.editor.presetPath, b.editor.presetsFolder + "Bass/Deep.v2.vtp");
    EXPECT_EQ(b.editor.presetName, "Deep.v2");
    EXPECT_TRUE(b.editor.fromChunk);
    // Written back, the reference is relative to the presets folder again.
    const std::vector<uint8_t> back = b.editor.writeChunk();
    EXPECT_STREQ(reinterpret_cast<const char*>(back.data()), "Bass/Deep.v2.vtp");
    EXPECT_EQ(presetDisplayName("/x/Bass.vtp"), "Bass");
    EXPECT_EQ(presetDisplayName("C:\\p\\Lead.V3.vtp"), "Lead.V3");
}

TEST(PresetFormat, EmptyAuthorTakesTheDefaultAuthor) {
    Rig rig;
    rig.editor.defaultAuthor = "Grace";
    rig.editor.writeChunk();
    EXPECT_EQ(rig.editor.author, "Grace");
    rig.editor.author = "Ada";
    rig.editor.writeChunk();
    EXPECT_EQ(rig.editor.author, "Ada");
    rig.editor.overwriteAuthor = true;
    const std::vector<uint8_t> chunk = rig.editor.writeChunk();
    EXPECT_EQ(rig.editor.author, "Grace");
    EXPECT_NE(std::search(chunk.begin(), chunk.end(), "Grace", "Grace" + 6), chunk.end());
}

TEST(PresetFiles, AFailedSaveLeavesThePreviousFileWhole) {
    Rig rig;
    rig.editor.createModule("SA02 2 DAW");
    const std::string path = testing::TempDir() + "kept.vtp";
    ASSERT_TRUE(rig.editor.writePresetFile(path));
    const auto size = std::filesystem::file_size(path);
    // The temporary file's place is taken by a folder, so the save cannot happen.
    std::filesystem::create_directory(path + ".saving");
    rig.editor.createModule("SA01 2 From DAW");
    EXPECT_FALSE(rig.editor.writePresetFile(path));
    EXPECT_EQ(std::filesystem::file_size(path), size);
    std::filesystem::remove(path + ".saving");
    EXPECT_FALSE(rig.editor.writePresetFile(testing::TempDir() + "no/such/folder/x.vtp"));
    Rig other;
    EXPECT_TRUE(other.editor.readPresetFile(path));
    EXPECT_EQ(other.editor.rackModules.size(), 1);
}

TEST(Rows, RemovingARowDeletesItsModulesButNeverTheLastRow) {
    Rig rig;
    SynEditor& e = rig.editor;
    Module* top = e.createModuleAt("SA02 2 DAW", 0, 0);
    Module* low1 = e.createModuleAt("SA01 2 From DAW", 96, 2 * kRowHeight);
    e.createModuleAt("SA05 2 DAW 12db Amplifier", 144, 2 * kRowHeight);
    rig.cable(jacks(low1)[1], jacks(top)[1]);
    EXPECT_TRUE(e.removeRow());
    EXPECT_EQ(e.rowCount, 2);
    EXPECT_EQ(e.rowSelector, 1);
    ASSERT_EQ(e.rackModules.size(), 1);
    EXPECT_EQ(e.rackModules[0], top);
    EXPECT_EQ(e.cableTotal, 0);
    EXPECT_EQ(e.rackView()->getHeight(), 2 * kRowHeight);
    EXPECT_TRUE(e.removeRow());
    EXPECT_FALSE(e.removeRow());
    EXPECT_EQ(e.rowCount, 1);
    e.addRow();
    EXPECT_EQ(e.rowSelector, 1);
}
