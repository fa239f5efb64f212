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

void BlockPlan::build(Module* const* modules, int count, const Cable* cables) {
    mode = kPassByPass;
    order.clear();
    producers.clear();
    readers.clear();
    loose.clear();
    links.clear();
    bool waits = false;
    for (int i = 0; i < count; ++i) {
        if (modules[i]->blockMode() == Module::kBlockNever || modules[i]->processIndex != i) return;
        waits = waits || modules[i]->waitsOnItself();
    }

    // Module by module, sources run before their readers. Readers first, each pass
    // runs every module before its sources, so a reader takes what its source left
    // last pass straight from it; that needs no module to feed itself. Either way
    // the in-order modules keep the list's order between them, and among the
    // modules ready the earliest in the list goes first.
    const bool readersFirst = waits;
    std::vector<std::vector<int>> feeds((size_t)count);
    std::vector<int> waiting((size_t)count, 0);
    auto edge = [&](int from, int to) {
        feeds[(size_t)from].push_back(to);
        ++waiting[(size_t)to];
    };
    for (const Cable* c = cables; c; c = c->next) {
        const Module* from = c->other->getModule();
        const Module* to = c->reader->getModule();
        if (!from || !to) return;
        const int a = from->processIndex, b = to->processIndex;
        if (a < 0 || a >= count || b < 0 || b >= count) return;
        if (a == b) {
            if (readersFirst) return;
        } else if (readersFirst) {
            edge(b, a);
        } else {
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
    while (!ready.empty()) {
        const int i = ready.top();
        ready.pop();
        order.push_back(modules[i]);
        for (int to : feeds[(size_t)i])
            if (--waiting[(size_t)to] == 0) ready.push(to);
    }
    if ((int)order.size() != count) {  // a loop through other modules
        order.clear();
        return;
    }

    size_t cableTotal = 0;
    for (const Cable* c = cables; c; c = c->next) ++cableTotal;
    const size_t rowLength = kBlockPasses + 1;
    rows.assign(((readersFirst ? 0 : cableTotal) + 2) * rowLength, 0.f);
    float* const zeros = rows.data();
    float* const junk = zeros + rowLength;
    for (Module* m : order)
        forEachJack(m, [&](PatchPoint* j) {
            j->blockIn = zeros;
            j->blockOut = junk;
            if (!j->source) loose.push_back(j);
        });
    for (const Cable* c = cables; c; c = c->next) {
        readers.push_back(c->reader);
        if (readersFirst) {
            c->reader->blockIn = &c->other->outValue;
        } else if (c->other->blockOut == junk) {
            producers.push_back(c->other);
            c->other->blockOut = junk + producers.size() * rowLength;
        }
    }
    if (!readersFirst)
        for (const Cable* c = cables; c; c = c->next) c->reader->blockIn = c->other->blockOut;

    for (Module* m : order) {
        m->blockReads = m->blockWrites = 0;
        forEachJack(m, [&](PatchPoint* j) {
            if (j->source) links.push_back({j, const_cast<float*>(j->blockIn)}), ++m->blockReads;
        });
        forEachJack(m, [&](PatchPoint* j) {
            if (j->blockOut != junk) links.push_back({j, j->blockOut}), ++m->blockWrites;
        });
    }
    const BlockLink* l = links.data();
    for (Module* m : order) {
        m->blockLinks = l;
        l += m->blockReads + m->blockWrites;
    }
    mode = readersFirst ? kReadersFirst : kModuleMajor;
}
