// Writes the preset fuzzer's seed corpus: patches built through the editor's own
// operations, each saved as a host chunk (<name>.chunk) and as a preset file (<name>.vtp).
// Every registered module class is seeded, so a new module is fuzzed without edits here.
// Each seed is read back into a fresh plug-in before it counts; a seed that does not
// load would only teach the fuzzer the reject path, so that fails the run.
//
//   write_fuzz_seeds <folder>     (the folder is emptied first)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "editor/SynEditor.h"
#include "editor/SynRack.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/ModuleRegistry.h"
#include "framework/PatchPoint.h"
#include "gui/CControl.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

int failures = 0;

void complain(const std::string& seed, const std::string& what) {
    std::fprintf(stderr, "write_fuzz_seeds: %s: %s\n", seed.c_str(), what.c_str());
    ++failures;
}

std::vector<PatchPoint*> jacksOf(Module* m) {
    std::vector<PatchPoint*> out;
    for (CView* v : m->getChildren())
        if (v->isTypeOf("PatchPoint")) out.push_back(static_cast<PatchPoint*>(v));
    return out;
}

// Saved controls other than jacks: knobs, switches, buttons.
std::vector<CControl*> settingsOf(Module* m) {
    std::vector<CControl*> out;
    for (CView* v : m->getChildren())
        if (Module::isSavedControl(v) && !v->isTypeOf("PatchPoint")) out.push_back(static_cast<CControl*>(v));
    return out;
}

std::vector<Module*> modulesOf(SynEditor& editor) {
    std::vector<Module*> out;
    for (int i = 0; i < editor.rackModules.size(); ++i) out.push_back(editor.rackModules[i]);
    return out;
}

// Sets every control the way a user could, so the records carry values other than the
// defaults: knobs anywhere in their travel, switches and buttons at one end or the
// other. `phase` varies the values between seeds.
void turnKnobs(SynEditor& editor, Module* m, float phase) {
    int n = 0;
    for (CControl* c : settingsOf(m)) {
        float v = phase + 0.137f * (float)n;
        v -= (float)(int)v;
        if (!c->isTypeOf("ModuleKnob")) v = (n % 2) ? c->getMax() : c->getMin();
        ++n;
        c->setValue(v);
        editor.valueChanged(c);
    }
}

// Patches every free input to an output of another module where the types allow it,
// round-robin over the outputs, with the audio colours in turn.
void cableUp(SynEditor& editor) {
    const std::vector<Module*> modules = modulesOf(editor);
    std::vector<PatchPoint*> outputs;
    for (Module* m : modules)
        for (PatchPoint* p : jacksOf(m))
            if (p->direction != kJackInput) outputs.push_back(p);
    if (outputs.empty()) return;
    size_t next = 0;
    int colour = 0;
    for (Module* m : modules)
        for (PatchPoint* in : jacksOf(m)) {
            if (in->direction == kJackOutput || in->connectionCount > 0) continue;
            for (size_t tries = 0; tries < outputs.size(); ++tries) {
                PatchPoint* out = outputs[next++ % outputs.size()];
                if (out->getModule() == m || !Patch::canJoin(out, in)) continue;
                const int c = in->signalType == kSignalMidi ? 7 : 1 + colour++ % 6;
                editor.connectJacks(out, in, c);
                break;
            }
        }
}

