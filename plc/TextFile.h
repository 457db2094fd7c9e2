#pragma once
// Text files as the platform's text-file reading gives them: lines without their
// terminators, and the platform's file errors.
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::plc {

// The platform's input/output error ("File not found", "I/O error %d", ...).
class EInOutError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The largest file a reader accepts, and what such files are called in the message that
// refuses a larger one.
struct TFileLimit {
    std::uintmax_t MaxBytes;
    const char* Kind;  // e.g. "STL program files"
};

// The whole file; throws EInOutError when it cannot be opened or read ("File not found",
// "I/O error %d", ...), and when it is a directory, a FIFO, device or socket, or larger
// than `limit`: each of these is refused before any of it is read, so neither a FIFO nor
// an endless device can hang or exhaust the reader.
std::string ReadWholeFile(const std::filesystem::path& file, const TFileLimit& limit);

// Lines of `content`: LF, CR LF or a lone CR ends a line, so files written on any system
// read alike. The first line is read even from empty content.
std::vector<std::string> SplitLines(const std::string& content);

}  // namespace corvane::plc
