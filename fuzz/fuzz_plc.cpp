// Arbitrary text as an STL file: load, compile, then scans, ticks and refreshes on two
// controllers, one running the decoded program and one parsing operand text. Nothing may
// crash, and both must stay identical.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Messages.h"
#include "PLC_Instruction.h"
#include "ProgramLoader.h"
#include "RunControl.h"

using namespace corvane::plc;

namespace {

struct TCollect : TMessageService {
    std::vector<std::string> Messages;
    void ShowMessage(std::string_view text) override { Messages.emplace_back(text); }
};

bool SameState(const TPLC& a, const TPLC& b) {
    return a.I == b.I && a.Q == b.Q && a.M == b.M && a.V == b.V && a.LogicStack == b.LogicStack &&
           a.Busy == b.Busy && a.Timers == b.Timers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TCollect messages;
    SetMessageService(&messages);
    const std::string text(reinterpret_cast<const char*>(data), size);
    TPLC decoded, byText;
    TProgramLoader loaderA(decoded), loaderB(byText);
    loaderA.LoadText(text, nullptr);
    loaderB.LoadText(text, nullptr);
    for (int round = 0; round < 6; ++round) {
        const size_t element = size ? data[round % size] % 168 : 0;
        decoded.I[element] = byText.I[element] = !decoded.I[element];
        messages.Messages.clear();
        const bool okA = RunEvent([&] { decoded.ExecuteScan(); });
        const std::vector<std::string> fromA = messages.Messages;
        messages.Messages.clear();
        const bool okB = RunEvent([&] { byText.ExecuteScanByText(); });
        if (okA != okB || fromA != messages.Messages) std::abort();
        for (int t = 0; t < 3; ++t) decoded.TimerTick(), byText.TimerTick();
        if (!SameState(decoded, byText)) std::abort();
        if (decoded.Busy) decoded.ResetMemory(), byText.ResetMemory();
    }
    SetMessageService(nullptr);
    return 0;
}
