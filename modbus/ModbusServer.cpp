#include "ModbusServer.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::modbus {
namespace {

bool TableOf(QModbusDataUnit::RegisterType type, TTable& table) {
    switch (type) {
        case QModbusDataUnit::DiscreteInputs:
            table = TTable::DiscreteInputs;
            return true;
        case QModbusDataUnit::Coils:
            table = TTable::Coils;
            return true;
        case QModbusDataUnit::InputRegisters:
            table = TTable::InputRegisters;
            return true;
        case QModbusDataUnit::HoldingRegisters:
            table = TTable::HoldingRegisters;
            return true;
        default:
            return false;
    }
}

bool ServedUnit(uint8_t unit) {
    // 1 is the server's own address; 0 and 255 are what many TCP clients send when the
    // unit id means nothing to them.
    return unit == 1 || unit == 0 || unit == 255;
}

QString FrameErrorText(TFrameError error) {
    switch (error) {
        case TFrameError::NotModbus:
            return QStringLiteral("not Modbus: protocol identifier is not 0");
        case TFrameError::BadLength:
            return QStringLiteral("malformed frame: impossible length field");
        case TFrameError::None:
            break;
    }
    return {};
}

QString EndpointText(const QHostAddress& host, quint16 port) {
    const QString address = host.protocol() == QAbstractSocket::IPv6Protocol
                                ? QStringLiteral("[%1]").arg(host.toString())
                                : host.toString();
    return QStringLiteral("%1:%2").arg(address).arg(port);
}

}  // namespace

// The library owns its observer and deletes it with the server.
class TModbusServer::TObserver : public QModbusTcpConnectionObserver {
  public:
    explicit TObserver(TModbusServer& server) : server_(server) {}
    bool acceptNewConnection(QTcpSocket* newClient) override { return server_.Accept(newClient); }

  private:
    TModbusServer& server_;
};

TModbusServer::TModbusServer(plc::TPLC& plc, TServerLimits limits, Clock clock, QObject* parent)
    : QModbusTcpServer(parent), map_(plc), limits_(limits), clock_(std::move(clock)) {
    installConnectionObserver(std::make_unique<TObserver>(*this).release());
    slots_ = new QObject(this);
    sweepTimer_ = new QTimer(this);
    sweepTimer_->setInterval(1000);
    connect(sweepTimer_, &QTimer::timeout, this, &TModbusServer::Sweep);
}

TModbusServer::~TModbusServer() {
    // The library closes the sockets in its own destructor, after our members are gone.
    // It frees its buffer for a connection when the socket is destroyed, but only while the
    // server is whole: so end each connection here, where its slots still run, and let the
    // socket's pending deletion happen now rather than never.
    log_ = {};
    const auto connections = std::exchange(connections_, {});
    for (const auto& entry : connections) {
        QTcpSocket* socket = entry.first;
        QObject::disconnect(socket, nullptr, slots_, nullptr);
        socket->abort();
        QCoreApplication::sendPostedEvents(socket, QEvent::DeferredDelete);
    }
    disconnectDevice();
}

bool TModbusServer::Listen(const QHostAddress& host, quint16 port) {
    setConnectionParameter(QModbusDevice::NetworkAddressParameter, host.toString());
    setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    setServerAddress(1);
    if (!connectDevice() || state() != QModbusDevice::ConnectedState) return false;
    sweepTimer_->start();
    Log(QStringLiteral("Modbus TCP server listening on %1 (unit ids 1, 0 and 255)")
            .arg(EndpointText(host, Port())));
    return true;
}

TModbusServer::TStats TModbusServer::Stats() const {
    TStats stats;
    for (const auto& entry : connections_) {
        if (entry.second.Closing) continue;
        ++stats.Open;
        stats.HoldingPartial += entry.second.HadPartial ? 1 : 0;
    }
    return stats;
}

