#include "host/pi/resources.h"

#include <cstring>

#include "params/fields.h"

namespace tv::pi {

namespace {

constexpr OSType kVendor = fourCC('8', 'B', 'I', 'M');
constexpr OSType kFilterKind = fourCC('8', 'B', 'F', 'M');
constexpr OSType kSuiteId = fourCC('B', 'K', 'T', 'V');
constexpr const char* kMenuName = "Terravane...";
constexpr const char* kCategory = "Bramble Kiln";
constexpr const char* kEntryName = "PluginMain";
constexpr const char* kScope = "Bramble Kiln Terravane";
constexpr const char* kEnable8And16 =
    "in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode) ";
constexpr const char* kEnableAll =
    "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, Gray32Mode, RGB96Mode) ) && "
    "(PSHOP_ImageMode !=  MultichannelMode) ";

// Little-endian output, as a Windows resource holds it.
class LeWriter {
public:
    void u8(uint8_t v) { data_.push_back(v); }
    void u16(uint16_t v) {
        u8(uint8_t(v));
        u8(uint8_t(v >> 8));
    }
    void u32(uint32_t v) {
        u16(uint16_t(v));
        u16(uint16_t(v >> 16));
    }
    void i16(int16_t v) { u16(uint16_t(v)); }
    void i32(int32_t v) { u32(uint32_t(v)); }
    void pascal(const std::string& s) {
        u8(uint8_t(s.size()));
        bytes(s.data(), s.size());
    }
    void cstring(const std::string& s) {
        bytes(s.data(), s.size());
        u8(0);
    }
    void bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        data_.insert(data_.end(), b, b + n);
    }
    size_t size() const { return data_.size(); }
    std::vector<uint8_t>& data() { return data_; }

private:
    std::vector<uint8_t> data_;
};

class LeReader {
public:
    LeReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool ok() const { return ok_; }
    size_t position() const { return at_; }
    size_t remaining() const { return n_ - at_; }
    bool need(size_t k) {
        if (!ok_ || k > n_ - at_) ok_ = false;
        return ok_;
    }
    uint8_t u8() { return need(1) ? p_[at_++] : 0; }
    uint16_t u16() {
        if (!need(2)) return 0;
        const uint16_t v = uint16_t(p_[at_] | p_[at_ + 1] << 8);
        at_ += 2;
        return v;
    }
    uint32_t u32() {
        if (!need(4)) return 0;
        const uint32_t v = uint32_t(p_[at_]) | uint32_t(p_[at_ + 1]) << 8 | uint32_t(p_[at_ + 2]) << 16 |
                           uint32_t(p_[at_ + 3]) << 24;
        at_ += 4;
        return v;
    }
    std::string pascal() {
        const size_t n = u8();
        if (!need(n)) return {};
        std::string s(reinterpret_cast<const char*>(p_ + at_), n);
        at_ += n;
        return s;
    }
    const uint8_t* current() const { return p_ + at_; }
    void skip(size_t k) {
        if (need(k)) at_ += k;
    }

private:
    const uint8_t* p_;
    size_t n_;
    size_t at_ = 0;
    bool ok_ = true;
};

void property(LeWriter& w, OSType key, const std::vector<uint8_t>& data) {
    w.u32(kVendor);
    w.u32(key);
    w.i32(0);  // property id
    w.i32(int32_t(data.size()));
    w.bytes(data.data(), data.size());
    for (size_t n = data.size(); n % 4; ++n) w.u8(0);  // data padded to a multiple of four
}

std::vector<uint8_t> pascalData(const std::string& s) {
    LeWriter w;
    w.pascal(s);
    return std::move(w.data());
}

std::vector<uint8_t> cstringData(const std::string& s) {
    LeWriter w;
    w.cstring(s);
    return std::move(w.data());
}

std::vector<uint8_t> wordData(uint32_t v) {
    LeWriter w;
    w.u32(v);
    return std::move(w.data());
}

// A C string inside [p, p + n): empty and false when unterminated.
bool cstringIn(const uint8_t* p, size_t n, std::string& out) {
    const void* end = std::memchr(p, 0, n);
    if (!end) return false;
    out.assign(reinterpret_cast<const char*>(p), static_cast<const uint8_t*>(end) - p);
    return true;
}

bool fail(std::string* error, const char* why) {
    if (error) *error = why;
    return false;
}

}  // namespace

