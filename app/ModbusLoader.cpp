#include "ModbusLoader.h"

#include <dlfcn.h>

#include <algorithm>
#include <string>
#include <system_error>

namespace corvane::app {

bool MentionsModbus(const QStringList& arguments) {
    return std::any_of(arguments.begin() + std::min<qsizetype>(1, arguments.size()),
                       arguments.end(), &modbus::IsModbusOption);
}

std::vector<std::filesystem::path> ModbusModuleCandidates(const std::filesystem::path& executable) {
    const std::filesystem::path dir = executable.parent_path();
    return {dir / "libcorvane_modbus.so",
            dir / CORVANE_MODULE_DIR_FROM_BIN / "libcorvane_modbus.so"};
}

modbus::IModbusModule* LoadModbusModule(const std::vector<std::filesystem::path>& candidates,
                                        std::string* error) {
    for (const std::filesystem::path& file : candidates) {
        std::error_code ignored;
        if (!std::filesystem::exists(file, ignored)) continue;
        // Never closed: the server's objects and Qt's metadata of its classes live in it.
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            *error = why ? why : ("cannot load " + file.string());
            return nullptr;
        }
        auto entry =
            reinterpret_cast<modbus::TModbusModuleEntry>(dlsym(handle, modbus::kModbusModuleEntry));
        modbus::IModbusModule* module = entry ? entry(modbus::kModbusModuleAbi) : nullptr;
        if (!module) {
            *error = file.string() + " is no Modbus module of this corvane";
            dlclose(handle);
            return nullptr;
        }
        return module;
    }
    *error = "the Modbus module (libcorvane_modbus.so) is not installed";
    return nullptr;
}

}  // namespace corvane::app
