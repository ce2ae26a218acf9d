// The module's binary resources: the plug-in property list ("PiPL" 16000) and
// the scripting terminology ("AETE" 16000), in the layout a Windows host reads
// from a module's resources (little-endian integers, four-character codes stored
// as little-endian words, i.e. byte-reversed). On Linux the module hands out the
// same bytes through an exported function, and the command-line host reads them
// with the parsers below. The parsers take outside data: every length is checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/pi/pi_types.h"

namespace tv::pi {

// The code property naming the entry point: 'wx86' for 32-bit x86 code (the
// Linux module keeps it too), '8664' for 64-bit Windows code.
constexpr OSType kCodeWin32X86 = fourCC('w', 'x', '8', '6');
constexpr OSType kCodeWin64X86 = fourCC('8', '6', '6', '4');

std::vector<uint8_t> buildPropertyList(OSType codeProperty = kCodeWin32X86);
std::vector<uint8_t> buildTerminology();

// What a host needs from a property list.
struct PropertyListInfo {
    uint32_t kind = 0;            // '8BFM' for a filter
    std::string name;             // menu name
    std::string category;         // submenu
    int32_t version = 0;          // interface version, major << 16 | minor
    std::string entryPoint;       // 'wx86' or '8664'
    uint32_t codeProperty = 0;    // which of the two named it
    uint8_t modes = 0;            // first byte of the supported-modes bit set
    std::vector<std::string> enableInfo;
    bool hasFilterCases = false;
    FilterCaseInfo filterCases[kFilterCaseCount] = {};
    bool hasTerminology = false;
    uint32_t terminologyClass = 0, terminologyEvent = 0;
    int16_t terminologyId = 0;
    std::string scope;
    int32_t propertyCount = 0;
};

// False, with a reason, for anything that is not a well-formed property list.
bool parsePropertyList(const uint8_t* data, size_t size, PropertyListInfo& out, std::string* error);

struct TerminologyParameter {
    std::string name, description;
    uint32_t key = 0, type = 0;
    uint16_t flags = 0;
};
struct TerminologyEnumerator {
    std::string name, description;
    uint32_t id = 0;
};
struct Terminology {
    std::string suiteName, suiteDescription;
    uint32_t suiteId = 0;
    std::string eventName, eventDescription;
    uint32_t eventClass = 0, eventId = 0;
    uint32_t replyType = 0, directType = 0;
    uint16_t directFlags = 0;
    std::vector<TerminologyParameter> parameters;
    uint32_t enumerationType = 0;
    std::vector<TerminologyEnumerator> enumerators;
};

bool parseTerminology(const uint8_t* data, size_t size, Terminology& out, std::string* error);

// Supported-modes bits of the first byte: grey scale and RGB.
constexpr uint8_t kModesGreyScale = 0x40;
constexpr uint8_t kModesRGB = 0x10;

}  // namespace tv::pi
