#include "framework/Patch.h"

#include <algorithm>

#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/Random.h"

namespace {
constexpr int kInitialCapacity = 50;
}

Patch::Patch(Vantorel* synth) : synth(synth) { growTo(kInitialCapacity); }

Patch::~Patch() {
    while (cableHead) {
        Cable* next = cableHead->next;
        delete cableHead;
        cableHead = next;
    }
    for (ModuleList* l : {&rackModules, &processList, &midiReceivers, &blockListeners}) delete[] l->items;
}

void Patch::ensureCapacity(int n) {
    if (n > capacity) growTo(2 * n);
}

void Patch::growTo(int newCapacity) {
    EngineLockGuard guard(synth->engineLock);
    for (ModuleList* l : {&rackModules, &processList, &midiReceivers, &blockListeners}) {
        Module** items = new Module*[newCapacity]();
        if (l->items) std::copy(l->items, l->items + l->size(), items);
        delete[] l->items;
        l->items = items;
    }
    oversampledPass.assign((size_t)newCapacity, nullptr);
    capacity = newCapacity;
}

int32_t Patch::allocParamIndex() {
    int i = (lastParamIndex + 1) % kNumParameters;
    for (int steps = 0; steps < kNumParameters && i != lastParamIndex; ++steps) {
        if (!paramControls[i]) {
            lastParamIndex = i;
            return i;
        }
        i = (i + 1) % kNumParameters;
    }
    return kTagNoParameter;
}

void Patch::replan() {
    blockPlan.build(processList.items, processList.size(), cableHead, synth ? synth->oversampleFactor : 1);
}

void Patch::activateModule(Module* m) {
    EngineLockGuard guard(synth->engineLock);
    if (m->processIndex != -1) return;
    processList.items[++processList.last] = m;
    m->processIndex = processList.last;
    if (m->writesDawOutput()) ++synth->dawOutWriters;
    replan();
}

void Patch::removeFromList(ModuleList& list, Module* m, int Module::*index) {
    const int i = m->*index;
    if (i < 0 || i > list.last || list.items[i] != m) return;
    Module* moved = list.items[list.last];
    list.items[i] = moved;
    moved->*index = i;
    list.items[list.last--] = nullptr;
    m->*index = -1;
}

void Patch::deactivateModule(Module* m) {
    EngineLockGuard guard(synth->engineLock);
    if (m->cableCount != 0 || m->alwaysOn || m->processIndex == -1) return;
    removeFromList(processList, m, &Module::processIndex);
    if (m->writesDawOutput()) --synth->dawOutWriters;
    replan();
}

void Patch::registerMidiReceiver(Module* m) {
    EngineLockGuard guard(synth->engineLock);
    if (m->midiIndex != -1) return;
    ensureCapacity(midiReceivers.size() + 1);
    midiReceivers.items[++midiReceivers.last] = m;
    m->midiIndex = midiReceivers.last;
    m->remember();
}

void Patch::registerBlockListener(Module* m) {
    EngineLockGuard guard(synth->engineLock);
    if (m->blockIndex != -1) return;
    ensureCapacity(blockListeners.size() + 1);
    blockListeners.items[++blockListeners.last] = m;
    m->blockIndex = blockListeners.last;
    m->remember();
}

bool Patch::canJoin(const PatchPoint* from, const PatchPoint* to) {
    if (!from || !to || from == to) return false;
    if (from->signalType != to->signalType) return false;
    if (from->direction == to->direction) return false;
    if (from->direction != kJackEither && to->direction != kJackEither) return true;
    const PatchPoint* either = from->direction == kJackEither ? from : to;
    const PatchPoint* other = either == from ? to : from;
    return either->connectionCount == 0 || other->direction != either->role;
}

int Patch::randomCableColour() { return (int)(nextRandom() * 6.0 + 1.0); }

void Patch::rebuildCableCopies() {
    copies.clear();
    for (Cable* c = cableHead; c; c = c->next) copies.push_back({&c->reader->inValue, c->reader->source});
    replan();
}

