// The plug-in module's exports. A host calls `PluginMain` once per step of a
// filter run. On Linux, where a shared module has no resource section, the
// property list and the terminology are handed out by `TerravaneResource` with
// the bytes a Windows host reads from the module's resources.
// `TerravaneWorkerThreads` lets our own command-line host pass its --threads
// to the module's copy of the engine; other hosts never call it.
#include <vector>

#include "host/pi/pi_types.h"
#include "host/pi/resources.h"
#include "host/frame_render.h"
#include "host/plugin.h"

#include "platform/module_export.h"

#define TV_EXPORT extern "C" TV_MODULE_EXPORT

TV_EXPORT void PluginMain(short selector, void* filterRecord, tv::pi::intptr* data, short* result) {
    tv::pluginMain(selector, filterRecord, data, result);
}

// The resource of this type and id, or null. The bytes stay valid while the
// module is loaded.
TV_EXPORT const unsigned char* TerravaneResource(unsigned int type, short id, int* size) {
    static const std::vector<uint8_t> propertyList = tv::pi::buildPropertyList();
    static const std::vector<uint8_t> terminology = tv::pi::buildTerminology();
    const std::vector<uint8_t>* found = nullptr;
    if (type == tv::pi::kPropertyListType && id == tv::pi::kPropertyListResourceId) found = &propertyList;
    if (type == tv::pi::kTerminologyType && id == tv::pi::kTerminologyResourceId) found = &terminology;
    if (size) *size = found ? int(found->size()) : 0;
    return found ? found->data() : nullptr;
}

// Forces the module's worker-thread count (n > 0), returns to one per
// processor (0) or only asks (n < 0); returns the count a render now uses.
TV_EXPORT int TerravaneWorkerThreads(int n) { return tv::setFrameWorkerThreads(n); }
