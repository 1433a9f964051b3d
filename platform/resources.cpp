// The registry of embedded resources: the records that cmake/Resources.cmake places in the
// linker section "zenkor_resources". Read-only after start; any thread.
#include "platform/resources.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Layout written by the generated assembler: four 64-bit words per resource.
struct ResourceRecord {
    const char* type;
    int64_t id;
    const unsigned char* begin;
    const unsigned char* end;
};

}  // namespace

// Defined by the linker when at least one resource is linked in; null otherwise.
extern "C" const ResourceRecord __start_zenkor_resources[] __attribute__((weak, visibility("hidden")));
extern "C" const ResourceRecord __stop_zenkor_resources[] __attribute__((weak, visibility("hidden")));

namespace {

// The records sorted by type, then identifier; built once.
const std::vector<ResourceInfo>& Registry()
{
    static std::vector<ResourceInfo> registry;
    static std::once_flag once;
    std::call_once(once, [] {
        const ResourceRecord* first = __start_zenkor_resources;
        const ResourceRecord* last = __stop_zenkor_resources;
        if (!first || !last) return;
        for (const ResourceRecord* r = first; r < last; r++) {
            uint64_t size = uint64_t(r->end - r->begin);
            if (size > UINT32_MAX) continue;
            registry.push_back(ResourceInfo{r->type, int32_t(r->id), r->begin, uint32_t(size)});
        }
        std::sort(registry.begin(), registry.end(), [](const ResourceInfo& a, const ResourceInfo& b) {
            int order = std::strcmp(a.type, b.type);
            return order != 0 ? order < 0 : a.id < b.id;
        });
    });
    return registry;
}

}  // namespace

int ResourceCount() { return int(Registry().size()); }

bool ResourceAt(int index, ResourceInfo* info)
{
    const auto& registry = Registry();
    if (index < 0 || size_t(index) >= registry.size()) return false;
    *info = registry[index];
    return true;
}

bool ResourceFind(const char* type, int32_t id, ResourceInfo* info)
{
    for (const ResourceInfo& r : Registry()) {
        if (r.id == id && std::strcmp(r.type, type) == 0) {
            *info = r;
            return true;
        }
    }
    return false;
}
