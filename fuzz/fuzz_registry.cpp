// Arbitrary bytes as a registry file. Nothing may crash; text that reads as a registry
// must read back as the same tree after it is written out.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "corvane/platform/Registry.h"
#include "registry_file.h"

using namespace corvane::platform;

namespace {

bool SameTree(const registry::Tree& a, const registry::Tree& b) {
    if (a.size() != b.size()) return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
        if (i->first != j->first || i->second.name != j->second.name ||
            i->second.values != j->second.values)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    registry::Tree tree;
    try {
        tree = registry::Parse(text, "fuzz.reg");
    } catch (const ERegistryCorrupt&) {
        return 0;
    }
    const std::string written = registry::Serialize(tree);
    registry::Tree again;
    try {
        again = registry::Parse(written, "fuzz.reg");
    } catch (const ERegistryCorrupt&) {
        std::abort();  // what we write, we must read
    }
    if (!SameTree(tree, again) || registry::Serialize(again) != written) std::abort();
    return 0;
}
