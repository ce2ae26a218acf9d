// libFuzzer target: the JPEG thumbnail of a settings file. The bytes are the
// thumbnail's stream inside an otherwise sound file; the settings always load,
// and the picture is either a sound one of at most 128 x 128 or the previous
// one, unchanged.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/bytes.h"
#include "clouds/jpeg_memory.h"
#include "persist/settings_file.h"
#include "platform/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tv;
    static const std::vector<uint8_t> head = [] {
        std::vector<uint8_t> bytes = persist::encodeSettings(defaultRecord(), nullptr);
        bytes.resize(bytes.size() - 4);  // the block "no thumbnail"
        return bytes;
    }();
    // The size the block announces: the stream's own when it has a header,
    // so that sound streams reach the picture.
    jpeg::Header header;
    int32_t width = 128, height = 128;
    if (jpeg::readHeader(data, size, header) == jpeg::kOk) width = header.width, height = header.height;
    ByteWriter file;
    file.bytes(head.data(), head.size());
    file.i32(1);
    file.i32(width);
    file.i32(height);
    file.i32(int32_t(size));
    file.bytes(data, size);

    RgbImage picture(2, 2);
    picture.pixels.assign(picture.pixels.size(), 9);
    const RgbImage previous = picture;
    ParamRecord record = defaultRecord();
    persist::ReadReport report;
    const auto& bytes = file.data();
    if (persist::decodeSettings(bytes.data(), bytes.size(), persist::ReadMode::Load, &record, &picture, &report) !=
        platform::kFileOk)
        std::abort();
    if (report.thumbnailLoaded) {
        if (picture.width < 1 || picture.width > persist::kThumbnailMaxSide || picture.height < 1 ||
            picture.height > persist::kThumbnailMaxSide ||
            picture.pixels.size() != size_t(picture.width) * size_t(picture.height) * 3)
            std::abort();
    } else if (picture.width != 2 || picture.pixels != previous.pixels || report.message.empty()) {
        std::abort();
    }
    return 0;
}
