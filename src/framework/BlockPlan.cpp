#include "framework/BlockPlan.h"

#include <functional>
#include <queue>

#include "framework/BlockRun.h"
#include "framework/Module.h"
#include "framework/PatchPoint.h"

void Module::processBlock(int first, int n) { runByPasses<Module>(*this, first, n); }

void Module::processPass() {
    for (const BlockLink* l = blockLinks, *end = l + blockReads; l != end; ++l)
        std::memcpy(&l->jack->inValue, l->row, sizeof(float));
    process();
}

namespace {

template <class F>
void forEachJack(Module* m, F f) {
    for (CView* v : m->getChildren())
        if (v->isTypeOf("PatchPoint")) f(static_cast<PatchPoint*>(v));
}

}  // namespace

void BlockPlan::build(Module* const* modules, int count, const Cable* cables, int tailFactor) {
    mode = kPassByPass;
    tailWritesHost = false;
    order.clear();
    tail.clear();
    producers.clear();
    rowed.clear();
    readers.clear();
    loose.clear();
    links.clear();
    bool waits = false;
    for (int i = 0; i < count; ++i) {
        if (modules[i]->blockMode() == Module::kBlockNever || modules[i]->processIndex != i) return;
        waits = waits || modules[i]->waitsOnItself();
    }
    std::vector<std::pair<int, int>> joins;  // (source, reader) by list position
    for (const Cable* c = cables; c; c = c->next) {
        const Module* from = c->other->getModule();
        const Module* to = c->reader->getModule();
        if (!from || !to) return;
        const int a = from->processIndex, b = to->processIndex;
        if (a < 0 || a >= count || b < 0 || b >= count) return;
        joins.push_back({a, b});
    }
    const bool readersFirst = waits;
    std::vector<char> inTail = readersFirst && tailFactor > 0 && tailFactor <= kBlockPasses
                                   ? findTail(modules, count, joins, tailFactor > 1)
                                   : std::vector<char>((size_t)count, 0);
    // With oversampling the host outputs are decimated from what the tail writes, so
    // a host output left in the passes leaves no tail.
    bool hostInPasses = false;
    for (int i = 0; i < count; ++i)
        if (modules[i]->blockMode() == Module::kBlockInOrder) (inTail[(size_t)i] ? tailWritesHost : hostInPasses) = true;
    if (tailFactor > 1 && hostInPasses) {
        inTail.assign((size_t)count, 0);
        tailWritesHost = false;
    }

    // Module by module, sources run before their readers. Readers first, each pass
    // runs every module before its sources, so a reader takes what its source left
    // last pass straight from it; that needs no module of the passes to feed itself.
    // Either way the in-order modules keep the list's order between them, and among
    // the modules ready the earliest in the list goes first.
    std::vector<std::vector<int>> feeds((size_t)count);
    std::vector<int> waiting((size_t)count, 0);
    auto edge = [&](int from, int to) {
        feeds[(size_t)from].push_back(to);
        ++waiting[(size_t)to];
    };
    for (const auto& [a, b] : joins) {
        if (readersFirst && !inTail[(size_t)b]) {
            if (a == b) return;
            edge(b, a);
        } else if (a != b && inTail[(size_t)a] == inTail[(size_t)b]) {
            edge(a, b);
        }
    }
    int lastInOrder = -1;
    for (int i = 0; i < count; ++i)
        if (modules[i]->blockMode() == Module::kBlockInOrder) {
            if (lastInOrder >= 0) edge(lastInOrder, i);
            lastInOrder = i;
        }
    std::priority_queue<int, std::vector<int>, std::greater<int>> ready;
    for (int i = 0; i < count; ++i)
        if (waiting[(size_t)i] == 0) ready.push(i);
    int sorted = 0;
    while (!ready.empty()) {
        const int i = ready.top();
        ready.pop();
        ++sorted;
        (inTail[(size_t)i] ? tail : order).push_back(modules[i]);
        for (int to : feeds[(size_t)i])
            if (--waiting[(size_t)to] == 0) ready.push(to);
    }
    if (sorted != count) {  // a loop through other modules
        order.clear();
        tail.clear();
        return;
    }
    std::vector<Module*> all = order;
    all.insert(all.end(), tail.begin(), tail.end());

    const size_t rowLength = kBlockPasses + 1;
    rows.assign(((readersFirst && tail.empty() ? 0 : joins.size()) + 2) * rowLength, 0.f);
    float* const zeros = rows.data();
    float* const junk = zeros + rowLength;
    for (Module* m : all)
        forEachJack(m, [&](PatchPoint* j) {
            j->blockIn = zeros;
            j->blockOut = junk;
            if (!j->source) loose.push_back(j);
        });
    // Readers in the passes take their sources' values; the others read rows.
    auto readsRow = [&](const Cable* c) {
        return !readersFirst || inTail[(size_t)c->reader->getModule()->processIndex];
    };
    for (const Cable* c = cables; c; c = c->next) {
        readers.push_back(c->reader);
        if (!readsRow(c)) {
            c->reader->blockIn = &c->other->outValue;
        } else if (c->other->blockOut == junk) {
            producers.push_back(c->other);
            c->other->blockOut = junk + producers.size() * rowLength;
            if (readersFirst && !inTail[(size_t)c->other->getModule()->processIndex]) rowed.push_back(c->other);
        }
    }
    for (const Cable* c = cables; c; c = c->next)
        if (readsRow(c)) c->reader->blockIn = c->other->blockOut;

    for (Module* m : all) {
        m->blockReads = m->blockWrites = 0;
        forEachJack(m, [&](PatchPoint* j) {
            if (j->source) links.push_back({j, const_cast<float*>(j->blockIn)}), ++m->blockReads;
        });
        forEachJack(m, [&](PatchPoint* j) {
            if (j->blockOut != junk) links.push_back({j, j->blockOut}), ++m->blockWrites;
        });
    }
    const BlockLink* l = links.data();
    for (Module* m : all) {
        m->blockLinks = l;
        l += m->blockReads + m->blockWrites;
    }
    mode = readersFirst ? kReadersFirst : kModuleMajor;
}

// The modules that feed no module waiting on itself, directly or not, and do not
// wait themselves: once a stretch of passes is done they can run module by module.
// In-order modules go to the tail all together or not at all, so that they keep their
// order. With oversampling only oversampled modules qualify: the others run once a
// host sample, in its first pass.
std::vector<char> BlockPlan::findTail(Module* const* modules, int count,
                                      const std::vector<std::pair<int, int>>& joins, bool oversampling) {
    std::vector<char> in((size_t)count, 0);
    for (int i = 0; i < count; ++i)
        in[(size_t)i] = !modules[i]->waitsOnItself() && (!oversampling || modules[i]->oversampled);
    for (bool shrank = true; shrank;) {
        shrank = false;
        for (const auto& [a, b] : joins)
            if (in[(size_t)a] && !in[(size_t)b]) in[(size_t)a] = 0, shrank = true;
        bool allInOrder = true;
        for (int i = 0; i < count; ++i)
            if (modules[i]->blockMode() == Module::kBlockInOrder) allInOrder = allInOrder && in[(size_t)i];
        if (!allInOrder)
            for (int i = 0; i < count; ++i)
                if (modules[i]->blockMode() == Module::kBlockInOrder && in[(size_t)i]) in[(size_t)i] = 0, shrank = true;
    }
    return in;
}
