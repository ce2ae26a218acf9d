// Big-endian byte buffers: the encoding of every file the module writes
// (32-bit words, floats stored as trunc(value x 100000), counted texts).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace tv {

// trunc(v) as a 32-bit word: values outside the word's range saturate and NaN
// gives 0, so no float ever converts out of range.
inline int32_t truncatedToWord(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

class ByteWriter {
public:
    void u8(uint8_t v) { data_.push_back(v); }
    void u16(uint16_t v) {
        u8(uint8_t(v >> 8));
        u8(uint8_t(v));
    }
    void u32(uint32_t v) {
        u16(uint16_t(v >> 16));
        u16(uint16_t(v));
    }
    void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    // A float as the word trunc(value x 100000).
    void scaledFloat(float v) { i32(truncatedToWord(static_cast<double>(v) * 100000.0)); }
    void bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        data_.insert(data_.end(), b, b + n);
    }
    void text(std::string_view s) { bytes(s.data(), s.size()); }
    void zeros(size_t n) { data_.insert(data_.end(), n, 0); }
    // The length without terminator as a word, the characters and a zero byte.
    void countedText(std::string_view s) {
        i32(static_cast<int32_t>(s.size()));
        text(s);
        u8(0);
    }
    void patchU32(size_t at, uint32_t v) {
        data_[at] = uint8_t(v >> 24);
        data_[at + 1] = uint8_t(v >> 16);
        data_[at + 2] = uint8_t(v >> 8);
        data_[at + 3] = uint8_t(v);
    }
    size_t size() const { return data_.size(); }
    const std::vector<uint8_t>& data() const { return data_; }
    std::vector<uint8_t>& data() { return data_; }

private:
    std::vector<uint8_t> data_;
};

// Reads big-endian values from a buffer without ever passing its end: a read
// that would do so fails, leaves the output at zero and marks the reader failed.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit ByteReader(const std::vector<uint8_t>& v) : ByteReader(v.data(), v.size()) {}

    bool ok() const { return ok_; }
    size_t position() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }

    bool u8(uint8_t& v) {
        v = 0;
        if (!need(1)) return false;
        v = data_[pos_++];
        return true;
    }
    bool u16(uint16_t& v) {
        v = 0;
        if (!need(2)) return false;
        v = uint16_t(data_[pos_] << 8 | data_[pos_ + 1]);
        pos_ += 2;
        return true;
    }
    bool u32(uint32_t& v) {
        v = 0;
        if (!need(4)) return false;
        v = uint32_t(data_[pos_]) << 24 | uint32_t(data_[pos_ + 1]) << 16 | uint32_t(data_[pos_ + 2]) << 8 |
            uint32_t(data_[pos_ + 3]);
        pos_ += 4;
        return true;
    }
    bool i32(int32_t& v) {
        uint32_t u;
        const bool r = u32(u);
        v = static_cast<int32_t>(u);
        return r;
    }
    // A word read as integer x 0.00001.
    bool scaledFloat(float& v) {
        int32_t w;
        const bool r = i32(w);
        v = static_cast<float>(w * 0.00001);
        return r;
    }
    bool bytes(void* out, size_t n) {
        if (!need(n)) return false;
        if (n != 0) std::memcpy(out, data_ + pos_, n);  // an empty vector's data() may be null
        pos_ += n;
        return true;
    }
    bool skip(size_t n) {
        if (!need(n)) return false;
        pos_ += n;
        return true;
    }
    const uint8_t* current() const { return data_ + pos_; }

private:
    bool need(size_t n) {
        if (!ok_ || n > size_ - pos_) {
            ok_ = false;
            return false;
        }
        return true;
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace tv
