#pragma once
// Run control and the I/O refresh as logic: the console binds them to its check boxes
// and timers, the test bench to a switch array.
#include <span>

#include "PLC_Instruction.h"

namespace corvane::plc {

// Elements of the flat area shown by an LED, in the order the refresh sets them:
// Q1.0, Q1.1, Q0.0..Q0.7, then the module LEDs Q2.0..Q7.7.
std::span<const int> LedElements();
// Elements read from a switch, in the order the refresh reads them:
// I0.0..I0.7, I1.0..I1.5, then the module switches I2.0..I7.7.
std::span<const int> SwitchElements();
// True when `element` of I has a switch (I1.6, I1.7 and I8.0 on have none).
bool HasSwitch(int element);

// The faceplate and module boxes as the refresh sees them.
class TIoPanel {
  public:
    virtual ~TIoPanel() = default;
    virtual void ShowOutput(int element, bool on) = 0;
    virtual bool ReadSwitch(int element) = 0;
};

// The state machine behind RUN, STOP and Reset and the three main-window timers'
// handlers. Box check marks and colours are the console's; this holds the net effects on
// the controller and on the I/O refresh timer.
class TRunControl {
  public:
    explicit TRunControl(TPLC& plc) : plc_(plc) {}

    void RunCommand();      // Simulator > RUN: Running, refresh on
    void StopCommand();     // Simulator > STOP: refresh off, not Running
    void ResetCommand();    // Simulator > Reset: ResetMemory, not Running, refresh unchanged
    void RunBoxClicked();   // Running, refresh on, whichever way the box went
    void StopBoxClicked();  // not Running; refresh untouched

    // Scan timer event: one scan when Running and not Busy. A failing scan throws (the
    // caller reports it like an error escaping a GUI event) and leaves Busy set.
    void ScanEvent();
    // I/O refresh timer event: IORefresh when the refresh is on, nothing otherwise.
    void RefreshEvent(TIoPanel& panel);
    // Outputs to LEDs, switches to the input buffer, and the buffer into I unless Busy.
    void IORefresh(TIoPanel& panel);

    bool RefreshEnabled() const { return refreshEnabled_; }
    void SetRefreshEnabled(bool on) { refreshEnabled_ = on; }
    const TBitArea& OutputCopy() const { return outputCopy_; }
    const TBitArea& InputBuffer() const { return inputBuffer_; }

  private:
    TPLC& plc_;
    bool refreshEnabled_ = false;
    TBitArea outputCopy_;
    TBitArea inputBuffer_;
};

}  // namespace corvane::plc
