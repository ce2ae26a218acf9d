// A settings file read and written again keeps its words: light and axis
// (stored as value x 100, truncated toward zero) no longer lose 0.01 at each
// save and load.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv {
namespace {

// Words 50 to 55 of a version-40 file: light x, y, z, axis x, y, z.
constexpr size_t kLightWord = 49;

TEST(SettingsRoundTrip, LightAndAxisWordsSurviveRepeatedLoadsAndSaves) {
    for (int32_t w = -20000; w <= 20000; w += (w >= -300 && w < 300) ? 1 : 97) {
        std::vector<uint8_t> file = persist::encodeSettings(defaultRecord(), nullptr);
        for (size_t i = 0; i < 6; ++i) {
            const int32_t v = i % 2 ? -w : w;
            const size_t at = (kLightWord + i) * 4;
            file[at] = uint8_t(v >> 24), file[at + 1] = uint8_t(v >> 16), file[at + 2] = uint8_t(v >> 8),
            file[at + 3] = uint8_t(v);
        }
        std::vector<uint8_t> bytes = file;
        for (int cycle = 0; cycle < 3; ++cycle) {
            ParamRecord r = defaultRecord();
            ASSERT_EQ(persist::decodeSettings(bytes.data(), bytes.size(), persist::ReadMode::Load, &r, nullptr),
                      platform::kFileOk);
            bytes = persist::encodeSettings(r, nullptr);
            ASSERT_EQ(bytes, file) << "word " << w << ", cycle " << cycle;
        }
    }
}

}  // namespace
}  // namespace tv
