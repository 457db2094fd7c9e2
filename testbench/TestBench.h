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

// Why `file` cannot serve as a program or script although it exists: "it is a directory",
// "it is a FIFO (named pipe)", ...; an empty text for a regular file or a missing one (the
// loader reports a missing file as the console does). Looked at without opening the file,
// so a FIFO never blocks.
std::string NotARegularFile(const std::filesystem::path& file);

// One controller with its run control, loader and a switch array standing in for the
// faceplate and module boxes. Commands are executed one line at a time; the first failed
// `expect` or the first line it cannot understand stops the script.
class TTestBench : private plc::TMessageService, private plc::TIoPanel {
  public:
    TTestBench(std::ostream& out, std::ostream& err);
    ~TTestBench() override;
    TTestBench(const TTestBench&) = delete;
    TTestBench& operator=(const TTestBench&) = delete;

    // The File > "Load program" command with `file` chosen in the dialog. True when the
    // program was loaded; otherwise its message has been printed.
    bool Load(const std::filesystem::path& file);

    // File > "Import S7-200 program..." with `file` and, unless empty, the symbol file
    // `symbols`. True when imported; the outcome has been printed either way.
    bool Import(const std::filesystem::path& file, const std::filesystem::path& symbols);

    // Runs every command of `script`; errors name the script's line number.
    TExitCode RunScript(std::istream& script);

    // The end-of-run line on the error stream: expectations held, scans executed, RUN or
    // STOP, and whether the scan is halted by an error.
    void PrintSummary();

    int ExpectationsHeld() const { return expectationsHeld_; }
    long long Scans() const { return scans_; }
    // A scan that failed leaves Busy set: no scan runs until Reset or a new load.
    bool Halted() const { return plc_.Busy; }

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
    int expectationsHeld_ = 0;
    long long scans_ = 0;  // scans executed (the scan timer's events that ran one)
};

}  // namespace corvane::testbench