// Adds a module of every registered class (display names resolve with our vendor only).
std::vector<Module*> addEveryClass(SynEditor& editor) {
    std::vector<Module*> made;
    for (const ModuleClassInfo& info : ModuleRegistry::all()) {
        Module* m = editor.createModule(info.displayName);
        if (!m && ModuleRegistry::find(info.displayName)) {  // the rack is full, not the name foreign
            editor.addRow();
            m = editor.createModule(info.displayName);
        }
        if (m) made.push_back(m);
    }
    return made;
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Saves the patch both ways, then checks that both load into a fresh plug-in whole.
void save(const fs::path& folder, const std::string& name, Vantorel& plugin) {
    SynEditor& editor = *plugin.editor;
    const Bytes chunk = editor.writeChunk();
    const fs::path chunkPath = folder / (name + ".chunk");
    const fs::path filePath = folder / (name + ".vtp");
    {
        std::ofstream out(chunkPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(chunk.data()), (std::streamsize)chunk.size());
        if (!out) return complain(name, "cannot write " + chunkPath.string());
    }
    if (!editor.writePresetFile(filePath.string())) return complain(name, "cannot write " + filePath.string());

    const int modules = editor.rackModules.size(), cables = editor.cableTotal;
    for (bool asChunk : {true, false}) {
        Vantorel fresh(nullptr);
        SynEditor& other = *fresh.editor;
        const bool loaded = asChunk ? other.readChunk(chunk.data(), chunk.size())
                                    : other.readPresetFile(filePath.string());
        const std::string form = asChunk ? "chunk" : "preset file";
        if (!loaded) complain(name, "the " + form + " does not load");
        else if (other.rackModules.size() != modules || other.cableTotal != cables)
            complain(name, "the " + form + " loads with other modules or cables");
        else if (!other.lastMessageTitle.empty())
            complain(name, "the " + form + " loads with a message: " + other.lastMessageTitle);
    }
    std::printf("  %-40s %3d modules %3d cables %6zu bytes\n", name.c_str(), modules, cables, chunk.size());
    const Bytes body = readFile(filePath);
    if (body.size() >= chunk.size() || !std::equal(body.begin(), body.end(), chunk.end() - (long)body.size()))
        complain(name, "the preset file is not the chunk after its preset reference");
}

using Builder = std::function<void(Vantorel&)>;

std::string fileName(const char* displayName) {
    std::string s;
    for (const char* p = displayName; *p; ++p) {
        const char c = *p;
        s += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '-';
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_fuzz_seeds <folder>\n");
        return 2;
    }
    const fs::path folder = argv[1];
    std::error_code error;
    fs::remove_all(folder, error);
    fs::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "write_fuzz_seeds: cannot create %s\n", folder.c_str());
        return 1;
    }

    std::vector<std::pair<std::string, Builder>> seeds;

    seeds.push_back({"empty", [](Vantorel& plugin) {
                         plugin.editor->author = "Seed";
                         plugin.editor->description = "An empty rack";
                     }});

    for (const ModuleClassInfo& info : ModuleRegistry::all()) {
        const char* name = info.displayName;
        if (ModuleRegistry::find(name) != &info) continue;  // another vendor's: the editor cannot add it
        seeds.push_back({"single-" + fileName(name), [name](Vantorel& plugin) {
                             SynEditor& editor = *plugin.editor;
                             if (Module* m = editor.createModule(name)) {
                                 turnKnobs(editor, m, 0.3f);
                                 editor.setAlwaysOn(m, !m->alwaysOn);
                             } else {
                                 complain(name, "createModule refused the class");
                             }
                             editor.author = "Seed";
                             editor.description = name;
                         }});
    }

    // One of each class, cabled, with every patch-wide setting away from its default.
    seeds.push_back({"every-module", [](Vantorel& plugin) {
                         SynEditor& editor = *plugin.editor;
                         editor.addRow();
                         plugin.setOversampling(1);
                         plugin.setFilterType(2);
                         float phase = 0.1f;
                         bool flip = false;
                         for (Module* m : addEveryClass(editor)) {
                             turnKnobs(editor, m, phase += 0.21f);
                             editor.setModuleOversampled(m, flip);
                             editor.setModuleBandlimit(m, flip ? 1 : 0);
                             flip = !flip;
                         }
                         cableUp(editor);
                         editor.author = "Seed author with a longer name";
                         editor.description = "Every module class\nwith cables, oversampling x2 and filter 2";
                         editor.presetPath = editor.presetsFolder + "Seeds/Every module.v2.vtp";
                     }});

    // More modules than the module lists start with (50), so loading it grows them; no
    // more than that, as every input costs time in proportion to its modules. Without
    // oversampling: its delay lines would otherwise make it the dearest input by far,
    // and the other large seeds carry the factors.
    seeds.push_back({"many-modules", [](Vantorel& plugin) {
                         SynEditor& editor = *plugin.editor;
                         plugin.setFilterType(7);
                         const auto& classes = ModuleRegistry::all();
                         for (size_t i = 0; editor.rackModules.size() < 55 && i < 1000; ++i) {
                             const char* name = classes[i % classes.size()].displayName;
                             Module* m = editor.createModule(name);
                             if (!m) {
                                 if (ModuleRegistry::find(name)) editor.addRow();  // full, not foreign
                                 continue;
                             }
                             turnKnobs(editor, m, 0.05f * (float)i);
                         }
                         if (editor.rackModules.size() < 55) complain("many-modules", "the rack did not fill");
                         cableUp(editor);
                         editor.author = "Seed";
                         editor.description = "";
                     }});

    // Modules moved into lower rows, one row removed again, Always ON everywhere.
    seeds.push_back({"moved", [](Vantorel& plugin) {
                         SynEditor& editor = *plugin.editor;
                         for (int i = 0; i < 3; ++i) editor.addRow();
                         editor.removeRow();
                         plugin.setOversampling(2);
                         plugin.setFilterType(0);
                         int x = 0;
                         for (Module* m : addEveryClass(editor)) {
                             if (editor.placeIsFree(x, 2 * kRowHeight, m->getWidth(), m->getHeight(), m)) {
                                 editor.moveModule(m, x, 2 * kRowHeight);
                                 x += (m->getWidth() + kGrid - 1) / kGrid * kGrid;
                             }
                             editor.setAlwaysOn(m, true);
                         }
                         cableUp(editor);
                         editor.description = "Moved modules";
                         editor.presetName = "Moved";
                     }});

    for (const auto& [name, build] : seeds) {
        Vantorel plugin(nullptr);
        plugin.setSampleRate(48000.f);
        build(plugin);
        save(folder, name, plugin);
    }
    std::printf("write_fuzz_seeds: %zu patches in %s\n", seeds.size(), folder.c_str());
    return failures == 0 ? 0 : 1;
}
