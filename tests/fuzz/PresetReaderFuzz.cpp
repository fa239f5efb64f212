// libFuzzer target for loading presets into a plug-in. Every input is read twice: as a
// host chunk through the editor, and as a preset file body. Beyond "no crash, no leak,
// no UB" it holds the reader and writer to what they promise each other:
//  - the editor accepts exactly the inputs the parser calls well formed;
//  - a rejected input leaves the current patch as it was;
//  - a patch we accepted saves to bytes that load again and save identically, and the
//    file body we save is the chunk without its preset reference;
//  - a patch we accepted renders: every module's process runs on the state it loaded.
// The parser alone has a faster target of its own (PresetParseFuzz.cpp).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "editor/SynEditor.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/PatchPoint.h"
#include "presets/PresetReader.h"
#include "presets/PresetWriter.h"

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "preset fuzzer: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

std::vector<PatchPoint*> jacksOf(Module* m) {
    std::vector<PatchPoint*> out;
    for (CView* v : m->getChildren())
        if (v->isTypeOf("PatchPoint")) out.push_back(static_cast<PatchPoint*>(v));
    return out;
}

struct Harness {
    // One plug-in for the whole run: building it is far dearer than one input.
    Vantorel plugin{nullptr};
    SynEditor& editor = *plugin.editor;
    Bytes baseline;

    Harness() {
        // Opened like a host would: the last close gives the shared bitmaps back, so the
        // leak check at exit sees only what the plug-in really lost.
        plugin.open();
        // The lowest common host rate: delay lines are sized by the rate (times the
        // oversampling factor an input asks for), and zeroing them would otherwise cost
        // more than everything else an input does. What loading checks does not depend
        // on the rate.
        plugin.setSampleRate(8000.f);
        // A small patch with a cable, so that replacing it exercises cable teardown and a
        // rejected input has something to keep. Its classes are named, not taken from the
        // catalog's head: saved inputs replay against the parameter indices it leaves, and
        // those must not move when modules are added.
        std::vector<Module*> made;
        for (const char* name : {"SA01 2 From DAW", "SA02 2 DAW"})
            if (Module* m = editor.createModule(name)) made.push_back(m);
        if (made.size() != 2) fail("the baseline modules are not registered");
        for (PatchPoint* out : jacksOf(made[0]))
            for (PatchPoint* in : jacksOf(made[1]))
                if (editor.cableTotal == 0 && Patch::canJoin(out, in)) editor.connectJacks(out, in, 3);
        if (editor.cableTotal != 1) fail("the baseline cable was refused");
        editor.author = "fuzz";
        editor.description = "baseline";
        baseline = editor.writeChunk();
        reset();
        if (editor.writeChunk() != baseline) fail("the baseline patch does not survive its own round trip");
    }

    // Every input starts from the same patch and the same parameter allocation, so a
    // crash reproduces from its input alone. It is put back at the end of each input, not
    // at the start of the next: an input that frees what it took lets libFuzzer skip its
    // second, leak-checking run.
    void reset() {
        editor.deleteAllModules();
        editor.lastParamIndex = -1;
        if (!editor.readChunk(baseline.data(), baseline.size())) fail("the baseline patch does not load");
    }

    // A patch was just loaded: what it saves as must load again and save the same.
    void roundTrip() {
        const Bytes saved = editor.writeChunk();  // a copy: the editor reuses its buffer
        const Bytes body = writePatchBytes(editor, false);
        const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(saved.data(), 0, saved.size()));
        if (!nul || Bytes(nul + 1, saved.data() + saved.size()) != body)
            fail("the saved file body is not the saved chunk after its reference");
        ParsedPatch parsed;
        if (parsePatch(body.data(), body.size(), false, parsed) != ParseResult::ok)
            fail("a saved file body does not parse");
        if (!editor.readChunk(saved.data(), saved.size())) fail("a patch we accepted does not read back");
        const Bytes& again = editor.writeChunk();
        if (again != saved) {
            size_t at = 0;
            while (at < saved.size() && at < again.size() && saved[at] == again[at]) ++at;
            std::fprintf(stderr, "preset fuzzer: saved %zu bytes, then %zu; first difference at byte %zu\n",
                         saved.size(), again.size(), at);
            fail("a patch we accepted changes when saved and read again");
        }
    }

    // A few host samples through the real engine, with something on the host inputs.
    void render() {
        constexpr int kFrames = 4;
        static float in[kNumInputs][kFrames], out[kNumOutputs][kFrames];
        float* ins[kNumInputs];
        float* outs[kNumOutputs];
        for (int k = 0; k < kNumInputs; ++k) {
            for (int s = 0; s < kFrames; ++s) in[k][s] = (float)((k + s) % 5) * 0.5f - 1.f;
            ins[k] = in[k];
        }
        for (int j = 0; j < kNumOutputs; ++j) outs[j] = out[j];
        plugin.processReplacing(ins, outs, kFrames);
    }

    void asChunk(const uint8_t* data, size_t size) {
        ParsedPatch parsed;
        const bool wellFormed = parsePatch(data, size, true, parsed) == ParseResult::ok;
        const bool loaded = editor.readChunk(data, size);
        if (loaded != wellFormed) fail("the editor and the parser disagree on a chunk");
        if (!loaded) {
            if (editor.writeChunk() != baseline) fail("a rejected chunk changed the patch");
            return;
        }
        roundTrip();
        render();
        reset();
    }

    void asFileBody(const uint8_t* data, size_t size) {
        ParsedPatch parsed;
        if (parsePatch(data, size, false, parsed) != ParseResult::ok) return;
        // A file body behind an empty preset reference is a chunk, and must load as one.
        Bytes chunk(size + 1, 0);
        if (size) std::memcpy(chunk.data() + 1, data, size);
        if (!editor.readChunk(chunk.data(), chunk.size())) fail("a well-formed file body does not load");
        roundTrip();
        reset();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness harness;  // its teardown at exit runs under the sanitizers too
    harness.asChunk(data, size);
    harness.asFileBody(data, size);
    return 0;
}
