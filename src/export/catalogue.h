// The HTML catalogue exports: a page of thumbnails of every preset of a
// folder, or of every filled memory dot. Each thumbnail is rendered from its
// settings, saved as a JPEG file in "web_images" beside the page and shown
// framed, with its name under it.
#pragma once

#include <cstddef>  // before base/image.h, which uses size_t
#include <cstdint>
#include <string>
#include <vector>

#include "base/image.h"
#include "params/params.h"
#include "platform/clock.h"

namespace tv {

constexpr int32_t kPresetThumbnailSide = 88;
constexpr int32_t kDotThumbnailSide = 128;
constexpr int32_t kPresetColumns = 5;
constexpr int32_t kDotColumns = 4;

// Renders the planet of `record` into an RGB image of width x height.
// Returns 0, or an error that ends the export (-128 when the user cancelled).
struct ThumbnailRenderer {
    void* context = nullptr;
    int32_t (*render)(void* context, const ParamRecord& record, int32_t width, int32_t height, RgbImage& out) = nullptr;
};

// Renders thumbnails with the engine: a private copy of the record rendered
// at 8 bits into an export image, its colour planes taken as they are.
ThumbnailRenderer engineThumbnailRenderer();

// Told after each thumbnail: done of total. When cancelled() says so before
// a thumbnail, the export stops with -128 and no page is written.
struct CatalogueProgress {
    void* context = nullptr;
    void (*report)(void* context, int32_t done, int32_t total) = nullptr;
    bool (*cancelled)(void* context) = nullptr;
};

struct CatalogueReport {
    int32_t images = 0;   // thumbnails on the page
    int32_t skipped = 0;  // presets or dots that could not be read
    std::vector<std::string> skippedFiles;  // their settings files
};

// The presets page: every entry of `folder` that is not a folder and whose
// name contains ".q1q", in name order. Each preset is read into a scratch
// record that starts from the defaults (as the Open command does); one that
// cannot be read is skipped. Thumbnails are 88 x 88, named after the preset
// with the extension ".jpg" (the whole file name when it does not end in
// ".q1q"; a number in brackets after a name another preset has taken, so
// that every preset has a picture of its own). Returns 0, 99 when the folder cannot be listed
// or the page cannot be created, -20 when a file cannot be written, or the
// renderer's error.
int32_t writePresetsCatalogue(const std::string& folder, const std::string& pagePath,
                              const ThumbnailRenderer& renderer, const CatalogueProgress& progress,
                              CatalogueReport* report = nullptr);

// The memory-dot page: every dot whose display state is not empty, in order;
// dot n (0..24) is read from its file into a scratch record, rendered at
// 128 x 128 and saved as "dot <n+1>.jpg". The current settings are not
// touched. Same results as above.
int32_t writeMemoryDotsCatalogue(const StateBlock& state, const std::string& pagePath,
                                 const ThumbnailRenderer& renderer, const CatalogueProgress& progress,
                                 CatalogueReport* report = nullptr);

}  // namespace tv
