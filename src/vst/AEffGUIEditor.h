#pragma once

#include "vst/aeffect.h"

class AudioEffect;
class CFrame;

// Editor side of the interface: the rectangle the host asks for, and the open/close
// pair bracketing the life of the window (not of the editor object).
class AEffGUIEditor {
public:
    explicit AEffGUIEditor(AudioEffect* effect) : effect(effect) {}
    virtual ~AEffGUIEditor() = default;

    virtual bool getRect(vst::ERect** r) {
        *r = &rect;
        return true;
    }
    virtual bool open(void* parentWindow) {
        systemWindow = parentWindow;
        return true;
    }
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() const { return systemWindow != nullptr; }
    // The host's regular call on its GUI thread: the frame drains its window's
    // events, fires timers and repaints what is dirty.
    virtual void idle();

    AudioEffect* getEffect() const { return effect; }
    // The frame while the window is open (null otherwise).
    CFrame* getFrame() const { return frame; }

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
    CFrame* frame = nullptr;
    vst::ERect rect{0, 0, 0, 0};
};
