#include "resources/Resources.h"

#include <strings.h>

// The table itself is generated at build time (see tools/art); programs that need no
// art link the empty one in NoArt.cpp instead.
const Resource* findResource(const char* name) {
    size_t n = 0;
    const Resource* all = allResources(&n);
    for (size_t i = 0; name && i < n; ++i)
        if (strcasecmp(all[i].name, name) == 0) return &all[i];
    return nullptr;
}
