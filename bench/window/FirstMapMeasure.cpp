// Starts programs one after the other on the X server of $DISPLAY and measures, from
// outside, the time from starting each to the first map of a top-level window: the
// moment the window is on screen. The programs take turns, the first of a pair
// alternating, so that a machine busier in one moment than another weighs on both.
//   first_map_measure PAIRS PROGRAM_A PROGRAM_B
// Prints each program's median time, and the median of A's time over B's in a pair.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "first_map_measure: %s\n", message.c_str());
    std::exit(1);
}

struct Display {
    xcb_connection_t* Connection = nullptr;
    xcb_window_t Root = 0;
};

// A connection that hears of every window mapped as a child of the root window.
Display WatchRoot() {
    Display display;
    display.Connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(display.Connection) != 0) Fail("no X server at $DISPLAY");
    display.Root = xcb_setup_roots_iterator(xcb_get_setup(display.Connection)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(display.Connection, display.Root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(display.Connection);
    return display;
}

// Waits up to 30 s for a top-level window other than a menu or tooltip to be mapped.
bool WaitForMap(const Display& display) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    pollfd fd{xcb_get_file_descriptor(display.Connection), POLLIN, 0};
    while (Clock::now() < deadline) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(display.Connection)) {
            const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event,
                                                                                   &std::free);
            if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY) continue;
            const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event);
            if (map->event == display.Root && map->override_redirect == 0) return true;
        }
        if (xcb_connection_has_error(display.Connection) != 0) Fail("the X server went away");
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        poll(&fd, 1, static_cast<int>(std::max<long long>(1, left.count())));
    }
    return false;
}

// Milliseconds from starting program to its window's first map; the program is then
// asked to end, and has ended when this returns.
double TimeToFirstMap(const Display& display, const std::string& program) {
    // Whatever an earlier program left in the queue is not this one's map.
    while (xcb_generic_event_t* event = xcb_poll_for_event(display.Connection)) std::free(event);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    // What the program says is not measured.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) Fail("cannot start " + program);
    const bool mapped = WaitForMap(display);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!mapped) Fail(program + " showed no window within 30 s");
    return ms;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::atoi(argv[1]) < 1) {
        Fail("usage: first_map_measure PAIRS PROGRAM_A PROGRAM_B");
    }
    const int pairs = std::atoi(argv[1]);
    const std::string programs[2] = {argv[2], argv[3]};
    const Display display = WatchRoot();
    // One unmeasured start of each fills the file cache.
    for (const std::string& program : programs) TimeToFirstMap(display, program);
    std::vector<double> times[2];
    for (int pair = 0; pair < pairs; ++pair) {
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (pair + turn) % 2;
            times[which].push_back(TimeToFirstMap(display, programs[which]));
        }
    }
    // Each pair's own ratio weighs the two starts in the same moment of the machine;
    // its median is what moves least when the machine's load drifts during the run.
    std::vector<double> ratios;
    for (int pair = 0; pair < pairs; ++pair) ratios.push_back(times[0][pair] / times[1][pair]);
    std::printf("%-40s median %7.1f ms\n", programs[0].c_str(), Median(times[0]));
    std::printf("%-40s median %7.1f ms\n", programs[1].c_str(), Median(times[1]));
    std::printf("ratio %.2f (median of the ratios of %d alternating pairs)\n", Median(ratios),
                pairs);
    xcb_disconnect(display.Connection);
    return 0;
}
