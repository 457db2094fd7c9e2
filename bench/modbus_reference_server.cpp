// The library's QModbusTcpServer as it comes, with a plain data store: the reference that
// bench_modbus holds our server against. `modbus_reference_server [PORT]` (0: the system
// chooses); writes "listening on 127.0.0.1 port N" to standard error once it listens.
#include <QCoreApplication>
#include <QModbusTcpServer>
#include <QTcpServer>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const quint16 port = arguments.size() > 1 ? quint16(arguments[1].toUInt()) : 0;
    QModbusTcpServer server;
    QModbusDataUnitMap map;
    map.insert(QModbusDataUnit::Coils, {QModbusDataUnit::Coils, 0, 4000});
    map.insert(QModbusDataUnit::DiscreteInputs, {QModbusDataUnit::DiscreteInputs, 0, 1256});
    map.insert(QModbusDataUnit::InputRegisters, {QModbusDataUnit::InputRegisters, 0, 1256});
    map.insert(QModbusDataUnit::HoldingRegisters, {QModbusDataUnit::HoldingRegisters, 0, 211});
    server.setMap(map);
    server.setServerAddress(1);
    server.setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
    server.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    if (!server.connectDevice()) {
        std::fprintf(stderr, "cannot listen: %s\n", server.errorString().toLocal8Bit().constData());
        return 1;
    }
    const auto* listener = server.findChild<QTcpServer*>();
    std::fprintf(stderr, "Modbus TCP server listening on 127.0.0.1 port %u\n",
                 unsigned(listener ? listener->serverPort() : port));
    return QCoreApplication::exec();
}
