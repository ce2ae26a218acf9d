// The GTK 3 window peer: a top-level window whose drawing area shows the
// client's canvas at the screen's scale factor, forwards mouse, key and
// timer events, and runs a nested main loop while the dialog is up. GTK may
// already be running in the process (a paint program that hosts us): it is
// initialised only when it is not, and the peer never runs the main loop of
// its own beyond the modal one.
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "platform/window.h"

#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
// X11's names for numbers that would stand for ours.
#undef None
#undef CursorShape
#endif

namespace tv::platform {

namespace {

bool initialised(std::string* why) {
    if (gdk_display_get_default()) return true;
    if (gtk_init_check(nullptr, nullptr) && gdk_display_get_default()) return true;
    if (why) {
        const char* display = g_getenv("DISPLAY");
        const char* wayland = g_getenv("WAYLAND_DISPLAY");
        *why = (display && *display) || (wayland && *wayland) ? "cannot open the display"
                                                              : "no display (DISPLAY is not set)";
    }
    return false;
}

uint32_t modifiersOf(guint state) {
    uint32_t m = 0;
    if (state & GDK_SHIFT_MASK) m |= kModShift;
    if (state & GDK_CONTROL_MASK) m |= kModControl;
    if (state & GDK_MOD1_MASK) m |= kModAlt;
    return m;
}

Key keyOf(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
        case GDK_KEY_KP_Tab: return Key::Tab;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter: return Key::Return;
        case GDK_KEY_Escape: return Key::Escape;
        case GDK_KEY_space: return Key::Space;
        case GDK_KEY_BackSpace: return Key::Backspace;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete: return Key::Delete;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left: return Key::Left;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right: return Key::Right;
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up: return Key::Up;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down: return Key::Down;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home: return Key::Home;
        case GDK_KEY_End:
        case GDK_KEY_KP_End: return Key::End;
        case GDK_KEY_Page_Up:
        case GDK_KEY_KP_Page_Up: return Key::PageUp;
        case GDK_KEY_Page_Down:
        case GDK_KEY_KP_Page_Down: return Key::PageDown;
        default: return gdk_keyval_to_unicode(keyval) ? Key::Character : Key::None;
    }
}

// The extension of a pattern such as "*.q1q" (".q1q"); empty for "*".
std::string extensionOfPattern(const std::string& pattern) {
    if (pattern.size() > 2 && pattern[0] == '*' && pattern[1] == '.' && pattern.find_first_of(";*", 1) == std::string::npos)
        return pattern.substr(1);
    return {};
}

bool hasExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

bool askReplace(GtkWindow* parent, const std::string& path) {
    gchar* base = g_path_get_basename(path.c_str());
    GtkWidget* ask = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
                                            "A file named \"%s\" already exists. Do you want to replace it?", base);
    g_free(base);
    gtk_dialog_add_buttons(GTK_DIALOG(ask), "_Cancel", GTK_RESPONSE_CANCEL, "_Replace", GTK_RESPONSE_ACCEPT, nullptr);
    const bool yes = gtk_dialog_run(GTK_DIALOG(ask)) == GTK_RESPONSE_ACCEPT;
    gtk_widget_destroy(ask);
    return yes;
}

struct PreviewPanel {
    const FileRequest* request;
    GtkWidget* image;
};

void updatePreview(GtkFileChooser* chooser, gpointer data) {
    auto* panel = static_cast<PreviewPanel*>(data);
    gchar* name = gtk_file_chooser_get_preview_filename(chooser);
    FilePicture picture;
    const bool shown = name && g_file_test(name, G_FILE_TEST_IS_REGULAR) &&
                       panel->request->picture(name, picture) && picture.width > 0 &&
                       picture.height > 0 && picture.pixels.size() >= size_t(picture.width) * size_t(picture.height);
    g_free(name);
    if (shown) {
        GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, picture.width, picture.height);
        guchar* bytes = gdk_pixbuf_get_pixels(pixbuf);
        const int stride = gdk_pixbuf_get_rowstride(pixbuf);
        for (int32_t y = 0; y < picture.height; ++y)
            for (int32_t x = 0; x < picture.width; ++x) {
                const uint32_t v = picture.pixels[size_t(y) * size_t(picture.width) + size_t(x)];
                guchar* o = bytes + y * stride + x * 3;
                o[0] = guchar(v >> 16);
                o[1] = guchar(v >> 8);
                o[2] = guchar(v);
            }
        gtk_image_set_from_pixbuf(GTK_IMAGE(panel->image), pixbuf);
        g_object_unref(pixbuf);
    }
    gtk_file_chooser_set_preview_widget_active(chooser, shown);
}

