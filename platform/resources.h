// The registry of resources embedded in the program at build time (cmake/Resources.cmake,
// zenkor_embed_resource): numbered byte blobs under a type name, read-only for the life of the
// process. Any thread.
#pragma once

#include <cstdint>

struct ResourceInfo {
    const char* type;            // e.g. "FileSystem", "Icon"
    int32_t id;
    const unsigned char* data;
    uint32_t size;
};

// The number of embedded resources.
int ResourceCount();
// The index-th resource, ordered by type name then identifier; false past the end.
bool ResourceAt(int index, ResourceInfo* info);
// The resource of the given type and identifier; false when there is none.
bool ResourceFind(const char* type, int32_t id, ResourceInfo* info);
