#include "ModbusModule.h"

#include <optional>

#include "ModbusOption.h"
#include "ModbusServer.h"

namespace corvane::modbus {
namespace {

class TModbusModule final : public IModbusModule {
  public:
    QString TakeOption(QStringList& arguments) override {
        TModbusOption option = TakeModbusOption(arguments);
        endpoint_ = option.Endpoint;
        return option.Error;
    }

    std::unique_ptr<QObject> Start(plc::TPLC& plc,
                                   std::function<void(const QString&)> log) override {
        if (!endpoint_) return nullptr;
        return StartModbusServer(*endpoint_, plc, std::move(log));
    }

  private:
    std::optional<TModbusEndpoint> endpoint_;
};

}  // namespace
}  // namespace corvane::modbus

extern "C" __attribute__((visibility("default"))) corvane::modbus::IModbusModule*
corvane_modbus_module(int abi) {
    if (abi != corvane::modbus::kModbusModuleAbi) return nullptr;
    static corvane::modbus::TModbusModule module;
    return &module;
}