std::vector<uint8_t> buildPropertyList(OSType codeProperty) {
    LeWriter w;
    w.i16(1);   // resource signature
    w.i32(0);   // property list version
    w.i32(10);  // property count
    property(w, fourCC('k', 'i', 'n', 'd'), wordData(kFilterKind));
    property(w, fourCC('n', 'a', 'm', 'e'), pascalData(kMenuName));
    property(w, fourCC('c', 'a', 't', 'g'), pascalData(kCategory));
    property(w, fourCC('v', 'e', 'r', 's'), wordData(0x00040000));
    property(w, codeProperty, cstringData(kEntryName));
    {
        LeWriter t;
        t.i32(0);  // terminology version
        t.u32(kSuiteId);
        t.u32(kSuiteId);
        t.i16(kTerminologyResourceId);
        t.cstring(kScope);
        property(w, fourCC('h', 's', 't', 'm'), t.data());
    }
    property(w, fourCC('m', 'o', 'd', 'e'), {kModesGreyScale | kModesRGB, 0, 0, 0});
    property(w, fourCC('e', 'n', 'b', 'l'), cstringData(kEnable8And16));
    property(w, fourCC('e', 'n', 'b', 'l'), cstringData(kEnableAll));
    {
        // Flat image without and with selection, floating selection: no
        // handling, the host does not copy the source first. Layer cases: also
        // works on blank (fully transparent) data.
        std::vector<uint8_t> cases;
        for (int i = 0; i < kFilterCaseCount; ++i) {
            const FilterCaseInfo c{1, 1, uint8(i < 3 ? 1 : 3), 0};
            const auto* b = reinterpret_cast<const uint8_t*>(&c);
            cases.insert(cases.end(), b, b + sizeof c);
        }
        property(w, fourCC('f', 'i', 'c', 'i'), cases);
    }
    return std::move(w.data());
}

bool parsePropertyList(const uint8_t* data, size_t size, PropertyListInfo& out, std::string* error) {
    out = PropertyListInfo{};
    LeReader r(data, size);
    const uint16_t signature = r.u16();
    const uint32_t version = r.u32();
    const uint32_t count = r.u32();
    if (!r.ok()) return fail(error, "property list too short");
    if (signature != 1 || version != 0) return fail(error, "unknown property list version");
    if (count > 1000) return fail(error, "implausible property count");
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t vendor = r.u32();
        const uint32_t key = r.u32();
        r.u32();  // property id
        const uint32_t length = r.u32();
        if (!r.ok()) return fail(error, "property header past the end");
        const size_t padded = (size_t(length) + 3) & ~size_t(3);
        if (!r.need(length)) return fail(error, "property data past the end");
        const uint8_t* p = r.current();
        r.skip(padded <= r.remaining() ? padded : length);
        if (vendor != kVendor) continue;
        auto word = [&](uint32_t& v) {
            if (length < 4) return false;
            v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
            return true;
        };
        auto pascal = [&](std::string& s) {
            if (length < 1 || size_t(p[0]) + 1 > length) return false;
            s.assign(reinterpret_cast<const char*>(p + 1), p[0]);
            return true;
        };
        bool good = true;
        switch (key) {
            case fourCC('k', 'i', 'n', 'd'): good = word(out.kind); break;
            case fourCC('v', 'e', 'r', 's'): {
                uint32_t v = 0;
                good = word(v);
                out.version = int32_t(v);
                break;
            }
            case fourCC('n', 'a', 'm', 'e'): good = pascal(out.name); break;
            case fourCC('c', 'a', 't', 'g'): good = pascal(out.category); break;
            case kCodeWin32X86:
            case kCodeWin64X86:
                good = cstringIn(p, length, out.entryPoint);
                out.codeProperty = key;
                break;
            case fourCC('m', 'o', 'd', 'e'):
                good = length >= 1;
                if (good) out.modes = p[0];
                break;
            case fourCC('e', 'n', 'b', 'l'): {
                std::string s;
                good = cstringIn(p, length, s);
                if (good) out.enableInfo.push_back(s);
                break;
            }
            case fourCC('f', 'i', 'c', 'i'):
                good = length >= sizeof out.filterCases;
                if (good) {
                    std::memcpy(out.filterCases, p, sizeof out.filterCases);
                    out.hasFilterCases = true;
                }
                break;
            case fourCC('h', 's', 't', 'm'): {
                LeReader t(p, length);
                t.u32();  // version
                out.terminologyClass = t.u32();
                out.terminologyEvent = t.u32();
                out.terminologyId = int16_t(t.u16());
                good = t.ok() && cstringIn(t.current(), t.remaining(), out.scope);
                out.hasTerminology = good;
                break;
            }
            default: break;
        }
        if (!good) return fail(error, "malformed property");
        ++out.propertyCount;
    }
    return true;
}

