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
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Console.h"
#include "DisplaySetup.h"
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
    console::PrepareDisplay();  // as the program does
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

    const int ms = argc > 1 ? std::atoi(argv[1]) : 3000;
    Measure(500, counter);  // settle
    const Figures paced = Measure(ms, counter);
    for (QWidget* w : {static_cast<QWidget*>(&form1), static_cast<QWidget*>(&console.ModuleF())})
        if (auto* t = w->findChild<console::TPaintThrottle*>()) w->removeEventFilter(t);
    const Figures unpaced = Measure(ms, counter);
    form1.STOP1Click();
    Measure(200, counter);
    const Figures stopped = Measure(ms, counter);
    std::printf("RUN, outputs toggling every scan, %d ms each, %s\n", ms,
                onX ? "on an X server" : "offscreen");
    const char* xHeader = onX ? ", X server" : "";
    std::printf("  painting at the screen's pace:   %5.1f %% of a core%s", paced.cpuPercent,
                xHeader);
    if (onX) std::printf(" %5.1f %%", paced.xPercent);
    std::printf(", %6.0f box paints/s, %5.0f wake-ups/s\n", paced.paintsPerSecond,
                paced.wakeupsPerSecond);
    std::printf("  painting at every change (ref.): %5.1f %% of a core%s", unpaced.cpuPercent,
                xHeader);
    if (onX) std::printf(" %5.1f %%", unpaced.xPercent);
    std::printf(", %6.0f box paints/s, %5.0f wake-ups/s\n", unpaced.paintsPerSecond,
                unpaced.wakeupsPerSecond);
    std::printf("  STOP, the scan timer alone:      %5.1f %% of a core%s", stopped.cpuPercent,
                xHeader);
    if (onX) std::printf(" %5.1f %%", stopped.xPercent);
    std::printf(", %5.0f wake-ups/s\n", stopped.wakeupsPerSecond);
    std::printf("  ratio: %.2f\n",
                unpaced.cpuPercent > 0 ? paced.cpuPercent / unpaced.cpuPercent : 0);
    std::printf("  box state changes in both runs: %ld (every one applied at once)\n", toggles);
    return 0;
}
