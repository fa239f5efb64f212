#pragma once

#include <utility>
#include <vector>

class Module;
class PatchPoint;
struct Cable;

// Passes per run of one module in a module-major block.
constexpr int kBlockPasses = 64;

// A jack of a module and the row of per-pass values it reads from or fills.
struct BlockLink {
    PatchPoint* jack;
    float* row;
};

// How a patch runs without its cable copies. A cable delays by one pass, so:
// - module by module over a block, a module fed by modules that ran their whole block
//   before it sees exactly the values it would have seen pass by pass;
// - readers first, pass by pass with every module before its sources, a reader takes
//   what its source left last pass straight from it (its blockIn points there).
// Both hold when the cables run one way only (module by module, a module may feed
// itself) and every module only touches its own state, its jacks and the engine's
// per-block state. Modules whose effects outside themselves must keep their order
// (host outputs) are kept in list order. Readers first suits patches with a module
// that waits on itself, which module by module would leave the processor waiting.
//
// Rows, module by module: a producing jack's row holds at [0] the value its readers
// held before the run and at [i + 1] its value after pass i, so a reader reads pass i
// at [i].
//
// Readers first, the modules that feed none waiting on itself, directly or not (the
// tail), can run module by module once each stretch of passes is done: the passes
// leave their sources' values in rows. Then only the modules a filter waits on share
// its passes, and the rest run in loops of their own.
class BlockPlan {
public:
    // Lock held: the plan is rebuilt whenever modules or cables change, and when the
    // oversampling or a module's share in it changes. tailFactor is the oversampling
    // factor the tail would run at, 0 for no tail. With oversampling a stretch of
    // passes must hold whole host samples and every module of the tail must be
    // oversampled (the others run once a host sample).
    void build(Module* const* modules, int count, const Cable* cables, int tailFactor = 0);

    // Pass by pass as the list stands (with its cable copies); module by module; or
    // pass by pass with every module before its sources and no copies.
    enum Mode { kPassByPass, kModuleMajor, kReadersFirst };
    Mode mode = kPassByPass;
    std::vector<Module*> order;
    // Jacks that feed cables (their rows carry over between runs) and jacks that read
    // them (their held values are set once the block has run).
    std::vector<PatchPoint*> producers;
    std::vector<PatchPoint*> readers;
    // Jacks read with no cable must hold +0 for the run to be exact.
    std::vector<PatchPoint*> loose;
    // Readers first: the tail, sources first, and the jacks of the passes whose values
    // go to rows after each pass for it.
    std::vector<Module*> tail;
    std::vector<PatchPoint*> rowed;
    // Whether the host outputs' writers are in the tail.
    bool tailWritesHost = false;

private:
    static std::vector<char> findTail(Module* const* modules, int count, const std::vector<std::pair<int, int>>& joins,
                                      bool oversampling);
    std::vector<BlockLink> links;
    std::vector<float> rows;
};
