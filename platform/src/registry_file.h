// The text of the registry file: "[key]" lines followed by @="default" and "name"="value"
// lines, with \\, \" and \n escaped; ';' starts a comment line. Parsing and writing only;
// where the text lives is registry.cpp's business.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace corvane::platform::registry {

// Letter case as the registry compares names: ASCII letters folded to upper case.
std::string Upper(std::string_view s);

struct Key {
    std::string name;
    std::map<std::string, std::pair<std::string, std::string>>
        values;  // upper name -> (name, value)
};

using Tree = std::map<std::string, Key>;  // upper path -> key

// Throws ERegistryCorrupt naming `fileName` and the line for text that is no registry.
Tree Parse(std::string_view text, const std::string& fileName);
// Text that Parse reads back as the same tree.
std::string Serialize(const Tree& tree);

}  // namespace corvane::platform::registry
