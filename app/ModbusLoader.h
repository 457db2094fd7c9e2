#pragma once
// Finding and loading the Modbus module when the command line asks for Modbus.
#include <QStringList>
#include <filesystem>
#include <string>
#include <vector>

#include "ModbusModule.h"

namespace corvane::app {

// Whether `arguments` (arguments[0] is the program) hold `--modbus` or `--modbus=...`.
bool MentionsModbus(const QStringList& arguments);

// Where the module may be, for the program at `executable`, in the order tried: beside it
// (the build tree), then in the library directory of an installed tree.
std::vector<std::filesystem::path> ModbusModuleCandidates(const std::filesystem::path& executable);

// Loads the module from the first candidate that exists. Null with `error` set when none
// exists, when it does not load, or when it is not this program's module (no entry point,
// or one of another build); a module once loaded stays loaded for the rest of the program.
modbus::IModbusModule* LoadModbusModule(const std::vector<std::filesystem::path>& candidates,
                                        std::string* error);

}  // namespace corvane::app
