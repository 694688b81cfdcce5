#include "framework/posix/GtkDesktop.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "framework/ConsoleDesktop.h"
#include "framework/Kernel.h"
#include "framework/posix/GtkLibrary.h"

namespace {
// The loaded library; Open makes sure it is there before any window exists.
const GtkLibrary& Gtk() {
    return *LoadGtkLibrary();
}

// The widget as the class it is (the library's checked casts would call into it).
template <typename Widget>
Widget* As(GtkWidget* widget) {
    return reinterpret_cast<Widget*>(widget);
}

// The dialog template is 179 x 29 dialog units, the bar 165 x 14 units at 7, 7.
// A dialog unit is a quarter of the font's average character width and an eighth
// of its height; with the desktop's usual font (about 7 x 16 pixels) that is a
// client area of about 313 x 58 and a margin of about 12.
constexpr int kClientWidth = 313;
constexpr int kClientHeight = 58;
constexpr int kMargin = 12;

gboolean IgnoreCloseRequest(GtkWidget* /*window*/, GdkEvent* /*event*/, gpointer /*data*/) {
    return TRUE;  // the window stays; the update goes on
}

GdkPixbuf* Icon(const char* const* xpm) {
    return Gtk().gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(xpm));
}
}  // namespace

struct CGtkDesktop::Widgets {
    GtkWidget* window = nullptr;
    GtkWidget* bar = nullptr;
    GList* icons = nullptr;
};

std::unique_ptr<CGtkDesktop> CGtkDesktop::Open() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0')) {
        return nullptr;
    }
    if (LoadGtkLibrary() == nullptr || Gtk().gtk_init_check(nullptr, nullptr) == FALSE) {
        return nullptr;
    }
    return std::unique_ptr<CGtkDesktop>(new CGtkDesktop());
}

CGtkDesktop::CGtkDesktop() : m_widgets(std::make_unique<Widgets>()) {}

CGtkDesktop::~CGtkDesktop() {
    DestroyProgressWindow();
    FreeIcons();
}

void CGtkDesktop::FreeIcons() {
    if (m_widgets->icons != nullptr) {
        Gtk().g_list_free_full(m_widgets->icons, Gtk().g_object_unref);
        m_widgets->icons = nullptr;
    }
}

void CGtkDesktop::Redraw() {
    while (Gtk().gtk_events_pending() != FALSE) {
        Gtk().gtk_main_iteration_do(FALSE);
    }
}

void CGtkDesktop::ShowMessageBox(const CString& caption, const CString& text) {
    GtkWidget* box = Gtk().gtk_message_dialog_new(
        m_widgets->window != nullptr ? As<GtkWindow>(m_widgets->window) : nullptr, GTK_DIALOG_MODAL,
        GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", text.GetString());
    Gtk().gtk_window_set_title(As<GtkWindow>(box), caption.GetString());
    Gtk().gtk_window_set_position(As<GtkWindow>(box), GTK_WIN_POS_CENTER);
    Gtk().gtk_dialog_set_default_response(As<GtkDialog>(box), GTK_RESPONSE_OK);
    // Waits for OK; closing the box counts as OK.
    Gtk().gtk_dialog_run(As<GtkDialog>(box));
    Gtk().gtk_widget_destroy(box);
    Redraw();
    // The text also goes to the log a caller may keep of standard error.
    WriteMessageLine(stderr, caption, text);
}

void CGtkDesktop::CreateProgressWindow(const CString& caption, const CWindowResources& resources) {
    DestroyProgressWindow();
    // The icon also stands for the message boxes that follow.
    FreeIcons();
    for (const char* const* picture : {resources.icon32, resources.icon16}) {
        if (picture != nullptr) {
            m_widgets->icons = Gtk().g_list_append(m_widgets->icons, Icon(picture));
        }
    }
    Gtk().gtk_window_set_default_icon_list(m_widgets->icons);
    GtkWidget* window = Gtk().gtk_window_new(GTK_WINDOW_TOPLEVEL);
    Gtk().gtk_window_set_title(As<GtkWindow>(window), caption.GetString());
    Gtk().gtk_window_set_resizable(As<GtkWindow>(window), FALSE);
    Gtk().gtk_window_set_default_size(As<GtkWindow>(window), kClientWidth, kClientHeight);
    Gtk().gtk_window_set_position(As<GtkWindow>(window), GTK_WIN_POS_CENTER);
    Gtk().gtk_window_set_icon_list(As<GtkWindow>(window), m_widgets->icons);
    Gtk().g_signal_connect_data(window, "delete-event",
                                reinterpret_cast<GCallback>(IgnoreCloseRequest), nullptr, nullptr,
                                static_cast<GConnectFlags>(0));

    GtkWidget* bar = Gtk().gtk_progress_bar_new();
    Gtk().gtk_widget_set_margin_start(bar, kMargin);
    Gtk().gtk_widget_set_margin_end(bar, kMargin);
    Gtk().gtk_widget_set_margin_top(bar, kMargin);
    Gtk().gtk_widget_set_margin_bottom(bar, kMargin);
    Gtk().gtk_widget_set_valign(bar, GTK_ALIGN_CENTER);
    Gtk().gtk_container_add(As<GtkContainer>(window), bar);
    Gtk().gtk_widget_show(bar);
    m_widgets->window = window;
    m_widgets->bar = bar;
}

void CGtkDesktop::SetProgressRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
}

void CGtkDesktop::SetProgressPos(int position) {
    if (m_widgets->bar == nullptr) {
        return;
    }
    const int span = m_upper > m_lower ? m_upper - m_lower : 1;
    double fraction = static_cast<double>(position - m_lower) / span;
    fraction = fraction < 0 ? 0 : (fraction > 1 ? 1 : fraction);
    Gtk().gtk_progress_bar_set_fraction(As<GtkProgressBar>(m_widgets->bar), fraction);
    // The position also goes to the log a caller may keep of standard error.
    WriteProgressLine(stderr, Gtk().gtk_window_get_title(As<GtkWindow>(m_widgets->window)),
                      position, m_upper);
    Redraw();
}

void CGtkDesktop::ShowProgressWindow() {
    if (m_widgets->window != nullptr) {
        Gtk().gtk_widget_show(m_widgets->window);
        Redraw();
    }
}

void CGtkDesktop::MinimizeProgressWindow() {
    if (m_widgets->window != nullptr) {
        Gtk().gtk_window_iconify(As<GtkWindow>(m_widgets->window));
        Redraw();
    }
}

void CGtkDesktop::DestroyProgressWindow() {
    if (m_widgets->window != nullptr) {
        Gtk().gtk_widget_destroy(m_widgets->window);
        m_widgets->window = nullptr;
        m_widgets->bar = nullptr;
        Redraw();
    }
}

void CGtkDesktop::Pause(unsigned milliseconds) {
    // The window keeps drawing while the run waits.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        Redraw();
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        SleepMilliseconds(static_cast<unsigned>(left < 10 ? left : 10));
    }
}
