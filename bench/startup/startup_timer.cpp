// Start to mapped main window: starts a program on an X display, waits for the first
// top-level window it maps, prints the milliseconds in between and ends the program by
// its process id. Usage: startup_timer RUNS PROGRAM [ARGS...]; prints the median.
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Milliseconds from fork to the first MapNotify of a normal top-level window; -1 when the
// program exited or nothing was mapped within 20 s.
double OneStart(Display* display, char** argv) {
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, True);  // drops events of earlier runs
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[0], argv);
        _exit(127);
    }
    double elapsed = -1;
    const int fd = ConnectionNumber(display);
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect && elapsed < 0)
                elapsed = std::chrono::duration<double, std::milli>(
                              std::chrono::steady_clock::now() - start)
                              .count();
        }
        if (elapsed >= 0) break;
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(fd, &fds);
        timeval tv{0, 100000};
        select(fd + 1, &fds, nullptr, nullptr, &tv);
        if (waitpid(child, nullptr, WNOHANG) == child) return -1;
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_timer RUNS PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_timer: no X display\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double t = OneStart(display, argv + 2);
        if (t < 0) {
            std::fprintf(stderr, "startup_timer: %s mapped no window\n", argv[2]);
            return 1;
        }
        times.push_back(t);
    }
    std::sort(times.begin(), times.end());
    std::printf("%.1f\n", times[times.size() / 2]);
    XCloseDisplay(display);
    return 0;
}
