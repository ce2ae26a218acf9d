#include "settings_json.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "params/fields.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace tv::cli {

namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// One JSON value of a settings object: a number, a string, true/false, or an
// array of numbers (the colours).
struct Value {
    enum Kind { Number, String, Boolean, Array } kind = Number;
    double number = 0.0;
    bool integral = false;  // written without fraction or exponent
    std::string text;       // String (UTF-8); Number: as written
    bool boolean = false;
    std::vector<Value> items;
};

constexpr size_t kMaxArrayItems = 16;

class Parser {
public:
    explicit Parser(std::string_view s) : s_(s) {}

    bool object(ParamRecord& record, std::string* error);

private:
    void space() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }
    bool eat(char c) {
        space();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool bad(std::string* error, const std::string& what) {
        // Line of the mistake, for a person editing the file.
        int line = 1;
        for (size_t i = 0; i < pos_ && i < s_.size(); ++i) line += s_[i] == '\n';
        return fail(error, what + " (line " + std::to_string(line) + ")");
    }
    bool string(std::string& out, std::string* error);
    bool value(Value& out, bool inArray, std::string* error);
    static void appendUtf8(std::string& out, uint32_t c);
    bool hex4(uint32_t& out);

    std::string_view s_;
    size_t pos_ = 0;
};

void Parser::appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

bool Parser::hex4(uint32_t& out) {
    if (s_.size() - pos_ < 4) return false;
    out = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = s_[pos_++];
        const int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                       : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (d < 0) return false;
        out = out * 16 + uint32_t(d);
    }
    return true;
}

bool Parser::string(std::string& out, std::string* error) {
    if (!eat('"')) return bad(error, "expected a text in double quotes");
    out.clear();
    while (pos_ < s_.size()) {
        const char c = s_[pos_++];
        if (c == '"') return true;
        if (static_cast<unsigned char>(c) < 0x20) return bad(error, "control character inside a text");
        if (out.size() >= 4096) return bad(error, "text too long");
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos_ >= s_.size()) break;
        const char e = s_[pos_++];
        switch (e) {
            case '"': case '\\': case '/': out += e; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                uint32_t c1 = 0;
                if (!hex4(c1)) return bad(error, "bad \\u escape");
                if (c1 >= 0xD800 && c1 < 0xDC00) {
                    uint32_t c2 = 0;
                    if (s_.substr(pos_, 2) != "\\u" || (pos_ += 2, !hex4(c2)) || c2 < 0xDC00 || c2 >= 0xE000)
                        return bad(error, "bad \\u surrogate pair");
                    c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
                } else if (c1 >= 0xDC00 && c1 < 0xE000) {
                    return bad(error, "bad \\u surrogate pair");
                }
                appendUtf8(out, c1);
                break;
            }
            default: return bad(error, "bad escape in a text");
        }
    }
    return bad(error, "unterminated text");
}

bool Parser::value(Value& out, bool inArray, std::string* error) {
    space();
    if (pos_ >= s_.size()) return bad(error, "missing value");
    const char c = s_[pos_];
    if (c == '"') {
        out.kind = Value::String;
        return string(out.text, error);
    }
    if (c == '[') {
        if (inArray) return bad(error, "nested arrays are not settings");
        ++pos_;
        out.kind = Value::Array;
        if (eat(']')) return true;
        do {
            if (out.items.size() >= kMaxArrayItems) return bad(error, "array too long");
            Value item;
            if (!value(item, true, error)) return false;
            out.items.push_back(std::move(item));
        } while (eat(','));
        return eat(']') ? true : bad(error, "expected , or ] in an array");
    }
    for (const char* word : {"true", "false"})
        if (s_.substr(pos_, std::strlen(word)) == word) {
            pos_ += std::strlen(word);
            out.kind = Value::Boolean;
            out.boolean = word[0] == 't';
            return true;
        }
    // A number as JSON writes it.
    const size_t start = pos_;
    if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
    bool integral = true;
    while (pos_ < s_.size() && ((s_[pos_] >= '0' && s_[pos_] <= '9') || s_[pos_] == '.' || s_[pos_] == 'e' ||
                                s_[pos_] == 'E' || s_[pos_] == '+' || s_[pos_] == '-')) {
        if (s_[pos_] == '.' || s_[pos_] == 'e' || s_[pos_] == 'E') integral = false;
        ++pos_;
    }
    out.kind = Value::Number;
    out.text = std::string(s_.substr(start, pos_ - start));
    out.integral = integral;
    const char* first = s_.data() + start;
    const auto [end, ec] = std::from_chars(first, s_.data() + pos_, out.number);
    if (start == pos_ || ec != std::errc() || end != s_.data() + pos_ || !std::isfinite(out.number))
        return bad(error, "expected a value (a number, a text, true, false or an array)");
    return true;
}

