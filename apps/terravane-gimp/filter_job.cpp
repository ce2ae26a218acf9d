#include "filter_job.h"

#include <new>

#include "base/bytes.h"
#include "host.h"
#include "persist/settings_file.h"

namespace tv::gimp {

namespace {

constexpr uint32_t kJobMagic = 0x54564A31;      // "TVJ1"
constexpr uint32_t kOutcomeMagic = 0x54564F31;  // "TVO1"
constexpr uint32_t kTagJob = 1, kTagProgress = 2, kTagOutcome = 3;
// A header holds a descriptor, a settings file and a few words.
constexpr size_t kMaxHeaderBytes = pi::kMaxDescriptorBytes + persist::kSettingsFileMaxBytes + kMaxMessageBytes + 256;

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

void putRect(ByteWriter& w, const Rect& r) {
    w.i32(r.top);
    w.i32(r.left);
    w.i32(r.bottom);
    w.i32(r.right);
}
bool getRect(ByteReader& r, Rect& out) {
    return r.i32(out.top) && r.i32(out.left) && r.i32(out.bottom) && r.i32(out.right);
}

void putBlock(ByteWriter& w, const std::vector<uint8_t>& bytes) {
    w.u32(uint32_t(bytes.size()));
    w.bytes(bytes.data(), bytes.size());
}
bool getBlock(ByteReader& r, std::vector<uint8_t>& out, size_t max) {
    uint32_t n;
    if (!r.u32(n) || n > max || n > r.remaining()) return false;
    out.assign(r.current(), r.current() + n);
    return r.skip(n);
}

void putDescriptor(ByteWriter& w, const std::optional<pi::MemoryDescriptor>& d) {
    w.u8(d ? 1 : 0);
    if (d) putBlock(w, pi::encodeDescriptor(*d));
}
bool getDescriptor(ByteReader& r, std::optional<pi::MemoryDescriptor>& d) {
    uint8_t present;
    if (!r.u8(present) || present > 1) return false;
    d.reset();
    if (!present) return true;
    std::vector<uint8_t> bytes;
    pi::MemoryDescriptor decoded;
    if (!getBlock(r, bytes, pi::kMaxDescriptorBytes) || !pi::decodeDescriptor(bytes.data(), bytes.size(), decoded))
        return false;
    d = std::move(decoded);
    return true;
}

bool inside(const Rect& r, int32_t width, int32_t height) {
    return r.top >= 0 && r.left >= 0 && r.bottom <= height && r.right <= width && !r.empty();
}

bool sendMessage(platform::Channel to, uint32_t tag, const std::vector<uint8_t>& header,
                 const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    ByteWriter w;
    w.u32(tag);
    w.u32(uint32_t(header.size()));
    return platform::writeChannel(to, w.data().data(), w.size()) &&
           platform::writeChannel(to, header.data(), header.size()) &&
           platform::writeChannel(to, a.data(), a.size()) && platform::writeChannel(to, b.data(), b.size());
}

bool readWords(platform::Channel from, uint32_t* words, size_t n) {
    uint8_t bytes[8];
    if (n > 2 || !platform::readChannel(from, bytes, 4 * n)) return false;
    ByteReader r(bytes, 4 * n);
    for (size_t i = 0; i < n; ++i) r.u32(words[i]);
    return true;
}

bool readHeader(platform::Channel from, std::vector<uint8_t>& header) {
    uint32_t size;
    if (!readWords(from, &size, 1) || size > kMaxHeaderBytes) return false;
    header.resize(size);
    return platform::readChannel(from, header.data(), header.size());
}

bool readSamples(platform::Channel from, std::vector<uint8_t>& out, size_t size) {
    try {
        out.resize(size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return platform::readChannel(from, out.data(), size);
}

}  // namespace

size_t FilterJob::pixelBytes() const {
    return size_t(region.width()) * size_t(region.height()) * size_t(colourPlanes + (transparency ? 1 : 0)) *
           size_t(depth / 8);
}

std::vector<uint8_t> encodeJobHeader(const FilterJob& job) {
    ByteWriter w;
    w.u32(kJobMagic);
    w.u8(job.interactive);
    w.i32(job.threads);
    w.u32(uint32_t(job.parentWindow >> 32));
    w.u32(uint32_t(job.parentWindow));
    w.i32(job.width);
    w.i32(job.height);
    w.i32(job.depth);
    w.i32(job.colourPlanes);
    w.u8(job.transparency);
    putRect(w, job.region);
    w.u8(job.floating);
    w.i32(job.floatX);
    w.i32(job.floatY);
    w.u8(job.filterRect ? 1 : 0);
    putRect(w, job.filterRect.value_or(Rect{}));
    putDescriptor(w, job.descriptor);
    putBlock(w, job.cachedSettings);
    w.u8(job.selection.empty() ? 0 : 1);
    return std::move(w.data());
}

bool decodeJobHeader(const uint8_t* data, size_t size, FilterJob& out, std::string* error) {
    ByteReader r(data, size);
    FilterJob job;
    uint32_t magic, windowHigh, windowLow;
    uint8_t interactive, transparency, floating, hasFilterRect, hasSelection;
    Rect filterRect;
    if (!r.u32(magic) || magic != kJobMagic) return fail(error, "not a filter job");
    const bool read = r.u8(interactive) && r.i32(job.threads) && r.u32(windowHigh) && r.u32(windowLow) &&
                      r.i32(job.width) && r.i32(job.height) && r.i32(job.depth) && r.i32(job.colourPlanes) &&
                      r.u8(transparency) && getRect(r, job.region) && r.u8(floating) && r.i32(job.floatX) &&
                      r.i32(job.floatY) && r.u8(hasFilterRect) && getRect(r, filterRect) &&
                      getDescriptor(r, job.descriptor) &&
                      getBlock(r, job.cachedSettings, persist::kSettingsFileMaxBytes) && r.u8(hasSelection);
    if (!read || r.remaining() != 0) return fail(error, "a damaged filter job");
    if (interactive > 1 || transparency > 1 || floating > 1 || hasFilterRect > 1 || hasSelection > 1)
        return fail(error, "a damaged filter job");
    if (job.threads < 0 || job.threads > 100) return fail(error, "a job with " + std::to_string(job.threads) + " threads");
    if (job.depth != 8 && job.depth != 16 && job.depth != 32) return fail(error, "a job of depth " + std::to_string(job.depth));
    if (job.colourPlanes != 1 && job.colourPlanes != 3) return fail(error, "a job with " + std::to_string(job.colourPlanes) + " colour planes");
    if (!host::checkImageSize(job.width, job.height, job.colourPlanes + (transparency ? 1 : 0), job.depth, error))
        return false;
    if (!inside(job.region, job.width, job.height)) return fail(error, "a job region outside its image");
    if (job.floatX < 0 || job.floatY < 0 || job.floatX >= job.width || job.floatY >= job.height)
        return fail(error, "a floating selection outside its image");
    job.interactive = interactive != 0;
    job.parentWindow = uint64_t(windowHigh) << 32 | windowLow;
    job.transparency = transparency != 0;
    job.floating = floating != 0;
    if (hasFilterRect) {
        if (!inside(filterRect, job.width, job.height)) return fail(error, "a filter rectangle outside its image");
        job.filterRect = filterRect;
    }
    job.selection.assign(hasSelection ? 1 : 0, 0);  // the bytes follow the samples
    out = std::move(job);
    return true;
}

std::vector<uint8_t> encodeOutcomeHeader(const FilterOutcome& outcome) {
    ByteWriter w;
    w.u32(kOutcomeMagic);
    w.i16(outcome.result);
    const std::string message = outcome.message.substr(0, kMaxMessageBytes);
    putBlock(w, std::vector<uint8_t>(message.begin(), message.end()));
    putRect(w, outcome.filterRect);
    putDescriptor(w, outcome.recorded);
    putBlock(w, outcome.cachedSettings);
    w.u8(outcome.pixels.empty() ? 0 : 1);
    return std::move(w.data());
}

bool decodeOutcomeHeader(const uint8_t* data, size_t size, FilterOutcome& out, std::string* error) {
    ByteReader r(data, size);
    FilterOutcome outcome;
    uint32_t magic;
    uint16_t result;
    uint8_t hasPixels;
    std::vector<uint8_t> message;
    if (!r.u32(magic) || magic != kOutcomeMagic) return fail(error, "not a filter outcome");
    const bool read = r.u16(result) && getBlock(r, message, kMaxMessageBytes) && getRect(r, outcome.filterRect) &&
                      getDescriptor(r, outcome.recorded) &&
                      getBlock(r, outcome.cachedSettings, persist::kSettingsFileMaxBytes) && r.u8(hasPixels);
    if (!read || r.remaining() != 0 || hasPixels > 1) return fail(error, "a damaged filter outcome");
    outcome.result = int16_t(result);
    outcome.message.assign(message.begin(), message.end());
    outcome.pixels.assign(hasPixels, 0);  // the samples follow
    out = std::move(outcome);
    return true;
}

bool sendJob(platform::Channel to, const FilterJob& job) {
    return sendMessage(to, kTagJob, encodeJobHeader(job), job.pixels, job.selection);
}

bool receiveJob(platform::Channel from, FilterJob& job, std::string* error) {
    uint32_t tag;
    std::vector<uint8_t> header;
    if (!readWords(from, &tag, 1) || tag != kTagJob || !readHeader(from, header))
        return fail(error, "no filter job arrived");
    if (!decodeJobHeader(header.data(), header.size(), job, error)) return false;
    const bool selection = !job.selection.empty();
    if (!readSamples(from, job.pixels, job.pixelBytes()) ||
        !readSamples(from, job.selection, selection ? job.selectionBytes() : 0))
        return fail(error, "the job's samples did not arrive whole");
    return true;
}

bool sendProgress(platform::Channel to, int32_t done, int32_t total) {
    ByteWriter w;
    w.u32(kTagProgress);
    w.i32(done);
    w.i32(total);
    return platform::writeChannel(to, w.data().data(), w.size());
}

bool sendOutcome(platform::Channel to, const FilterOutcome& outcome) {
    return sendMessage(to, kTagOutcome, encodeOutcomeHeader(outcome), outcome.pixels, {});
}

bool receiveOutcome(platform::Channel from, const FilterJob& job, FilterOutcome& outcome,
                    const std::function<void(int32_t, int32_t)>& onProgress, std::string* error) {
    for (;;) {
        uint32_t tag;
        if (!readWords(from, &tag, 1)) return fail(error, "the filter helper ended without an answer");
        if (tag == kTagProgress) {
            uint32_t counts[2];
            if (!readWords(from, counts, 2)) return fail(error, "the filter helper ended without an answer");
            if (onProgress) onProgress(int32_t(counts[0]), int32_t(counts[1]));
            continue;
        }
        std::vector<uint8_t> header;
        if (tag != kTagOutcome || !readHeader(from, header))
            return fail(error, "the filter helper answered something else");
        if (!decodeOutcomeHeader(header.data(), header.size(), outcome, error)) return false;
        const bool pixels = !outcome.pixels.empty();
        if (!readSamples(from, outcome.pixels, pixels ? job.pixelBytes() : 0))
            return fail(error, "the filter helper's samples did not arrive whole");
        return true;
    }
}

}  // namespace tv::gimp