quint16 TModbusServer::Port() const {
    // The library keeps its listening socket as a child and does not tell its port.
    if (const auto* listener = findChild<QTcpServer*>(); listener && listener->isListening())
        return listener->serverPort();
    return quint16(connectionParameter(QModbusDevice::NetworkPortParameter).toUInt());
}

void TModbusServer::Log(const QString& line) const {
    if (log_) log_(line);
}

bool TModbusServer::Accept(QTcpSocket* socket) {
    const TimePoint now = clock_();
    if (Stats().Open >= limits_.MaxConnections) {
        auto silentLongest = connections_.end();
        for (auto it = connections_.begin(); it != connections_.end(); ++it) {
            if (it->second.Closing) continue;
            if (silentLongest == connections_.end() ||
                it->second.LastRequest < silentLongest->second.LastRequest)
                silentLongest = it;
        }
        if (silentLongest == connections_.end() ||
            now - silentLongest->second.LastRequest < limits_.EvictSilentAfter)
            return false;  // the library closes the refused socket
        Close(silentLongest->first, silentLongest->second,
              QStringLiteral("silent, gave way to a new client"));
    }
    TConnection connection;
    connection.Peer = EndpointText(socket->peerAddress(), socket->peerPort());
    connection.LastRequest = now;
    const QString peer = connection.Peer;
    connections_.emplace(socket, std::move(connection));
    // Connected before the library's own readyRead slot, so this one runs first.
    connect(socket, &QTcpSocket::readyRead, slots_, [this, socket] { OnReadyRead(socket); });
    connect(socket, &QTcpSocket::disconnected, slots_, [this, socket] { Forget(socket, true); });
    connect(socket, &QObject::destroyed, slots_, [this, socket] { Forget(socket, false); });
    Log(QStringLiteral("Modbus TCP client %1 connected").arg(peer));
    return true;
}

void TModbusServer::OnReadyRead(QTcpSocket* socket) {
    // Always drain the socket: whatever stayed would reach the library's own framing.
    const QByteArray bytes = socket->readAll();
    const auto found = connections_.find(socket);
    if (found == connections_.end() || found->second.Closing) return;
    found->second.Framer.Append(std::string_view(bytes.constData(), size_t(bytes.size())));
    Serve(socket);
}

void TModbusServer::Serve(QTcpSocket* socket) {
    const auto found = connections_.find(socket);
    if (found == connections_.end() || found->second.Closing) return;
    TConnection& connection = found->second;
    connection.ServeQueued = false;
    const TimePoint now = clock_();
    int served = 0;
    while (served < limits_.FramesPerTurn) {
        const std::optional<TMbapFrame> frame = connection.Framer.Next();
        if (!frame) break;
        ++served;
        connection.LastRequest = now;
        if (!ServedUnit(frame->Unit)) continue;  // another device's request: no answer
        const auto code =
            static_cast<QModbusPdu::FunctionCode>(static_cast<uint8_t>(frame->Pdu[0]));
        const QModbusResponse response = processRequest(QModbusRequest(
            code, QByteArray(frame->Pdu.data() + 1, qsizetype(frame->Pdu.size() - 1))));
        if (response.functionCode() == QModbusPdu::Invalid && !response.isException()) continue;
        std::string pdu(1, static_cast<char>(static_cast<uint8_t>(response.functionCode()) |
                                             (response.isException() ? 0x80 : 0)));
        const QByteArray data = response.data();
        pdu.append(data.constData(), size_t(data.size()));
        const std::string adu = EncodeMbap(frame->Transaction, frame->Unit, pdu);
        socket->write(adu.data(), qint64(adu.size()));
    }
    if (const QString error = FrameErrorText(connection.Framer.Error()); !error.isEmpty()) {
        Close(socket, connection, error);
        return;
    }
    if (qsizetype(connection.Framer.Buffered()) > limits_.MaxBufferedBytes) {
        Close(socket, connection, QStringLiteral("too many requests waiting"));
        return;
    }
    if (socket->bytesToWrite() > limits_.MaxBufferedBytes) {
        Close(socket, connection, QStringLiteral("does not read its answers"));
        return;
    }
    if (served == limits_.FramesPerTurn && connection.Framer.HasPartialFrame()) {
        // Let the timers and the other clients have their turn before the rest.
        connection.ServeQueued = true;
        QTimer::singleShot(0, socket, [this, socket] { Serve(socket); });
    }
    if (!connection.Framer.HasPartialFrame()) {
        connection.HadPartial = false;
    } else if (served > 0 || !connection.HadPartial) {
        connection.HadPartial = true;
        connection.PartialSince = now;
    }
}

