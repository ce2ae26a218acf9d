#include "clouds/cloud_chooser.h"

namespace tv {

bool openChooser(CloudChooser& chooser, CloudFetchContext& context, ParamRecord& params) {
    if (chooser.open) return false;
    chooser.open = true;
    CloudCatalogue builtIn;
    CloudCatalogue& catalogue = context.catalogue ? *context.catalogue : builtIn;
    CatalogueEntry entry;
    if (getEntry(catalogue, params.downloadedClouds, entry) != kCatalogueOk) params.downloadedClouds = 0;
    chooser.selected = params.downloadedClouds;
    fillChooser(chooser, catalogue);
    return true;
}

void fillChooser(CloudChooser& chooser, CloudCatalogue& catalogue) {
    for (int i = 0; i < kListEntryCount; ++i) {
        CatalogueEntry entry;
        chooser.available[i] = getEntry(catalogue, i, entry) == kCatalogueOk;
        chooser.names[i] = chooser.available[i] ? entry.name : "";
        chooser.urls[i] = chooser.available[i] ? entry.url : "";
    }
    chooser.versionLabel = versionLabel(catalogue);
}

void chooserSelect(CloudChooser& chooser, int index) {
    if (index >= 0 && index < kListEntryCount && chooser.available[index]) chooser.selected = index;
}

ChooserOutcome chooserCommand(CloudChooser& chooser, ChooserCommand command, CloudFetchContext& context,
                              CloudMap& map, ParamRecord& params) {
    ChooserOutcome outcome;
    switch (command) {
        case ChooserCommand::UpdateList: {
            outcome.status = updateUrlList(context);
            CloudCatalogue builtIn;
            fillChooser(chooser, context.catalogue ? *context.catalogue : builtIn);
            return outcome;
        }
        case ChooserCommand::Cancel:
            chooser.open = false;
            outcome.closed = kChooserClosedCancel;
            return outcome;
        case ChooserCommand::Ok:
        case ChooserCommand::TryCacheFirst: {
            const bool cacheFirst = command == ChooserCommand::TryCacheFirst;
            chooser.open = false;
            outcome.closed = cacheFirst ? kChooserClosedCacheFirst : kChooserClosedOk;
            outcome.accepted = true;
            outcome.status = fetchClouds(context, map, &params, chooser.selected, cacheFirst);
            return outcome;
        }
    }
    return outcome;
}

}  // namespace tv
