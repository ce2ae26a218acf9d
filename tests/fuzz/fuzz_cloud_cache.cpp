// libFuzzer target: the cloud cache file reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "clouds/cloud_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tv::CloudMap map;
    if (tv::decodeCloudCache(data, size, -1, map) != tv::kCacheOk) {
        if (map.loaded || !map.pyramid.empty()) std::abort();
        return 0;
    }
    // What was read writes back to the same bytes (the version word apart).
    std::vector<uint8_t> again;
    if (!tv::encodeCloudCache(map, again) || again.size() > size) std::abort();
    if (std::memcmp(again.data() + 8, data + 8, again.size() - 8) != 0) std::abort();
    return 0;
}
