#pragma once
// Shared fixtures for the controller tests: a message recorder and a program builder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Messages.h"
#include "PLC_Instruction.h"
#include "ProgramLoader.h"

namespace corvane::plc::test {

// Records every message instead of showing it; installed for the lifetime of the object.
class TMessageRecorder : public TMessageService {
  public:
    TMessageRecorder() : previous_(SetMessageService(this)) {}
    ~TMessageRecorder() override { SetMessageService(previous_); }
    void ShowMessage(std::string_view text) override { Messages.emplace_back(text); }
    std::vector<std::string> Messages;

  private:
    TMessageService* previous_;
};

inline constexpr const char* kCopystrMessage = "kiem tra lai ham copystr()";

// Stores `lines` as a load would (cut to 20 characters) and compiles them.
inline void Compile(TPLC& plc, TProgramLines& store, const std::vector<std::string>& lines) {
    for (auto& slot : store.Slots) slot.clear();
    int n = 0;
    for (const std::string& line : lines)
        store.Slots[static_cast<size_t>(++n)] = line.substr(0, 20);
    plc.LineCount = n;
    plc.CompileProgram(store);
}

// A controller with a program: `Load({"LD   I0.0", "=    Q0.0"})`.
class PlcTest : public ::testing::Test {
  protected:
    void Load(const std::vector<std::string>& lines) { Compile(plc, store, lines); }
    // Runs one scan the way the scan timer does: an escaping error is reported.
    bool Scan() {
        return RunEvent([this] { plc.ExecuteScan(); });
    }
    TMessageRecorder recorder;
    TPLC plc;
    TProgramLines store;
};

}  // namespace corvane::plc::test
