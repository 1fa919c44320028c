// bench_mapwait TITLE TIMEOUT_MS PROGRAM [ARGS...]
//
// Starts PROGRAM and prints, in milliseconds, the time from just before it was started to the
// moment a top-level window titled exactly TITLE is mapped and viewable on $DISPLAY, and the
// program's peak resident memory by then (VmHWM, in kB; 0 where /proc does not tell); then stops
// the program (SIGTERM, SIGKILL if it lingers) and reaps it. Exit status 0 on success, 1 when the
// window did not appear within TIMEOUT_MS or the program exited first, 2 on bad usage.
//
// It listens for the X server's MapNotify instead of polling, so the figure is not rounded up to
// a polling interval. Without a window manager (a bare Xvfb) top-level windows are children of
// the root window, so SubstructureNotify on the root sees them all.

#include <xcb/xcb.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double nowMs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

std::string property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop)
{
    std::string value;
    if (prop == XCB_ATOM_NONE)
        return value;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    if (reply && reply->format == 8)
        value.assign(static_cast<const char*>(xcb_get_property_value(reply)),
            size_t(xcb_get_property_value_length(reply)));
    std::free(reply);
    return value;
}

struct Atoms {
    xcb_atom_t netWmName = XCB_ATOM_NONE;
};

bool isTarget(xcb_connection_t* c, xcb_window_t w, const Atoms& atoms, const std::string& title)
{
    const std::string name = property(c, w, atoms.netWmName);
    if (name != title && property(c, w, XCB_ATOM_WM_NAME) != title)
        return false;
    xcb_get_window_attributes_reply_t* attrs
        = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    const bool viewable = attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attrs);
    return viewable;
}

// The peak resident set size of a running process, in kB.
long peakKb(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f)
        return 0;
    long kb = 0;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "VmHWM: %ld", &kb) == 1)
            break;
    }
    std::fclose(f);
    return kb;
}

void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_mapwait TITLE TIMEOUT_MS PROGRAM [ARGS...]\n");
        return 2;
    }
    const std::string title = argv[1];
    const double timeoutMs = std::atof(argv[2]);

    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "bench_mapwait: cannot connect to the X server\n");
        return 2;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    const xcb_window_t root = it.data->root;
    const int fd = xcb_get_file_descriptor(c);
    fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);

    Atoms atoms;
    atoms.netWmName = internAtom(c, "_NET_WM_NAME");

    // Selected, and confirmed by a round trip, before the program starts: no map can slip by.
    const uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &rootMask);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    const double start = nowMs();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("bench_mapwait: fork");
        return 2;
    }
    if (pid == 0) {
        execv(argv[3], argv + 3);
        std::perror("bench_mapwait: exec");
        _exit(127);
    }

    double shownAt = -1;
    bool exited = false;
    while (shownAt < 0) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            exited = true;
            break;
        }
        const double left = timeoutMs - (nowMs() - start);
        if (left <= 0)
            break;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const uint8_t type = event->response_type & 0x7F;
            const double at = nowMs();
            if (type == XCB_CREATE_NOTIFY) {
                // A title set after the map arrives as a property change.
                const auto* e = reinterpret_cast<xcb_create_notify_event_t*>(event);
                const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
                xcb_change_window_attributes(c, e->window, XCB_CW_EVENT_MASK, &mask);
                xcb_flush(c);
            } else if (type == XCB_MAP_NOTIFY) {
                const auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (isTarget(c, e->window, atoms, title))
                    shownAt = at;
            } else if (type == XCB_PROPERTY_NOTIFY) {
                const auto* e = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if ((e->atom == XCB_ATOM_WM_NAME || e->atom == atoms.netWmName)
                    && isTarget(c, e->window, atoms, title))
                    shownAt = at;
            }
            std::free(event);
            if (shownAt >= 0)
                break;
        }
        if (shownAt >= 0)
            break;
        if (xcb_connection_has_error(c)) {
            std::fprintf(stderr, "bench_mapwait: lost the X server\n");
            break;
        }
        // Wake for X events, and at least every 20 ms to notice the program exiting.
        pollfd p { fd, POLLIN, 0 };
        poll(&p, 1, left < 20 ? int(left) + 1 : 20);
    }

    if (exited) {
        std::fprintf(stderr, "bench_mapwait: the program exited before showing its window\n");
        xcb_disconnect(c);
        return 1;
    }
    const long peak = shownAt >= 0 ? peakKb(pid) : 0;
    stop(pid);
    xcb_disconnect(c);
    if (shownAt < 0) {
        std::fprintf(
            stderr, "bench_mapwait: no window titled \"%s\" within %.0f ms\n", title.c_str(), timeoutMs);
        return 1;
    }
    std::printf("%.1f %ld\n", shownAt - start, peak);
    return 0;
}
