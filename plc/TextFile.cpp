// Reading 8-bit text files line by line, with the platform's file errors.
#include "TextFile.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>

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

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string ReadWholeFile(const std::filesystem::path& file) {
    errno = 0;
    std::unique_ptr<std::FILE, TFileCloser> f(std::fopen(file.c_str(), "rb"));
    if (!f) throw EInOutError(InOutErrorText(errno));
    std::string content;
    std::array<char, 65536> buffer;
    for (;;) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), f.get());
        content.append(buffer.data(), n);
        if (n < buffer.size()) {
            if (std::ferror(f.get())) throw EInOutError(InOutErrorText(errno ? errno : EIO));
            break;
        }
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
