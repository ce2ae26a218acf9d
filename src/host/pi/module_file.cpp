#include "host/pi/module_file.h"

#include <cctype>
#include <vector>

namespace tv::pi {

namespace {

bool fail(std::string* error, const char* why) {
    if (error) *error = why;
    return false;
}

struct Image {
    const uint8_t* data;
    size_t size;
    bool has(size_t at, size_t n) const { return at <= size && n <= size - at; }
    uint16_t u16(size_t at) const { return has(at, 2) ? uint16_t(data[at] | data[at + 1] << 8) : 0; }
    uint32_t u32(size_t at) const { return has(at, 4) ? uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16 : 0; }
};

struct Section {
    uint32_t address, extent, fileAt, fileSize;
};

struct Headers {
    ModuleFileInfo info;
    uint32_t resourceRva = 0, resourceSize = 0;
    std::vector<Section> sections;
};

bool readHeaders(const Image& im, Headers& h, std::string* error) {
    if (!im.has(0, 64) || im.data[0] != 'M' || im.data[1] != 'Z') return fail(error, "not a Windows module (no MZ header)");
    const size_t pe = im.u32(0x3C);
    if (!im.has(pe, 24) || im.u32(pe) != 0x00004550) return fail(error, "not a Windows module (no PE header)");
    h.info.machine = im.u16(pe + 4);
    const uint16_t sections = im.u16(pe + 6);
    const uint16_t optionalSize = im.u16(pe + 20);
    h.info.dll = (im.u16(pe + 22) & 0x2000) != 0;
    const size_t optional = pe + 24;
    if (!im.has(optional, optionalSize)) return fail(error, "truncated PE header");
    const uint16_t magic = im.u16(optional);
    size_t directories = 0, countAt = 0;
    if (magic == 0x10B) {
        countAt = optional + 92;
        directories = optional + 96;
    } else if (magic == 0x20B) {
        countAt = optional + 108;
        directories = optional + 112;
    } else {
        return fail(error, "unknown PE optional header");
    }
    const uint32_t count = im.u32(countAt);
    if (count > 2 && directories + 3 * 8 <= optional + optionalSize) {
        h.resourceRva = im.u32(directories + 2 * 8);
        h.resourceSize = im.u32(directories + 2 * 8 + 4);
    }
    const size_t table = optional + optionalSize;
    if (sections > 96 || !im.has(table, size_t(sections) * 40)) return fail(error, "damaged section table");
    for (uint16_t i = 0; i < sections; ++i) {
        const size_t s = table + size_t(i) * 40;
        const uint32_t virtualSize = im.u32(s + 8), rawSize = im.u32(s + 16);
        h.sections.push_back({im.u32(s + 12), virtualSize > rawSize ? virtualSize : rawSize, im.u32(s + 20), rawSize});
    }
    return true;
}

// The file offset of n bytes at rva, or SIZE_MAX when they are not all in the file.
size_t fileOffset(const Image& im, const Headers& h, uint32_t rva, size_t n) {
    for (const Section& s : h.sections) {
        if (rva < s.address || rva - s.address >= s.extent) continue;
        const uint64_t within = rva - s.address;
        if (within + n > s.fileSize) return SIZE_MAX;
        const uint64_t at = uint64_t(s.fileAt) + within;
        return im.has(size_t(at), n) ? size_t(at) : SIZE_MAX;
    }
    return SIZE_MAX;
}

}  // namespace

bool readModuleFileInfo(const uint8_t* data, size_t size, ModuleFileInfo& out, std::string* error) {
    Headers h;
    if (!readHeaders(Image{data, size}, h, error)) return false;
    out = h.info;
    return true;
}

bool findModuleResource(const uint8_t* data, size_t size, const std::string& type, uint16_t id,
                        const uint8_t*& bytes, size_t& length, std::string* error) {
    const Image im{data, size};
    Headers h;
    if (!readHeaders(im, h, error)) return false;
    if (h.resourceRva == 0 || h.resourceSize < 16) return fail(error, "the module has no resources");
    const size_t base = fileOffset(im, h, h.resourceRva, h.resourceSize);
    if (base == SIZE_MAX) return fail(error, "the resource section lies outside the file");
    const Image res{data + base, h.resourceSize};

    // One directory level: the offset (within the resource section) of the
    // entry's subdirectory or data entry that matches.
    auto lookUp = [&](size_t directory, bool byName, uint16_t wantId, bool wantSubdirectory, size_t& next) {
        if (!res.has(directory, 16)) return false;
        const uint32_t named = res.u16(directory + 12), ids = res.u16(directory + 14);
        const size_t entries = directory + 16;
        if (!res.has(entries, (size_t(named) + ids) * 8)) return false;
        for (uint32_t i = 0; i < named + ids; ++i) {
            const uint32_t name = res.u32(entries + i * 8), target = res.u32(entries + i * 8 + 4);
            bool match = false;
            if (byName && (name & 0x80000000u)) {
                const size_t at = name & 0x7FFFFFFFu;
                const uint16_t chars = res.u16(at);
                if (chars == type.size() && res.has(at + 2, size_t(chars) * 2)) {
                    match = true;
                    for (uint16_t c = 0; c < chars && match; ++c)
                        match = std::toupper(res.u16(at + 2 + 2 * c) & 0xFF) == std::toupper(uint8_t(type[c])) &&
                                res.u16(at + 2 + 2 * c) < 0x80;
                }
            } else if (!byName && !(name & 0x80000000u)) {
                match = wantId == 0xFFFF || name == wantId;
            }
            if (!match) continue;
            if (bool(target & 0x80000000u) != wantSubdirectory) return false;
            next = target & 0x7FFFFFFFu;
            return true;
        }
        return false;
    };
    size_t typeDir = 0, nameDir = 0, dataEntry = 0;
    if (!lookUp(0, true, 0, true, typeDir)) return fail(error, "no resource of that type");
    if (!lookUp(typeDir, false, id, true, nameDir)) return fail(error, "no resource with that id");
    if (!lookUp(nameDir, false, 0xFFFF, false, dataEntry)) return fail(error, "damaged resource directory");
    if (!res.has(dataEntry, 16)) return fail(error, "damaged resource entry");
    const uint32_t rva = res.u32(dataEntry), n = res.u32(dataEntry + 4);
    const size_t at = fileOffset(im, h, rva, n);
    if (at == SIZE_MAX) return fail(error, "the resource lies outside the file");
    bytes = data + at;
    length = n;
    return true;
}

}  // namespace tv::pi
