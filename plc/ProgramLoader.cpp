// File reading and the line filter of the "Load program" command.
#include "ProgramLoader.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string_view>

#include "Messages.h"
#include "Operand.h"
#include "PLC_Instruction.h"

namespace corvane::plc {

namespace {

constexpr std::array<std::string_view, 8> kDroppedKeywords = {
    "//", "BEGIN", "END", "Network", "ORGANIZATION", "TITLE", "SUBROUTINE", "INTERRUPT"};

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

std::string TooManyLinesText(size_t count) {
    return "The program has " + std::to_string(count) + " instruction lines; at most " +
           std::to_string(kMaxProgramLines) +
           " can be loaded. The file was not loaded and the current program is kept.";
}

}  // namespace

bool IsInstructionLine(const std::string& line) {
    if (line.empty()) return false;
    for (std::string_view keyword : kDroppedKeywords)
        if (FindStr(keyword, line) != -1) return false;
    return true;
}

std::string ListingLine(int counter, const std::string& line) {
    return " " + std::to_string(counter) + "\t" + line;
}

bool TProgramLoader::LoadFile(const std::filesystem::path& file, const ListSink& list) {
    std::vector<std::string> kept;
    for (std::string& line : SplitLines(ReadWholeFile(file)))
        if (IsInstructionLine(line)) kept.push_back(std::move(line));

    if (kept.size() > static_cast<size_t>(kMaxProgramLines)) {
        // Refused whole, before anything is stored, so the running program stays intact
        // and its listing comes back.
        if (list)
            for (const std::string& listed : listing_) list(listed);
        ShowMessage(TooManyLinesText(kept.size()));
        return false;
    }

    listing_.clear();
    for (std::string& slot : lines_.Slots) slot.clear();
    int counter = 0;
    for (const std::string& line : kept) {
        ++counter;
        lines_.Slots[static_cast<size_t>(counter)] = line.substr(0, kStoredLineLength);
        listing_.push_back(ListingLine(counter, line));
        if (list) list(listing_.back());
    }
    plc_.LineCount = counter;
    plc_.CompileProgram(lines_);
    ShowMessage("Loaded!");
    return true;
}

}  // namespace corvane::plc
