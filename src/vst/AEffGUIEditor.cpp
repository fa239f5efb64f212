#include "vst/AEffGUIEditor.h"

#include "gui/CFrame.h"

void AEffGUIEditor::idle() {
    if (frame) frame->idle();
}
