#include "RunControl.h"

#include <array>

namespace corvane::plc {

namespace {

constexpr int kFirstModuleByte = 2;
constexpr int kLastModuleByte = 7;
constexpr int kFaceplateSwitchesInByte1 = 6;  // I1.0..I1.5
constexpr int kFaceplateLedsInByte1 = 2;      // Q1.0, Q1.1
constexpr int kModuleBits = (kLastModuleByte - kFirstModuleByte + 1) * kBitsPerByte;

constexpr auto MakeLedElements() {
    std::array<int, kFaceplateLedsInByte1 + kBitsPerByte + kModuleBits> e{};
    size_t n = 0;
    for (int b = 0; b < kFaceplateLedsInByte1; ++b) e[n++] = kBitsPerByte + b;
    for (int b = 0; b < kBitsPerByte; ++b) e[n++] = b;
    for (int b = 0; b < kModuleBits; ++b) e[n++] = kFirstModuleByte * kBitsPerByte + b;
    return e;
}

constexpr auto MakeSwitchElements() {
    std::array<int, kBitsPerByte + kFaceplateSwitchesInByte1 + kModuleBits> e{};
    size_t n = 0;
    for (int b = 0; b < kBitsPerByte + kFaceplateSwitchesInByte1; ++b) e[n++] = b;
    for (int b = 0; b < kModuleBits; ++b) e[n++] = kFirstModuleByte * kBitsPerByte + b;
    return e;
}

constexpr auto kLedElements = MakeLedElements();
constexpr auto kSwitchElements = MakeSwitchElements();

}  // namespace

std::span<const int> LedElements() {
    return kLedElements;
}
std::span<const int> SwitchElements() {
    return kSwitchElements;
}

bool HasSwitch(int element) {
    for (int e : kSwitchElements)
        if (e == element) return true;
    return false;
}

namespace {

// STOP -> RUN: the next scan is a first scan (SM0.1).
void EnterRun(TPLC& plc) {
    if (!plc.Running) plc.FirstScanPending = true;
    plc.Running = true;
}

}  // namespace

void TRunControl::RunCommand() {
    EnterRun(plc_);
    refreshEnabled_ = true;
}

void TRunControl::StopCommand() {
    refreshEnabled_ = false;
    plc_.Running = false;
}

void TRunControl::ResetCommand() {
    plc_.ResetMemory();
    plc_.Running = false;
}

void TRunControl::RunBoxClicked() {
    EnterRun(plc_);
    refreshEnabled_ = true;
}

void TRunControl::StopBoxClicked() {
    plc_.Running = false;
}

void TRunControl::ScanEvent() {
    if (plc_.Running && !plc_.Busy) plc_.ExecuteScan();
}

void TRunControl::RefreshEvent(TIoPanel& panel) {
    if (refreshEnabled_) IORefresh(panel);
}

void TRunControl::IORefresh(TIoPanel& panel) {
    outputCopy_ = plc_.Q;
    for (int e : kLedElements) panel.ShowOutput(e, outputCopy_[static_cast<size_t>(e)]);
    for (int e : kSwitchElements) inputBuffer_[static_cast<size_t>(e)] = panel.ReadSwitch(e);
    if (!plc_.Busy) plc_.LoadInputs(inputBuffer_);
}

}  // namespace corvane::plc
