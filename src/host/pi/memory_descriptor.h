// An in-memory descriptor: the keyed values a host keeps for a scripting
// event, and the bytes a host stores them as (inside a descriptor handle, and
// in the command-line host's recorded-descriptor file). The decoder takes
// outside data and checks every length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/pi/pi_types.h"

namespace tv::pi {

struct DescriptorItem {
    DescriptorKeyID key = 0;
    DescType type = 0;        // typeInteger, typeFloat, typeBoolean or typeEnumerated
    DescType enumType = 0;    // for typeEnumerated: the enumeration ('LGty')
    int32_t integer = 0;      // integer, boolean (0/1) or enumerator
    double number = 0.0;      // float
};

struct MemoryDescriptor {
    std::vector<DescriptorItem> items;
    const DescriptorItem* find(DescriptorKeyID key) const;
    void put(const DescriptorItem& item);  // replaces an item with the same key
};

constexpr size_t kMaxDescriptorItems = 4096;
// The longest encoding: a header of two words, twenty bytes an item.
constexpr size_t kMaxDescriptorBytes = 8 + kMaxDescriptorItems * 20;

std::vector<uint8_t> encodeDescriptor(const MemoryDescriptor& d);
// False (d emptied) for anything that is not a complete, well-formed encoding.
bool decodeDescriptor(const uint8_t* data, size_t size, MemoryDescriptor& d);

}  // namespace tv::pi
