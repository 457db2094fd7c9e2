// What one LED change costs the I/O refresh: a check box flipped among the faceplate's
// siblings, with its colour handler, against the same flip of plain Qt check boxes in the
// same run (the ungrouped box searches its siblings on every uncheck).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QWidget>
#include <memory>
#include <type_traits>
#include <vector>

#include "ColourBox.h"
#include "ConsoleStyle.h"

using namespace corvane::console;

namespace {

constexpr int kSiblings = 96;  // the module window's boxes

// What runs when a box changes state: nothing, the colour set straight into its palette,
// or the faceplate's own path (TColourBox::SetColour, as the LED handler runs it).
enum class Handler { None, Background, SetColour };

template <class Box>
void Flip(benchmark::State& state, Handler handler) {
    QWidget window;
    std::vector<Box*> boxes;
    for (int i = 0; i < kSiblings; ++i) {
        boxes.push_back(new Box(QString::number(i), &window));
        boxes.back()->setGeometry(40 * (i % 12), 20 * (i / 12), 35, 17);
    }
    window.resize(500, 200);
    window.show();
    QCoreApplication::processEvents();
    Box& box = *boxes.front();
    if (handler == Handler::Background)
        QObject::connect(&box, &QCheckBox::toggled,
                         [&box](bool on) { SetBackground(box, on ? kYellow : kGrey); });
    if constexpr (std::is_base_of_v<TColourBox, Box>) {
        if (handler == Handler::SetColour)
            QObject::connect(&box, &QCheckBox::toggled,
                             [&box](bool on) { box.SetColour(on ? kYellow : kGrey); });
    }
    bool on = false;
    for (auto _ : state) {
        on = !on;
        box.setChecked(on);
    }
    QCoreApplication::processEvents();
    state.SetItemsProcessed(state.iterations());
}

void BM_PlainCheckBox(benchmark::State& state) {
    Flip<QCheckBox>(state, Handler::None);
}
void BM_LoneCheckBox(benchmark::State& state) {
    Flip<TLoneCheckBox>(state, Handler::None);
}
void BM_PlainCheckBoxColoured(benchmark::State& state) {
    Flip<QCheckBox>(state, Handler::Background);
}
void BM_LoneCheckBoxColoured(benchmark::State& state) {
    Flip<TLoneCheckBox>(state, Handler::Background);
}
void BM_ColourBoxSetColour(benchmark::State& state) {
    Flip<TColourBox>(state, Handler::SetColour);
}

BENCHMARK(BM_PlainCheckBox);
BENCHMARK(BM_LoneCheckBox);
BENCHMARK(BM_PlainCheckBoxColoured);
BENCHMARK(BM_LoneCheckBoxColoured);
BENCHMARK(BM_ColourBoxSetColour);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
