// terravane-gimp in a real GIMP: one headless GIMP session (its own profile,
// home and working folders under a temporary folder, only the plug-ins it
// needs) makes images, runs plug-in-terravane as a script does or through its
// dialog (replayed events), and exports them. Every result must equal
// terravane render (or terravane edit, replaying the same events) of the same
// settings, size, depth, colour kind and selection, sample for sample.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "../support/programs.h"
#include "../support/temp_home.h"
#include "image_io.h"
#include "../support/terravane.h"

namespace tv::test {
namespace {

namespace fs = std::filesystem;

// One image the session makes: its size and precision, the layer (its size
// and place), what fills it, the selection, the settings, the file it exports.
struct Case {
    const char* name;
    const char* precision;  // GIMP's: PRECISION-U8-GAMMA ...
    bool grey, alpha;
    bool gradient;          // the layer holds a gradient (else black, or transparent with alpha)
    int32_t imageW, imageH, layerX, layerY, layerW, layerH;
    const char* select;     // "x y w h" of an ellipse with a soft edge, or ""
    const char* settings;   // the procedure's settings argument ("" defaults; {ROOT} is the folder)
    const char* assignments;
    const char* cli;        // terravane render's settings options for the same planet
    const char* events = nullptr;  // the dialog's events for an interactive run (and terravane edit)
};

const Case kCases[] = {
    // A JSON settings file with full 16-bit colours; two tile columns.
    {"rgb8", "PRECISION-U8-GAMMA", false, false, false, 300, 200, 0, 0, 300, 200, "", "{ROOT}/verdance.json", "",
     "--settings verdance.json"},
    // A .q1q settings file through a selection with a soft edge.
    {"rgb16-selection", "PRECISION-U16-GAMMA", false, false, true, 300, 200, 0, 0, 300, 200, "40 20 210 170",
     "{ROOT}/Thalassa.q1q", "", "--preset Thalassa.q1q"},
    // A layer smaller than the image, moved, the selection partly off it;
    // the JSON object itself and an assignment.
    {"grey8-selection", "PRECISION-U8-GAMMA", true, false, true, 300, 200, 60, 30, 200, 150, "20 10 190 160",
     R"({\"planet size\": 70, \"random seed\": 5})", "cloud coverage=80",
     "--settings inline.json --set 'cloud coverage=80'"},
    {"grey16", "PRECISION-U16-GAMMA", true, false, true, 300, 200, 0, 0, 300, 200, "", "", "glue=composite",
     "--defaults --set glue=composite"},
    // A transparent layer: the globe gets its own coverage as alpha.
    {"rgba8", "PRECISION-U8-GAMMA", false, true, false, 160, 120, 0, 0, 160, 120, "", "", "glue=composite\nplanet size=80",
     "--layer --defaults --set glue=composite --set 'planet size=80'"},
    {"rgb32", "PRECISION-FLOAT-GAMMA", false, false, true, 160, 120, 0, 0, 160, 120, "", "{ROOT}/verdance.json", "",
     "--settings verdance.json"},
    // The dialog, starting from the last run's settings, over a selection: its
    // preview shows the layer as terravane edit's shows the same image.
    {"dialog-ok", "PRECISION-U8-GAMMA", false, false, true, 300, 200, 0, 0, 300, 200, "40 20 210 170", "", "",
     "--settings verdance.json", "type 37 30\ndrag @112:0.2,0.3 @112:0.8,0.6\nclick @52\nscreenshot dialog.png\nok\n"},
    // Re-Show: the dialog starts from what OK left.
    {"dialog-again", "PRECISION-U16-GAMMA", true, false, false, 160, 120, 0, 0, 160, 120, "", "", "", "",
     "click @52\nok\n"},
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The session's script: the cases, a repeat with GIMP's last values, a
// floating selection, and two bad settings that must leave the image as it was.
std::string sessionScript(const fs::path& root) {
    std::string s = R"(
(define (tv-layer image w h grey alpha)
  (car (gimp-layer-new image w h (if grey (if alpha GRAYA-IMAGE GRAY-IMAGE) (if alpha RGBA-IMAGE RGB-IMAGE))
                       "layer" 100 LAYER-MODE-NORMAL)))
(define (tv-export image drawable name)
  (if (string=? (substring name (- (string-length name) 4) (string-length name)) ".tif")
      (file-tiff-save RUN-NONINTERACTIVE image drawable name name 0)
      (file-png-save2 RUN-NONINTERACTIVE image drawable name name 0 1 0 0 0 0 0 0 1)))
(define (tv-dialog events)  ; the events the dialog replays next (TERRAVANE_DIALOG_REPLAY)
  (let ((port (open-output-file "{ROOT}/events.txt"))) (display events port) (close-output-port port)))
(define (tv-case name precision grey alpha gradient iw ih lx ly lw lh select settings assignments events out)
  (let* ((image (car (gimp-image-new-with-precision iw ih (if grey GRAY RGB) precision)))
         (layer (tv-layer image lw lh grey alpha)))
    (gimp-image-insert-layer image layer 0 0)
    (gimp-layer-set-offsets layer lx ly)
    (gimp-drawable-fill layer (if alpha FILL-TRANSPARENT FILL-FOREGROUND))
    (if gradient
        (begin
          (gimp-context-set-foreground '(20 40 200))
          (gimp-context-set-background '(250 180 30))
          (gimp-drawable-edit-gradient-fill layer GRADIENT-LINEAR 0 FALSE 1 0 FALSE 0 0 lw lh)
          (gimp-context-set-foreground '(0 0 0))
          (gimp-context-set-background '(0 0 0))
          (tv-export image layer (string-append "{ROOT}/" name "-source" (substring out (- (string-length out) 4) (string-length out))))))
    (if select
        (let ((mask (car (gimp-file-load-layer RUN-NONINTERACTIVE image (string-append "{ROOT}/" name "-mask.png")))))
          (gimp-image-insert-layer image mask 0 -1)
          (gimp-image-select-item image CHANNEL-OP-REPLACE mask)
          (gimp-image-remove-layer image mask)))
    (if (string=? events "")
        (plug-in-terravane RUN-NONINTERACTIVE image layer settings assignments)
        (begin (tv-dialog events) (plug-in-terravane RUN-INTERACTIVE image layer "" "")))
    (tv-export image layer out)
    (gimp-image-delete image)))
(gimp-context-set-foreground '(0 0 0))
(gimp-context-set-background '(0 0 0))
)";
    for (const Case& c : kCases) {
        const std::string out = std::string("{ROOT}/") + c.name + (std::strcmp(c.name, "rgb32") == 0 ? ".tif" : ".png");
        s += std::string("(tv-case \"") + c.name + "\" " + c.precision + (c.grey ? " #t" : " #f") +
             (c.alpha ? " #t" : " #f") + (c.gradient ? " #t " : " #f ") + std::to_string(c.imageW) + " " + std::to_string(c.imageH) + " " +
             std::to_string(c.layerX) + " " + std::to_string(c.layerY) + " " + std::to_string(c.layerW) + " " +
             std::to_string(c.layerH) + (*c.select ? " #t" : " #f") + " \"" + c.settings + "\" \"" +
             replaced(c.assignments, "\n", "\\n") + "\" \"" + replaced(c.events ? c.events : "", "\n", "\\n") +
             "\" \"" + out + "\")\n";
        if (std::strcmp(c.name, "rgb16-selection") == 0) {
            // GIMP's Repeat Last: the settings of the run before, on a new image.
            s += R"(
(let* ((image (car (gimp-image-new-with-precision 300 200 RGB PRECISION-U16-GAMMA)))
       (layer (tv-layer image 300 200 #f #f)))
  (gimp-image-insert-layer image layer 0 0)
  (gimp-drawable-fill layer FILL-FOREGROUND)
  (plug-in-terravane RUN-WITH-LAST-VALS image layer "" "")
  (tv-export image layer "{ROOT}/repeat.png")
  (gimp-image-delete image))
)";
        }
    }
    s += R"(
(let* ((image (car (gimp-image-new 300 200 RGB)))
       (layer (tv-layer image 300 200 #f #f))
       (float #f))
  (gimp-image-insert-layer image layer 0 0)
  (gimp-drawable-fill layer FILL-FOREGROUND)
  (gimp-context-set-feather FALSE)
  (gimp-image-select-rectangle image CHANNEL-OP-REPLACE 40 30 120 90)
  (set! float (car (gimp-selection-float layer 0 0)))
  (plug-in-terravane RUN-NONINTERACTIVE image float "" "planet size=90")
  (gimp-floating-sel-anchor float)
  (tv-export image layer "{ROOT}/floating.png")
  (gimp-image-delete image))
(define tv-message "")
(define (tv-hook . args) (set! tv-message (car args)) (apply throw args))
(set! *error-hook* tv-hook)
(let* ((image (car (gimp-image-new 64 48 RGB)))
       (layer (tv-layer image 64 48 #f #f)))
  (gimp-image-insert-layer image layer 0 0)
  (gimp-context-set-foreground '(200 100 50))
  (gimp-drawable-fill layer FILL-FOREGROUND)
  (for-each (lambda (settings)
              (set! tv-message "")
              (if (string=? settings "")  ; the dialog, cancelled after a change
                  (begin (tv-dialog "type 37 80\ncancel\n")
                         (if (not (car (plug-in-terravane RUN-INTERACTIVE image layer "" "")))
                             (set! tv-message "cancelled")))
                  (catch #f (plug-in-terravane RUN-NONINTERACTIVE image layer settings "")))
              (display (string-append "TV-ERROR " tv-message))
              (newline))
            '("{ROOT}/nothere.json" "{ROOT}/bad.json" ""))
  (tv-export image layer "{ROOT}/bad.png")
  (gimp-image-delete image))
(gimp-quit 0)
)";
    return replaced(s, "{ROOT}", root.string());
}

// Whether result holds expected's samples where the selection (mask's alpha;
// none: everywhere) is not zero, and source's, unchanged, where it is.
bool sameImages(const cli::Image& result, const cli::Image& expected, std::string* why,
                const cli::Image* mask = nullptr, const cli::Image* source = nullptr) {
    if (result.width != expected.width || result.height != expected.height || result.channels != expected.channels ||
        result.depth != expected.depth) {
        *why = std::to_string(result.width) + "x" + std::to_string(result.height) + "x" +
               std::to_string(result.channels) + "@" + std::to_string(result.depth) + " against " +
               std::to_string(expected.width) + "x" + std::to_string(expected.height) + "x" +
               std::to_string(expected.channels) + "@" + std::to_string(expected.depth);
        return false;
    }
    const size_t pixel = size_t(result.channels) * result.sampleBytes();
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < size_t(result.width) * size_t(result.height); ++i) {
        const bool selected = !mask || mask->data[2 * i + 1] != 0;
        const cli::Image* wanted = selected ? &expected : source;
        if (wanted && std::memcmp(&result.data[i * pixel], &wanted->data[i * pixel], pixel) != 0 && differing++ == 0)
            first = i;
    }
    if (differing)
        *why = std::to_string(differing) + " pixels differ, the first at (" + std::to_string(first % size_t(result.width)) +
               ", " + std::to_string(first / size_t(result.width)) + ")";
    return differing == 0;
}

// The part (x, y, w, h) of an image.
cli::Image cropped(const cli::Image& image, int32_t x, int32_t y, int32_t w, int32_t h) {
    cli::Image out;
    out.allocate(w, h, image.channels, image.depth);
    const size_t pixel = size_t(image.channels) * image.sampleBytes();
    for (int32_t row = 0; row < h; ++row)
        std::memcpy(out.data.data() + size_t(row) * out.rowBytes(),
                    image.data.data() + size_t(y + row) * image.rowBytes() + size_t(x) * pixel, size_t(w) * pixel);
    return out;
}

// A selection for GIMP to take from a layer's alpha: an ellipse in (x, y,
// w, h) whose edge fades over a fifth of its radius.
cli::Image ellipseMask(int32_t width, int32_t height, const char* select) {
    float x, y, w, h;
    std::sscanf(select, "%f %f %f %f", &x, &y, &w, &h);
    cli::Image mask;
    mask.allocate(width, height, 2, 8);
    for (int32_t row = 0; row < height; ++row)
        for (int32_t col = 0; col < width; ++col) {
            const float dx = (float(col) + 0.5f - x - w / 2) / (w / 2), dy = (float(row) + 0.5f - y - h / 2) / (h / 2);
            const float a = std::clamp((1.0f - std::sqrt(dx * dx + dy * dy)) * 5.0f, 0.0f, 1.0f);
            uint8_t* p = mask.data.data() + (size_t(row) * size_t(width) + size_t(col)) * 2;
            p[0] = 255;
            p[1] = uint8_t(std::nearbyint(a * 255.0f));
        }
    return mask;
}

class GimpPluginTest : public TempHome {
protected:
    // Runs the session in GIMP (its home, profile and plug-ins in the test's
    // folder); its status, with its output in *output.
    int runGimp(std::string* output) {
        for (const char* folder : {"gimp-home", "profile/gradients", "plug-ins", "cli"})
            fs::create_directories(root_ / folder);
        // GIMP's own plug-ins that the session needs (Script-Fu, PNG, TIFF).
        for (const char* plugin : {"script-fu", "file-png", "file-tiff"})
            fs::create_directory_symlink(fs::path(TV_GIMP_PLUGIN_DIR) / plugin, root_ / "plug-ins" / plugin);
        const std::string presets = std::string(TV_SOURCE_DIR) + "/presets/";
        for (const char* folder : {"", "cli/"}) fs::copy_file(presets + "Thalassa.q1q", path(folder + std::string("Thalassa.q1q")));
        std::string json;
        if (runCommand(terravanePath() + " preset show " + presets + "Verdance.q1q", &json) != 0) return -1;
        writeText(path("verdance.json"), json);
        writeText(path("cli/verdance.json"), json);
        writeText(path("bad.json"), "{\"planet size\": \"big\"}\n");
        writeText(path("cli/inline.json"), "{\"planet size\": 70, \"random seed\": 5}\n");
        writeText(path("session.scm"), sessionScript(root_));
        for (const Case& c : kCases)
            if (*c.select) cli::writeImage(path(c.name + std::string("-mask.png")), ellipseMask(c.imageW, c.imageH, c.select), nullptr);
        const std::string gimpHome = path("gimp-home");
        return runCommand("cd '" + root_.string() + "' && env HOME='" + gimpHome + "' XDG_CONFIG_HOME='" + gimpHome +
                              "/config' XDG_CACHE_HOME='" + gimpHome + "/cache' XDG_DATA_HOME='" + gimpHome +
                              "/data' GIMP2_DIRECTORY='" + path("profile") + "' TERRAVANE_DIALOG_REPLAY='" +
                              path("events.txt") + "' GIMP_TESTING_PLUGINDIRS='" + TV_BINARY_DIR +
                              "/gimp-plug-ins:" + path("plug-ins") + "' gimp -i -d -f -b - <session.scm 2>&1",
                          output);
    }

    // terravane render of the same planet (or terravane edit replaying events), read back.
    cli::Image rendered(const std::string& name, const std::string& args, const char* events = nullptr) {
        if (events) {
            EXPECT_TRUE(writeText(path("cli/" + name + ".events"), events));
        }
        const std::string command = events ? "edit --replay " + name + ".events" : "render";
        const Result r = runTerravane(root_ / "cli", command + " --quiet -o " + name + " " + args);
        EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
        return read("cli/" + name);
    }
    cli::Image read(const std::string& name) {
        cli::Image image;
        std::string error;
        EXPECT_TRUE(cli::readImage(path(name), image, &error)) << error;
        return image;
    }
};

// One test: ctest would start a GIMP session for each.
TEST_F(GimpPluginTest, ScriptedAndDialogRunsEqualTheCommandLineAndFailuresChangeNothing) {
    std::string gimpOutput;
    ASSERT_EQ(runGimp(&gimpOutput), 0) << gimpOutput;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const bool tiff = std::strcmp(c.name, "rgb32") == 0;
        std::string args = std::string(c.cli) + " --size " + std::to_string(c.layerW) + "x" + std::to_string(c.layerH) +
                           (c.grey ? " --gray" : "") + " --depth " +
                           (std::strstr(c.precision, "U16") ? "16" : (tiff ? "32" : "8"));
        const std::string extension = tiff ? ".tif" : ".png", file = c.name + extension;
        cli::Image mask, source;
        if (c.gradient) {
            args += " --source ../" + std::string(c.name) + "-source" + extension;
            source = read(c.name + ("-source" + extension));
        }
        if (*c.select) {
            // The selection's part over the layer.
            mask = cropped(ellipseMask(c.imageW, c.imageH, c.select), c.layerX, c.layerY, c.layerW, c.layerH);
            ASSERT_TRUE(cli::writeImage(path("cli/" + std::string(c.name) + "-mask.png"), mask, nullptr));
            args += std::string(" --mask ") + c.name + "-mask.png";
        }
        std::string why;
        EXPECT_TRUE(sameImages(read(file), rendered(file, args, c.events), &why, *c.select ? &mask : nullptr,
                               c.gradient ? &source : nullptr))
            << why << "\n" << args;
    }
    // The dialog over GIMP's layer looked as terravane edit's over the same image.
    EXPECT_EQ(readBytes(path("dialog.png")), readBytes(path("cli/dialog.png")));
    // Repeat Last after the .q1q run: its full 16-bit colours came back.
    std::string why;
    EXPECT_TRUE(sameImages(read("repeat.png"),
                           rendered("repeat.png", "--preset Thalassa.q1q --size 300x200 --depth 16"), &why))
        << why;
    // The floating selection got a planet of its own size at its place.
    EXPECT_TRUE(sameImages(cropped(read("floating.png"), 40, 30, 120, 90),
                           rendered("floating.png", "--defaults --set 'planet size=90' --size 120x90"), &why))
        << why;

    // Bad settings: a clear error; a cancelled dialog: GIMP hears so; the image as it was.
    const std::string root = root_.string();
    EXPECT_NE(gimpOutput.find("TV-ERROR Procedure execution of plug-in-terravane failed: Terravane: no settings "
                               "file \"" + root + "/nothere.json\""),
              std::string::npos)
        << gimpOutput;
    EXPECT_NE(gimpOutput.find("TV-ERROR Procedure execution of plug-in-terravane failed: Terravane: \"" + root +
                               "/bad.json\": \"planet size\" needs a whole number"),
              std::string::npos)
        << gimpOutput;
    EXPECT_NE(gimpOutput.find("TV-ERROR cancelled"), std::string::npos) << gimpOutput;
    const cli::Image image = read("bad.png");
    ASSERT_EQ(image.channels, 3);
    for (size_t i = 0; i < image.data.size(); i += 3)
        ASSERT_TRUE(image.data[i] == 200 && image.data[i + 1] == 100 && image.data[i + 2] == 50) << "pixel " << i / 3;
}

}  // namespace
}  // namespace tv::test
