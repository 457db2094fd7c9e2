// corvane: the S7-200 CPU 224 simulator with its operator console and OPC server.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CommandLine.h"
#include "Console.h"
#include "ConsoleStyle.h"
#include "DisplaySetup.h"
#include "FontConfigWarmUp.h"
#include "MessagePump.h"
#include "ModbusLoader.h"
#include "OPCpro.h"
#include "QtMessageService.h"
#include "ServerIdentity.h"
#include "SymbolTable.h"
#include "corvane/platform/Registry.h"
#include "importF.h"
#include "main.h"
#include "objbase.h"
#include "opcbus/AppStart.h"
#include "opcserver/Registration.h"
#include "opcserver/ServerImpl.h"

namespace {

using corvane::opc::TComServer;
using corvane::opc::TStartMode;

bool HasPlatformArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return true;
        }
    }
    return false;
}

std::filesystem::path ExecutablePath(const char* argv0) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::absolute(argv0) : self;
}

int Fail(const std::exception& e) {
    std::fprintf(stderr, "corvane: %s\n", e.what());
    return 1;
}

// The categories manager's class object, withdrawn again at shutdown.
DWORD gCategoriesManager = 0;

// The COM server's start-up: switches, registry update, class objects. False when the
// program ends here (registration done).
bool StartComServer(TStartMode mode, corvane::platform::ClassesRoot& registry,
                    const std::filesystem::path& executable) {
    // The categories manager stand-in lives in the apartment, like the real one.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (gCategoriesManager == 0)
        gCategoriesManager = corvane::opc::RegisterCategoriesManager(registry.File());
    return TComServer::Instance().Initialize(mode, {registry, executable});
}

