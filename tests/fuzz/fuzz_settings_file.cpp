// libFuzzer target: the settings-file reader. Whatever the bytes, the reader
// must not read out of bounds, must change nothing when it fails, and must
// never leave a picture larger than 128 x 128.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "persist/settings_file.h"
#include "platform/files.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool pictureIsSound(const tv::RgbImage& p) {
    return p.width >= 0 && p.width <= tv::persist::kThumbnailMaxSide && p.height >= 0 &&
           p.height <= tv::persist::kThumbnailMaxSide && p.pixels.size() == size_t(p.width) * size_t(p.height) * 3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tv;
    const ParamRecord before = defaultRecord();
    RgbImage previous(3, 2);
    previous.pixels.assign(previous.pixels.size(), 77);

    ParamRecord record = before;
    RgbImage picture = previous;
    persist::ReadReport report;
    const int result = persist::decodeSettings(data, size, persist::ReadMode::Load, &record, &picture, &report);
    if (result != platform::kFileOk) {
        check(std::memcmp(&record, &before, sizeof record) == 0);
        check(picture.pixels == previous.pixels && picture.width == 3);
        check(!report.message.empty());
    } else {
        check(pictureIsSound(picture));
        check(report.version >= 1 && report.version <= persist::kSettingsVersion);
        // Whatever was read can be written and read back.
        const auto again = persist::encodeSettings(record, &picture);
        ParamRecord reread = before;
        check(persist::decodeSettings(again.data(), again.size(), persist::ReadMode::Load, &reread, nullptr) ==
              platform::kFileOk);
    }

    // Thumbnail-only: the record is never touched.
    ParamRecord untouched = before;
    RgbImage only;
    persist::decodeSettings(data, size, persist::ReadMode::ThumbnailOnly, &untouched, &only);
    check(std::memcmp(&untouched, &before, sizeof untouched) == 0);
    check(pictureIsSound(only));
    return 0;
}
