#include "preset_io.h"

#include "persist/settings_file.h"
#include "persist/thumbnail.h"
#include "cli_common.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "render_image.h"

namespace tv::cli {

bool loadPresetFile(const std::string& path, ParamRecord& record, std::string* error) {
    persist::ReadReport report;
    platform::clearLastError();
    const int result = persist::openPreset(path, record, nullptr, &report);
    if (result == platform::kFileOk) return true;
    if (error)
        *error = result == platform::kFileOpenError ? cannotRead(path)
                 : report.message.empty()           ? "cannot read \"" + path + "\""
                                                    : report.message;
    return false;
}

bool savePresetFile(const std::string& path, const ParamRecord& record, std::string* error) {
    RenderRequest request;
    request.width = persist::kThumbnailSide;
    request.height = persist::kThumbnailSide;
    request.depth = 8;
    Image image;
    if (!renderImage(record, request, image, error)) return false;
    RgbImage thumbnail(image.width, image.height);
    thumbnail.pixels = image.data;
    ParamRecord named = record;
    StateBlock state{};
    state.thumbnail = &thumbnail;  // borrowed for the write
    platform::clearLastError();
    const int result = persist::savePreset(path, named, &state);
    if (result != platform::kFileOk) {
        if (error) *error = cannotWrite(path);
        return false;
    }
    return true;
}

}  // namespace tv::cli
