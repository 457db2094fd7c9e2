#pragma once
// The Modbus TCP server over the controller's memory image, on the GUI thread.
#include <QHostAddress>
#include <QModbusTcpServer>
#include <QPointer>
#include <chrono>
#include <functional>
#include <map>

#include "MbapFramer.h"
#include "RegisterMap.h"

class QTcpSocket;
class QTimer;

namespace corvane::modbus {

// Limits that keep one client from starving the others or the console.
struct TServerLimits {
    int MaxConnections = 32;
    // A connection holding part of a frame this long is closed.
    std::chrono::milliseconds PartialFrameTimeout{5000};
    // When every slot is taken, the connection silent longest gives way to a newcomer
    // once it has been silent this long.
    std::chrono::milliseconds EvictSilentAfter{10000};
    // Requests answered for one connection in one event-loop turn; the rest wait a turn.
    int FramesPerTurn = 64;
    // Unanswered input or unread output beyond this closes the connection.
    qsizetype MaxBufferedBytes = 64 * 1024;
};

// Listens through QModbusTcpServer and serves the register map of one controller that
// outlives it. Frames are cut by our own MBAP framer, which reads each client socket
// before the library's handler does (connection observers run before the library connects
// its own slots): that is how unit ids 0 and 255 are answered besides 1, and how broken
// streams, half frames and floods are closed without reaching the library. Requests go to
// the library's PDU engine, whose data access is the live register map: nothing is copied
// into a data store, so dataWritten is emitted for client writes only.
class TModbusServer : public QModbusTcpServer {
    Q_OBJECT
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using LogSink = std::function<void(const QString&)>;

    explicit TModbusServer(plc::TPLC& plc, TServerLimits limits = {},
                           Clock clock = &std::chrono::steady_clock::now,
                           QObject* parent = nullptr);
    ~TModbusServer() override;

    // Starts listening; false with errorString() set when the address cannot be bound.
    bool Listen(const QHostAddress& host, quint16 port);
    void SetLogSink(LogSink sink) { log_ = std::move(sink); }
    // The port listened on: the one chosen by the system when 0 was asked for.
    quint16 Port() const;

    struct TStats {
        int Open = 0;            // connections not being closed
        int HoldingPartial = 0;  // of them, waiting for the rest of a frame
    };
    TStats Stats() const;

    // Closes connections stuck on half a frame; a timer calls it every second.
    void Sweep();

  protected:
    bool readData(QModbusDataUnit* newData) const override;
    bool writeData(const QModbusDataUnit& unit) override;
    QModbusResponse processRequest(const QModbusPdu& request) override;

  private:
    class TObserver;
    using TimePoint = std::chrono::steady_clock::time_point;
    struct TConnection {
        QString Peer;
        QString Reason;  // why we closed it, for the log line
        TMbapFramer Framer;
        TimePoint LastRequest;
        TimePoint PartialSince;
        bool HadPartial = false;
        bool Closing = false;
        bool ServeQueued = false;
    };

    bool Accept(QTcpSocket* socket);
    void OnReadyRead(QTcpSocket* socket);
    void Serve(QTcpSocket* socket);
    void Close(QTcpSocket* socket, TConnection& connection, const QString& reason);
    void Forget(QTcpSocket* socket, bool log);
    void Log(const QString& line) const;

    TRegisterMap map_;
    TServerLimits limits_;
    Clock clock_;
    LogSink log_;
    // Context of our slots on client sockets, apart from the library's (whose context is the
    // server itself), so that they can be cut alone.
    QObject* slots_ = nullptr;
    QTimer* sweepTimer_ = nullptr;
    std::map<QTcpSocket*, TConnection> connections_;
};

}  // namespace corvane::modbus
