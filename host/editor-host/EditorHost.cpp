// kelo-editor-host: opens a plug-in's editor in a top-level X11 window, calls effEditIdle every
// 20 ms, and takes commands on stdin (one per line), answering on stdout:
//
//   open                 opens the editor   -> "opened <window> <x> <y> <width> <height>" | "open-failed"
//   close                effEditClose and the window goes  -> "closed"
//   destroy-parent       destroys the window before effEditClose, as some hosts do -> "parent-destroyed"
//   idle                 one effEditIdle now -> "idled <count>"
//   knob-mode <n>        effSetEditKnobMode -> "knob-mode <answer>"
//   set <i> <v>          setParameter -> "set"
//   param <i>            -> "param <i> <value>"
//   key <virt> [<char>]  effEditKeyDown -> "key <answer>"
//   quit (or end of input)  closes everything -> "bye"
//
// Whatever the plug-in automates is printed as it happens: "automate <index> <value>".
//
//   kelo-editor-host <plug-in file>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "host/Plugin.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Window {
    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    xcb_window_t window = 0;
};

void say(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string number(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

} // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : kelo::host::defaultPluginPath();
    kelo::host::Plugin plugin;
    if (!plugin.load(path)) {
        say("load-failed " + plugin.error());
        return 2;
    }
    plugin.start();
    Window w;
    int screenNumber = 0;
    w.connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(w.connection)) {
        say("no-display");
        return 3;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(w.connection));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    w.screen = it.data;

    bool open = false;
    long idles = 0;
    size_t automationsShown = 0;
    auto nextIdle = Clock::now();
    std::string pending;

    auto reportAutomations = [&] {
        const auto& a = plugin.automations();
        for (; automationsShown < a.size(); ++automationsShown)
            say("automate " + std::to_string(a[automationsShown].index) + " " + number(a[automationsShown].value));
    };
    auto idle = [&] {
        plugin.dispatcher(effEditIdle);
        ++idles;
        reportAutomations();
    };
    auto closeEditor = [&] {
        if (open) plugin.dispatcher(effEditClose);
        open = false;
        if (w.window) xcb_destroy_window(w.connection, w.window);
        w.window = 0;
        xcb_flush(w.connection);
    };

    auto handle = [&](const std::string& line) -> bool {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        if (cmd == "open") {
            ERect* r = nullptr;
            if (open || !plugin.dispatcher(effEditGetRect, 0, 0, &r) || !r) {
                say("open-failed");
                return true;
            }
            const uint16_t width = static_cast<uint16_t>(r->right - r->left);
            const uint16_t height = static_cast<uint16_t>(r->bottom - r->top);
            w.window = xcb_generate_id(w.connection);
            const uint32_t values[] = {w.screen->black_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
            xcb_create_window(w.connection, XCB_COPY_FROM_PARENT, w.window, w.screen->root, 0, 0, width, height, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, w.screen->root_visual,
                              XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
            xcb_map_window(w.connection, w.window);
            xcb_flush(w.connection);
            if (plugin.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(w.window))) == 0) {
                closeEditor();
                say("open-failed");
                return true;
            }
            open = true;
            int16_t x = 0, y = 0;
            if (auto* t = xcb_translate_coordinates_reply(
                    w.connection, xcb_translate_coordinates(w.connection, w.window, w.screen->root, 0, 0), nullptr)) {
                x = t->dst_x;
                y = t->dst_y;
                std::free(t);
            }
            say("opened " + std::to_string(w.window) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
                std::to_string(width) + " " + std::to_string(height));
        } else if (cmd == "close") {
            closeEditor();
            say("closed");
        } else if (cmd == "destroy-parent") {
            if (w.window) xcb_destroy_window(w.connection, w.window);
            w.window = 0;
            xcb_flush(w.connection);
            say("parent-destroyed");
        } else if (cmd == "idle") {
            if (open) idle();
            say("idled " + std::to_string(idles));
        } else if (cmd == "knob-mode") {
            int mode = 0;
            in >> mode;
            say("knob-mode " + std::to_string(plugin.dispatcher(effSetEditKnobMode, 0, mode)));
        } else if (cmd == "set") {
            int i = 0;
            float v = 0;
            in >> i >> v;
            plugin.setParameter(i, v);
            say("set");
        } else if (cmd == "param") {
            int i = 0;
            in >> i;
            say("param " + std::to_string(i) + " " + number(plugin.getParameter(i)));
        } else if (cmd == "key") {
            int virt = 0, character = 0;
            in >> virt >> character;
            say("key " + std::to_string(plugin.dispatcher(effEditKeyDown, character, virt)));
        } else if (cmd == "quit") {
            return false;
        } else if (!cmd.empty()) {
            say("unknown " + cmd);
        }
        return true;
    };

    bool running = true;
    while (running) {
        const auto now = Clock::now();
        if (now >= nextIdle) {
            if (open) idle();
            nextIdle = now + std::chrono::milliseconds(20);
        }
        const int wait = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(nextIdle - Clock::now()).count());
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {xcb_get_file_descriptor(w.connection), POLLIN, 0}};
        if (poll(fds, 2, wait < 0 ? 0 : wait) < 0) continue;
        // The host's own window events (structure notifications) are of no interest.
        while (xcb_generic_event_t* e = xcb_poll_for_event(w.connection)) std::free(e);
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buf[4096];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                running = false;
            } else {
                pending.append(buf, size_t(n));
                size_t eol;
                while (running && (eol = pending.find('\n')) != std::string::npos) {
                    const std::string line = pending.substr(0, eol);
                    pending.erase(0, eol + 1);
                    running = handle(line);
                }
            }
        }
    }
    closeEditor();
    plugin.close();
    xcb_disconnect(w.connection);
    say("bye");
    return 0;
}
