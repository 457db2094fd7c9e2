#pragma once
// The Modbus TCP server as a module of its own, which corvane loads only when `--modbus` is
// given: a start without it does not load Qt Network, Qt SerialBus and what they need.
// Nothing here names a Qt Network type, so the program can include it without them.
#include <QLatin1StringView>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace corvane::plc {
class TPLC;
}

namespace corvane::modbus {

inline constexpr QLatin1StringView kModbusOption{"--modbus"};

// Whether `argument` is the option itself, `--modbus` or `--modbus=VALUE`: what the program
// looks for before it loads the module, and what the module then takes out.
inline bool IsModbusOption(const QString& argument) {
    return argument == kModbusOption ||
           (argument.startsWith(kModbusOption) && argument.size() > kModbusOption.size() &&
            argument[kModbusOption.size()] == u'=');
}

// What the program asks of the module. The module's calls into the controller reach the
// program's own code (the program exports those few functions), not a copy of it.
class IModbusModule {
  public:
    virtual ~IModbusModule() = default;
    // TakeModbusOption on `arguments`: empty when the option was valid (or absent), else
    // what was wrong with its value.
    virtual QString TakeOption(QStringList& arguments) = 0;
    // StartModbusServer for the endpoint taken: the server, or null when it could not
    // listen (said on standard error and to `log`).
    virtual std::unique_ptr<QObject> Start(plc::TPLC& plc,
                                           std::function<void(const QString&)> log) = 0;
};

// The module's one exported function: `IModbusModule* corvane_modbus_module(int abi)`, an
// object that lives as long as the module stays loaded, or null when the program's `abi`
// is not the module's (a module left from another build). Change kModbusModuleAbi with
// any change of IModbusModule.
inline constexpr char kModbusModuleEntry[] = "corvane_modbus_module";
inline constexpr int kModbusModuleAbi = 1;
using TModbusModuleEntry = IModbusModule* (*)(int abi);

}  // namespace corvane::modbus
