// Time from starting a program to its first painted sky chart, measured from
// outside the program, on the X display in DISPLAY (Xvfb in the bench):
//
//   heliotrope-firstpaint [--runs N] PROGRAM [PROGRAM...]    (default 6 runs)
//
// Each run starts a program and then, every half millisecond, asks the X
// server for the pixels of the chart's rectangle in the program's window.
// Once the chart has stood still for a second (the calculation is not
// running, so the start-up picture is all it shows), that final picture is
// the reference; the chart counts as painted from the first sample after
// which every sample equals it. The time reported is when the X server's
// answer to that sample arrived, so it is at most one polling interval late.
// The program is then ended with SIGTERM. With several programs the runs take
// turns, so that each meets the same load. The first run of each may pay for
// cold caches; the later runs are the warm figure.
//
//   heliotrope-firstpaint --centre CONTROL
//
// prints the centre of a control in window pixels, "X Y", for xdotool.

#include "app/ControlLayout.h"
#include "tools/bench/PictureSettle.h"

#include <xcb/xcb.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace heliotrope::app;

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0, Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(t - t0).count();
}

// A control's rectangle in window pixels, its frame's offset added.
QRect windowRect(const char* name)
{
    const ControlPlacement* p = findPlacement(QLatin1String(name));
    if (!p)
        return {};
    QRect r = twipsRect(*p);
    if (std::strcmp(p->container, "frmMain") != 0) {
        if (const ControlPlacement* frame = findPlacement(QLatin1String(p->container)))
            r.translate(twipsRect(*frame).topLeft());
    }
    return r;
}

std::uint64_t fnv1a(const std::uint8_t* data, int length)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (int i = 0; i < length; ++i) {
        h ^= data[i];
        h *= 1099511628211ULL;
    }
    return h;
}

struct Sample {
    bench::PictureSample picture;
    int colours;  // distinct pixel values, capped: a uniform area is not a chart
};

class Display {
public:
    Display()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        xcb_intern_atom_reply_t* atom
            = xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, 11, "_NET_WM_PID"), nullptr);
        if (atom) {
            m_pidAtom = atom->atom;
            std::free(atom);
        }
    }
    ~Display()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
    }
    bool ok() const { return m_connection && !xcb_connection_has_error(m_connection) && m_pidAtom != XCB_NONE; }

    // The viewable top-level window of process `pid` that has the main
    // window's size; none while it is not mapped yet.
    std::optional<xcb_window_t> mainWindowOf(pid_t pid, int width, int height)
    {
        std::optional<xcb_window_t> found;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
        if (!tree)
            return found;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        const int n = xcb_query_tree_children_length(tree);
        for (int i = 0; i < n && !found; ++i) {
            if (windowPid(children[i]) == pid && viewable(children[i]) && hasSize(children[i], width, height))
                found = children[i];
        }
        std::free(tree);
        return found;
    }

    // Times in ms from t0.
    std::optional<Sample> sample(xcb_window_t window, const QRect& r, Clock::time_point t0)
    {
        Sample s{};
        s.picture.askedMs = msSince(t0, Clock::now());
        xcb_get_image_reply_t* image = xcb_get_image_reply(
            m_connection,
            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, static_cast<std::int16_t>(r.x()),
                          static_cast<std::int16_t>(r.y()), static_cast<std::uint16_t>(r.width()),
                          static_cast<std::uint16_t>(r.height()), ~0U),
            nullptr);
        s.picture.answeredMs = msSince(t0, Clock::now());
        if (!image)
            return std::nullopt;  // not viewable at this instant
        const std::uint8_t* data = xcb_get_image_data(image);
        const int length = xcb_get_image_data_length(image);
        s.picture.hash = fnv1a(data, length);
        std::vector<std::uint32_t> seen;
        for (int i = 0; i + 4 <= length && seen.size() < 8; i += 4) {
            std::uint32_t pixel;
            std::memcpy(&pixel, data + i, 4);
            if (std::find(seen.begin(), seen.end(), pixel) == seen.end())
                seen.push_back(pixel);
        }
        s.colours = static_cast<int>(seen.size());
        std::free(image);
        return s;
    }

private:
    pid_t windowPid(xcb_window_t w)
    {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, w, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        pid_t pid = 0;
        if (reply && xcb_get_property_value_length(reply) == 4)
            pid = static_cast<pid_t>(*static_cast<const std::uint32_t*>(xcb_get_property_value(reply)));
        std::free(reply);
        return pid;
    }
    bool viewable(xcb_window_t w)
    {
        xcb_get_window_attributes_reply_t* a
            = xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, w), nullptr);
        const bool v = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(a);
        return v;
    }
    bool hasSize(xcb_window_t w, int width, int height)
    {
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, w), nullptr);
        const bool same = g && g->width == width && g->height == height;
        std::free(g);
        return same;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_pidAtom = XCB_NONE;
};

