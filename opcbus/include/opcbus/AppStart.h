// What the corvane program needs from the bus export, kept here so that its start-up
// changes by a few calls: the `--symbols FILE` option, the activation file that
// /RegServer installs and /UnRegServer removes, and serving the registered classes.
#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace corvane::opcprovider {
class TForm2;
}

namespace corvane::opcbus {

struct TBusOptions {
    std::optional<QString> SymbolsFile;
};

// Takes `--symbols FILE` (or `--symbols=FILE`) out of the arguments. Nothing (after a
// message on standard error) when the option has no file.
std::optional<TBusOptions> TakeBusOptions(int& argc, char** argv);

// $XDG_DATA_HOME/dbus-1/services (default ~/.local/share/dbus-1/services).
std::filesystem::path ActivationDirectory();
// Writes (install) or removes one service file per registered class, whose Exec starts
// `executable /Embedding`. A failure is reported on standard error and ends nothing.
void UpdateBusActivation(bool install, const std::filesystem::path& executable);

// Imports the symbol file as the Import Symbols window's "Load Symbols" would, then
// serves the registered classes on the session bus. The result keeps the export alive;
// without a session bus the simulator runs on and says why on standard error.
// `importWindow` gives the window (building it if need be); it is asked only when there
// is a symbol file to import.
std::unique_ptr<QObject> StartBusExport(const TBusOptions& options,
                                        const std::function<opcprovider::TForm2&()>& importWindow);

}  // namespace corvane::opcbus