Cable* Patch::connectJacks(PatchPoint* from, PatchPoint* to, int colour) {
    EngineLockGuard guard(synth->engineLock);
    if (!canJoin(from, to)) return nullptr;
    Module* fromModule = from->getModule();
    Module* toModule = to->getModule();
    if (!fromModule || !toModule) return nullptr;

    PatchPoint* reader;
    PatchPoint* producer;
    if (from->direction == kJackInput) {
        reader = from, producer = to;
        if (to->direction == kJackEither) to->role = kRoleOutput;
    } else if (from->direction == kJackOutput) {
        reader = to, producer = from;
        if (to->direction == kJackEither) to->role = kRoleInput;
    } else if (to->direction == kJackInput) {
        reader = to, producer = from;
        from->role = kRoleOutput;
    } else {
        reader = from, producer = to;
        from->role = kRoleInput;
    }
    if (reader->cable && reader->source) {
        const int keepRole = reader->role;
        removeCable(reader->cable);
        reader->role = keepRole;
    }

    Cable* c = new Cable;
    c->reader = reader;
    c->other = producer;
    c->colour = colour;
    c->prev = cableTail;
    if (cableTail) cableTail->next = c;
    else cableHead = c;
    cableTail = c;
    reader->source = &producer->outValue;
    reader->cable = c;
    producer->cable = c;
    ++reader->connectionCount;
    ++producer->connectionCount;
    ++cableTotal;
    rebuildCableCopies();

    ++fromModule->cableCount;
    ++toModule->cableCount;
    activateModule(fromModule);
    activateModule(toModule);
    fromModule->cableConnected(from);
    toModule->cableConnected(to);
    if (from->signalType == kSignalMidi) {
        from->setValue(1.f);
        to->setValue(1.f);
    }
    return c;
}

void Patch::disconnectJack(PatchPoint* reader) {
    if (reader && reader->source && reader->cable) removeCable(reader->cable);
}

void Patch::unlinkCable(Cable* c) {
    if (c->prev) c->prev->next = c->next;
    else cableHead = c->next;
    if (c->next) c->next->prev = c->prev;
    else cableTail = c->prev;
}

void Patch::removeCable(Cable* cable) {
    if (!cable) return;
    EngineLockGuard guard(synth->engineLock);
    PatchPoint* ends[2] = {cable->reader, cable->other};
    for (PatchPoint* j : ends) {
        j->cable = nullptr;
        --j->connectionCount;
        if (j->connectionCount == 0) j->role = kRoleUnconnected;
        j->inValue = 0.f;
    }
    cable->reader->source = nullptr;
    --cableTotal;
    unlinkCable(cable);
    rebuildCableCopies();
    for (PatchPoint* j : ends) {
        Module* m = j->getModule();
        --m->cableCount;
        deactivateModule(m);
    }
    for (PatchPoint* j : ends) j->getModule()->cableDisconnected(j);
    for (PatchPoint* j : ends)
        if (j->signalType == kSignalMidi && j->connectionCount == 0) j->setValue(0.f);
    delete cable;
}

void Patch::addToRack(Module* m) {
    EngineLockGuard guard(synth->engineLock);
    ensureCapacity(rackModules.size() + 1);
    rackModules.items[++rackModules.last] = m;
    m->rackIndex = rackModules.last;
    if (CViewContainer* rack = rackView()) rack->addView(m);
}

void Patch::deleteModule(Module* m) {
    if (!m) return;
    EngineLockGuard guard(synth->engineLock);
    for (Cable* c = cableHead; c;) {
        Cable* next = c->next;
        if (c->reader->getModule() == m || c->other->getModule() == m) removeCable(c);
        c = next;
    }
    for (CView* v : m->getChildren())
        if (v->isTypeOf("CControl") && static_cast<CControl*>(v)->getTag() != kTagNoParameter)
            m->releaseParamIndex(static_cast<CControl*>(v));
    if (CViewContainer* parent = m->getParentView()) parent->removeView(m, false);
    removeFromList(rackModules, m, &Module::rackIndex);
    if (m->processIndex != -1) {
        removeFromList(processList, m, &Module::processIndex);
        if (m->writesDawOutput()) --synth->dawOutWriters;
        replan();
    }
    if (m->midiIndex != -1) {
        removeFromList(midiReceivers, m, &Module::midiIndex);
        m->forget();
    }
    if (m->blockIndex != -1) {
        removeFromList(blockListeners, m, &Module::blockIndex);
        m->forget();
    }
    m->forget();
}

void Patch::deleteAllModules() {
    EngineLockGuard guard(synth->engineLock);
    while (rackModules.last >= 0) deleteModule(rackModules[rackModules.last]);
}

CMouseEventResult Patch::moduleMouseDown(Module* m, CPoint& where, long buttons) {
    return m->controlsMouseDown(where, buttons);
}

CMouseEventResult Patch::moduleMouseMoved(Module* m, CPoint& where, long buttons) {
    return m->controlsMouseMoved(where, buttons);
}

CMouseEventResult Patch::moduleMouseUp(Module* m, CPoint& where, long buttons) {
    return m->controlsMouseUp(where, buttons);
}