// The file chooser over parent: the request's filter, folder and name; an
// open dialog with a preview panel; a save dialog that adds the pattern's
// extension to a name typed without one and asks before replacing a file.
bool runFileChooser(GtkWindow* parent, const FileRequest& request, std::string& path) {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        request.title.c_str(), parent, request.save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
        "_Cancel", GTK_RESPONSE_CANCEL, request.save ? "_Save" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_default_size(GTK_WINDOW(dialog), 820, 540);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    if (request.save) gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    if (!request.pattern.empty() && request.pattern != "*") {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, request.filterName.c_str());
        gchar** patterns = g_strsplit(request.pattern.c_str(), ";", -1);
        for (gchar** p = patterns; *p; ++p) gtk_file_filter_add_pattern(filter, *p);
        g_strfreev(patterns);
        gtk_file_chooser_add_filter(chooser, filter);
    }
    if (!request.folder.empty() && g_file_test(request.folder.c_str(), G_FILE_TEST_IS_DIR))
        gtk_file_chooser_set_current_folder(chooser, request.folder.c_str());
    if (request.save && !request.initialName.empty())
        gtk_file_chooser_set_current_name(chooser, request.initialName.c_str());
    PreviewPanel panel{&request, nullptr};
    if (!request.save && request.picture) {
        panel.image = gtk_image_new();
        gtk_widget_set_size_request(panel.image, 136, 136);
        gtk_file_chooser_set_preview_widget(chooser, panel.image);
        gtk_file_chooser_set_use_preview_label(chooser, FALSE);
        g_signal_connect(chooser, "update-preview", G_CALLBACK(updatePreview), &panel);
    }
    const std::string extension = request.save ? extensionOfPattern(request.pattern) : std::string();
    // The chooser sizes itself when it is shown; a screen-high dialog hides its owner.
    constexpr int kWidth = 820, kHeight = 540;
    gtk_widget_show(dialog);
    gtk_window_resize(GTK_WINDOW(dialog), kWidth, kHeight);
    if (parent) {  // centred over its owner, both ways
        gint px = 0, py = 0, pw = 0, ph = 0;
        gtk_window_get_position(parent, &px, &py);
        gtk_window_get_size(parent, &pw, &ph);
        gtk_window_move(GTK_WINDOW(dialog), std::max(0, px + (pw - kWidth) / 2), std::max(0, py + (ph - kHeight) / 2));
    }
    bool ok = false;
    while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        gchar* name = gtk_file_chooser_get_filename(chooser);
        std::string chosen = name ? name : "";
        g_free(name);
        if (chosen.empty()) continue;
        if (!extension.empty() && !hasExtension(chosen)) {
            chosen += extension;
            // The dialog asked about the name as typed, not about this one.
            if (g_file_test(chosen.c_str(), G_FILE_TEST_EXISTS) && !askReplace(GTK_WINDOW(dialog), chosen)) continue;
        }
        path = chosen;
        ok = true;
        break;
    }
    gtk_widget_destroy(dialog);
    return ok;
}

