// The model behind the "Choose clouds" dialog: twelve entries with their
// availability, the selected one, the version label, and the four commands
// ("Update this list", "OK", "Try cache first", "Cancel"). The dialog (or the
// command line) shows the model and forwards clicks; the model does the work.
#pragma once

#include <cstdint>
#include <string>

#include "clouds/cloud_cache.h"

namespace tv {

constexpr int kChooserFirstRadio = 6;  // radio buttons 6..17 stand for entries 0..11
constexpr int kChooserVersionLabel = 20;

// How the chooser closed.
constexpr int kChooserStaysOpen = 0;
constexpr int kChooserClosedOk = 1;
constexpr int kChooserClosedCancel = 2;
constexpr int kChooserClosedCacheFirst = 3;

struct CloudChooser {
    bool open = false;
    int32_t selected = 0;                      // catalogue index of the checked radio button
    bool available[kListEntryCount] = {};      // enabled radio buttons
    std::string names[kListEntryCount];        // the entry names ("" keeps the button's own text)
    std::string urls[kListEntryCount];         // completed addresses, for showing
    std::string versionLabel;                  // "v. 07"
};

enum class ChooserCommand { UpdateList, Ok, TryCacheFirst, Cancel };

struct ChooserOutcome {
    int closed = kChooserStaysOpen;  // kChooserClosed... when the command closed the chooser
    bool accepted = false;           // OK or "Try cache first": the caller switches real clouds on when a map is loaded
    int status = 0;                  // result of the list update or the fetch (0 success)
};

// Opens the chooser: false when it is already open. Selects `downloaded
// clouds` (0 when that entry does not exist) and fills the entries.
bool openChooser(CloudChooser& chooser, CloudFetchContext& context, ParamRecord& params);
// Refills names, availability and the version label from the catalogue.
void fillChooser(CloudChooser& chooser, CloudCatalogue& catalogue);
// A click on the radio button of entry index; ignored for a disabled one.
void chooserSelect(CloudChooser& chooser, int index);
// A command button. OK and "Try cache first" close the chooser and then fetch
// the selected entry; "Update this list" downloads and rereads the list and
// stays open; "Cancel" closes.
ChooserOutcome chooserCommand(CloudChooser& chooser, ChooserCommand command, CloudFetchContext& context,
                              CloudMap& map, ParamRecord& params);

}  // namespace tv
