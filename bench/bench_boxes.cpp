// What one LED change costs the I/O refresh: a check box flipped among the faceplate's
// siblings, with its colour handler, against the same flip of plain Qt check boxes in the
// same run (the ungrouped box searches its siblings on every uncheck).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QWidget>
#include <memory>

#include "ColourBox.h"
#include "ConsoleStyle.h"

using namespace corvane::console;

namespace {

constexpr int kSiblings = 96;  // the module window's boxes

// The faceplate's own path: TColourBox and its SetColour, as the LED handler runs it.
void BM_ColourBoxSetColour(benchmark::State& state) {
    QWidget window;
    std::vector<TColourBox*> boxes;
    for (int i = 0; i < kSiblings; ++i) {
        boxes.push_back(new TColourBox(QString::number(i), &window));
        boxes.back()->setGeometry(40 * (i % 12), 20 * (i / 12), 35, 17);
    }
    window.resize(500, 200);
    window.show();
    QCoreApplication::processEvents();
    TColourBox& box = *boxes.front();
    QObject::connect(&box, &QCheckBox::toggled,
                     [&box](bool on) { box.SetColour(on ? kYellow : kGrey); });
    bool on = false;
    for (auto _ : state) {
        on = !on;
        box.setChecked(on);
    }
    QCoreApplication::processEvents();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ColourBoxSetColour);

template <class Box>
void Flip(benchmark::State& state, bool colour) {
    QWidget window;
    std::vector<Box*> boxes;
    for (int i = 0; i < kSiblings; ++i) boxes.push_back(new Box(QString::number(i), &window));
    for (int i = 0; i < kSiblings; ++i) boxes[i]->setGeometry(40 * (i % 12), 20 * (i / 12), 35, 17);
    window.resize(500, 200);
    window.show();
    QCoreApplication::processEvents();
    Box& box = *boxes.front();
    if (colour)
        QObject::connect(&box, &QCheckBox::toggled,
                         [&box](bool on) { SetBackground(box, on ? kYellow : kGrey); });
    bool on = false;
    for (auto _ : state) {
        on = !on;
        box.setChecked(on);
    }
    QCoreApplication::processEvents();
    state.SetItemsProcessed(state.iterations());
}

void BM_PlainCheckBox(benchmark::State& state) {
    Flip<QCheckBox>(state, false);
}
void BM_LoneCheckBox(benchmark::State& state) {
    Flip<TLoneCheckBox>(state, false);
}
void BM_PlainCheckBoxColoured(benchmark::State& state) {
    Flip<QCheckBox>(state, true);
}
void BM_LoneCheckBoxColoured(benchmark::State& state) {
    Flip<TLoneCheckBox>(state, true);
}

BENCHMARK(BM_PlainCheckBox);
BENCHMARK(BM_LoneCheckBox);
BENCHMARK(BM_PlainCheckBoxColoured);
BENCHMARK(BM_LoneCheckBoxColoured);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
