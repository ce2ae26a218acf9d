#include "host/pi/memory_descriptor.h"

#include <cstring>

#include "base/bytes.h"

namespace tv::pi {

namespace {
constexpr uint32_t kMagic = fourCC('T', 'V', 'D', 'S');
constexpr size_t kItemBytes = 4 + 4 + 4 + 8;
static_assert(kMaxDescriptorBytes == 8 + kMaxDescriptorItems * kItemBytes);

bool knownType(DescType t) {
    return t == typeInteger || t == typeFloat || t == typeBoolean || t == typeEnumerated;
}
}  // namespace

const DescriptorItem* MemoryDescriptor::find(DescriptorKeyID key) const {
    for (const auto& i : items)
        if (i.key == key) return &i;
    return nullptr;
}

void MemoryDescriptor::put(const DescriptorItem& item) {
    for (auto& i : items)
        if (i.key == item.key) {
            i = item;
            return;
        }
    items.push_back(item);
}

std::vector<uint8_t> encodeDescriptor(const MemoryDescriptor& d) {
    ByteWriter w;
    w.u32(kMagic);
    w.u32(uint32_t(d.items.size()));
    for (const auto& i : d.items) {
        w.u32(i.key);
        w.u32(i.type);
        w.u32(i.enumType);
        if (i.type == typeFloat) {
            uint64_t bits;
            std::memcpy(&bits, &i.number, 8);
            w.u32(uint32_t(bits >> 32));
            w.u32(uint32_t(bits));
        } else {
            w.u32(0);
            w.i32(i.integer);
        }
    }
    return std::move(w.data());
}

bool decodeDescriptor(const uint8_t* data, size_t size, MemoryDescriptor& d) {
    d.items.clear();
    ByteReader r(data, size);
    uint32_t magic = 0, count = 0;
    if (!r.u32(magic) || !r.u32(count) || magic != kMagic) return false;
    if (count > kMaxDescriptorItems || r.remaining() != size_t(count) * kItemBytes) return false;
    MemoryDescriptor out;
    out.items.reserve(count);
    for (uint32_t n = 0; n < count; ++n) {
        DescriptorItem i;
        uint32_t hi = 0, lo = 0;
        r.u32(i.key);
        r.u32(i.type);
        r.u32(i.enumType);
        r.u32(hi);
        r.u32(lo);
        if (!knownType(i.type)) return false;
        if (i.type == typeFloat) {
            const uint64_t bits = uint64_t(hi) << 32 | lo;
            std::memcpy(&i.number, &bits, 8);
        } else {
            i.integer = int32_t(lo);
        }
        out.items.push_back(i);
    }
    if (!r.ok()) return false;
    d = std::move(out);
    return true;
}

}  // namespace tv::pi
