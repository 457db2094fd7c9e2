// Painting held to the screen's pace: the boxes' states change at once, their paint comes
// at most once per period, and the last state is always painted.
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include "ConsoleTestSupport.h"
#include "PaintThrottle.h"

namespace corvane::console::test {
namespace {

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
  public:
    explicit PaintCounter(QWidget& w) { w.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

class PaintThrottleTest : public ::testing::Test {
  protected:
    PaintThrottleTest() {
        window.resize(100, 40);
        box.setGeometry(0, 0, 60, 20);
        window.show();
        Settle();
        // What showing the window held back reaches the screen; nothing is pending.
        now += 16;
        throttle.Flush();
        Settle();
    }
    static void Settle() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
    std::int64_t now = 1000;
    QWidget window;
    TColourBox box{"Q0.0", &window};
    TPaintThrottle throttle{window, 16, [this] { return now; }};
    PaintCounter counter{box};
};

TEST_F(PaintThrottleTest, ManyChangesWithinOnePeriodArePaintedOnceAndKeepEveryState) {
    const int before = counter.paints;
    for (int i = 0; i < 50; ++i) {
        box.setChecked(i % 2 == 0);
        box.SetColour(i % 2 == 0 ? QColor(255, 255, 0) : QColor(171, 171, 171));
        EXPECT_EQ(box.isChecked(), i % 2 == 0) << "the state changes at once";
        QCoreApplication::processEvents();
    }
    EXPECT_LE(counter.paints - before, 1);
    // The period ends: the held-back changes reach the screen, showing the last state.
    now += 16;
    throttle.Flush();
    Settle();
    EXPECT_GE(counter.paints - before, 1);
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(box.Colour(), QColor(171, 171, 171));
}

TEST_F(PaintThrottleTest, AChangeAfterAQuietPeriodIsPaintedAtOnce) {
    now += 100;
    const int before = counter.paints;
    box.setChecked(true);
    Settle();
    EXPECT_EQ(counter.paints - before, 1);
}

TEST_F(PaintThrottleTest, APeriodFollowsTheScreensRefreshRate) {
    QWidget other;
    TPaintThrottle fromScreen(other);
    EXPECT_GE(fromScreen.Period(), 1);
    EXPECT_LE(fromScreen.Period(), 100);
}

TEST_F(ConsoleTest, TheMainAndModuleWindowsPaintAtTheScreensPace) {
    EXPECT_NE(Form1().findChild<TPaintThrottle*>(), nullptr);
    EXPECT_NE(Console().ModuleF().findChild<TPaintThrottle*>(), nullptr);
}

}  // namespace
}  // namespace corvane::console::test
