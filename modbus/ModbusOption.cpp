#include "ModbusOption.h"

#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

#include "ModbusModule.h"
#include "ModbusServer.h"

namespace corvane::modbus {
namespace {

// What a value of the option looks like, so `--modbus program.awl` keeps the program.
// A host without its port is taken too, to be refused rather than loaded as a program.
bool LooksLikeEndpoint(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^(\\S*:)?\\d+$"));
    return pattern.match(text).hasMatch() || !QHostAddress(text).isNull() ||
           text.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0;
}

}  // namespace

std::optional<TModbusEndpoint> ParseModbusEndpoint(const QString& text, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<TModbusEndpoint> {
        if (error) *error = QStringLiteral("--modbus %1: %2").arg(text, why);
        return std::nullopt;
    };
    TModbusEndpoint endpoint;
    const qsizetype colon = text.lastIndexOf(':');
    const QString portText = colon < 0 ? text : text.mid(colon + 1);
    if (colon >= 0) {
        QString host = text.left(colon);
        if (host.startsWith('[') && host.endsWith(']')) host = host.mid(1, host.size() - 2);
        if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) {
            endpoint.Host = QHostAddress(QHostAddress::LocalHost);
        } else if (!endpoint.Host.setAddress(host)) {
            return fail(QStringLiteral("HOST must be an IP address or localhost"));
        }
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (portText.isEmpty() || !ok || port > 65535 ||
        !std::all_of(portText.begin(), portText.end(), [](QChar c) { return c.isDigit(); }))
        return fail(QStringLiteral("PORT must be a number from 0 to 65535"));
    endpoint.Port = static_cast<quint16>(port);
    return endpoint;
}

TModbusOption TakeModbusOption(QStringList& arguments) {
    TModbusOption result;
    for (qsizetype i = 1; i < arguments.size();) {
        const QString& argument = arguments[i];
        std::optional<QString> value;
        qsizetype taken = 1;
        if (!IsModbusOption(argument)) {
            ++i;
            continue;
        }
        if (argument != kModbusOption) {
            value = argument.mid(kModbusOption.size() + 1);
        } else if (i + 1 < arguments.size() && LooksLikeEndpoint(arguments[i + 1])) {
            value = arguments[i + 1];
            taken = 2;
        }
        arguments.remove(i, taken);
        if (!value) {
            result.Endpoint = TModbusEndpoint{};
        } else if (auto endpoint = ParseModbusEndpoint(*value, &result.Error)) {
            result.Endpoint = endpoint;
        } else {
            result.Endpoint.reset();
            return result;
        }
    }
    return result;
}

std::unique_ptr<TModbusServer> StartModbusServer(const TModbusEndpoint& endpoint, plc::TPLC& plc,
                                                 TModbusLog log) {
    auto server = std::make_unique<TModbusServer>(plc);
    server->SetLogSink(log);
    if (server->Listen(endpoint.Host, endpoint.Port)) {
        // Also the readiness line for scripts that start the simulator.
        std::fprintf(stderr, "corvane: Modbus TCP server listening on %s port %u\n",
                     endpoint.Host.toString().toLocal8Bit().constData(), unsigned(server->Port()));
        return server;
    }
    const QString line = QStringLiteral(
                             "Modbus TCP server not started: cannot listen on %1 port "
                             "%2 (%3); the simulator runs without Modbus")
                             .arg(endpoint.Host.toString())
                             .arg(endpoint.Port)
                             .arg(server->errorString());
    std::fprintf(stderr, "corvane: %s\n", line.toLocal8Bit().constData());
    if (log) log(line);
    return nullptr;
}

}  // namespace corvane::modbus
