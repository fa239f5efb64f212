#include "modules/SA052DAW12dbAmp.h"

SA052DAW12dbAmp::SA052DAW12dbAmp(Patch* editor)
    : SA022DAW(editor, "SA052DAW12dbAmp.png", Layout{73, 181, 127, 235}, 4.0) {}
