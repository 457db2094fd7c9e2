#pragma once
// The switches and LEDs of the faceplate and the module window as the I/O refresh sees them.
#include <QPointer>
#include <array>
#include <bitset>

#include "PLC_Instruction.h"
#include "RunControl.h"

class QCheckBox;

namespace corvane::console {

// Maps elements of the flat I and Q areas to the boxes that show them. Windows register
// their boxes once; an element without a box reads as an open switch. An output shown
// while its element has no box is kept and checks the LED registered later, so a window
// built after some refreshes shows what it would have shown had it existed all along.
// Setting an LED goes through setChecked, so a box's change handlers run exactly when
// its state changes, as they do for a click.
class TIoBoxes : public plc::TIoPanel {
  public:
    void AddLed(int element, QCheckBox* box);
    void AddSwitch(int element, QCheckBox* box);

    QCheckBox* Led(int element) const;
    QCheckBox* Switch(int element) const;

    void ShowOutput(int element, bool on) override;
    bool ReadSwitch(int element) override;

  private:
    std::array<QPointer<QCheckBox>, plc::kBitsPerArea> leds_{};
    std::array<QPointer<QCheckBox>, plc::kBitsPerArea> switches_{};
    std::bitset<plc::kBitsPerArea> shownWithoutBox_;  // outputs last shown to no LED
};

}  // namespace corvane::console
