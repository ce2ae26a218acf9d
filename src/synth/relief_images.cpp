#include "synth/relief_images.h"

// The pixel data is generated at build time by tools/gen_reliefs.cpp.
namespace tv::relief_data {
extern const unsigned char pixels151[512 * 512 + 1];
extern const unsigned char pixels146[384 * 384 + 1];
extern const unsigned char pixels148[384 * 384 + 1];
extern const unsigned char pixels149[384 * 384 + 1];
extern const unsigned char pixels150[384 * 384 + 1];
}  // namespace tv::relief_data

namespace tv {

bool findReliefImage(int32_t resourceId, ReliefImage& image) {
    using namespace relief_data;
    image = ReliefImage{};
    switch (resourceId) {
        case 151: image = {pixels151, 512, 512}; return true;
        case 146: image = {pixels146, 384, 384}; return true;
        case 148: image = {pixels148, 384, 384}; return true;
        case 149: image = {pixels149, 384, 384}; return true;
        case 150: image = {pixels150, 384, 384}; return true;
        default: return false;
    }
}

}  // namespace tv
