#include "bus_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

#include "opcbus/Protocol.h"
#include "opcda.h"

extern char** environ;

namespace corvane::test {

namespace {

constexpr CLSID kSimulator = {
    0x7E3C5A21, 0x94B6, 0x4F0D, {0xA8, 0xC2, 0x3D, 0x5E, 0x61, 0xF0, 0xB7, 0xA4}};

// The bus connection of the test itself, for watching names.
QDBusConnection Bus() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "bus-test";
        static char* argv[] = {name, nullptr};
        // Never destroyed: Qt's globals are gone before static destructors would run.
        static QCoreApplication* const app = new QCoreApplication(argc, argv);
        (void)app;
    }
    return QDBusConnection::sessionBus();
}

}  // namespace

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TChild::TChild(std::vector<std::string> argv, bool captureOutput) {
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (captureOutput && pipe2(pipeFds, O_CLOEXEC) != 0) pipeFds[0] = pipeFds[1] = -1;
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // A test that crashes takes its children along instead of leaving them running.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        if (pipeFds[1] >= 0) dup2(pipeFds[1], STDOUT_FILENO);
        execv(args[0], args.data());
        _exit(127);
    }
    if (pipeFds[1] >= 0) close(pipeFds[1]);
    out_ = pipeFds[0];
}

TChild::~TChild() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (out_ >= 0) close(out_);
}

void TChild::Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
}

bool TChild::Running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

std::optional<int> TChild::WaitExit(std::chrono::milliseconds limit) {
    WaitFor([&] { return !Running(); }, limit);
    return status_;
}

std::optional<std::string> TChild::ReadLine(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
            std::string line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (out_ < 0 || left.count() <= 0) return std::nullopt;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[512];
        const ssize_t n = read(out_, chunk, sizeof chunk);
        if (n <= 0) return std::nullopt;
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

TPrivateBus::TPrivateBus() {
    char pattern[] = "/tmp/corvane-bus-XXXXXX";
    dir_ = mkdtemp(pattern);
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    setenv("CORVANE_REGISTRY", (dir_ / "registry.reg").c_str(), 1);
    setenv("HOME", dir_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    std::ofstream(SymbolFile()) << "Start   I0.0   R/W\nLamp    Q0.0   R\nFlag    M0.1   R/W\n"
                                   "Flag2   M0.2   R/W\n";
    // The daemon says where it listens once it does: no guessing when it is ready.
    daemon_ = std::make_unique<TChild>(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session",
                                                                "--print-address=1", "--nofork"},
                                       true);
    const auto address = daemon_->ReadLine(10s);
    if (!address) return;
    address_ = *address;
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

TPrivateBus::~TPrivateBus() {
    daemon_.reset();
    std::error_code error;
    std::filesystem::remove_all(dir_, error);
}

std::string SimulatorBusName() {
    return opcbus::BusNameFor(kSimulator);
}

bool NameOwned(const std::string& name) {
    const QDBusReply<bool> reply =
        Bus().interface()->isServiceRegistered(QString::fromStdString(name));
    return reply.isValid() && reply.value();
}

std::optional<pid_t> NameOwnerPid(const std::string& name) {
    const QDBusReply<uint> reply = Bus().interface()->servicePid(QString::fromStdString(name));
    if (!reply.isValid()) return std::nullopt;
    return static_cast<pid_t>(reply.value());
}

std::unique_ptr<TChild> StartSimulator(const TPrivateBus& bus, std::vector<std::string> extra) {
    std::vector<std::string> argv{CORVANE_EXE, "--symbols", bus.SymbolFile().string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    auto child = std::make_unique<TChild>(argv, false);
    if (!WaitFor([&] { return NameOwned(SimulatorBusName()) || !child->Running(); }, 30s) ||
        !child->Running())
        return nullptr;
    return child;
}

}  // namespace corvane::test