struct RunResult {
    double mappedMs = -1;
    double paintedMs = -1;
    double lastUnpaintedMs = -1;  // when the last differing sample was asked for
    std::string error;
};

RunResult measureOnce(Display& display, const char* program)
{
    RunResult result;
    const int width = twips(kClientWidthTwips);
    const int height = twips(kClientHeightTwips);
    const QRect chart = windowRect("picView");

    char* argv[] = {const_cast<char*>(program), nullptr};
    pid_t pid = 0;
    const Clock::time_point t0 = Clock::now();
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
        result.error = std::string("cannot start ") + program;
        return result;
    }

    constexpr auto kPoll = std::chrono::microseconds(500);
    constexpr double kStillMs = 1000;  // a chart unchanged this long is the finished one
    constexpr double kAtLeastMs = 2000;
    constexpr double kGiveUpMs = 20000;
    std::optional<xcb_window_t> window;
    std::vector<bench::PictureSample> samples;
    int lastColours = 0;
    for (;;) {
        const double now = msSince(t0, Clock::now());
        if (now > kGiveUpMs) {
            result.error = window ? "the chart never stood still" : "no window appeared";
            break;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            result.error = "the program ended by itself";
            pid = 0;
            break;
        }
        if (!window) {
            window = display.mainWindowOf(pid, width, height);
            if (window)
                result.mappedMs = msSince(t0, Clock::now());
        }
        if (window) {
            if (const std::optional<Sample> s = display.sample(*window, chart, t0)) {
                samples.push_back(s->picture);
                lastColours = s->colours;
            }
            if (const std::optional<std::size_t> first = bench::settledFrom(samples, kStillMs, kAtLeastMs)) {
                if (lastColours < 2) {
                    result.error = "the chart area stayed one flat colour";
                } else {
                    result.paintedMs = samples[*first].answeredMs;
                    if (*first > 0)
                        result.lastUnpaintedMs = samples[*first - 1].askedMs;
                }
                break;
            }
        }
        std::this_thread::sleep_for(kPoll);
    }
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--centre") == 0) {
        const QRect r = windowRect(argv[2]);
        if (r.isNull()) {
            std::fprintf(stderr, "heliotrope-firstpaint: no control %s\n", argv[2]);
            return 2;
        }
        std::printf("%d %d\n", r.x() + r.width() / 2, r.y() + r.height() / 2);
        return 0;
    }
    int runs = 6;
    std::vector<const char*> programs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(2, std::atoi(argv[++i]));
        else if (argv[i][0] != '-')
            programs.push_back(argv[i]);
        else {
            programs.clear();  // an unknown option: say how to call
            break;
        }
    }
    if (programs.empty()) {
        std::fputs("usage: heliotrope-firstpaint [--runs N] PROGRAM [PROGRAM...] | --centre CONTROL\n", stderr);
        return 2;
    }
    Display display;
    if (!display.ok()) {
        std::fputs("heliotrope-firstpaint: cannot open the X display in DISPLAY\n", stderr);
        return 1;
    }
    std::vector<std::vector<double>> painted(programs.size());
    for (int run = 1; run <= runs; ++run) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            const RunResult r = measureOnce(display, programs[p]);
            if (!r.error.empty()) {
                std::fprintf(stderr, "heliotrope-firstpaint: %s, run %d: %s\n", programs[p], run, r.error.c_str());
                return 1;
            }
            std::printf("%s run %d%s  window mapped %.1f ms  chart painted %.1f ms  (not yet at %.1f ms)\n",
                        programs[p], run, run == 1 ? " (cold)" : "", r.mappedMs, r.paintedMs, r.lastUnpaintedMs);
            painted[p].push_back(r.paintedMs);
        }
    }
    for (std::size_t p = 0; p < programs.size(); ++p) {
        std::vector<double> warm(painted[p].begin() + 1, painted[p].end());
        std::sort(warm.begin(), warm.end());
        const std::size_t n = warm.size();
        const double median = n % 2 ? warm[n / 2] : (warm[n / 2 - 1] + warm[n / 2]) / 2;
        std::printf("firstpaint %s cold %.1f warm-median %.1f warm-min %.1f warm-max %.1f warm-runs %zu\n",
                    programs[p], painted[p].front(), median, warm.front(), warm.back(), n);
    }
    return 0;
}
