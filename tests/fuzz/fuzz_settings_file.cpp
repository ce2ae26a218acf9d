// libFuzzer target: the settings-file reader. Whatever the bytes, the reader
// must not read out of bounds, must change nothing when it fails, and must
// never leave a picture larger than 128 x 128.
//
// The JPEG thumbnail has a target of its own (fuzz_thumbnail): here a picture
// is asked for only from versions without the JPEG block (their picture is raw
// pixels), so that a run costs a parse, not a JPEG decode and encode.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "persist/settings_file.h"
#include "platform/files.h"

namespace {

void checkAt(bool ok, int line) {
    if (ok) return;
    std::fprintf(stderr, "fuzz_settings_file: the check on line %d failed\n", line);
    std::abort();
}
#define check(ok) checkAt(ok, __LINE__)

bool pictureIsSound(const tv::RgbImage& p) {
    return p.width >= 0 && p.width <= tv::persist::kThumbnailMaxSide && p.height >= 0 &&
           p.height <= tv::persist::kThumbnailMaxSide && p.pixels.size() == size_t(p.width) * size_t(p.height) * 3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tv;
    static const ParamRecord before = defaultRecord();
    static const RgbImage previous = [] {
        RgbImage p(3, 2);
        p.pixels.assign(p.pixels.size(), 77);
        return p;
    }();
    const int32_t version = size >= 4 ? int32_t(uint32_t(data[0]) << 24 | data[1] << 16 | data[2] << 8 | data[3]) : 0;
    const bool rawPicture = version < 40;

    ParamRecord record = before;
    RgbImage picture = previous;
    persist::ReadReport report;
    const int result =
        persist::decodeSettings(data, size, persist::ReadMode::Load, &record, rawPicture ? &picture : nullptr, &report);
    if (result != platform::kFileOk) {
        check(std::memcmp(&record, &before, sizeof record) == 0);
        check(picture.pixels == previous.pixels && picture.width == 3);
        check(!report.message.empty());
    } else {
        check(pictureIsSound(picture) || (picture.width == 3 && picture.pixels == previous.pixels));
        check(report.version >= 1 && report.version <= persist::kSettingsVersion);
        // Whatever was read can be written and read back to the same words.
        const auto again = persist::encodeSettings(record, nullptr);
        ParamRecord reread = before;
        check(persist::decodeSettings(again.data(), again.size(), persist::ReadMode::Load, &reread, nullptr) ==
              platform::kFileOk);
        check(persist::encodeSettings(reread, nullptr) == again);
    }

    // Thumbnail-only: the record is never touched.
    ParamRecord untouched = before;
    RgbImage only;
    persist::decodeSettings(data, size, persist::ReadMode::ThumbnailOnly, &untouched, rawPicture ? &only : nullptr);
    check(std::memcmp(&untouched, &before, sizeof untouched) == 0);
    check(pictureIsSound(only));
    return 0;
}
