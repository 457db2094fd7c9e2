// Test processes for the out-of-process tests: a private session bus (dbus-daemon) and
// the programs under test, each started by the test and ended by its own process id.
// Waits are bounded polls of a condition, never fixed sleeps.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane::test {

using namespace std::chrono_literals;

// Polls `condition` until it holds or `limit` passes.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// A child process; killed (SIGKILL) and reaped on destruction if still running.
class TChild {
  public:
    // Starts `argv[0]` with the arguments; its standard output is readable when captured.
    TChild(std::vector<std::string> argv, bool captureOutput);
    ~TChild();
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int signal) const;
    // The exit status once the process ended within `limit`.
    std::optional<int> WaitExit(std::chrono::milliseconds limit);
    bool Running();
    // The next line of standard output within `limit`.
    std::optional<std::string> ReadLine(std::chrono::milliseconds limit);

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
    std::optional<int> status_;
};

// A scratch directory, a private dbus-daemon and the environment that points this
// process and its children at both (bus address, registry, XDG data, offscreen Qt).
class TPrivateBus {
  public:
    TPrivateBus();
    ~TPrivateBus();
    const std::filesystem::path& Dir() const { return dir_; }
    std::filesystem::path SymbolFile() const { return dir_ / "symbols.txt"; }
    bool Ok() const { return !address_.empty(); }

  private:
    std::filesystem::path dir_;
    std::string address_;
    std::unique_ptr<TChild> daemon_;
};

// The bus name of the simulator's class and whether someone owns it now.
std::string SimulatorBusName();
bool NameOwned(const std::string& name);
// The process id behind a bus name, if any.
std::optional<pid_t> NameOwnerPid(const std::string& name);

// corvane serving the simulator with the scratch symbol file, ready on the bus.
std::unique_ptr<TChild> StartSimulator(const TPrivateBus& bus, std::vector<std::string> extra = {});

}  // namespace corvane::test
