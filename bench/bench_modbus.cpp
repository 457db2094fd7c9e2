// Modbus TCP figures on loopback:
//  1. sequential read-coils requests from one client, against `corvane --modbus` and
//     against the library's plain QModbusTcpServer (modbus_reference_server) in the same run;
//  2. the console's scan-timer and timer-base event rates with a program in RUN, idle and
//     while 16 clients poll as fast as they can.
// `bench_modbus [REQUESTS]`; needs no display (offscreen).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ModbusServer.h"
#include "main.h"

namespace {

using Clock = std::chrono::steady_clock;

// A blocking Modbus TCP client on a plain socket, for client threads and tight loops.
class TBlockingClient {
  public:
    explicit TBlockingClient(quint16 port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot connect to port " + std::to_string(port));
    }
    ~TBlockingClient() { ::close(fd_); }
    TBlockingClient(const TBlockingClient&) = delete;
    TBlockingClient& operator=(const TBlockingClient&) = delete;

    // One request with function `function`, start address and quantity; false on any fault.
    bool Request(uint8_t function, uint16_t address, uint16_t quantity) {
        ++transaction_;
        const uint8_t request[12] = {uint8_t(transaction_ >> 8),
                                     uint8_t(transaction_),
                                     0,
                                     0,
                                     0,
                                     6,
                                     1,
                                     function,
                                     uint8_t(address >> 8),
                                     uint8_t(address),
                                     uint8_t(quantity >> 8),
                                     uint8_t(quantity)};
        if (::send(fd_, request, sizeof request, MSG_NOSIGNAL) != sizeof request) return false;
        uint8_t header[7];
        if (!ReceiveAll(header, sizeof header)) return false;
        const size_t length = size_t(header[4] << 8 | header[5]);
        if (length < 2 || length > 254) return false;
        uint8_t pdu[254];
        if (!ReceiveAll(pdu, length - 1)) return false;
        return pdu[0] == function && (header[0] << 8 | header[1]) == transaction_;
    }

  private:
    bool ReceiveAll(uint8_t* buffer, size_t size) {
        for (size_t got = 0; got < size;) {
            const ssize_t n = ::recv(fd_, buffer + got, size - got, 0);
            if (n <= 0) return false;
            got += size_t(n);
        }
        return true;
    }
    int fd_;
    uint16_t transaction_ = 0;
};

// A server program started for the run, found ready by its listening line, ended by its id.
class TServerProgram {
  public:
    TServerProgram(const QString& program, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("CORVANE_REGISTRY", home_.filePath("registry.reg"));
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.setReadChannel(QProcess::StandardError);
        process_.start(program, arguments);
        static const QRegularExpression ready("listening on \\S+ port (\\d+)");
        QByteArray seen;
        while (process_.waitForReadyRead(30000)) {
            seen += process_.readAllStandardError();
            if (const auto match = ready.match(QString::fromLocal8Bit(seen)); match.hasMatch()) {
                port_ = quint16(match.captured(1).toUInt());
                return;
            }
        }
        throw std::runtime_error("server did not start: " + program.toStdString() + " " +
                                 seen.toStdString());
    }
    ~TServerProgram() {
        process_.terminate();
        if (!process_.waitForFinished(10000)) process_.kill();
        process_.waitForFinished(10000);
    }
    quint16 Port() const { return port_; }