// The colour chooser with the shared custom colours as a palette of its own.
bool runColourChooser(GtkWindow* parent, const std::string& prompt, uint8_t rgb[3], uint32_t* custom) {
    GtkWidget* dialog = gtk_color_chooser_dialog_new(prompt.c_str(), parent);
    gtk_window_set_position(GTK_WINDOW(dialog), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    GtkColorChooser* chooser = GTK_COLOR_CHOOSER(dialog);
    gtk_color_chooser_set_use_alpha(chooser, FALSE);
    if (custom) {
        GdkRGBA palette[kCustomColourCount];
        for (int i = 0; i < kCustomColourCount; ++i)
            palette[i] = {((custom[i] >> 16) & 0xFF) / 255.0, ((custom[i] >> 8) & 0xFF) / 255.0,
                          (custom[i] & 0xFF) / 255.0, 1.0};
        gtk_color_chooser_add_palette(chooser, GTK_ORIENTATION_HORIZONTAL, 8, kCustomColourCount, palette);
    }
    const GdkRGBA initial{rgb[0] / 255.0, rgb[1] / 255.0, rgb[2] / 255.0, 1.0};
    gtk_color_chooser_set_rgba(chooser, &initial);
    const bool ok = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK;
    if (ok) {
        GdkRGBA chosen;
        gtk_color_chooser_get_rgba(chooser, &chosen);
        const double c[3] = {chosen.red, chosen.green, chosen.blue};
        for (int i = 0; i < 3; ++i) rgb[i] = uint8_t(std::lround(std::clamp(c[i], 0.0, 1.0) * 255.0));
    }
    gtk_widget_destroy(dialog);
    return ok;
}

class GtkPeer;

struct TimerTicket {
    GtkPeer* peer;
    int32_t id;
};

class GtkPeer final : public Window {
public:
    GtkPeer(const WindowOptions& options, WindowClient& client, GtkPeer* owner = nullptr,
            const ChildOptions* child = nullptr)
        : client_(client), width_(options.width), height_(options.height), owner_(owner) {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        g_object_ref_sink(window_);
        gtk_window_set_title(GTK_WINDOW(window_), options.title.c_str());
        gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
        gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
        if (child) {
            // A group of its own: the dialog's modal grab does not hold it;
            // a modal child holds its owner through takesInput instead.
            modal_ = child->modal;
            group_ = gtk_window_group_new();
            gtk_window_group_add_window(group_, GTK_WINDOW(window_));
            gtk_window_set_transient_for(GTK_WINDOW(window_), GTK_WINDOW(owner->window_));
            gtk_window_set_modal(GTK_WINDOW(window_), child->modal);
            gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window_), TRUE);
            gtk_window_move(GTK_WINDOW(window_), child->x, child->y);
            owner_->children_.push_back(this);
        } else {
            gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
        }
        area_ = gtk_drawing_area_new();
        gtk_widget_set_size_request(area_, width_, height_);
        gtk_widget_set_can_focus(area_, TRUE);
        gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                         GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK |
                                         GDK_FOCUS_CHANGE_MASK);
        gtk_container_add(GTK_CONTAINER(window_), area_);
        g_signal_connect(area_, "draw", G_CALLBACK(onDraw), this);
        g_signal_connect(area_, "button-press-event", G_CALLBACK(onButton), this);
        g_signal_connect(area_, "button-release-event", G_CALLBACK(onButton), this);
        g_signal_connect(area_, "motion-notify-event", G_CALLBACK(onMotion), this);
        g_signal_connect(area_, "leave-notify-event", G_CALLBACK(onLeave), this);
        g_signal_connect(area_, "scroll-event", G_CALLBACK(onScroll), this);
        g_signal_connect(area_, "key-press-event", G_CALLBACK(onKey), this);
        g_signal_connect(area_, "focus-out-event", G_CALLBACK(onFocusOut), this);
        g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
        g_signal_connect(area_, "notify::scale-factor", G_CALLBACK(onScale), this);
        gtk_widget_realize(window_);
        // The dialog over the host's window, else in the screen's middle; a
        // child goes where its options say.
        if (!child && !keepAbove(options.parent)) gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
        makeCanvas();
        if (child) {
            gtk_widget_show_all(window_);
            gtk_window_move(GTK_WINDOW(window_), child->x, child->y);
        }
    }

    ~GtkPeer() override {
        if (owner_)
            owner_->children_.erase(std::remove(owner_->children_.begin(), owner_->children_.end(), this),
                                    owner_->children_.end());
        for (auto& [id, timer] : timers_) {
            g_source_remove(timer.first);
            delete timer.second;
        }
        for (auto& [id, cursor] : cursors_) g_object_unref(cursor);
        if (surface_) cairo_surface_destroy(surface_);
        gtk_widget_destroy(window_);
        g_object_unref(window_);
        if (group_) g_object_unref(group_);
        if (loop_) g_main_loop_unref(loop_);
        if (parent_) g_object_unref(parent_);
    }

    void invalidate(const WindowRect& r) override {
        const WindowRect all{0, 0, width_, height_};
        const WindowRect d = r.empty() ? all : r;
        dirty_ = unite(dirty_, d);
        gtk_widget_queue_draw_area(area_, d.left, d.top, d.right - d.left, d.bottom - d.top);
    }

    void flush() override {
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        if (GdkWindow* w = gtk_widget_get_window(area_)) gdk_window_process_updates(w, TRUE);
        G_GNUC_END_IGNORE_DEPRECATIONS
        gdk_display_flush(gtk_widget_get_display(area_));
    }

    void setTimer(int32_t id, int32_t ms) override {
        killTimer(id);
        auto* ticket = new TimerTicket{this, id};
        const guint source = g_timeout_add(guint(std::max(ms, 0)), onTimer, ticket);
        timers_[id] = {source, ticket};
    }

    void killTimer(int32_t id) override {
        auto it = timers_.find(id);
        if (it == timers_.end()) return;
        g_source_remove(it->second.first);
        delete it->second.second;
        timers_.erase(it);
    }

    void setCursor(const CursorShape& shape) override {
        GdkDisplay* display = gtk_widget_get_display(area_);
        const int32_t key = shape.kind == CursorShape::Image ? 100 + shape.id : int32_t(shape.kind);
        GdkCursor* cursor = nullptr;
        auto it = cursors_.find(key);
        if (it != cursors_.end()) {
            cursor = it->second;
        } else if (shape.kind == CursorShape::Image && !shape.pixels.empty()) {
            cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, shape.width, shape.height);
            cairo_surface_flush(image);
            auto* data = cairo_image_surface_get_data(image);
            const int stride = cairo_image_surface_get_stride(image);
            for (int32_t y = 0; y < shape.height; ++y)
                std::copy_n(shape.pixels.data() + size_t(y) * size_t(shape.width), shape.width,
                            reinterpret_cast<uint32_t*>(data + y * stride));
            cairo_surface_mark_dirty(image);
            cairo_surface_set_device_scale(image, shape.scale, shape.scale);
            cursor = gdk_cursor_new_from_surface(display, image, shape.hotX / shape.scale, shape.hotY / shape.scale);
            cairo_surface_destroy(image);
            cursors_[key] = cursor;
        } else {
            cursor = gdk_cursor_new_from_name(display, shape.kind == CursorShape::Wait ? "wait" : "default");
            if (cursor) cursors_[key] = cursor;
        }
        if (GdkWindow* w = gtk_widget_get_window(area_)) gdk_window_set_cursor(w, cursor);
    }

    float scale() const override { return float(gtk_widget_get_scale_factor(area_)); }

    int32_t runModal() override {
        gtk_widget_show_all(window_);
        gtk_widget_grab_focus(area_);
        loop_ = g_main_loop_new(nullptr, FALSE);
        ended_ = false;
        g_main_loop_run(loop_);
        gtk_widget_hide(window_);
        // Gone from the screen now, not at the next main loop (the render
        // that follows OK runs without one).
        gdk_display_flush(gtk_widget_get_display(window_));
        return code_;
    }

    void endModal(int32_t code) override {
        code_ = code;
        ended_ = true;
        if (loop_) g_main_loop_quit(loop_);
    }

    DisplaySurface* displaySurface(int32_t width, int32_t height) override {
        surfacePixels_.assign(size_t(std::max(width, 0)) * size_t(std::max(height, 0)), 0xFF000000u);
        display_ = DisplaySurface{kDisplaySurfaceMagic, width, height, width, surfacePixels_.data(), nullptr};
        display_.nativeContext = &display_;
        return &display_;
    }

    bool chooseFile(const FileRequest& request, std::string& path) override {
        return runFileChooser(GTK_WINDOW(window_), request, path);
    }

    bool chooseFolder(const std::string& prompt, std::string& folder) override {
        GtkWidget* dialog =
            gtk_file_chooser_dialog_new(prompt.c_str(), GTK_WINDOW(window_), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
                                        "_Cancel", GTK_RESPONSE_CANCEL, "_Select", GTK_RESPONSE_ACCEPT, nullptr);
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
        const bool ok = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT;
        if (ok) {
            gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
            if (name) folder = name;
            g_free(name);
        }
        gtk_widget_destroy(dialog);
        return ok && !folder.empty();
    }

    bool chooseColour(const std::string& prompt, uint8_t rgb[3], uint32_t custom[kCustomColourCount]) override {
        return runColourChooser(GTK_WINDOW(window_), prompt, rgb, custom);
    }

    void showMessage(const std::string& title, const std::string& text) override {
        GtkWidget* dialog = gtk_message_dialog_new(GTK_WINDOW(window_), GTK_DIALOG_MODAL, GTK_MESSAGE_INFO,
                                                   GTK_BUTTONS_OK, "%s", text.c_str());
        gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
        gtk_dialog_run(GTK_DIALOG(dialog));
        gtk_widget_destroy(dialog);
    }

    bool openPage(const std::string& page, std::string* error) override {
        gchar* argv[] = {const_cast<gchar*>("xdg-open"), const_cast<gchar*>(page.c_str()), nullptr};
        GError* failure = nullptr;
        const gboolean ok = g_spawn_async(nullptr, argv, nullptr,
                                          GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                                      G_SPAWN_STDERR_TO_DEV_NULL),
                                          nullptr, nullptr, nullptr, &failure);
        if (!ok && error) *error = failure ? failure->message : "xdg-open could not be started";
        if (failure) g_error_free(failure);
        return ok;
    }

    std::unique_ptr<Window> openChild(const ChildOptions& options, WindowClient& client, std::string*) override {
        WindowOptions o;
        o.title = options.title;
        o.width = options.width;
        o.height = options.height;
        return std::make_unique<GtkPeer>(o, client, this, &options);
    }

    ScreenGeometry screenGeometry() const override {
        ScreenGeometry g;
        gint x = 0, y = 0;
        GdkWindow* w = gtk_widget_get_window(area_);
        if (w) gdk_window_get_origin(w, &x, &y);
        g.client = {x, y, x + width_, y + height_};
        GdkDisplay* display = gtk_widget_get_display(area_);
        GdkMonitor* monitor = w ? gdk_display_get_monitor_at_window(display, w) : gdk_display_get_primary_monitor(display);
        if (!monitor) monitor = gdk_display_get_monitor(display, 0);
        GdkRectangle area{0, 0, 1920, 1080};
        if (monitor) gdk_monitor_get_workarea(monitor, &area);
        g.workArea = {area.x, area.y, area.x + area.width, area.y + area.height};
        g.captionButton = 0;  // GTK's title bars have no fixed button metric
        return g;
    }

    void raise() override { gtk_window_present(GTK_WINDOW(window_)); }

