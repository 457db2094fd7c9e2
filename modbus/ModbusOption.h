#pragma once
// `--modbus [HOST:]PORT` on the command line, and starting the server it asks for.
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "PLC_Instruction.h"

namespace corvane::modbus {

class TModbusServer;

inline constexpr quint16 kDefaultModbusPort = 1502;

struct TModbusEndpoint {
    QHostAddress Host{QHostAddress::LocalHost};
    quint16 Port = kDefaultModbusPort;
    bool operator==(const TModbusEndpoint&) const = default;
};

struct TModbusOption {
    std::optional<TModbusEndpoint> Endpoint;  // set when the option was given
    QString Error;                            // a value that is no [HOST:]PORT
};

// "PORT", "HOST:PORT" or "[IPV6]:PORT"; HOST is an IP address or "localhost", PORT 0 to
// 65535 (0: the system chooses). Nullopt with `error` set otherwise.
std::optional<TModbusEndpoint> ParseModbusEndpoint(const QString& text, QString* error);

// Takes `--modbus` out of `arguments` (arguments[0] is the program), with its value when
// the next argument looks like [HOST:]PORT or when written `--modbus=VALUE`; without a
// value the defaults 127.0.0.1:1502 apply. The other arguments stay as they were.
TModbusOption TakeModbusOption(QStringList& arguments);

using TModbusLog = std::function<void(const QString&)>;

// Starts the server for `plc` on `endpoint`, logging to `log` (start, clients). When the
// address cannot be bound it says so on standard error and in the log and returns null:
// the simulator then runs without Modbus.
std::unique_ptr<TModbusServer> StartModbusServer(const TModbusEndpoint& endpoint, plc::TPLC& plc,
                                                 TModbusLog log);

}  // namespace corvane::modbus