  private:
    QTemporaryDir home_;
    QProcess process_;
    quint16 port_ = 0;
};

double ReadCoilsPerSecond(quint16 port, int requests) {
    TBlockingClient client(port);
    for (int i = 0; i < 200; ++i) client.Request(1, 0, 16);  // warm up
    const auto start = Clock::now();
    for (int i = 0; i < requests; ++i) {
        if (!client.Request(1, 0, 16)) throw std::runtime_error("request failed");
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    return requests / elapsed.count();
}

void Throughput(int requests) {
    TServerProgram reference(CORVANE_MODBUS_REFERENCE, {"0"});
    TServerProgram corvane(CORVANE_PROGRAM, {"--modbus", "127.0.0.1:0"});
    double best[2] = {0, 0};
    for (int round = 0; round < 3; ++round) {  // alternate, so both see the same machine load
        best[0] = std::max(best[0], ReadCoilsPerSecond(reference.Port(), requests));
        best[1] = std::max(best[1], ReadCoilsPerSecond(corvane.Port(), requests));
    }
    std::printf("Sequential read coils (16 coils), one client, %d requests, best of 3:\n",
                requests);
    std::printf("  reference QModbusTcpServer  %9.0f requests/s\n", best[0]);
    std::printf("  corvane --modbus            %9.0f requests/s  (ratio %.2f)\n", best[1],
                best[1] / best[0]);
}

struct TRates {
    double Scan = 0, TimerBase = 0, MaxScanGapMs = 0, Requests = 0;
};

// Runs the event loop for `seconds` and counts the console's timer events meanwhile.
TRates Measure(corvane::console::TForm1& form, double seconds, const std::atomic<long>& served) {
    long scans = 0, ticks = 0;
    qint64 lastScan = -1, maxGap = 0;
    QElapsedTimer clock;
    clock.start();
    auto* scanTimer = form.findChild<QTimer*>("Timer2");
    auto* baseTimer = form.findChild<QTimer*>("PLCTimer");
    const auto a = QObject::connect(scanTimer, &QTimer::timeout, [&] {
        ++scans;
        const qint64 now = clock.nsecsElapsed();
        if (lastScan >= 0) maxGap = std::max(maxGap, now - lastScan);
        lastScan = now;
    });
    const auto b = QObject::connect(baseTimer, &QTimer::timeout, [&] { ++ticks; });
    const long servedBefore = served.load();
    QTimer::singleShot(int(seconds * 1000), qApp, &QCoreApplication::quit);
    QApplication::exec();
    QObject::disconnect(a);
    QObject::disconnect(b);
    const double elapsed = double(clock.nsecsElapsed()) / 1e9;
    return {scans / elapsed, ticks / elapsed, double(maxGap) / 1e6,
            double(served.load() - servedBefore) / elapsed};
}

void EventRates() {
    corvane::console::TForm1 form;
    if (!form.LoadProgramFile(CORVANE_EXAMPLE_PROGRAM)) throw std::runtime_error("no program");
    form.RUN1Click();
    corvane::modbus::TModbusServer server(form.Plc());
    if (!server.Listen(QHostAddress::LocalHost, 0)) throw std::runtime_error("cannot listen");
    std::atomic<long> served{0};
    const TRates idle = Measure(form, 2.0, served);

    constexpr int kClients = 16;
    std::atomic<bool> stop{false};
    std::atomic<int> finished{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            TBlockingClient client(server.Port());
            while (!stop.load()) {
                const bool ok = i % 2 ? client.Request(1, 0, 168) : client.Request(3, 0, 11);
                if (!ok) break;
                served.fetch_add(1);
            }
            finished.fetch_add(1);
        });
    }
    const TRates loaded = Measure(form, 2.0, served);
    stop = true;
    // The clients wait for their last answers: keep serving until they have them.
    while (finished.load() < kClients) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (std::thread& client : clients) client.join();

    std::printf("Console timer events with a program in RUN (per second; target 1000 each):\n");
    std::printf("  %-28s scan %6.0f  timer base %6.0f  longest scan gap %5.1f ms\n", "idle",
                idle.Scan, idle.TimerBase, idle.MaxScanGapMs);
    std::printf("  %-28s scan %6.0f  timer base %6.0f  longest scan gap %5.1f ms\n",
                "16 clients polling", loaded.Scan, loaded.TimerBase, loaded.MaxScanGapMs);
    std::printf("  requests served meanwhile: %.0f/s\n", loaded.Requests);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int requests = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 20000;
    try {
        Throughput(requests);
        EventRates();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_modbus: %s\n", e.what());
        return 1;
    }
    return 0;
}
