// The registry file: "[key]" lines followed by @="default" and "name"="value" lines,
// with \\, \" and \n escaped; ';' starts a comment line.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "corvane/platform/Registry.h"

namespace corvane::platform {
namespace {

std::string Upper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return r;
}

struct Key {
    std::string name;
    std::map<std::string, std::pair<std::string, std::string>>
        values;  // upper name -> (name, value)
};

using Tree = std::map<std::string, Key>;  // upper path -> key

std::string Normalize(std::string_view key) {
    std::string k(key);
    while (!k.empty() && k.front() == '\\') k.erase(0, 1);
    while (!k.empty() && k.back() == '\\') k.pop_back();
    if (k.empty()) throw ERegistryError("Registry key name is empty");
    if (k.find_first_of("\r\n") != std::string::npos)
        throw ERegistryError("Registry key name holds a line break");
    return k;
}

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
bool ReadQuoted(const std::string& line, std::size_t& pos, std::string& out) {
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

[[noreturn]] void Corrupt(const std::filesystem::path& file, int line, const char* why) {
    throw ERegistryCorrupt("Registry file '" + file.string() + "' is corrupt at line " +
                           std::to_string(line) + ": " + why);
}

Tree Load(const std::filesystem::path& file) {
    Tree tree;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        if (!std::filesystem::exists(file)) return tree;
        throw ERegistryError("Registry file '" + file.string() + "' cannot be read");
    }
    std::string line;
    Key* current = nullptr;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) Corrupt(file, number, "bad key line");
            const std::string name = line.substr(1, line.size() - 2);
            current = &tree[Upper(name)];
            current->name = name;
            continue;
        }
        if (!current) Corrupt(file, number, "value outside a key");
        std::size_t pos = 0;
        std::string name, value;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ReadQuoted(line, pos, name)) {
            Corrupt(file, number, "bad value name");
        }
        if (pos >= line.size() || line[pos] != '=') Corrupt(file, number, "missing '='");
        ++pos;
        if (!ReadQuoted(line, pos, value) || pos != line.size()) Corrupt(file, number, "bad value");
        current->values[Upper(name)] = {name, value};
    }
    return tree;
}

void Save(const std::filesystem::path& file, const Tree& tree) {
    std::ostringstream out;
    out << "; Corvane registry: HKEY_CLASSES_ROOT\n";
    for (const auto& [upper, key] : tree) {
        out << "\n[" << key.name << "]\n";
        for (const auto& [vupper, nv] : key.values) {
            if (nv.first.empty())
                out << "@=\"" << Escape(nv.second) << "\"\n";
            else
                out << '"' << Escape(nv.first) << "\"=\"" << Escape(nv.second) << "\"\n";
        }
    }
    const std::string text = out.str();
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    const std::filesystem::path temp = file.string() + ".tmp." + std::to_string(getpid());
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) throw ERegistryWriteError();
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size() &&
                         std::fflush(f) == 0 && fsync(fileno(f)) == 0;
    if (std::fclose(f) != 0 || !written) {
        std::filesystem::remove(temp, ec);
        throw ERegistryWriteError();
    }
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        throw ERegistryWriteError();
    }
}

void EnsureKey(Tree& tree, const std::string& path) {
    std::size_t pos = 0;
    do {
        pos = path.find('\\', pos + 1);
        const std::string prefix = path.substr(0, pos);
        Key& k = tree[Upper(prefix)];
        if (k.name.empty()) k.name = prefix;
    } while (pos != std::string::npos);
}

bool IsChildOf(const std::string& upperPath, const std::string& upperParent) {
    return upperPath.size() > upperParent.size() + 1 &&
           upperPath.compare(0, upperParent.size(), upperParent) == 0 &&
           upperPath[upperParent.size()] == '\\';
}

}  // namespace

std::filesystem::path DefaultRegistryPath() {
    if (const char* p = std::getenv("CORVANE_REGISTRY"); p && *p) return p;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        return std::filesystem::path(x) / "corvane" / "registry.reg";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".config" / "corvane" /
           "registry.reg";
}

ClassesRoot::ClassesRoot(std::filesystem::path file) : file_(std::move(file)) {}

void ClassesRoot::CreateKey(std::string_view key) {
    Tree tree = Load(file_);
    EnsureKey(tree, Normalize(key));
    Save(file_, tree);
}

bool ClassesRoot::KeyExists(std::string_view key) const {
    return Load(file_).count(Upper(Normalize(key))) != 0;
}

void ClassesRoot::SetValue(std::string_view key, std::string_view name, std::string_view value) {
    Tree tree = Load(file_);
    const std::string path = Normalize(key);
    EnsureKey(tree, path);
    tree[Upper(path)].values[Upper(name)] = {std::string(name), std::string(value)};
    Save(file_, tree);
}

std::optional<std::string> ClassesRoot::QueryValue(std::string_view key,
                                                   std::string_view name) const {
    const Tree tree = Load(file_);
    auto k = tree.find(Upper(Normalize(key)));
    if (k == tree.end()) return std::nullopt;
    auto v = k->second.values.find(Upper(name));
    if (v == k->second.values.end()) return std::nullopt;
    return v->second.second;
}

bool ClassesRoot::DeleteValue(std::string_view key, std::string_view name) {
    Tree tree = Load(file_);
    auto k = tree.find(Upper(Normalize(key)));
    if (k == tree.end() || k->second.values.erase(Upper(name)) == 0) return false;
    Save(file_, tree);
    return true;
}

bool ClassesRoot::DeleteKey(std::string_view key) {
    Tree tree = Load(file_);
    const std::string upper = Upper(Normalize(key));
    auto k = tree.find(upper);
    if (k == tree.end()) return false;
    for (const auto& [path, other] : tree)
        if (IsChildOf(path, upper))
            throw ERegistryError("Registry key '" + k->second.name + "' has subkeys");
    tree.erase(k);
    Save(file_, tree);
    return true;
}

std::vector<std::string> ClassesRoot::SubKeys(std::string_view key) const {
    const Tree tree = Load(file_);
    const std::string upper = Upper(Normalize(key));
    std::vector<std::string> out;
    for (const auto& [path, k] : tree)
        if (IsChildOf(path, upper) && path.find('\\', upper.size() + 1) == std::string::npos)
            out.push_back(k.name.substr(upper.size() + 1));
    return out;
}

std::vector<std::pair<std::string, std::string>> ClassesRoot::Values(std::string_view key) const {
    const Tree tree = Load(file_);
    std::vector<std::pair<std::string, std::string>> out;
    auto k = tree.find(Upper(Normalize(key)));
    if (k != tree.end())
        for (const auto& [upper, nv] : k->second.values) out.push_back(nv);
    return out;
}

}  // namespace corvane::platform
