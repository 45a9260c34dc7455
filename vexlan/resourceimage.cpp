// Embeds the compiled resource script in the program and hands it to the class layer
// during static initialisation, before the layer's main reads a string.
#include "afxwin.h"
#include "resourcefile.h"

#include <cstddef>

asm(".section .rodata\n"
    ".balign 4\n"
    "vexlanResourceImage:\n"
    ".incbin \"" VEXLAN_RES_PATH "\"\n"
    "vexlanResourceImageEnd:\n"
    ".balign 8\n"
    ".global vexlanResourceImageBegin\n"
    ".set vexlanResourceImageBegin, vexlanResourceImage\n"
    ".global vexlanResourceImageSize\n"
    "vexlanResourceImageSize:\n"
    ".quad vexlanResourceImageEnd - vexlanResourceImage\n"
    ".previous\n");

extern "C" const BYTE vexlanResourceImageBegin[];
extern "C" const std::size_t vexlanResourceImageSize;

namespace {
[[maybe_unused]] const bool resourcesRegistered =
    (AfxSetResourceImage(vexlanResourceImageBegin, vexlanResourceImageSize), true);
}
