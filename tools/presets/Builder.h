// Builds patches through the editor's own operations, for the factory presets.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "editor/SynEditor.h"
#include "editor/SynRack.h"
#include "engine/Vantorel.h"
#include "framework/Module.h"
#include "framework/ModuleKnob.h"
#include "framework/PatchPoint.h"

class Builder {
public:
    Builder() : editor(*plugin.editor) {}

    Module* add(const char* name, int x, int row) {
        Module* m = editor.createModuleAt(name, x, row * 291);
        if (!m) throw std::runtime_error(std::string("no module class ") + name);
        return m;
    }
    // Places modules left to right, row after row, adding rows as the patch grows.
    Module* next(const char* name) {
        Module* m = add(name, 0, 0);
        if (cursorX + m->getWidth() > kRowWidth) cursorX = 0, ++cursorRow;
        while (cursorRow >= editor.rowCount) editor.addRow();
        editor.moveModule(m, cursorX, cursorRow * kRowHeight);
        cursorX += m->getWidth();
        return m;
    }
    void newRow() {
        if (cursorX > 0) cursorX = 0, ++cursorRow;
    }
    void cable(PatchPoint* a, PatchPoint* b, int colour) {
        if (!a || !b || !editor.connectJacks(a, b, colour)) throw std::runtime_error("cable refused");
    }
    static void knob(Module* m, int n, float v) {
        ModuleKnob* k = m->knob(n);
        if (!k) throw std::runtime_error(std::string("no knob on ") + m->getName());
        k->setValue(v);
        k->snap();
        m->controlChanged(k);
    }
    static void control(Module* m, const char* type, int n, float v) {
        CControl* c = m->control(type, n);
        if (!c) throw std::runtime_error(std::string("no control on ") + m->getName());
        c->setValue(v);
        m->controlChanged(c);
    }
    bool save(const std::string& folder, const std::string& kind, const std::string& name,
              const std::string& description) {
        editor.author = "Vantorel Factory";
        editor.description = description;
        std::filesystem::create_directories(folder + "/" + kind);
        return editor.writePresetFile(folder + "/" + kind + "/" + name + ".vtp");
    }

    Vantorel plugin{nullptr};
    SynEditor& editor;
    int cursorX = 0, cursorRow = 0;
};

enum : int { kRed = 1, kGreen, kBlue, kGray, kOrange, kPurple, kMidi };

struct FactoryPreset {
    const char* kind;
    const char* name;
    const char* description;
    std::function<void(Builder&)> build;
};

// The presets beyond the first eight: one or more for every musical category.
void addLibraryPresets(std::vector<FactoryPreset>& presets);