private:
    static WindowRect unite(const WindowRect& a, const WindowRect& b) {
        if (a.empty()) return b;
        if (b.empty()) return a;
        return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
    }

    // The host's window is its native id (on X11 a window id, as GIMP gives
    // its image window): the dialog stays above it, centred on it. False
    // when there is none or it cannot be found.
    bool keepAbove(void* parent) {
#ifdef GDK_WINDOWING_X11
        GdkDisplay* display = gtk_widget_get_display(window_);
        if (!parent || !GDK_IS_X11_DISPLAY(display)) return false;
        parent_ = gdk_x11_window_foreign_new_for_display(display, reinterpret_cast<uintptr_t>(parent));
        if (!parent_) return false;
        gdk_window_set_transient_for(gtk_widget_get_window(window_), parent_);
        GdkRectangle frame;
        gdk_window_get_frame_extents(parent_, &frame);
        gtk_window_move(GTK_WINDOW(window_), frame.x + std::max(0, (frame.width - width_) / 2),
                        frame.y + std::max(0, (frame.height - height_) / 2));
        return true;
#else
        (void)parent;
        return false;
#endif
    }

    void makeCanvas() {
        const int scale = std::max(1, gtk_widget_get_scale_factor(area_));
        if (surface_) cairo_surface_destroy(surface_);
        surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_ * scale, height_ * scale);
        cairo_surface_set_device_scale(surface_, scale, scale);
        canvas_.pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_));
        canvas_.width = width_ * scale;
        canvas_.height = height_ * scale;
        canvas_.stride = cairo_image_surface_get_stride(surface_) / 4;
        canvas_.scale = float(scale);
        dirty_ = {0, 0, width_, height_};
    }

    // Whether input reaches this window: not while a modal child of its owner is open.
    bool takesInput() const {
        const GtkPeer& root = owner_ ? *owner_ : *this;
        for (const GtkPeer* c : root.children_)
            if (c->modal_ && c != this) return false;
        return true;
    }

    void deliver(const WindowEvent& e) {
        if (ended_) return;
        const bool input = e.kind != WindowEvent::Timer && e.kind != WindowEvent::Command && e.kind != WindowEvent::Close;
        if (input && !takesInput()) return;
        client_.event(e);
    }

    static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer self) {
        auto* peer = static_cast<GtkPeer*>(self);
        if (!peer->dirty_.empty()) {
            cairo_surface_flush(peer->surface_);
            const WindowRect d = peer->dirty_;
            peer->dirty_ = {};
            peer->client_.paint(peer->canvas_, d);
            cairo_surface_mark_dirty(peer->surface_);
        }
        cairo_set_source_surface(cr, peer->surface_, 0, 0);
        cairo_paint(cr);
        return TRUE;
    }

    static gboolean onButton(GtkWidget*, GdkEventButton* event, gpointer self) {
        auto* peer = static_cast<GtkPeer*>(self);
        if (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE) return TRUE;
        gtk_widget_grab_focus(peer->area_);
        WindowEvent e{event->type == GDK_BUTTON_PRESS ? WindowEvent::MouseDown : WindowEvent::MouseUp};
        e.x = float(event->x);
        e.y = float(event->y);
        e.button = event->button == 1   ? MouseButton::Left
                   : event->button == 3 ? MouseButton::Right
                                        : MouseButton::Middle;
        e.modifiers = modifiersOf(event->state);
        if (e.kind == WindowEvent::MouseDown) {
            gint doubleTime = 400;
            g_object_get(gtk_widget_get_settings(peer->area_), "gtk-double-click-time", &doubleTime, nullptr);
            const bool again = event->time - peer->lastPress_ < guint32(doubleTime) &&
                               std::fabs(event->x - peer->lastX_) < 4 && std::fabs(event->y - peer->lastY_) < 4;
            e.clicks = again ? 2 : 1;
            peer->lastPress_ = again ? 0 : event->time;
            peer->lastX_ = event->x;
            peer->lastY_ = event->y;
        }
        peer->deliver(e);
        return TRUE;
    }

    static gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer self) {
        WindowEvent e{WindowEvent::MouseMove};
        e.x = float(event->x);
        e.y = float(event->y);
        e.modifiers = modifiersOf(event->state);
        static_cast<GtkPeer*>(self)->deliver(e);
        return TRUE;
    }

    static gboolean onLeave(GtkWidget*, GdkEventCrossing* event, gpointer self) {
        if (event->mode != GDK_CROSSING_NORMAL) return TRUE;
        static_cast<GtkPeer*>(self)->deliver(WindowEvent{WindowEvent::MouseLeave});
        return TRUE;
    }

    static gboolean onScroll(GtkWidget*, GdkEventScroll* event, gpointer self) {
        WindowEvent e{WindowEvent::Wheel};
        e.x = float(event->x);
        e.y = float(event->y);
        e.steps = event->direction == GDK_SCROLL_UP ? 1 : (event->direction == GDK_SCROLL_DOWN ? -1 : 0);
        if (event->direction == GDK_SCROLL_SMOOTH) e.steps = event->delta_y < 0 ? 1 : (event->delta_y > 0 ? -1 : 0);
        if (e.steps != 0) static_cast<GtkPeer*>(self)->deliver(e);
        return TRUE;
    }

    static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer self) {
        auto* peer = static_cast<GtkPeer*>(self);
        WindowEvent e{WindowEvent::KeyDown};
        e.key = keyOf(event->keyval);
        e.modifiers = modifiersOf(event->state);
        if (event->keyval == GDK_KEY_ISO_Left_Tab) e.modifiers |= kModShift;
        if (e.key == Key::None) return FALSE;
        e.character = gdk_keyval_to_unicode(event->keyval);
        peer->deliver(e);
        if (e.key == Key::Character && !(e.modifiers & (kModControl | kModAlt))) {
            WindowEvent t{WindowEvent::Text};
            t.character = e.character;
            peer->deliver(t);
        }
        return TRUE;
    }

    static gboolean onFocusOut(GtkWidget*, GdkEvent*, gpointer self) {
        static_cast<GtkPeer*>(self)->deliver(WindowEvent{WindowEvent::FocusLost});
        return FALSE;
    }

    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self) {
        static_cast<GtkPeer*>(self)->deliver(WindowEvent{WindowEvent::Close});
        return TRUE;  // the dialog decides; the window stays
    }

    static void onScale(GObject*, GParamSpec*, gpointer self) {
        auto* peer = static_cast<GtkPeer*>(self);
        peer->makeCanvas();
        gtk_widget_queue_draw(peer->area_);
    }

    static gboolean onTimer(gpointer data) {
        auto* ticket = static_cast<TimerTicket*>(data);
        GtkPeer* peer = ticket->peer;
        const int32_t id = ticket->id;
        peer->timers_.erase(id);
        delete ticket;
        WindowEvent e{WindowEvent::Timer};
        e.id = id;
        peer->deliver(e);
        return G_SOURCE_REMOVE;
    }

    WindowClient& client_;
    int32_t width_, height_;
    GtkWidget* window_ = nullptr;
    GtkWidget* area_ = nullptr;
    GdkWindow* parent_ = nullptr;  // the host's window, when the dialog stays above it
    cairo_surface_t* surface_ = nullptr;
    Canvas canvas_;
    WindowRect dirty_;
    GMainLoop* loop_ = nullptr;
    bool ended_ = false;
    int32_t code_ = 0;
    std::map<int32_t, std::pair<guint, TimerTicket*>> timers_;
    std::map<int32_t, GdkCursor*> cursors_;
    DisplaySurface display_;
    std::vector<uint32_t> surfacePixels_;
    guint32 lastPress_ = 0;
    double lastX_ = 0.0, lastY_ = 0.0;
    GtkPeer* owner_ = nullptr;
    std::vector<GtkPeer*> children_;
    GtkWindowGroup* group_ = nullptr;
    bool modal_ = false;
};

}  // namespace

bool nativeWindowsAvailable(std::string* why) { return initialised(why); }

bool chooseColourNative(const std::string& prompt, uint8_t rgb[3]) {
    if (!initialised(nullptr)) return false;
    // Over the window the user works in: the active one, else a modal one.
    GtkWindow* parent = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next) {
        GtkWindow* w = GTK_WINDOW(l->data);
        if (!gtk_widget_get_visible(GTK_WIDGET(w))) continue;
        if (gtk_window_is_active(w)) parent = w;
        if (!parent && gtk_window_get_modal(w)) parent = w;
    }
    g_list_free(all);
    return runColourChooser(parent, prompt, rgb, nullptr);
}

std::unique_ptr<Window> openNativeWindow(const WindowOptions& options, WindowClient& client, std::string* error) {
    if (!initialised(error)) return nullptr;
    return std::make_unique<GtkPeer>(options, client);
}

}  // namespace tv::platform