// The integer of a number value, within [lo, hi].
bool integerOf(const Value& v, int64_t lo, int64_t hi, int64_t& out) {
    if (v.kind != Value::Number || !v.integral || v.number < double(lo) || v.number > double(hi)) return false;
    out = int64_t(v.number);
    return true;
}

template <typename T>
T& fieldAt(ParamRecord& r, size_t offset) {
    return *reinterpret_cast<T*>(reinterpret_cast<char*>(&r) + offset);
}

// A value for a field of the record by its own name.
bool applyField(ParamRecord& r, const RecordField& f, const Value& v, std::string* error) {
    const std::string name = f.name;
    switch (f.kind) {
        case FieldKind::Int: {
            int64_t i = 0;
            if (f.offset == offsetof(ParamRecord, outputMode) && v.kind == Value::String) {
                const int32_t mode = parseOutputMode(v.text);
                if (!mode) return fail(error, "\"" + name + "\": unknown output mode \"" + v.text + "\"");
                r.outputMode = mode;
                return true;
            }
            if (!integerOf(v, INT32_MIN, INT32_MAX, i))
                return fail(error, "\"" + name + "\" needs a whole number");
            fieldAt<int32_t>(r, f.offset) = int32_t(i);
            return true;
        }
        case FieldKind::Switch: {
            int64_t i = 0;
            if (v.kind == Value::Boolean) i = v.boolean ? 1 : 0;
            else if (!integerOf(v, INT32_MIN, INT32_MAX, i))
                return fail(error, "\"" + name + "\" needs true, false or a whole number");
            fieldAt<int32_t>(r, f.offset) = int32_t(i);
            return true;
        }
        case FieldKind::Float:
            if (v.kind != Value::Number) return fail(error, "\"" + name + "\" needs a number");
            fieldAt<float>(r, f.offset) = float(v.number);
            return true;
        case FieldKind::Colour: {
            Colour16 c;
            int64_t ch[3] = {0, 0, 0};
            if (v.kind != Value::Array || v.items.size() != 3 || !integerOf(v.items[0], 0, 65535, ch[0]) ||
                !integerOf(v.items[1], 0, 65535, ch[1]) || !integerOf(v.items[2], 0, 65535, ch[2]))
                return fail(error, "\"" + name + "\" needs three channels 0 to 65535, e.g. [15132, 17105, 40133]");
            for (int i = 0; i < 3; ++i) c[i] = uint16_t(ch[i]);
            fieldAt<Colour16>(r, f.offset) = c;
            return true;
        }
        case FieldKind::Text:
            if (v.kind != Value::String) return fail(error, "\"" + name + "\" needs a text");
            if (v.text.size() >= size_t(kTextLength) || v.text.find('\0') != std::string::npos)
                return fail(error, "\"" + name + "\" is longer than " + std::to_string(kTextLength - 1) + " bytes");
            setText(fieldAt<char[kTextLength]>(r, f.offset), v.text.c_str());
            return true;
    }
    return fail(error, "\"" + name + "\": unsupported");
}

