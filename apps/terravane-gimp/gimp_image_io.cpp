#include "gimp_image_io.h"

#include <libgimp/gimp.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host.h"
#include "image_io.h"

namespace tv::gimp {

namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// GIMP's 16-bit samples run to 65535, the host's to 32768: taken as the
// command-line host takes a 16-bit file's (the value as a float, then the
// host image's rounding), so that both give the module the same samples.
uint16_t hostSample16(uint16_t v) {
    return uint16_t(std::clamp(std::nearbyint(float(v) / 65535.0f * 32768.0f), 0.0f, 32768.0f));
}

int32_t depthOf(GimpPrecision precision) {
    switch (precision) {
        case GIMP_PRECISION_U8_LINEAR:
        case GIMP_PRECISION_U8_GAMMA: return 8;
        case GIMP_PRECISION_U16_LINEAR:
        case GIMP_PRECISION_U16_GAMMA: return 16;
        default: return 32;  // 32-bit integers, half, float and double: the float host image
    }
}

// The format samples are read and written in: the image's colours as the
// planet is rendered (gamma-encoded), a channel's values as they are.
const Babl* formatOf(bool channel, bool colour, bool alpha, int32_t depth) {
    std::string name = channel ? "Y" : (colour ? "R'G'B'" : "Y'");
    if (alpha) name += "A";
    name += depth == 8 ? " u8" : (depth == 16 ? " u16" : " float");
    return babl_format(name.c_str());
}

void copySample(const uint8_t* from, uint8_t* to, int32_t depth, bool toHost) {
    if (depth == 16) {
        uint16_t v;
        std::memcpy(&v, from, 2);
        v = toHost ? hostSample16(v) : cli::fileSample16(v);
        std::memcpy(to, &v, 2);
    } else {
        std::memcpy(to, from, size_t(depth / 8));
    }
}

}  // namespace