void TModbusServer::Sweep() {
    const TimePoint now = clock_();
    for (auto& [socket, connection] : connections_) {
        if (connection.Closing || !connection.HadPartial || connection.ServeQueued) continue;
        if (now - connection.PartialSince >= limits_.PartialFrameTimeout)
            Close(socket, connection, QStringLiteral("half a frame never completed"));
    }
}

void TModbusServer::Close(QTcpSocket* socket, TConnection& connection, const QString& reason) {
    if (connection.Closing) return;
    connection.Closing = true;
    connection.Reason = reason;
    // Never inside the socket's own signal: the library's slots still run after ours.
    QTimer::singleShot(0, socket, [socket] { socket->abort(); });
}

void TModbusServer::Forget(QTcpSocket* socket, bool log) {
    const auto found = connections_.find(socket);
    if (found == connections_.end()) return;
    const QString line =
        found->second.Reason.isEmpty()
            ? QStringLiteral("Modbus TCP client %1 disconnected").arg(found->second.Peer)
            : QStringLiteral("Modbus TCP client %1 disconnected: %2")
                  .arg(found->second.Peer, found->second.Reason);
    connections_.erase(found);
    if (log) Log(line);
}

bool TModbusServer::readData(QModbusDataUnit* newData) const {
    TTable table{};
    if (!newData || !TableOf(newData->registerType(), table)) return false;
    const int start = newData->startAddress();
    const qsizetype count = newData->valueCount();
    if (start < 0 || start > 0xFFFF || count <= 0) return false;
    std::vector<uint16_t> values(static_cast<size_t>(count));
    if (map_.Read(table, uint16_t(start), values) != TMapResult::Ok) return false;
    newData->setValues(QList<quint16>(values.begin(), values.end()));
    return true;
}

bool TModbusServer::writeData(const QModbusDataUnit& unit) {
    TTable table{};
    if (!TableOf(unit.registerType(), table)) return false;
    const int start = unit.startAddress();
    const QList<quint16> values = unit.values();
    if (start < 0 || start > 0xFFFF || values.isEmpty()) return false;
    const std::vector<uint16_t> block(values.begin(), values.end());
    if (map_.Write(table, uint16_t(start), block) != TMapResult::Ok) return false;
    // Only the library's request handling writes here, so this is always a client's write.
    emit dataWritten(unit.registerType(), start, int(values.size()));
    return true;
}

QModbusResponse TModbusServer::processRequest(const QModbusPdu& request) {
    switch (request.functionCode()) {
        case QModbusPdu::ReadCoils:
        case QModbusPdu::ReadDiscreteInputs:
        case QModbusPdu::ReadHoldingRegisters:
        case QModbusPdu::ReadInputRegisters:
        case QModbusPdu::WriteSingleCoil:
        case QModbusPdu::WriteSingleRegister:
        case QModbusPdu::WriteMultipleCoils:
        case QModbusPdu::WriteMultipleRegisters:
        case QModbusPdu::MaskWriteRegister:
        case QModbusPdu::ReadWriteMultipleRegisters:
            return QModbusTcpServer::processRequest(request);
        default:
            // The serial-line diagnostics would let one client put the server into
            // listen-only mode for everyone; the rest have nothing behind them here.
            return QModbusExceptionResponse(request.functionCode(),
                                            QModbusExceptionResponse::IllegalFunction);
    }
}

}  // namespace corvane::modbus
