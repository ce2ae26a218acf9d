// A small JSON printer: one object of named values, printed in order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "params/params.h"

namespace tv::cli {

class JsonWriter {
public:
    void beginObject();
    void endObject();
    void key(std::string_view name);
    void integer(int64_t v);
    void number(double v);  // shortest text that reads back as the same float
    void boolean(bool v);
    void text(std::string_view s);  // escaped; bytes that are not UTF-8 read as Latin-1
    void integerArray(const int64_t* values, int count);
    const std::string& str() const { return out_; }

private:
    void separator();
    std::string out_;
    bool first_ = true;
};

// The settings of a record as one JSON object keyed by the record's field
// names; colours as three 16-bit channels.
std::string settingsJson(const ParamRecord& record);

}  // namespace tv::cli