// The framework's shutdown step at the end of the program, on every way out: withdraws
// the class objects and destroys the factories and the item server.
struct TServerShutdown {
    ~TServerShutdown() {
        TComServer::Instance().Shutdown();
        if (gCategoriesManager != 0) CoRevokeClassObject(std::exchange(gCategoriesManager, 0));
    }
};

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane::console;
    namespace opcprovider = corvane::opcprovider;

    // --symbols FILE belongs to the bus export; it is taken out before anything else.
    const auto busOptions = corvane::opcbus::TakeBusOptions(argc, argv);
    if (!busOptions) return 2;
    // The command line as given, before Qt takes its options: --help, --version and a
    // refusal need neither a display nor the registry.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i) rawArguments.append(QString::fromLocal8Bit(argv[i]));
    const std::filesystem::path executable = ExecutablePath(argv[0]);
    // --modbus is ours alone; it is taken out before the rest of the command line is read,
    // by the Modbus module, which is loaded only for it.
    corvane::modbus::IModbusModule* modbusModule = nullptr;
    if (corvane::app::MentionsModbus(rawArguments)) {
        std::string error;
        modbusModule = corvane::app::LoadModbusModule(
            corvane::app::ModbusModuleCandidates(executable), &error);
        if (!modbusModule) {
            std::fprintf(stderr, "corvane: --modbus: %s\n", error.c_str());
            return 2;
        }
        if (const QString problem = modbusModule->TakeOption(rawArguments); !problem.isEmpty()) {
            std::fprintf(stderr, "corvane: %s\n", problem.toLocal8Bit().constData());
            return 2;
        }
    }
    const TCommandLine commandLine = ParseCommandLine(rawArguments);
    if (commandLine.Help) {
        std::fputs(UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (commandLine.Version) {
        std::printf("corvane %d.%d.%d\n", CORVANE_VERSION_MAJOR, CORVANE_VERSION_MINOR,
                    CORVANE_VERSION_PATCH);
        return 0;
    }
    if (!commandLine.Error.isEmpty()) {
        std::fprintf(stderr, "corvane: %s\n%s", commandLine.Error.toLocal8Bit().constData(),
                     UsageText().toLocal8Bit().constData());
        return 2;
    }

    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const TStartMode mode = corvane::opc::StartModeOf(arguments);
    const bool registrationOnly = mode == TStartMode::RegServer || mode == TStartMode::UnregServer;

    // Without a display Qt would abort with a terse platform error; say what to do instead.
    // Registering needs no window.
    if (const QString problem =
            DisplayProblem(&ProcessEnvironment, HasPlatformArgument(argc, argv));
        !problem.isEmpty() && !registrationOnly) {
        std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
        return 2;
    }

    // The font configuration loads beside the start-up below; registering needs no fonts.
    std::optional<corvane::app::TFontConfigWarmUp> fontWarmUp;
    if (!registrationOnly) fontWarmUp.emplace();

    // (1) The item provider: server identity, `Simulator`, RegisterOpcServer.
    corvane::opc::SetServerFileVersion(
        {CORVANE_VERSION_MAJOR, CORVANE_VERSION_MINOR, CORVANE_VERSION_PATCH});
    corvane::platform::ClassesRoot registry;
    opcprovider::TSymbolTable symbols;
    opcprovider::Simulator* simulator = nullptr;
    const TServerShutdown serverShutdown;
    // The identity and the registration are written to the registry file in one go.
    std::optional<corvane::platform::RegistryBatch> registryBatch;
    try {
        registryBatch.emplace(registry.File());
        simulator =
            &opcprovider::InitializeItemProvider(opcprovider::RegistryWriter(registry), symbols);
    } catch (const std::exception& e) {
        return Fail(e);
    }

    if (registrationOnly) {
        try {
            StartComServer(mode, registry, executable);
            registryBatch->Commit();
        } catch (const std::exception& e) {
            return Fail(e);
        }
        corvane::opcbus::UpdateBusActivation(mode == TStartMode::RegServer, executable);
        return 0;
    }

    corvane::console::PrepareDisplay();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvane");
    QApplication::setApplicationVersion("1.0.2");
    QApplication::setDesktopFileName("corvane");
    QApplication::setWindowIcon(AppIcon());
    // Closing the main window ends the program, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);

    // (2) Application initialisation: the COM server's switches and class objects.
    const corvane::app::TMessagePump pump;
    TComServer::Instance().SetQuitHandler(
        [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); });
    try {
        StartComServer(mode, registry, executable);
        registryBatch->Commit();
    } catch (const std::exception& e) {
        return Fail(e);
    }

    TQtMessageService messages;
    const TMessageServiceScope messageScope(messages);

    // (3) The windows, hidden: the main window now; About, Module, Memory, Write Bit and
    // Import Symbols when first needed (see TConsole).
    fontWarmUp->Finish();  // the main window measures text from here on
    TConsole console;
    // Import Symbols is built when first needed: "Add Symbols", or a symbol file given on
    // the command line (imported before the main window shows, as always).
    std::unique_ptr<opcprovider::TForm2> form2;
    const auto importWindow = [&]() -> opcprovider::TForm2& {
        if (!form2) form2 = std::make_unique<opcprovider::TForm2>(symbols, registry);
        return *form2;
    };
    console.SetImportSymbolsWindow([&importWindow]() -> QWidget* { return &importWindow(); });
    TForm1& form1 = console.Form1();
    messages.SetParent(&form1);
    simulator->AttachPlc(&form1.Plc());
    simulator->SetLogSink([&form1](const std::string& line) { form1.AppendLog(FileText(line)); });
    form1.CloseQuery = [&form1] {
        return TComServer::Instance().CanClose(
            [&form1](const std::string& title, const std::string& text) {
                QMessageBox box(QMessageBox::Warning, QString::fromStdString(title),
                                QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                                &form1);
                box.setDefaultButton(QMessageBox::No);
                box.setWindowModality(Qt::ApplicationModal);
                return box.exec() == QMessageBox::Yes;
            });
    };
    QObject::connect(&form1, &TForm1::Closed, &app, &QApplication::quit);
    const auto busExport = corvane::opcbus::StartBusExport(*busOptions, importWindow);

    // (4) Show the main window and run until it closes.
    form1.show();
    const auto modbus =
        modbusModule ? modbusModule->Start(form1.Plc(),
                                           [&form1](const QString& line) { form1.AppendLog(line); })
                     : nullptr;
    if (commandLine.ProgramFile) {
        const QString file = *commandLine.ProgramFile;
        QTimer::singleShot(0, &form1, [&form1, file] { form1.LoadProgramFile(file); });
    }
    const int result = QApplication::exec();
    // The windows go before the server does; nothing may reach them any more.
    simulator->SetLogSink({});
    simulator->AttachPlc(nullptr);
    TComServer::Instance().SetQuitHandler(nullptr);
    return result;
}
