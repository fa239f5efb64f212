#pragma once

#include <cstdint>
#include <vector>

#include "framework/BlockPlan.h"
#include "framework/PatchPoint.h"

class Module;
class Vantorel;
class CControl;
class CControlListener;
class ModuleKnob;

// An array of modules with the index of its last entry (-1 when empty). Removal
// moves the last entry into the hole, so order is not kept across removals.
struct ModuleList {
    Module** items = nullptr;
    int last = -1;
    int size() const { return last + 1; }
    Module* operator[](int i) const { return items[i]; }
};

// What the engine copies after every pass: one 32-bit word per cable.
struct CableCopy {
    float* dst;
    const float* src;
};

// The patch itself: module lists, cables and the host-parameter table, with the
// structural operations on them. The editor object is one; modules and the engine
// see only this. Every operation that changes structure takes the engine lock.
class Patch {
public:
    explicit Patch(Vantorel* synth);
    virtual ~Patch();
    Patch(const Patch&) = delete;
    Patch& operator=(const Patch&) = delete;

    Vantorel* synth;

    // Lists; all four share one capacity.
    ModuleList rackModules, processList, midiReceivers, blockListeners;
    int listCapacity() const { return capacity; }
    // Room for the process list's oversampled modules, which the engine gathers at
    // the start of an oversampled block (sized with the lists, so never grown there).
    Module** oversampledScratch() { return oversampledPass.data(); }
    // Lock held. Grows all four lists to 2n when n exceeds the capacity.
    void ensureCapacity(int n);

    // Cables, oldest first, and the flat copy table the engine walks.
    Cable* cableHead = nullptr;
    Cable* cableTail = nullptr;
    int cableTotal = 0;
    const CableCopy* cableCopies() const { return copies.data(); }
    int cableCopyCount() const { return (int)copies.size(); }
    // How the patch may run without those copies, rebuilt with them and (lock held)
    // by the engine when the oversampling changes.
    BlockPlan blockPlan;
    void replan();

    // Host parameters.
    CControl* paramControls[1000] = {};
    int lastParamIndex = -1;
    // Next free index after the last one handed out (wrapping), or the no-parameter tag.
    int32_t allocParamIndex();

    // Engine membership (lock held by the caller or taken here; the lock is re-entrant).
    void activateModule(Module* m);
    void deactivateModule(Module* m);  // only when no cables and not Always ON
    void registerMidiReceiver(Module* m);
    void registerBlockListener(Module* m);

    // Cables.
    // Whether a drag from `from` may end on `to` (types, directions, committed roles).
    static bool canJoin(const PatchPoint* from, const PatchPoint* to);
    // Makes a cable when canJoin allows it; a jack that becomes the reader loses its
    // old cable first. Returns the new cable or null when refused. Drags and the
    // preset reader both come through here, so no input ever holds two cables.
    Cable* connectJacks(PatchPoint* from, PatchPoint* to, int colour);
    void disconnectJack(PatchPoint* reader);
    void removeCable(Cable* cable);
    // A fresh colour for an audio/CV cable (1..6) from the shared generator.
    static int randomCableColour();

    // Rack membership. addToRack expects the lists to have room (ensureCapacity).
    void addToRack(Module* m);
    // Removes cables, parameter bindings and list entries, then releases the module.
    virtual void deleteModule(Module* m);
    void deleteAllModules();

    // Where module controls report changes (the editor).
    virtual CControlListener* controlListener() { return nullptr; }
    // Right click on a knob (editor menus); headless builds ignore it.
    virtual void openKnobMenu(ModuleKnob*, const CPoint&) {}
    // The parent view modules are built in.
    virtual CViewContainer* rackView() { return nullptr; }
    // Mouse events on a module's panel, in the panel's own coordinates. The editor
    // moves modules with them; a bare patch hands them to the panel's controls.
    virtual CMouseEventResult moduleMouseDown(Module* m, CPoint& where, long buttons);
    virtual CMouseEventResult moduleMouseMoved(Module* m, CPoint& where, long buttons);
    virtual CMouseEventResult moduleMouseUp(Module* m, CPoint& where, long buttons);

    // Cable dragging with the mouse, in rack coordinates. The editor runs it; a bare
    // patch has no mouse, so these refuse or do nothing.
    virtual bool moduleDragRunning() const { return false; }
    virtual bool cableDragRunning() const { return false; }
    virtual PatchPoint* cableDragJack() const { return nullptr; }
    virtual void startCableDrag(PatchPoint* /*jack*/, const CPoint& /*rackPoint*/) {}
    virtual void joinCableDrag(PatchPoint* /*target*/) {}
    virtual void cancelCableDrag() {}
    // What a cable released at this window point lands on.
    virtual CView* viewUnderCable(const CPoint& /*framePoint*/) { return nullptr; }

private:
    void growTo(int newCapacity);
    void rebuildCableCopies();
    void unlinkCable(Cable* c);
    static void removeFromList(ModuleList& list, Module* m, int Module::*index);

    int capacity = 0;
    std::vector<CableCopy> copies;
    std::vector<Module*> oversampledPass;
};
