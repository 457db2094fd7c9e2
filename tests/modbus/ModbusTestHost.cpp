// A console with a program in RUN and the Modbus server, for the tests that drive it from
// real clients: `modbus_test_host PROGRAM [HOST:]PORT`. It writes the server's readiness
// line and every log line ("log: ...") and message ("message: ...") to standard error.
#include <QApplication>
#include <cstdio>
#include <string>

#include "ModbusOption.h"
#include "ModbusServer.h"
#include "QtMessageService.h"
#include "main.h"

namespace {

class TPrintedMessages : public corvane::plc::TMessageService {
  public:
    void ShowMessage(std::string_view text) override {
        std::fprintf(stderr, "message: %.*s\n", int(text.size()), text.data());
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    QString error;
    const auto endpoint = arguments.size() == 3
                              ? corvane::modbus::ParseModbusEndpoint(arguments[2], &error)
                              : std::nullopt;
    if (!endpoint) {
        std::fprintf(stderr, "usage: modbus_test_host PROGRAM [HOST:]PORT %s\n",
                     error.toLocal8Bit().constData());
        return 2;
    }
    TPrintedMessages messages;
    const corvane::console::TMessageServiceScope messageScope(messages);
    corvane::console::TForm1 form;
    if (!form.LoadProgramFile(arguments[1])) return 1;
    form.RUN1Click();
    const auto server =
        corvane::modbus::StartModbusServer(*endpoint, form.Plc(), [&form](const QString& line) {
            form.AppendLog(line);
            std::fprintf(stderr, "log: %s\n", line.toLocal8Bit().constData());
        });
    if (!server) return 1;
    return QApplication::exec();
}
