#include "export/catalogue.h"

#include <set>
#include <string_view>
#include <vector>

#include "export/html_page.h"
#include "export/thumbnail_jpeg.h"
#include "persist/memory_dots.h"
#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv {

namespace {

constexpr int32_t kCancelled = -128;

struct Item {
    std::string settingsPath;
    std::string stem;     // the caption
    std::string picture;  // the thumbnail's name in "web_images", without ".jpg"
};

// ASCII letters folded: names that differ only in case are one file on some systems.
std::string folded(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

// Gives every item a picture name of its own: the stem for a name that ends
// in ".q1q", else the whole file name ("moon.q1q~"), with " (2)", " (3)" ...
// after a name an earlier item took.
void namePictures(std::vector<Item>& items, const std::vector<std::string>& fileNames) {
    std::set<std::string> taken;
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string& file = fileNames[i];
        const bool plain = file.size() > 4 && file.compare(file.size() - 4, 4, persist::kPresetExtension) == 0;
        const std::string base = plain ? items[i].stem : file;
        std::string name = base;
        for (int n = 2; taken.count(folded(name)); ++n) name = base + " (" + std::to_string(n) + ")";
        taken.insert(folded(name));
        items[i].picture = name;
    }
}

// Renders one item's thumbnail and saves it beside the page. Returns 0, a
// file or render error; *unreadable is set when the settings cannot be read.
int32_t thumbnail(const Item& item, int32_t side, CataloguePage& page, const ThumbnailRenderer& renderer,
                  const platform::CivilTime& date, bool* unreadable) {
    *unreadable = false;
    ParamRecord scratch = defaultRecord();
    if (persist::readSettingsFile(item.settingsPath, persist::ReadMode::Load, &scratch, nullptr) !=
        platform::kFileOk) {
        *unreadable = true;
        return 0;
    }
    if (!renderer.render) return platform::kFileWriteError;
    RgbImage image;
    if (const int32_t rc = renderer.render(renderer.context, scratch, side, side, image); rc != 0) return rc;
    std::vector<uint8_t> jpeg;
    if (encodeThumbnailJpeg(image, scratch.keywordList, date, jpeg) != 0) return platform::kFileWriteError;
    return writePagePicture(page, item.picture + ".jpg", jpeg.data(), jpeg.size());
}

int32_t writeCatalogue(const std::vector<Item>& items, const std::string& pagePath, std::string_view sourceFolder,
                       int32_t kind, int32_t columns, int32_t side, const ThumbnailRenderer& renderer,
                       const CatalogueProgress& progress, CatalogueReport* report) {
    CatalogueReport counts;
    CataloguePage page;
    // A page that is not written leaves none of the pictures it made.
    struct Undo {
        CataloguePage& page;
        bool keep = false;
        ~Undo() {
            if (!keep) removeNewFiles(page);
        }
    } undo{page};
    if (const int32_t rc = beginPage(page, pagePath, sourceFolder, kind, columns); rc != 0) return rc;
    const platform::CivilTime date = platform::utcCivil(platform::unixTime());
    int32_t done = 0;
    for (const Item& item : items) {
        if (progress.cancelled && progress.cancelled(progress.context)) return kCancelled;
        bool unreadable = false;
        if (const int32_t rc = thumbnail(item, side, page, renderer, date, &unreadable); rc != 0) return rc;
        if (unreadable) {
            ++counts.skipped;
            counts.skippedFiles.push_back(item.settingsPath);
        } else {
            addImageCell(page, item.stem, ".jpg", side, side, item.picture);
            ++counts.images;
        }
        if (progress.report) progress.report(progress.context, ++done, int32_t(items.size()));
    }
    if (report) *report = counts;
    const int32_t rc = endPage(page);
    undo.keep = rc == 0;
    return rc;
}

}  // namespace

int32_t writePresetsCatalogue(const std::string& folder, const std::string& pagePath,
                              const ThumbnailRenderer& renderer, const CatalogueProgress& progress,
                              CatalogueReport* report) {
    std::vector<platform::FolderEntry> entries;
    if (!platform::listFolder(folder, entries)) return platform::kFileOpenError;
    std::vector<Item> items;
    std::vector<std::string> names;
    for (const auto& e : entries) {
        if (e.isFolder || e.name.find(persist::kPresetExtension) == std::string::npos) continue;
        items.push_back({platform::joinPath(folder, e.name), platform::stemOf(e.name), ""});
        names.push_back(e.name);
    }
    namePictures(items, names);
    return writeCatalogue(items, pagePath, folder, kCataloguePresets, kPresetColumns, kPresetThumbnailSide, renderer,
                          progress, report);
}

int32_t writeMemoryDotsCatalogue(const StateBlock& state, const std::string& pagePath,
                                 const ThumbnailRenderer& renderer, const CatalogueProgress& progress,
                                 CatalogueReport* report) {
    std::vector<Item> items;
    for (int32_t n = 0; n < kMemoryDotCount; ++n) {
        if (state.dotDisplay[n] == persist::kDotEmpty) continue;
        const std::string name = "dot " + std::to_string(n + 1);
        items.push_back({persist::dotFilePath(n), name, name});
    }
    return writeCatalogue(items, pagePath, "", kCatalogueMemoryDots, kDotColumns, kDotThumbnailSide, renderer,
                          progress, report);
}

}  // namespace tv
