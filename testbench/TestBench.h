#pragma once
// The headless test bench behind `corvane-plc`: runs the controller from a command
// script, with the console's messages printed instead of shown.
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "Messages.h"
#include "PLC_Instruction.h"
#include "ProgramLoader.h"
#include "RunControl.h"

namespace corvane::testbench {

enum class TExitCode : int { Ok = 0, ExpectFailed = 1, UsageError = 2 };

// One controller with its run control, loader and a switch array standing in for the
// faceplate and module boxes. Commands are executed one line at a time; the first failed
// `expect` or the first line it cannot understand stops the script.
class TTestBench : private plc::TMessageService, private plc::TIoPanel {
  public:
    TTestBench(std::ostream& out, std::ostream& err);
    ~TTestBench() override;
    TTestBench(const TTestBench&) = delete;
    TTestBench& operator=(const TTestBench&) = delete;

    // The File > "Load program" command with `file` chosen in the dialog.
    void Load(const std::filesystem::path& file);

    // Runs every command of `script`; errors name the script's line number.
    TExitCode RunScript(std::istream& script);

    const plc::TPLC& Plc() const { return plc_; }

  private:
    struct TCommand;

    void ShowMessage(std::string_view text) override;
    void ShowOutput(int element, bool on) override;
    bool ReadSwitch(int element) override;

    void Execute(const std::vector<std::string>& words);
    void Refresh();
    void Scan();

    std::ostream& out_;
    std::ostream& err_;
    plc::TMessageService* previousService_;
    plc::TPLC plc_;
    plc::TProgramLoader loader_{plc_};
    plc::TRunControl control_{plc_};
    plc::TBitArea switches_;
    std::vector<std::string> listing_;  // the "STL Commands" panel
};

}  // namespace corvane::testbench
