#include "registry_file.h"

#include "corvane/platform/Registry.h"

namespace corvane::platform::registry {
namespace {

std::string Escape(std::string_view s) {
    std::string r;
    for (char c : s) {
        if (c == '\\' || c == '"') r += '\\';
        if (c == '\n') {
            r += "\\n";
            continue;
        }
        r += c;
    }
    return r;
}

// Reads a quoted string starting at line[pos] (the opening quote); pos ends after it.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"') return false;
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= line.size()) return false;
            c = line[pos] == 'n' ? '\n' : line[pos];
        }
        out += c;
    }
    return false;
}

[[noreturn]] void Corrupt(const std::string& fileName, int line, const char* why) {
    throw ERegistryCorrupt("Registry file '" + fileName + "' is corrupt at line " +
                           std::to_string(line) + ": " + why);
}

}  // namespace

std::string Upper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return r;
}

Tree Parse(std::string_view text, const std::string& fileName) {
    Tree tree;
    Key* current = nullptr;
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) Corrupt(fileName, number, "bad key line");
            const std::string name(line.substr(1, line.size() - 2));
            current = &tree[Upper(name)];
            current->name = name;
            continue;
        }
        if (!current) Corrupt(fileName, number, "value outside a key");
        std::size_t pos = 0;
        std::string name, value;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ReadQuoted(line, pos, name)) {
            Corrupt(fileName, number, "bad value name");
        }
        if (pos >= line.size() || line[pos] != '=') Corrupt(fileName, number, "missing '='");
        ++pos;
        if (!ReadQuoted(line, pos, value) || pos != line.size())
            Corrupt(fileName, number, "bad value");
        current->values[Upper(name)] = {name, value};
    }
    return tree;
}

std::string Serialize(const Tree& tree) {
    std::string out = "; Corvane registry: HKEY_CLASSES_ROOT\n";
    for (const auto& [upper, key] : tree) {
        out += "\n[" + key.name + "]\n";
        for (const auto& [vupper, nv] : key.values) {
            if (nv.first.empty())
                out += "@=\"" + Escape(nv.second) + "\"\n";
            else
                out += '"' + Escape(nv.first) + "\"=\"" + Escape(nv.second) + "\"\n";
        }
    }
    return out;
}

}  // namespace corvane::platform::registry
