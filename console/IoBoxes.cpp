#include "IoBoxes.h"

#include <QCheckBox>

namespace corvane::console {
namespace {
bool InArea(int element) {
    return element >= 0 && element < plc::kBitsPerArea;
}
}  // namespace

void TIoBoxes::AddLed(int element, QCheckBox* box) {
    if (!InArea(element)) return;
    const auto index = static_cast<size_t>(element);
    leds_[index] = box;
    if (box && shownWithoutBox_.test(index)) box->setChecked(true);
    shownWithoutBox_.reset(index);
}

void TIoBoxes::AddSwitch(int element, QCheckBox* box) {
    if (InArea(element)) switches_[static_cast<size_t>(element)] = box;
}

QCheckBox* TIoBoxes::Led(int element) const {
    return InArea(element) ? leds_[static_cast<size_t>(element)].data() : nullptr;
}

QCheckBox* TIoBoxes::Switch(int element) const {
    return InArea(element) ? switches_[static_cast<size_t>(element)].data() : nullptr;
}

void TIoBoxes::ShowOutput(int element, bool on) {
    if (!InArea(element)) return;
    if (QCheckBox* box = Led(element)) {
        box->setChecked(on);
    } else {
        shownWithoutBox_.set(static_cast<size_t>(element), on);
    }
}

bool TIoBoxes::ReadSwitch(int element) {
    const QCheckBox* box = Switch(element);
    return box != nullptr && box->isChecked();
}

}  // namespace corvane::console
