#pragma once
// Text files as the platform's text-file reading gives them: lines without their
// terminators, and the platform's file errors.
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

// The whole file; throws EInOutError when it cannot be opened or read.
std::string ReadWholeFile(const std::filesystem::path& file);

// Lines of `content`: LF, CR LF or a lone CR ends a line, so files written on any system
// read alike. The first line is read even from empty content.
std::vector<std::string> SplitLines(const std::string& content);

}  // namespace corvane::plc
