// The dialog's seam to the host: its previews come through the host's
// advanceState (the image, at the preview's sampling) and go back through the
// host's displayPixels; the start selector runs it through here.
#pragma once

#include <cstdint>

#include "host/frame_render.h"
#include "host/pi/pi_types.h"
#include "host/transfer.h"
#include "params/params.h"
#include "ui/dialog.h"

namespace tv {

struct DialogHost {
    HostTransfer transfer;
    HostBridge bridge;
    FrameEngine* frame = nullptr;
};

// Points host at the filter record and blocks of this selector.
void initDialogHost(DialogHost& host, pi::FilterRecord* record, ParamRecord* params, StateBlock* state,
                    FrameEngine* frame, int16_t* result);
// The preview hooks the dialog renders and shows its preview through.
ui::PreviewHost makePreviewHost(DialogHost& host);

// Renders the preview at the record's sample factor into the state block's
// preview image, the visible window cut to paneWidth x paneHeight (the
// dialog's entry point; the benchmark times it). Returns 0 or the host's result.
int32_t renderDialogPreview(DialogHost& host, int32_t paneWidth, int32_t paneHeight);

// The main dialog of the start selector: 3 when accepted with OK, 2 when
// cancelled, -1 when it could not be shown.
int runStartDialog(pi::FilterRecord* record, ParamRecord* params, StateBlock* state, int16_t* result);

}  // namespace tv
