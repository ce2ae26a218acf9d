// libFuzzer target: the URL list file reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "clouds/catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tv::CatalogueEntry entries[tv::kListEntryCount];
    int32_t version = 0;
    if (tv::decodeUrlList(data, size, entries, version) != tv::kCatalogueOk) return 0;
    // What was read writes back, and reads again to the same texts and words.
    std::vector<uint8_t> again;
    if (!tv::encodeUrlList(entries, version, again)) std::abort();
    tv::CatalogueEntry back[tv::kListEntryCount];
    int32_t version2 = 0;
    if (tv::decodeUrlList(again.data(), again.size(), back, version2) != tv::kCatalogueOk) std::abort();
    if (version2 != version) std::abort();
    for (int i = 0; i < tv::kListEntryCount; ++i) {
        if (back[i].valid != entries[i].valid) std::abort();
        if (std::strcmp(back[i].url, entries[i].url) != 0 || std::strcmp(back[i].name, entries[i].name) != 0)
            std::abort();
        if (back[i].overlayA != entries[i].overlayA || back[i].flags != entries[i].flags ||
            back[i].reservedPair[1] != entries[i].reservedPair[1])
            std::abort();
    }
    return 0;
}
