#include "json_writer.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "base/utf8.h"
#include "params/fields.h"

namespace tv::cli {

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
        } else if (const size_t n = utf8SequenceLength(s, i)) {
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
                // A stored value other than 0 or 1 (older files count real luna
                // from 1) is shown as it is, not as true.
                int32_t v;
                std::memcpy(&v, at, sizeof v);
                if (v == 0 || v == 1)
                    w.boolean(v != 0);
                else
                    w.integer(v);
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
