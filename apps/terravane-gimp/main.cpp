// terravane-gimp: the module in GIMP 2.10, as "Filters > Render > Terravane..."
// and as the procedure plug-in-terravane for scripts.
//
// GIMP starts this program and talks to it through libgimp (GIMP's side:
// the drawable, the selection, undo, progress, the last values). The module
// itself runs in a second copy of the program, the filter helper, which hosts
// it with the command-line host's suites: GIMP ends a plug-in whose progress
// the user cancels, and the helper then tells the module through abortProc.
// The helper never loads GIMP's user-interface libraries, so the module's
// dialog can use its own toolkit.
#include <libgimp/gimp.h>

#include <cstring>
#include <new>
#include <string>

#include "filter_helper.h"
#include "gimp_image_io.h"
#include "played_settings.h"
#include "settings_source.h"

namespace {

using namespace tv;
using namespace tv::gimp;

constexpr const char* kProcedure = "plug-in-terravane";
constexpr const char* kLastSettingsKey = "plug-in-terravane-settings";

// GIMP's last values: the descriptor the module recorded (under the
// procedure's name) and the settings file it wrote.
std::vector<uint8_t> storedData(const char* key) {
    const gint size = gimp_get_data_size(key);
    std::vector<uint8_t> bytes(size > 0 ? size_t(size) : 0);
    if (!bytes.empty() && !gimp_get_data(key, bytes.data())) bytes.clear();
    return bytes;
}

void storeLastValues(const FilterOutcome& outcome) {
    if (outcome.recorded) {
        const std::vector<uint8_t> bytes = pi::encodeDescriptor(*outcome.recorded);
        gimp_set_data(kProcedure, bytes.data(), guint32(bytes.size()));
    }
    if (!outcome.cachedSettings.empty())
        gimp_set_data(kLastSettingsKey, outcome.cachedSettings.data(), guint32(outcome.cachedSettings.size()));
}

// The settings brought to the module the way that keeps them whole.
void playSettings(const ParamRecord& record, FilterJob& job) {
    const cli::SettingsPlay play = cli::planSettingsPlay(record);
    if (!play.loss.empty())
        g_printerr("terravane-gimp: these settings reach the module through its settings file, which keeps light, "
                   "axis and centre to its own precision: %s\n", play.loss.c_str());
    if (play.viaDescriptor)
        job.descriptor = play.descriptor;
    else
        job.cachedSettings = play.cachedFile;
}

// Runs the job in the filter helper, with its progress in GIMP's progress bar.
// A dialog's run starts the bar at its first report, once the user has
// pressed OK and the render has begun (the dialog has a Cancel of its own).
bool runInHelper(const FilterJob& job, FilterOutcome& outcome, std::string* error) {
    platform::ChildProcess helper;
    if (!platform::startChild(platform::currentProgram(), {"terravane-gimp", kHelperArgument}, helper, error))
        return false;
    bool answered = sendJob(helper.toChild, job);
    bool started = !job.interactive;
    if (answered)
        answered = receiveOutcome(helper.fromChild, job, outcome, [&](int32_t done, int32_t total) {
            if (!started) gimp_progress_init("Terravane");
            started = true;
            if (total > 0) gimp_progress_update(double(done) / double(total));
        }, error);
    else if (error)
        *error = "the filter helper did not take the image";
    platform::waitChild(helper);
    return answered;
}

GimpPDBStatusType filter(GimpRunMode mode, gint32 image, gint32 drawable, const std::string& settings,
                         const std::string& assignments, std::string& message) {
    FilterJob request;
    if (mode == GIMP_RUN_NONINTERACTIVE) {
        ParamRecord record;
        if (!settingsFromScript(settings, assignments, record, &message)) return GIMP_PDB_EXECUTION_ERROR;
        playSettings(record, request);
    } else if (const auto last = settingsFromLastValues(storedData(kProcedure), storedData(kLastSettingsKey))) {
        playSettings(*last, request);  // without last values the module takes its own cached settings
    }

    // The dialog (Filters > Render > Terravane... and Re-Show) opens with the
    // last values, over the window the filter was chosen in.
    const bool interactive = mode == GIMP_RUN_INTERACTIVE;
    if (!interactive) gimp_progress_init("Terravane");
    DrawableJob d;
    if (!readDrawable(image, drawable, d, &message)) return GIMP_PDB_EXECUTION_ERROR;
    if (d.job.region.empty()) return GIMP_PDB_SUCCESS;  // the selection does not touch this drawable
    FilterJob& job = d.job;
    job.descriptor = request.descriptor;
    job.cachedSettings = request.cachedSettings;
    job.interactive = interactive;
    if (interactive) job.parentWindow = uint64_t(gimp_progress_get_window_handle());

    FilterOutcome outcome;
    if (!runInHelper(job, outcome, &message)) return GIMP_PDB_EXECUTION_ERROR;
    if (outcome.result == pi::userCanceledErr) {
        message = outcome.message;
        return GIMP_PDB_CANCEL;
    }
    if (outcome.result != 0) {
        message = outcome.message;
        return GIMP_PDB_EXECUTION_ERROR;
    }
    if (!writeDrawable(d, outcome, &message)) return GIMP_PDB_EXECUTION_ERROR;
    gimp_progress_update(1.0);
    storeLastValues(outcome);
    if (mode != GIMP_RUN_NONINTERACTIVE) gimp_displays_flush();
    return GIMP_PDB_SUCCESS;
}

// GEGL for buffers only. Loading its operation modules and reading babl's
// cache of conversion paths took seconds a run, and this program needs
// neither: its few conversions are found when first asked for. The environment is put back before anything else
// starts, so the filter helper gets it as GIMP gave it.
void initBuffers() {
    const char* names[] = {"XDG_CACHE_HOME", "GEGL_PATH"};
    std::string saved[2];
    bool had[2];
    for (int i = 0; i < 2; ++i) {
        const char* v = g_getenv(names[i]);
        had[i] = v != nullptr;
        if (v) saved[i] = v;
        g_setenv(names[i], "/nonexistent", TRUE);
    }
    gegl_init(nullptr, nullptr);
    for (int i = 0; i < 2; ++i) {
        if (had[i])
            g_setenv(names[i], saved[i].c_str(), TRUE);
        else
            g_unsetenv(names[i]);
    }
}

void query() {
    static const GimpParamDef args[] = {
        {GIMP_PDB_INT32, const_cast<gchar*>("run-mode"),
         const_cast<gchar*>("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1), RUN-WITH-LAST-VALS (2) }")},
        {GIMP_PDB_IMAGE, const_cast<gchar*>("image"), const_cast<gchar*>("Input image")},
        {GIMP_PDB_DRAWABLE, const_cast<gchar*>("drawable"), const_cast<gchar*>("Input drawable")},
        {GIMP_PDB_STRING, const_cast<gchar*>("settings"),
         const_cast<gchar*>("The settings: a JSON settings file (as terravane preset show prints), a .q1q settings "
                            "file, the JSON object itself, or empty for the defaults (non-interactive runs only)")},
        {GIMP_PDB_STRING, const_cast<gchar*>("assignments"),
         const_cast<gchar*>("\"NAME=VALUE\" lines applied after the settings, as terravane render --set takes them "
                            "(\"planet size=80\"); may be empty")},
    };
    gimp_install_procedure(kProcedure, "Makes planets",
                           "Renders a planet into the layer or the selection with the Terravane filter module. "
                           "Interactive runs show the module's own dialog; scripts give the settings.",
                           "Bramble Kiln", "Bramble Kiln", "2024", "_Terravane...", "RGB*, GRAY*", GIMP_PLUGIN,
                           G_N_ELEMENTS(args), 0, args, nullptr);
    gimp_plugin_menu_register(kProcedure, "<Image>/Filters/Render");
}

void run(const gchar*, gint nparams, const GimpParam* params, gint* nreturn, GimpParam** returned) {
    static GimpParam values[2];
    static std::string message;
    *returned = values;
    *nreturn = 1;
    values[0].type = GIMP_PDB_STATUS;
    GimpPDBStatusType status = GIMP_PDB_CALLING_ERROR;
    message = "plug-in-terravane needs a run mode, an image and a drawable";
    if (nparams >= 3) {
        initBuffers();
        const auto mode = GimpRunMode(params[0].data.d_int32);
        const std::string settings = nparams > 3 && params[3].data.d_string ? params[3].data.d_string : "";
        const std::string assignments = nparams > 4 && params[4].data.d_string ? params[4].data.d_string : "";
        message.clear();
        try {
            status = filter(mode, params[1].data.d_image, params[2].data.d_drawable, settings, assignments, message);
        } catch (const std::bad_alloc&) {
            status = GIMP_PDB_EXECUTION_ERROR;
            message = "not enough memory for this image";
        }
    }
    values[0].data.d_status = status;
    if (status != GIMP_PDB_SUCCESS && !message.empty()) {
        message = "Terravane: " + message;
        *nreturn = 2;
        values[1].type = GIMP_PDB_STRING;
        values[1].data.d_string = const_cast<gchar*>(message.c_str());
    }
}

const GimpPlugInInfo kPlugInInfo = {nullptr, nullptr, query, run};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], kHelperArgument) == 0) return filterHelperMain();
    return gimp_main(&kPlugInInfo, argc, argv);
}
