// The registry stand-in: keys and string values under HKEY_CLASSES_ROOT, kept in a
// human-readable file. Every change rereads the file and replaces it atomically
// (temporary file + rename) while it holds an advisory lock on "FILE.lock", so a crash
// never leaves a torn file and several processes see, and keep, each other's changes.
// A registry path that is a symbolic link is written through to the link's target.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::platform {

// Any failure of the registry stand-in.
class ERegistryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The file exists but cannot be read as a registry file; it is left untouched.
class ERegistryCorrupt : public ERegistryError {
  public:
    using ERegistryError::ERegistryError;
};

// The registry could not be written; carries the system's own message.
class ERegistryWriteError : public ERegistryError {
  public:
    ERegistryWriteError() : ERegistryError("Error creating system registry entry") {}
};

// The registry holds a few dozen short values; a file larger than this is no registry
// and is refused rather than read into memory.
inline constexpr std::uintmax_t kMaxRegistryFileBytes = 4 * 1024 * 1024;

// CORVANE_REGISTRY if set, else $XDG_CONFIG_HOME/corvane/registry.reg, else
// $HOME/.config/corvane/registry.reg.
std::filesystem::path DefaultRegistryPath();

// HKEY_CLASSES_ROOT. Key paths use '\' between levels; names compare without letter
// case and keep the case they were created with. An empty value name is the default
// value.
class ClassesRoot {
  public:
    explicit ClassesRoot(std::filesystem::path file = DefaultRegistryPath());

    const std::filesystem::path& File() const { return file_; }

    void CreateKey(std::string_view key);
    bool KeyExists(std::string_view key) const;
    // Creates the key (and its parents) if needed.
    void SetValue(std::string_view key, std::string_view name, std::string_view value);
    std::optional<std::string> QueryValue(std::string_view key, std::string_view name = {}) const;
    // False when the value was not there.
    bool DeleteValue(std::string_view key, std::string_view name);
    // False when the key was not there; a key with subkeys is refused (ERegistryError).
    bool DeleteKey(std::string_view key);
    // Direct subkeys (their last path segment) and values of a key, in sorted order.
    std::vector<std::string> SubKeys(std::string_view key) const;
    std::vector<std::pair<std::string, std::string>> Values(std::string_view key) const;

  private:
    std::filesystem::path file_;
};

// Gathers every change to one registry file until Commit, then writes the file once (one
// write, one fsync, one rename): a start that sets a dozen values pays for one
// replacement, not a dozen. The file's lock is held from construction to Commit or
// destruction, so other processes wait instead of interleaving. Changes made through any
// ClassesRoot of the same file in this process join the batch, and reads see them.
// Destroyed without Commit, the changes are dropped and the file stays as it was.
class RegistryBatch {
  public:
    // Raises ERegistryWriteError when the lock cannot be taken, ERegistryError when a
    // batch of this file is already open, ERegistryCorrupt for an unreadable file.
    explicit RegistryBatch(const std::filesystem::path& file = DefaultRegistryPath());
    ~RegistryBatch();
    RegistryBatch(const RegistryBatch&) = delete;
    RegistryBatch& operator=(const RegistryBatch&) = delete;

    // Writes what changed (nothing when nothing did) and ends the batch; raises
    // ERegistryWriteError for a refused write, after which the batch is over all the same.
    void Commit();

  private:
    std::filesystem::path target_;
    bool open_ = false;
};

}  // namespace corvane::platform
