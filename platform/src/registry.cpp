// The registry file on disk: read whole and checked first, replaced atomically under an
// advisory lock so that writers in several processes lose no update.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>
#include <mutex>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "corvane/platform/Registry.h"
#include "registry_file.h"

namespace corvane::platform {
namespace {

using registry::Key;
using registry::Tree;
using registry::Upper;

std::string Normalize(std::string_view key) {
    std::string k(key);
    while (!k.empty() && k.front() == '\\') k.erase(0, 1);
    while (!k.empty() && k.back() == '\\') k.pop_back();
    if (k.empty()) throw ERegistryError("Registry key name is empty");
    if (k.find_first_of("\r\n") != std::string::npos)
        throw ERegistryError("Registry key name holds a line break");
    return k;
}

// A file descriptor that closes itself.
class TFd {
  public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_;
};

std::string Quoted(const std::filesystem::path& file) {
    return "Registry file '" + file.string() + "'";
}

// The whole file; an empty registry when it does not exist. A directory, FIFO, device or
// anything larger than the limit is refused before a byte is read: opening without
// blocking and checking the opened file means no FIFO can hang the reader.
std::string ReadText(const std::filesystem::path& file) {
    const TFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        throw ERegistryError(Quoted(file) + " cannot be read");
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) throw ERegistryError(Quoted(file) + " cannot be read");
    if (S_ISDIR(st.st_mode)) throw ERegistryError(Quoted(file) + " is a directory");
    if (!S_ISREG(st.st_mode)) throw ERegistryError(Quoted(file) + " is not a regular file");
    const std::string tooLarge = Quoted(file) + " is larger than the registry file limit of " +
                                 std::to_string(kMaxRegistryFileBytes / (1024 * 1024)) + " MiB";
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxRegistryFileBytes)
        throw ERegistryError(tooLarge);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ERegistryError(Quoted(file) + " cannot be read");
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        // A file that grows while it is read is held to the same limit.
        if (text.size() > kMaxRegistryFileBytes) throw ERegistryError(tooLarge);
    }
    return text;
}

Tree Load(const std::filesystem::path& file) {
    return registry::Parse(ReadText(file), file.string());
}

// The file a write replaces: a symbolic link is followed to its target (which may not
// exist yet), so the link itself survives the write.
std::filesystem::path WriteTarget(const std::filesystem::path& file) {
    std::filesystem::path target = file;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec)))
            return target;
        const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec) throw ERegistryWriteError();
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    throw ERegistryWriteError();  // a loop of links
}

// Temporaries "NAME.tmp.PID" of writers that died before their rename. Called with the
// lock held, so no live writer is between creating and renaming its own; the pid check
// still spares the files of a live process that writes without the lock.
void RemoveStaleTemporaries(const std::filesystem::path& target) {
    const std::string prefix = target.filename().string() + ".tmp.";
    const std::filesystem::path dir =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= prefix.size() || name.size() > prefix.size() + 10 ||
            name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const long pid = std::strtol(digits.c_str(), nullptr, 10);
        const bool dead = pid == static_cast<long>(::getpid()) ||
                          (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
        if (dead) std::filesystem::remove(entry.path(), ec);
    }
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces `target` by the tree's text. A file that exists but may not be written (no
// write permission for the caller, or its owner's write bit cleared, which even root
// honours here as Windows honours a read-only attribute) is refused and left as it was;
// otherwise the new file keeps the old one's permission bits.
void Save(const std::filesystem::path& target, const Tree& tree) {
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists &&
        (!S_ISREG(st.st_mode) || ::access(target.c_str(), W_OK) != 0 || !(st.st_mode & S_IWUSR)))
        throw ERegistryWriteError();
    RemoveStaleTemporaries(target);
    const std::string text = registry::Serialize(tree);
    const std::filesystem::path temp = target.string() + ".tmp." + std::to_string(::getpid());
    std::error_code ec;
    {
        const TFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (!fd) throw ERegistryWriteError();
        const bool written = (!exists || ::fchmod(fd.Get(), st.st_mode & 07777) == 0) &&
                             WriteAll(fd.Get(), text) && ::fsync(fd.Get()) == 0;
        if (!written) {
            std::filesystem::remove(temp, ec);
            throw ERegistryWriteError();
        }
    }
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        throw ERegistryWriteError();
    }
}

