#include "opcbus/AppStart.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "importF.h"
#include "opcbus/BusServer.h"
#include "opcbus/Protocol.h"
#include "opcserver/Registration.h"

namespace corvane::opcbus {

namespace {

std::vector<CLSID> RegisteredClasses() {
    std::vector<CLSID> classes;
    for (const auto& factory : opc::TComServer::Instance().Factories())
        classes.push_back(factory->ClassID());
    return classes;
}

}  // namespace

std::optional<TBusOptions> TakeBusOptions(int& argc, char** argv) {
    TBusOptions options;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--symbols") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "corvane: --symbols needs a symbol file\n");
                return std::nullopt;
            }
            options.SymbolsFile = QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        if (std::strncmp(arg, "--symbols=", 10) == 0) {
            if (arg[10] == '\0') {
                std::fprintf(stderr, "corvane: --symbols needs a symbol file\n");
                return std::nullopt;
            }
            options.SymbolsFile = QString::fromLocal8Bit(arg + 10);
            continue;
        }
        argv[kept++] = argv[i];
    }
    if (kept < argc) argv[kept] = nullptr;
    argc = kept;
    return options;
}

std::filesystem::path ActivationDirectory() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return std::filesystem::path(data) / "dbus-1" / "services";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : ".") / ".local" / "share" / "dbus-1" / "services";
}

void UpdateBusActivation(bool install, const std::filesystem::path& executable) {
    const std::filesystem::path directory = ActivationDirectory();
    for (const CLSID& clsid : RegisteredClasses()) {
        const std::string name = BusNameFor(clsid);
        const std::filesystem::path file = directory / (name + ".service");
        std::error_code error;
        if (!install) {
            std::filesystem::remove(file, error);
            continue;
        }
        std::filesystem::create_directories(directory, error);
        const std::filesystem::path temporary = file.string() + ".tmp";
        {
            std::ofstream out(temporary, std::ios::trunc);
            // The bus splits Exec like a shell: quote a path with blanks.
            std::string exec = executable.string();
            if (exec.find_first_of(" \t\"") != std::string::npos) {
                std::string quoted = "\"";
                for (const char c : exec)
                    quoted += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string{c};
                exec = quoted + "\"";
            }
            out << "[D-BUS Service]\nName=" << name << "\nExec=" << exec << " /Embedding\n";
            if (!out.flush()) {
                std::fprintf(stderr, "corvane: cannot write %s\n", temporary.c_str());
                continue;
            }
        }
        std::filesystem::rename(temporary, file, error);
        if (error)
            std::fprintf(stderr, "corvane: cannot write %s: %s\n", file.c_str(),
                         error.message().c_str());
    }
}

std::unique_ptr<QObject> StartBusExport(const TBusOptions& options,
                                        const std::function<opcprovider::TForm2&()>& importWindow) {
    if (options.SymbolsFile && importWindow) {
        opcprovider::TForm2& symbols = importWindow();
        const QString file = *options.SymbolsFile;
        auto chooser = std::move(symbols.OpenDialog1);
        symbols.OpenDialog1 = [file](QWidget*, const QString&) { return file; };
        symbols.Button1Click();
        symbols.OpenDialog1 = std::move(chooser);
    }
    auto server = std::make_unique<TBusServer>(QDBusConnection::sessionBus());
    QString error;
    if (!server->Start(RegisteredClasses(), &error)) {
        std::fprintf(stderr, "corvane: OPC clients of other processes cannot connect: %s\n",
                     error.toLocal8Bit().constData());
        return nullptr;
    }
    return server;
}

}  // namespace corvane::opcbus
