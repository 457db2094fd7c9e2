// The server in this process with real sockets on loopback and a fake clock: unit ids,
// the protocol's exceptions, client writes, and clients that misbehave.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <random>
#include <vector>

#include "MbapFramer.h"
#include "ModbusOption.h"
#include "ModbusServer.h"

namespace corvane::modbus {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (const int value : values) bytes.push_back(static_cast<char>(value));
    return bytes;
}

// Runs the event loop until `done` holds; false after five seconds of real time.
template <typename Predicate>
bool Pump(Predicate done) {
    QElapsedTimer deadline;
    deadline.start();
    while (!done()) {
        if (deadline.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// A Modbus TCP client on a plain socket, so it can also send what no library would.
class TClient {
  public:
    explicit TClient(quint16 port) {
        socket_.connectToHost(QHostAddress::LocalHost, port);
        socket_.waitForConnected(5000);
    }
    void Send(const std::string& bytes) {
        socket_.write(bytes.data(), qint64(bytes.size()));
        socket_.flush();
    }
    // The next answer, or nullopt when the server closed the connection (or took too long).
    std::optional<TMbapFrame> Receive() {
        std::optional<TMbapFrame> frame;
        Pump([&] {
            const QByteArray bytes = socket_.readAll();
            framer_.Append(std::string_view(bytes.constData(), size_t(bytes.size())));
            frame = framer_.Next();
            return frame || !Connected();
        });
        return frame;
    }
    // The answer's PDU, checked to belong to the request; "closed" when none came.
    std::string Ask(const std::string& pdu, int unit = 1) {
        const uint16_t transaction = ++transaction_;
        Send(EncodeMbap(transaction, uint8_t(unit), pdu));
        const auto frame = Receive();
        if (!frame) return "closed";
        EXPECT_EQ(frame->Transaction, transaction);
        EXPECT_EQ(frame->Unit, unit);
        return frame->Pdu;
    }
    bool Connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    bool WaitClosed() {
        return Pump([&] {
            socket_.readAll();
            return !Connected();
        });
    }

  private:
    QTcpSocket socket_;
    TMbapFramer framer_;
    uint16_t transaction_ = 0;
};

const std::string kReadCoils0To7 = Bytes({1, 0, 0, 0, 8});

class ModbusServerTest : public ::testing::Test {
  protected:
    void SetUp() override { Start({}); }

    void Start(TServerLimits limits) {
        server_.reset();
        server_ = std::make_unique<TModbusServer>(plc_, limits, [this] { return now_; });
        server_->SetLogSink([this](const QString& line) { log_.append(line); });
        ASSERT_TRUE(server_->Listen(QHostAddress::LocalHost, 0))
            << server_->errorString().toStdString();
    }
    // A client the server has taken in (or refused).
    std::unique_ptr<TClient> Connect() {
        const int before = server_->Stats().Open;
        auto client = std::make_unique<TClient>(server_->Port());
        EXPECT_TRUE(Pump([&] { return server_->Stats().Open > before || !client->Connected(); }));
        return client;
    }

    plc::TPLC plc_;
    std::chrono::steady_clock::time_point now_{};
    std::unique_ptr<TModbusServer> server_;
    QStringList log_;
};

TEST_F(ModbusServerTest, AnswersUnitIdsOneZeroAnd255WithTheirOwnUnitId) {
    plc_.Q.At(0, 2) = true;
    auto client = Connect();
    for (const int unit : {1, 0, 255})
        EXPECT_EQ(client->Ask(kReadCoils0To7, unit), Bytes({1, 1, 0x04})) << "unit " << unit;
}

TEST_F(ModbusServerTest, LeavesRequestsForOtherUnitsUnanswered) {
    auto client = Connect();
    client->Send(EncodeMbap(70, 7, kReadCoils0To7) + EncodeMbap(71, 1, kReadCoils0To7));
    const auto frame = client->Receive();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->Transaction, 71);  // answers come in order: 70 got none
}

struct TExceptionCase {
    const char* Name;
    std::string Request;
    std::string Answer;
};

class ModbusExceptionTest : public ModbusServerTest,
                            public ::testing::WithParamInterface<TExceptionCase> {};

TEST_P(ModbusExceptionTest, AnswersWithTheProtocolsException) {
    auto client = Connect();
    EXPECT_EQ(client->Ask(GetParam().Request), GetParam().Answer);
    EXPECT_TRUE(client->Connected());
    EXPECT_EQ(client->Ask(kReadCoils0To7), Bytes({1, 1, 0}));  // and goes on serving
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ModbusExceptionTest,
    ::testing::Values(
        TExceptionCase{"CoilPastQ", Bytes({1, 0, 168, 0, 1}), Bytes({0x81, 2})},
        TExceptionCase{"CoilsAcrossTheGap", Bytes({1, 0x03, 0xE0, 0, 16}), Bytes({0x81, 2})},
        TExceptionCase{"DiscreteInputPastTimers", Bytes({2, 0x04, 0xE8, 0, 1}), Bytes({0x82, 2})},
        TExceptionCase{"HoldingRegisterPastVw", Bytes({3, 0, 0, 0, 12}), Bytes({0x83, 2})},
        TExceptionCase{"InputRegisterBetweenRanges", Bytes({4, 0, 50, 0, 1}), Bytes({0x84, 2})},
        TExceptionCase{"WriteCoilOutsideTheMap", Bytes({5, 0x0F, 0xA0, 0xFF, 0}), Bytes({0x85, 2})},
        TExceptionCase{"WriteRegisterOutsideTheMap", Bytes({6, 0, 50, 0, 1}), Bytes({0x86, 2})},
        TExceptionCase{"ZeroQuantity", Bytes({1, 0, 0, 0, 0}), Bytes({0x81, 3})},
        TExceptionCase{"CoilValueNeitherOnNorOff", Bytes({5, 0, 0, 0x12, 0x34}), Bytes({0x85, 3})},
        TExceptionCase{"ShortRequest", Bytes({3, 0}), Bytes({0x83, 3})},
        TExceptionCase{"ByteCountThatLies", Bytes({16, 0, 0, 0, 2, 9, 0, 1, 0, 2}),
                       Bytes({0x90, 3})},
        TExceptionCase{"Diagnostics", Bytes({8, 0, 4, 0, 0}), Bytes({0x88, 1})},
        TExceptionCase{"DeviceIdentification", Bytes({0x2B, 0x0E, 1, 0}), Bytes({0xAB, 1})},
        TExceptionCase{"UndefinedFunction", Bytes({0x41}), Bytes({0xC1, 1})}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ModbusServerTest, ListenOnlyModeCannotBeForcedOnOtherClients) {
    auto first = Connect();
    auto second = Connect();
    EXPECT_EQ(first->Ask(Bytes({8, 0, 4, 0, 0})), Bytes({0x88, 1}));
    EXPECT_EQ(second->Ask(kReadCoils0To7), Bytes({1, 1, 0}));
}

TEST_F(ModbusServerTest, ClientWritesReachTheMemoryAndAreTheOnlyDataWritten) {
    QSignalSpy written(server_.get(), &QModbusServer::dataWritten);
    auto client = Connect();
    EXPECT_EQ(client->Ask(Bytes({5, 0x03, 0xF1, 0xFF, 0})), Bytes({5, 0x03, 0xF1, 0xFF, 0}));
    EXPECT_TRUE(plc_.M.At(1, 1));  // coil 1009: M, element 9
    EXPECT_EQ(client->Ask(Bytes({16, 0, 100, 0, 1, 2, 0x12, 0x34})), Bytes({16, 0, 100, 0, 1}));
    EXPECT_TRUE(plc_.Q.At(0, 1) && plc_.Q.At(0, 4) && plc_.Q.At(1, 2));
    ASSERT_EQ(written.count(), 2);
    EXPECT_EQ(written[1][0].value<QModbusDataUnit::RegisterType>(),
              QModbusDataUnit::HoldingRegisters);
    EXPECT_EQ(written[1][1].toInt(), 100);
    // The program's own changes, and reads of them, are no client writes.
    plc_.M.At(5, 5) = true;
    EXPECT_EQ(client->Ask(Bytes({1, 0x04, 0x10, 0, 8})), Bytes({1, 1, 0x20}));
    EXPECT_EQ(client->Ask(Bytes({3, 0, 200, 0, 3})), Bytes({3, 6, 0, 0x02, 0, 0, 0, 0x20}));
    EXPECT_EQ(written.count(), 2);
}

TEST_F(ModbusServerTest, AnswersEveryPipelinedRequestInOrder) {
    auto client = Connect();
    std::string burst;
    for (uint16_t transaction = 1; transaction <= 1000; ++transaction)
        burst += EncodeMbap(transaction, 1, kReadCoils0To7);
    client->Send(burst);
    for (uint16_t transaction = 1; transaction <= 1000; ++transaction) {
        const auto frame = client->Receive();
        ASSERT_TRUE(frame) << transaction;
        ASSERT_EQ(frame->Transaction, transaction);
    }
}

struct TBadStream {
    const char* Name;
    std::string Bytes;
    const char* Reason;
};

class BadStreamTest : public ModbusServerTest, public ::testing::WithParamInterface<TBadStream> {};

TEST_P(BadStreamTest, ClosesThatConnectionOnlyAndSaysWhy) {
    auto bad = Connect();
    auto good = Connect();
    bad->Send(GetParam().Bytes);
    EXPECT_TRUE(bad->WaitClosed());
    EXPECT_EQ(good->Ask(kReadCoils0To7), Bytes({1, 1, 0}));
    ASSERT_TRUE(Pump([&] { return server_->Stats().Open == 1; }));
    EXPECT_TRUE(log_.filter("disconnected: ").join('\n').contains(GetParam().Reason))
        << log_.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Streams, BadStreamTest,
    ::testing::Values(
        TBadStream{"Http", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", "protocol identifier"},
        TBadStream{"LengthZero", Bytes({0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 8}), "length"},
        TBadStream{"LengthTooLarge", Bytes({0, 1, 0, 0, 0x10, 0, 1, 1, 0, 0, 0, 8}), "length"},
        TBadStream{"ZeroFilled", std::string(4096, '\0'), "length"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ModbusServerTest, ClosesAClientWhoseRequestsPileUpBeyondTheLimit) {
    Start({.FramesPerTurn = 1, .MaxBufferedBytes = 100});
    auto flooder = Connect();
    std::string burst;
    for (uint16_t transaction = 1; transaction <= 20; ++transaction)
        burst += EncodeMbap(transaction, 1, kReadCoils0To7);
    flooder->Send(burst);
    EXPECT_TRUE(flooder->WaitClosed());
    EXPECT_TRUE(log_.last().endsWith("too many requests waiting")) << log_.last().toStdString();
}

TEST_F(ModbusServerTest, HalfAFrameIsClosedWhenItStaysHalfForFiveSeconds) {
    auto half = Connect();
    auto good = Connect();
    half->Send(EncodeMbap(1, 1, kReadCoils0To7).substr(0, 9));
    ASSERT_TRUE(Pump([&] { return server_->Stats().HoldingPartial == 1; }));
    now_ += std::chrono::milliseconds(4999);
    server_->Sweep();
    EXPECT_EQ(good->Ask(kReadCoils0To7), Bytes({1, 1, 0}));
    EXPECT_TRUE(half->Connected());
    now_ += std::chrono::milliseconds(1);
    server_->Sweep();
    EXPECT_TRUE(half->WaitClosed());
    EXPECT_EQ(good->Ask(kReadCoils0To7), Bytes({1, 1, 0}));
}

TEST_F(ModbusServerTest, RefusesConnectionsBeyondTheLimitUnlessOneHasFallenSilent) {
    Start({.MaxConnections = 3});
    auto silent = Connect();
    now_ += std::chrono::seconds(5);
    auto busy1 = Connect();
    auto busy2 = Connect();
    ASSERT_EQ(server_->Stats().Open, 3);

    TClient refused(server_->Port());
    EXPECT_TRUE(refused.WaitClosed());
    EXPECT_EQ(server_->Stats().Open, 3);

    now_ += std::chrono::seconds(5);  // `silent` has said nothing for 10 s, the others for 5
    TClient newcomer(server_->Port());
    EXPECT_TRUE(silent->WaitClosed());
    EXPECT_EQ(newcomer.Ask(kReadCoils0To7), Bytes({1, 1, 0}));
    EXPECT_EQ(busy1->Ask(kReadCoils0To7), Bytes({1, 1, 0}));
    EXPECT_EQ(busy2->Ask(kReadCoils0To7), Bytes({1, 1, 0}));
}

TEST_F(ModbusServerTest, ServesSixteenClientsAtOnce) {
    std::vector<std::unique_ptr<TClient>> clients;
    for (int i = 0; i < 16; ++i) clients.push_back(Connect());
    for (auto& client : clients) client->Send(EncodeMbap(9, 1, kReadCoils0To7));
    for (auto& client : clients) {
        const auto frame = client->Receive();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->Pdu, Bytes({1, 1, 0}));
    }
}

TEST_F(ModbusServerTest, LogsTheStartAndEachClientComingAndGoing) {
    {
        auto client = Connect();
        client->Ask(kReadCoils0To7);
    }
    ASSERT_TRUE(Pump([&] { return log_.size() == 3; }));
    EXPECT_TRUE(log_[0].startsWith("Modbus TCP server listening on 127.0.0.1:"))
        << log_[0].toStdString();
    EXPECT_TRUE(log_[1].contains("connected"));
    EXPECT_TRUE(log_[2].endsWith("disconnected"));
}

TEST(ModbusStartTest, APortInUseIsSaidAndLeavesNoServer) {
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::LocalHost, 0));
    plc::TPLC plc;
    QStringList log;
    const auto server =
        StartModbusServer({QHostAddress(QHostAddress::LocalHost), occupant.serverPort()}, plc,
                          [&log](const QString& line) { log.append(line); });
    EXPECT_EQ(server, nullptr);
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].contains(QString::number(occupant.serverPort())));
    EXPECT_TRUE(log[0].contains("without Modbus"));
}

// Requests of every served function with random contents: each gets a well-formed answer
// (its own function code, or an exception 1 to 4) and the server stays up.
TEST_F(ModbusServerTest, RandomRequestsGetWellFormedAnswers) {
    auto client = Connect();
    std::mt19937 random(12);
    const int functions[] = {1, 2, 3, 4, 5, 6, 15, 16, 22, 23};
    for (int i = 0; i < 1500; ++i) {
        std::string pdu(1, char(functions[random() % std::size(functions)]));
        const size_t length = random() % 12;
        for (size_t b = 0; b < length; ++b)
            pdu.push_back(char(random() % 4 == 0 ? random() : random() % 3));
        const std::string answer = client->Ask(pdu);
        ASSERT_NE(answer, "closed") << i;
        ASSERT_FALSE(answer.empty());
        const auto code = uint8_t(answer[0]);
        if (code & 0x80) {
            ASSERT_EQ(code, uint8_t(pdu[0]) | 0x80);
            ASSERT_EQ(answer.size(), 2u);
            EXPECT_TRUE(answer[1] >= 1 && answer[1] <= 4) << int(answer[1]);
        } else {
            ASSERT_EQ(code, uint8_t(pdu[0]));
        }
    }
}

}  // namespace
}  // namespace corvane::modbus