// Holds an exclusive advisory lock on "TARGET.lock" for one read-modify-write. The lock
// file stays: removing it would let two writers lock two different files.
class TWriteLock {
  public:
    explicit TWriteLock(const std::filesystem::path& target)
        : fd_(::open((target.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        if (!fd_) throw ERegistryWriteError();
        while (::flock(fd_.Get(), LOCK_EX) != 0)
            if (errno != EINTR) throw ERegistryWriteError();
    }

  private:
    TFd fd_;  // closing it releases the lock
};

// The open batch of this process: at most one file at a time, on the thread that opened
// it (start-up and registration run on the main thread).
struct TBatch {
    std::filesystem::path target;
    std::unique_ptr<TWriteLock> lock;
    Tree tree;
    bool dirty = false;
};
std::mutex gBatchMutex;
std::unique_ptr<TBatch> gBatch;

std::string BatchKey(const std::filesystem::path& target) {
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(target, ec);
    return ec ? target.string() : canonical.string();
}

// The open batch of the file, if any; the caller holds gBatchMutex.
TBatch* BatchOf(const std::filesystem::path& target) {
    return gBatch && BatchKey(gBatch->target) == BatchKey(target) ? gBatch.get() : nullptr;
}

// The tree a read sees: the open batch's, else the file's.
Tree Read(const std::filesystem::path& file) {
    {
        std::lock_guard guard(gBatchMutex);
        if (gBatch) {
            if (TBatch* batch = BatchOf(WriteTarget(file))) return batch->tree;
        }
    }
    return Load(file);
}

// One read-modify-write of the registry: `change` edits the tree and says whether it
// changed anything to save. Inside a batch it edits the batch's tree instead.
template <class F>
auto Update(const std::filesystem::path& file, F&& change) {
    const std::filesystem::path target = WriteTarget(file);
    {
        std::lock_guard guard(gBatchMutex);
        if (TBatch* batch = BatchOf(target)) {
            const auto result = change(batch->tree);
            if (result) batch->dirty = true;
            return result;
        }
    }
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    const TWriteLock lock(target);
    Tree tree = Load(target);
    const auto result = change(tree);
    if (result) Save(target, tree);
    return result;
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
    const std::string path = Normalize(key);
    Update(file_, [&](Tree& tree) {
        EnsureKey(tree, path);
        return true;
    });
}

bool ClassesRoot::KeyExists(std::string_view key) const {
    return Read(file_).count(Upper(Normalize(key))) != 0;
}

void ClassesRoot::SetValue(std::string_view key, std::string_view name, std::string_view value) {
    const std::string path = Normalize(key);
    Update(file_, [&](Tree& tree) {
        EnsureKey(tree, path);
        tree[Upper(path)].values[Upper(name)] = {std::string(name), std::string(value)};
        return true;
    });
}

std::optional<std::string> ClassesRoot::QueryValue(std::string_view key,
                                                   std::string_view name) const {
    const Tree tree = Read(file_);
    auto k = tree.find(Upper(Normalize(key)));
    if (k == tree.end()) return std::nullopt;
    auto v = k->second.values.find(Upper(name));
    if (v == k->second.values.end()) return std::nullopt;
    return v->second.second;
}

bool ClassesRoot::DeleteValue(std::string_view key, std::string_view name) {
    const std::string upper = Upper(Normalize(key));
    return Update(file_, [&](Tree& tree) {
        auto k = tree.find(upper);
        return k != tree.end() && k->second.values.erase(Upper(name)) != 0;
    });
}

bool ClassesRoot::DeleteKey(std::string_view key) {
    const std::string upper = Upper(Normalize(key));
    return Update(file_, [&](Tree& tree) {
        auto k = tree.find(upper);
        if (k == tree.end()) return false;
        for (const auto& [path, other] : tree)
            if (IsChildOf(path, upper))
                throw ERegistryError("Registry key '" + k->second.name + "' has subkeys");
        tree.erase(k);
        return true;
    });
}

std::vector<std::string> ClassesRoot::SubKeys(std::string_view key) const {
    const Tree tree = Read(file_);
    const std::string upper = Upper(Normalize(key));
    std::vector<std::string> out;
    for (const auto& [path, k] : tree)
        if (IsChildOf(path, upper) && path.find('\\', upper.size() + 1) == std::string::npos)
            out.push_back(k.name.substr(upper.size() + 1));
    return out;
}

std::vector<std::pair<std::string, std::string>> ClassesRoot::Values(std::string_view key) const {
    const Tree tree = Read(file_);
    std::vector<std::pair<std::string, std::string>> out;
    auto k = tree.find(Upper(Normalize(key)));
    if (k != tree.end())
        for (const auto& [upper, nv] : k->second.values) out.push_back(nv);
    return out;
}

RegistryBatch::RegistryBatch(const std::filesystem::path& file) : target_(WriteTarget(file)) {
    std::error_code ec;
    if (target_.has_parent_path()) std::filesystem::create_directories(target_.parent_path(), ec);
    std::lock_guard guard(gBatchMutex);
    // Checked before the lock is taken: this process holding it already would wait for
    // itself.
    if (gBatch) throw ERegistryError("A registry batch is already open");
    auto batch = std::make_unique<TBatch>();
    batch->target = target_;
    batch->lock = std::make_unique<TWriteLock>(target_);
    batch->tree = Load(target_);
    gBatch = std::move(batch);
    open_ = true;
}

RegistryBatch::~RegistryBatch() {
    if (!open_) return;
    std::lock_guard guard(gBatchMutex);
    gBatch.reset();
}

void RegistryBatch::Commit() {
    if (!open_) return;
    std::unique_ptr<TBatch> batch;
    {
        std::lock_guard guard(gBatchMutex);
        batch = std::move(gBatch);
    }
    open_ = false;
    // Saved while the lock is still held; the lock goes with the batch.
    if (batch && batch->dirty) Save(batch->target, batch->tree);
}

}  // namespace corvane::platform
