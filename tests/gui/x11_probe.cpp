// x11_probe: what the desktop tests do to a window, as a person would.
//   find TITLE TIMEOUT_MS   prints the id of the viewable window titled TITLE
//   close ID                sends the close request a close box sends (WM_DELETE_WINDOW)
//   shot ID FILE.png        saves a picture of the window
//   shot-framed ID FILE.png the same with the frame a window manager put around it
//   press-ok ID             puts the pointer on the window and presses Return
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {
std::string TitleOf(Display* display, Window window) {
    Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        return title;
    }
    char* name = nullptr;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        title = name;
        XFree(name);
    }
    return title;
}

Window Find(Display* display, Window under, const std::string& title) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, under, &root, &parent, &children, &count) == 0) {
        return 0;
    }
    Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable && TitleOf(display, children[i]) == title) {
            found = children[i];
        } else {
            found = Find(display, children[i], title);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: x11_probe find TITLE TIMEOUT_MS | close ID | shot[-framed] ID FILE | "
                 "press-ok ID\n");
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return Usage();
    }
    const std::string command = argv[1];
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11_probe: no display\n");
        return 1;
    }
    if (command == "find" && argc == 4) {
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argv[3]));
        while (std::chrono::steady_clock::now() < until) {
            if (const Window window = Find(display, DefaultRootWindow(display), argv[2])) {
                std::printf("%lu\n", window);
                return 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return 1;
    }
    const Window window = std::strtoul(argv[2], nullptr, 10);
    if (command == "close") {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
        return 0;
    }
    if (command == "press-ok") {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, window, &attributes);
        int x = 0;
        int y = 0;
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), attributes.width / 2,
                              attributes.height / 2, &x, &y, &child);
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const KeyCode key = XKeysymToKeycode(display, XK_Return);
        XTestFakeKeyEvent(display, key, True, CurrentTime);
        XTestFakeKeyEvent(display, key, False, CurrentTime);
        XSync(display, False);
        return 0;
    }
    if ((command == "shot" || command == "shot-framed") && argc == 4) {
        Window target = window;
        while (command == "shot-framed") {
            Window root = 0;
            Window parent = 0;
            Window* children = nullptr;
            unsigned count = 0;
            if (XQueryTree(display, target, &root, &parent, &children, &count) == 0) {
                break;
            }
            if (children != nullptr) {
                XFree(children);
            }
            if (parent == root || parent == 0) {
                break;
            }
            target = parent;
        }
        gdk_init(nullptr, nullptr);
        GdkWindow* foreign =
            gdk_x11_window_foreign_new_for_display(gdk_display_get_default(), target);
        if (foreign == nullptr) {
            return 1;
        }
        GdkPixbuf* picture = gdk_pixbuf_get_from_window(
            foreign, 0, 0, gdk_window_get_width(foreign), gdk_window_get_height(foreign));
        const bool saved = picture != nullptr &&
                           gdk_pixbuf_save(picture, argv[3], "png", nullptr, nullptr) != FALSE;
        return saved ? 0 : 1;
    }
    return Usage();
}
