#pragma once

#include <cstddef>

// Images compiled into the plug-in. The table is generated at build time by the art
// generator; names are matched without regard to case ("S310VCO.png" == "s310vco.PNG").
struct Resource {
    const char* name;
    const unsigned char* data;  // encoded image (PNG)
    size_t size;
};

// Null when no resource has that name.
const Resource* findResource(const char* name);
// Every compiled-in resource, for tools and tests; count through `count`.
const Resource* allResources(size_t* count);
