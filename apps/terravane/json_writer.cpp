#include "json_writer.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "host/params/fields.h"

namespace tv::cli {

namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF are not).
size_t utf8Length(std::string_view s, size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    uint32_t code = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        code = code << 6 | (c & 0x3F);
    }
    constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

void JsonWriter::separator() {
    if (!first_) out_ += ",";
    first_ = false;
}

void JsonWriter::beginObject() {
    out_ += "{";
    first_ = true;
}

void JsonWriter::endObject() {
    out_ += "\n}";
    first_ = false;
}

void JsonWriter::key(std::string_view name) {
    separator();
    out_ += "\n  ";
    first_ = true;
    text(name);
    out_ += ": ";
    first_ = true;
}

void JsonWriter::integer(int64_t v) {
    separator();
    out_ += std::to_string(v);
}

void JsonWriter::number(double v) {
    separator();
    if (!std::isfinite(v)) {
        out_ += "null";
        return;
    }
    char buf[40];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v));
    out_.append(buf, ec == std::errc() ? p : buf);
}

void JsonWriter::boolean(bool v) {
    separator();
    out_ += v ? "true" : "false";
}

void JsonWriter::text(std::string_view s) {
    separator();
    out_ += '"';
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out_ += '\\';
            out_ += char(c);
            ++i;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out_ += buf;
            ++i;
        } else if (c < 0x80) {
            out_ += char(c);
            ++i;
        } else if (const size_t n = utf8Length(s, i)) {
            out_.append(s.substr(i, n));
            i += n;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out_ += buf;
            ++i;
        }
    }
    out_ += '"';
}

void JsonWriter::integerArray(const int64_t* values, int count) {
    separator();
    out_ += "[";
    for (int i = 0; i < count; ++i) {
        if (i) out_ += ", ";
        out_ += std::to_string(values[i]);
    }
    out_ += "]";
}

std::string settingsJson(const ParamRecord& record) {
    JsonWriter w;
    w.beginObject();
    const auto* base = reinterpret_cast<const char*>(&record);
    for (const RecordField& f : settingsFields()) {
        w.key(f.name);
        const char* at = base + f.offset;
        switch (f.kind) {
            case FieldKind::Int: {
                int32_t v;
                std::memcpy(&v, at, sizeof v);
                w.integer(v);
                break;
            }
            case FieldKind::Switch: {
                int32_t v;
                std::memcpy(&v, at, sizeof v);
                w.boolean(v != 0);
                break;
            }
            case FieldKind::Float: {
                float v;
                std::memcpy(&v, at, sizeof v);
                w.number(v);
                break;
            }
            case FieldKind::Colour: {
                Colour16 c;
                std::memcpy(&c, at, sizeof c);
                const int64_t channels[3] = {c.red, c.green, c.blue};
                w.integerArray(channels, 3);
                break;
            }
            case FieldKind::Text: {
                const size_t n = strnlen(at, kTextLength);
                w.text(std::string_view(at, n));
                break;
            }
        }
    }
    w.endObject();
    return w.str() + "\n";
}

}  // namespace tv::cli
