// Reading 8-bit text files line by line, with the platform's file errors.
#include "TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace corvane::plc {

namespace {

std::string InOutErrorText(int error) {
    switch (error) {
        case ENOENT:
            return "File not found";
        case ENOTDIR:
            return "Path not found";
        case EACCES:
        case EPERM:
            return "File access denied";
        case EMFILE:
            return "Too many open files";
        default:
            return "I/O error " + std::to_string(error);
    }
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

  private:
    int fd_;
};

std::string Named(const std::filesystem::path& file) {
    return "'" + file.string() + "'";
}

std::string TooLargeText(const std::filesystem::path& file, const TFileLimit& limit) {
    return Named(file) + " is too large: " + limit.Kind + " are limited to " +
           std::to_string(limit.MaxBytes / (1024 * 1024)) + " MiB";
}

}  // namespace

std::string ReadWholeFile(const std::filesystem::path& file, const TFileLimit& limit) {
    // Opened without blocking, so that a FIFO is seen for what it is instead of waiting
    // for a writer; the checks look at the file that was opened, not at its name.
    const TFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) throw EInOutError(InOutErrorText(errno));
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) throw EInOutError(InOutErrorText(errno));
    if (S_ISDIR(st.st_mode)) throw EInOutError(Named(file) + " is a directory");
    if (!S_ISREG(st.st_mode))
        throw EInOutError(Named(file) +
                          " is not a regular file (a FIFO, device or socket) and cannot be read");
    if (static_cast<std::uintmax_t>(st.st_size) > limit.MaxBytes)
        throw EInOutError(TooLargeText(file, limit));
    std::string content;
    std::array<char, 65536> buffer;
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EInOutError(InOutErrorText(errno));
        if (n == 0) break;
        content.append(buffer.data(), static_cast<size_t>(n));
        // A file that grows while it is read is held to the same limit.
        if (content.size() > limit.MaxBytes) throw EInOutError(TooLargeText(file, limit));
    }
    return content;
}

// Text-file lines: LF, CR LF or a lone CR ends a line, so files written on any system
// read alike. The first line is read even from an empty file.
std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    std::string current;
    size_t i = 0;
    do {
        current.clear();
        while (i < content.size() && content[i] != '\n' && content[i] != '\r')
            current += content[i++];
        if (i < content.size()) {
            if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
            ++i;
        }
        lines.push_back(current);
    } while (i < content.size());
    return lines;
}

}  // namespace corvane::plc
