// Reading a Windows module file (a .8bf, a PE image) without loading it, as a
// host does when it lists its plug-ins: the target machine and a resource by
// type name and id. The file is outside data: every offset is checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tv::pi {

struct ModuleFileInfo {
    uint16_t machine = 0;  // 0x14C x86, 0x8664 x86-64
    bool dll = false;
};

constexpr uint16_t kMachineX86 = 0x14C;
constexpr uint16_t kMachineX64 = 0x8664;

bool readModuleFileInfo(const uint8_t* data, size_t size, ModuleFileInfo& out, std::string* error);

// The bytes of resource type/id (the type name compared without regard to
// case, "PIPL"; the first language found). False with a reason.
bool findModuleResource(const uint8_t* data, size_t size, const std::string& type, uint16_t id,
                        const uint8_t*& bytes, size_t& length, std::string* error);

}  // namespace tv::pi