bool Parser::object(ParamRecord& record, std::string* error) {
    if (!eat('{')) return bad(error, "expected a JSON object {...} of settings");
    if (!eat('}')) {
        do {
            std::string name;
            if (!string(name, error)) return false;
            if (!eat(':')) return bad(error, "expected : after \"" + name + "\"");
            Value v;
            if (!value(v, false, error)) return false;
            if (const RecordField* f = findSettingsField(name)) {
                if (!applyField(record, *f, v, error)) return false;
            } else if (findScriptKey(name)) {
                // A scripting name, with the value as --set takes it.
                const std::string text = v.kind == Value::String    ? v.text
                                         : v.kind == Value::Boolean ? (v.boolean ? "true" : "false")
                                         : v.kind == Value::Number  ? v.text
                                                                    : "[...]";
                if (!applyScriptingAssignment(record, name + "=" + text, error)) return false;
            } else {
                return fail(error, "unknown setting \"" + name + "\" (terravane params lists them)");
            }
        } while (eat(','));
        if (!eat('}')) return bad(error, "expected , or } after a setting");
    }
    space();
    if (pos_ != s_.size()) return bad(error, "unexpected text after the settings object");
    return true;
}

}  // namespace

bool parseSettingsJson(std::string_view text, ParamRecord& record, std::string* error) {
    if (text.size() > kMaxSettingsJsonBytes) return fail(error, "the settings text is larger than 1 MB");
    ParamRecord r = defaultRecord();
    Parser p(text);
    if (!p.object(r, error)) return false;
    record = r;
    return true;
}

bool readSettingsJson(const std::string& path, ParamRecord& record, std::string* error) {
    std::string text;
    if (path == "-") {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0) {
            text.append(buf, n);
            if (text.size() > kMaxSettingsJsonBytes) return fail(error, "the settings on standard input are larger than 1 MB");
        }
        if (std::ferror(stdin)) return fail(error, "cannot read the settings from standard input");
    } else {
        std::vector<uint8_t> bytes;
        platform::clearLastError();
        if (platform::isFolder(path)) return fail(error, "cannot read \"" + path + "\": it is a folder");
        if (!platform::readFile(path, bytes, kMaxSettingsJsonBytes)) {
            const std::string why = platform::lastErrorText();
            return fail(error, "cannot read \"" + path + "\"" + (why.empty() ? " (larger than 1 MB?)" : ": " + why));
        }
        text.assign(bytes.begin(), bytes.end());
    }
    std::string why;
    if (!parseSettingsJson(text, record, &why))
        return fail(error, (path == "-" ? std::string("standard input") : "\"" + path + "\"") + ": " + why);
    return true;
}

bool applySettingAssignment(ParamRecord& record, std::string_view assignment, std::string* error) {
    const size_t eq = assignment.find('=');
    const std::string name(trim(assignment.substr(0, eq == std::string_view::npos ? 0 : eq)));
    if (eq == std::string_view::npos || findScriptKey(name) || !findSettingsField(name))
        return applyScriptingAssignment(record, assignment, error);
    // A field by its own name: the value read as JSON would carry it.
    const RecordField& f = *findSettingsField(name);
    std::string value(trim(assignment.substr(eq + 1)));
    std::string json;
    if (f.kind == FieldKind::Colour) {
        if (value.empty() || value.front() != '[') value = "[" + value + "]";
        json = value;
    } else if (f.kind == FieldKind::Text ||
               (f.offset == offsetof(ParamRecord, outputMode) && !value.empty() && !std::isdigit(uint8_t(value[0])))) {
        std::string quoted = "\"";
        for (char c : value) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        json = quoted + "\"";
    } else {
        json = value;
    }
    ParamRecord r = record;
    std::string why;
    // Read as a one-member object over the current record (not the defaults).
    const std::string object = "{\"" + name + "\": " + json + "}";
    Parser one(object);
    if (!one.object(r, &why)) {
        if (why.find("\"" + name + "\"") == std::string::npos) why = "unreadable value \"" + value + "\" for \"" + name + "\"";
        return fail(error, why);
    }
    record = r;
    return true;
}

}  // namespace tv::cli
