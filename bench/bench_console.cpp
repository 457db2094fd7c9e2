// The console's cost in RUN with outputs that toggle at every scan (a faceplate LED and a
// module LED): process CPU and paints per second over a few seconds of real time, with
// painting held to the screen's pace and, as the reference in the same run, without.
// Runs offscreen, or on the X display of the server whose process id is in CORVANE_X_PID
// (bench/console_x.sh starts a private Xvfb), and then counts that server's CPU as well.
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Console.h"
#include "DisplaySetup.h"
#include "LoneCheckBox.h"
#include "PaintThrottle.h"
#include "ProcessCpu.h"
#include "main.h"
#include "module.h"

using namespace corvane;

namespace {

class PaintCounter final : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
    long paints = 0;
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Times the process went to sleep and was woken: the event loop's wake-ups.
long Sleeps() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw;
}

long XServerPid() {
    const char* pid = std::getenv("CORVANE_X_PID");
    return pid ? std::atol(pid) : 0;
}

struct Figures {
    double cpuPercent;
    double xPercent;
    double paintsPerSecond;
    double wakeupsPerSecond;
};

Figures Measure(int milliseconds, PaintCounter& counter) {
    counter.paints = 0;
    const double cpu0 = CpuSeconds();
    const long sleeps0 = Sleeps();
    const double x0 = bench::ProcessCpuSeconds(XServerPid());
    QElapsedTimer wall;
    wall.start();
    // A loop of its own: quitting the application would close its windows.
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    return {100.0 * (CpuSeconds() - cpu0) / seconds,
            100.0 * (bench::ProcessCpuSeconds(XServerPid()) - x0) / seconds,
            static_cast<double>(counter.paints) / seconds,
            static_cast<double>(Sleeps() - sleeps0) / seconds};
}

}  // namespace

int main(int argc, char** argv) {
    const bool onX = XServerPid() > 0;
    if (!onX) qputenv("QT_QPA_PLATFORM", "offscreen");
    // As the program does, unless asked for X shared memory as the reference.
    const bool sharedMemory = argc > 3 && std::string_view(argv[3]) == "--shared-memory";
    if (!sharedMemory) console::PrepareDisplay();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString program = dir.filePath("toggle.awl");
    {
        FILE* f = std::fopen(program.toLocal8Bit().constData(), "w");
        std::fputs("LDN Q0.0\n=   Q0.0\nLDN Q2.0\n=   Q2.0\n", f);
        std::fclose(f);
    }
    console::TConsole console;
    console::TForm1& form1 = console.Form1();
    form1.show();
    console.ModuleF().show();
    if (!form1.LoadProgramFile(program)) return 1;
    form1.RUN1Click();
    PaintCounter counter;
    static long toggles = 0;
    for (QCheckBox* box : form1.findChildren<QCheckBox*>())
        QObject::connect(box, &QCheckBox::toggled, [] { ++toggles; });
    for (QCheckBox* box : form1.findChildren<QCheckBox*>()) box->installEventFilter(&counter);
    for (QCheckBox* box : console.ModuleF().findChildren<QCheckBox*>())
        box->installEventFilter(&counter);

    const int ms = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const auto pacing = [&](bool on) {
        for (QWidget* w :
             {static_cast<QWidget*>(&form1), static_cast<QWidget*>(&console.ModuleF())}) {
            if (auto* t = w->findChild<console::TPaintThrottle*>()) {
                w->removeEventFilter(t);
                if (on) w->installEventFilter(t);
            }
        }
    };
    // The phases alternate within each round, so that the machine's changes of speed meet
    // every phase alike; each figure is the median over the rounds.
    struct Phase {
        const char* label;
        std::function<void()> enter;
        std::vector<Figures> runs;
    };
    std::vector<Phase> phases = {
        {"painting at the screen's pace:   ", [] {}, {}},
        {"the same, boxes drawn anew (ref.):",
         [] { console::TLoneCheckBox::SetKeepImages(false); },
         {}},
        {"painting at every change (ref.): ",
         [&] {
             pacing(false);
             console::TLoneCheckBox::SetKeepImages(false);
         },
         {}},
        {"STOP, the scan timers alone:     ", [&] { form1.STOP1Click(); }, {}},
    };
    Measure(500, counter);  // settle
    for (int r = 0; r < rounds; ++r) {
        for (Phase& phase : phases) {
            form1.RUN1Click();
            pacing(true);
            console::TLoneCheckBox::SetKeepImages(true);
            phase.enter();
            Measure(200, counter);
            phase.runs.push_back(Measure(ms, counter));
        }
    }
    const auto median = [](std::vector<Figures> runs, double Figures::*field) {
        std::sort(runs.begin(), runs.end(),
                  [field](const Figures& a, const Figures& b) { return a.*field < b.*field; });
        return runs[runs.size() / 2].*field;
    };
    std::printf("RUN, outputs toggling every scan, medians of %d rounds of %d ms, %s%s\n", rounds,
                ms, onX ? "on an X server" : "offscreen",
                onX && sharedMemory ? ", pixels through shared memory (ref.)" : "");
    for (const Phase& phase : phases) {
        std::printf("  %s %5.1f %% of a core", phase.label,
                    median(phase.runs, &Figures::cpuPercent));
        if (onX) std::printf(", X server %4.1f %%", median(phase.runs, &Figures::xPercent));
        std::printf(", %5.0f box paints/s, %5.0f wake-ups/s\n",
                    median(phase.runs, &Figures::paintsPerSecond),
                    median(phase.runs, &Figures::wakeupsPerSecond));
    }
    std::printf("  box state changes in all RUN phases: %ld (every one applied at once)\n",
                toggles);
    return 0;
}