std::vector<uint8_t> buildTerminology() {
    LeWriter w;
    w.i16(1);  // resource signature
    w.u8(1);   // version 1.0
    w.u8(0);
    w.i16(0);  // language
    w.i16(0);  // script
    w.i16(1);  // one suite
    w.pascal("Bramble Kiln");
    w.pascal("Terravane");
    w.u32(kSuiteId);
    w.i16(1);  // level
    w.i16(1);  // version
    w.i16(1);  // one event
    w.pascal("Terravane");
    w.pascal("Makes planets");
    w.u32(kSuiteId);  // class
    w.u32(kSuiteId);  // id
    w.u32(fourCC('n', 'u', 'l', 'l'));
    w.pascal("");
    w.u16(0);
    w.u32(fourCC('#', 'I', 'm', 'R'));
    w.pascal("");
    w.u16(0xB000);  // optional, enumerated, changes
    const auto keys = scriptKeys();
    w.i16(int16_t(keys.size()));
    for (const ScriptKey& k : keys) {
        w.pascal(k.name);
        w.u32(k.key);
        w.u32(k.type);
        w.pascal(k.name);
        w.u16(k.value == ScriptValue::Enumerated ? 0xA000 : 0x8000);
    }
    w.i16(0);  // classes
    w.i16(0);  // comparison operators
    w.i16(1);  // enumerations
    w.u32(kOutputModeEnumType);
    w.i16(kOutputModeCount);
    for (int32_t m = 1; m <= kOutputModeCount; ++m) {
        w.pascal(outputModeName(m));
        w.u32(outputModeEnumerator(m));
        w.pascal(outputModeName(m));
    }
    return std::move(w.data());
}

bool parseTerminology(const uint8_t* data, size_t size, Terminology& out, std::string* error) {
    out = Terminology{};
    LeReader r(data, size);
    r.u16();  // signature
    const uint8_t major = r.u8(), minor = r.u8();
    r.u16();
    r.u16();
    const uint16_t suites = r.u16();
    if (!r.ok()) return fail(error, "terminology too short");
    if (major != 1 || minor != 0) return fail(error, "unknown terminology version");
    if (suites != 1) return fail(error, "expected one suite");
    out.suiteName = r.pascal();
    out.suiteDescription = r.pascal();
    out.suiteId = r.u32();
    r.u16();
    r.u16();
    if (r.u16() != 1 || !r.ok()) return fail(error, "expected one event");
    out.eventName = r.pascal();
    out.eventDescription = r.pascal();
    out.eventClass = r.u32();
    out.eventId = r.u32();
    out.replyType = r.u32();
    r.pascal();
    r.u16();
    out.directType = r.u32();
    r.pascal();
    out.directFlags = r.u16();
    const uint16_t count = r.u16();
    if (!r.ok()) return fail(error, "event past the end");
    for (uint16_t i = 0; i < count && r.ok(); ++i) {
        TerminologyParameter p;
        p.name = r.pascal();
        p.key = r.u32();
        p.type = r.u32();
        p.description = r.pascal();
        p.flags = r.u16();
        if (r.ok()) out.parameters.push_back(std::move(p));
    }
    const uint16_t classes = r.u16();
    const uint16_t comparisons = r.u16();
    const uint16_t enumerations = r.u16();
    if (!r.ok()) return fail(error, "parameters past the end");
    if (classes || comparisons) return fail(error, "classes and comparison operators are not expected");
    if (enumerations > 1) return fail(error, "expected at most one enumeration");
    if (enumerations == 1) {
        out.enumerationType = r.u32();
        const uint16_t n = r.u16();
        for (uint16_t i = 0; i < n && r.ok(); ++i) {
            TerminologyEnumerator e;
            e.name = r.pascal();
            e.id = r.u32();
            e.description = r.pascal();
            if (r.ok()) out.enumerators.push_back(std::move(e));
        }
    }
    if (!r.ok()) return fail(error, "terminology past the end");
    return true;
}

}  // namespace tv::pi
