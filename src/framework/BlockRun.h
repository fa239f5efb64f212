#pragma once

#include <cstring>
#include <type_traits>

#include "engine/Vantorel.h"
#include "framework/BlockPlan.h"
#include "framework/Module.h"
#include "framework/PatchPoint.h"

// A module's block run pass by pass: its reading jacks take their rows' values, the
// engine's sample position moves as in a pass-major run, and its producing jacks'
// values go to their rows. A module class as M has its own process() called
// directly (and inlined); Module calls it through the table.
template <class M>
inline void runByPasses(M& m, int first, int n) {
    const BlockLink* const reads = m.blockLinks;
    const BlockLink* const writes = reads + m.blockReads;
    const BlockLink* const end = writes + m.blockWrites;
    Vantorel* const s = m.synth;
    for (int i = 0; i < n; ++i) {
        for (const BlockLink* l = reads; l != writes; ++l) std::memcpy(&l->jack->inValue, l->row + i, sizeof(float));
        s->enterPass(first + i);
        if constexpr (std::is_same_v<M, Module>) m.process();
        else m.M::process();
        for (const BlockLink* l = writes; l != end; ++l) std::memcpy(l->row + i + 1, &l->jack->outValue, sizeof(float));
    }
}

// What a module's shared pass reads its inputs through: the held value in process(),
// the source's value readers first, the row in a block. Outputs are written to the
// jacks in all three; a block form copies them to their rows after each pass
// (publish). kBlock: the knobs rest for the whole block, so the pass skips smoothing.
struct PassJacks {
    static constexpr bool kBlock = false;
    static float in(const PatchPoint* j) { return j->inValue; }
    static uint32_t word(const PatchPoint* j) { return j->inWord(); }
};
// Readers first: each input straight from its source's value (or the zero row).
struct SourceJacks {
    static constexpr bool kBlock = false;
    static float in(const PatchPoint* j) { return *j->blockIn; }
    static uint32_t word(const PatchPoint* j) {
        uint32_t w;
        std::memcpy(&w, j->blockIn, sizeof w);
        return w;
    }
};
struct BlockJacks {
    static constexpr bool kBlock = true;
    int i = 0;
    float in(const PatchPoint* j) const { return j->blockIn[i]; }
    uint32_t word(const PatchPoint* j) const {
        uint32_t w;
        std::memcpy(&w, j->blockIn + i, sizeof w);
        return w;
    }
    // A float copy, not memcpy: the compiler treats a copied word as touching any
    // member at all and would reload the module's whole state each pass. A float
    // load and store (SSE, in every build) keep every bit, MIDI words included.
    void publish(const PatchPoint* j) const { j->blockOut[i + 1] = j->outValue; }
};

// A module's own block form: pass(io) runs one pass reading its inputs through io,
// and the outputs named are copied to their rows after each.
template <class Pass, class... Outputs>
inline void runBlock(int n, Pass pass, const Outputs*... outputs) {
    for (BlockJacks io; io.i < n; ++io.i) {
        pass(io);
        (io.publish(outputs), ...);
    }
}

// The same for a module with many outputs, few of them cabled: only its producing
// jacks are copied, through its links.
template <class Pass>
inline void runBlockProduced(const Module& m, int n, Pass pass) {
    const BlockLink* const writes = m.blockLinks + m.blockReads;
    const BlockLink* const end = writes + m.blockWrites;
    for (BlockJacks io; io.i < n; ++io.i) {
        pass(io);
        for (const BlockLink* l = writes; l != end; ++l) l->row[io.i + 1] = l->jack->outValue;
    }
}