bool readDrawable(int32_t image, int32_t drawable, DrawableJob& out, std::string* error) {
    DrawableJob d;
    d.image = image;
    d.drawable = drawable;
    FilterJob& job = d.job;
    const bool layer = gimp_item_is_layer(drawable);
    const bool floating = layer && gimp_layer_is_floating_sel(drawable);
    const bool channel = gimp_item_is_channel(drawable) || gimp_item_is_layer_mask(drawable);
    const bool colour = gimp_drawable_is_rgb(drawable);
    if (!colour && !gimp_drawable_is_gray(drawable)) return fail(error, "only RGB and grey images can be filtered");
    const bool alpha = gimp_drawable_has_alpha(drawable);
    job.depth = depthOf(gimp_image_get_precision(image));
    job.colourPlanes = colour ? 3 : 1;
    // A floating selection and a layer whose alpha is locked keep their alpha:
    // the module gets the colours only.
    job.transparency = alpha && !floating && !(layer && gimp_layer_get_lock_alpha(drawable));
    d.gimpChannels = job.colourPlanes + (alpha ? 1 : 0);
    d.format = formatOf(channel, colour, alpha, job.depth);

    const int32_t width = gimp_drawable_width(drawable), height = gimp_drawable_height(drawable);
    d.drawableWidth = width;
    d.drawableHeight = height;
    gint x = 0, y = 0, w = width, h = height;
    const bool selection = !floating && !gimp_item_is_selection(drawable) && !gimp_selection_is_empty(image);
    if (!floating && !gimp_drawable_mask_intersect(drawable, &x, &y, &w, &h)) {
        out = std::move(d);  // the selection misses this drawable
        return true;
    }
    if (floating) {
        // Over the image at its place (kept inside the host image's first quadrant).
        gint ox = 0, oy = 0;
        gimp_drawable_offsets(drawable, &ox, &oy);
        job.floating = true;
        job.floatX = std::max(ox, 0);
        job.floatY = std::max(oy, 0);
        job.width = job.floatX + width;
        job.height = job.floatY + height;
        job.region = {job.floatY, job.floatX, job.floatY + height, job.floatX + width};
        job.filterRect = Rect{0, 0, height, width};
        d.dx = -job.floatX;
        d.dy = -job.floatY;
    } else {
        // The host image is the part under the selection's bounds.
        job.width = w;
        job.height = h;
        job.region = {0, 0, h, w};
        d.dx = x;
        d.dy = y;
    }
    if (!host::checkImageSize(job.width, job.height, job.colourPlanes + (job.transparency ? 1 : 0), job.depth, error))
        return false;

    const GeglRectangle rect{job.region.left + d.dx, job.region.top + d.dy, job.region.width(), job.region.height()};
    const size_t pixels = size_t(rect.width) * size_t(rect.height), bytes = size_t(job.depth / 8);
    std::vector<uint8_t> samples(pixels * size_t(d.gimpChannels) * bytes);
    GeglBuffer* buffer = gimp_drawable_get_buffer(drawable);
    gegl_buffer_get(buffer, &rect, 1.0, d.format, samples.data(), GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    g_object_unref(buffer);
    const size_t hostPlanes = size_t(job.colourPlanes + (job.transparency ? 1 : 0));
    job.pixels.resize(pixels * hostPlanes * bytes);
    for (size_t i = 0; i < pixels; ++i)
        for (size_t c = 0; c < hostPlanes; ++c)
            copySample(&samples[(i * size_t(d.gimpChannels) + c) * bytes], &job.pixels[(i * hostPlanes + c) * bytes],
                       job.depth, true);

    if (selection) {
        gint ox = 0, oy = 0;
        gimp_drawable_offsets(drawable, &ox, &oy);
        job.selection.resize(pixels);
        const GeglRectangle at{rect.x + ox, rect.y + oy, rect.width, rect.height};
        GeglBuffer* mask = gimp_drawable_get_buffer(gimp_image_get_selection(image));
        gegl_buffer_get(mask, &at, 1.0, babl_format("Y u8"), job.selection.data(), GEGL_AUTO_ROWSTRIDE,
                        GEGL_ABYSS_NONE);
        g_object_unref(mask);
        if (std::all_of(job.selection.begin(), job.selection.end(), [](uint8_t v) { return v == 0; }))
            return fail(error, "the selection selects no pixel of this layer by as much as 1/255");
    }
    out = std::move(d);
    return true;
}

bool writeDrawable(const DrawableJob& d, const FilterOutcome& outcome, std::string* error) {
    const FilterJob& job = d.job;
    const Rect& region = job.region;
    const Rect changed{std::max(outcome.filterRect.top, region.top), std::max(outcome.filterRect.left, region.left),
                       std::min(outcome.filterRect.bottom, region.bottom),
                       std::min(outcome.filterRect.right, region.right)};
    if (changed.empty()) return true;
    if (outcome.pixels.size() != job.pixelBytes()) return fail(error, "the filter helper sent a result of another size");
    // The user may have closed the image or changed the layer while the dialog was up.
    const int32_t image = d.image, drawable = d.drawable;
    if (!gimp_item_is_valid(drawable) || gimp_drawable_width(drawable) != d.drawableWidth ||
        gimp_drawable_height(drawable) != d.drawableHeight)
        return fail(error, "the layer was closed or changed its size while the dialog was open");

    // The result where the module rendered and the selection is not zero;
    // GIMP's own samples elsewhere.
    const GeglRectangle rect{changed.left + d.dx, changed.top + d.dy, changed.width(), changed.height()};
    const size_t bytes = size_t(job.depth / 8), gimpPlanes = size_t(d.gimpChannels);
    const size_t hostPlanes = size_t(job.colourPlanes + (job.transparency ? 1 : 0));
    std::vector<uint8_t> merged(size_t(rect.width) * size_t(rect.height) * gimpPlanes * bytes);
    GeglBuffer* buffer = gimp_drawable_get_buffer(drawable);
    gegl_buffer_get(buffer, &rect, 1.0, d.format, merged.data(), GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    g_object_unref(buffer);
    uint8_t* to = merged.data();
    for (int32_t y = changed.top; y < changed.bottom; ++y)
        for (int32_t x = changed.left; x < changed.right; ++x, to += gimpPlanes * bytes) {
            const size_t i = size_t(y - region.top) * size_t(region.width()) + size_t(x - region.left);
            if (!job.selection.empty() && job.selection[i] == 0) continue;
            for (size_t c = 0; c < hostPlanes; ++c)
                copySample(&outcome.pixels[(i * hostPlanes + c) * bytes], to + c * bytes, job.depth, false);
        }

    // The result into the shadow first: this takes a while for a large image,
    // and GIMP may end this program meanwhile (its cancel), which must leave
    // no undo step begun.
    GeglBuffer* shadow = gimp_drawable_get_shadow_buffer(drawable);
    gegl_buffer_set(shadow, &rect, 0, d.format, merged.data(), GEGL_AUTO_ROWSTRIDE);
    g_object_unref(shadow);

    // GIMP lays a filter's result through the selection; the module has done
    // that already, so for the merge the selection is the changed rectangle,
    // and afterwards the user's selection again. One undo step holds it all.
    gint ox = 0, oy = 0;
    gimp_drawable_offsets(drawable, &ox, &oy);
    const bool selection = !gimp_item_is_selection(drawable) && !gimp_selection_is_empty(image);
    const gint32 activeLayer = gimp_image_get_active_layer(image), activeChannel = gimp_image_get_active_channel(image);
    gimp_image_undo_group_start(image);
    gint32 saved = -1;
    if (selection) {
        saved = gimp_selection_save(image);
        gimp_context_push();
        gimp_context_set_feather(FALSE);
        gimp_image_select_rectangle(image, GIMP_CHANNEL_OP_REPLACE, rect.x + ox, rect.y + oy, rect.width, rect.height);
        gimp_context_pop();
    }
    const bool merged_ok = gimp_drawable_merge_shadow(drawable, TRUE);
    gimp_drawable_update(drawable, rect.x, rect.y, rect.width, rect.height);
    if (saved != -1) {
        gimp_image_select_item(image, GIMP_CHANNEL_OP_REPLACE, saved);
        gimp_image_remove_channel(image, saved);
        if (activeChannel != -1)
            gimp_image_set_active_channel(image, activeChannel);
        else if (activeLayer != -1)
            gimp_image_set_active_layer(image, activeLayer);
    }
    gimp_image_undo_group_end(image);
    return merged_ok ? true : fail(error, "GIMP did not take the result into the layer");
}

}  // namespace tv::gimp
