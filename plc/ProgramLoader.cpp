// File reading and the line filter of the "Load program" command.
#include "ProgramLoader.h"

#include <array>
#include <string_view>

#include "Messages.h"
#include "Operand.h"
#include "PLC_Instruction.h"
#include "TextFile.h"

namespace corvane::plc {

namespace {

constexpr std::array<std::string_view, 8> kDroppedKeywords = {
    "//", "BEGIN", "END", "Network", "ORGANIZATION", "TITLE", "SUBROUTINE", "INTERRUPT"};

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
    return LoadText(ReadWholeFile(file, kProgramFileLimit), list);
}

bool TProgramLoader::LoadText(const std::string& content, const ListSink& list) {
    std::vector<std::string> kept;
    for (std::string& line : SplitLines(content))
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

TImportedProgram TProgramLoader::ImportFile(const std::filesystem::path& file,
                                            const TSymbolLookup& symbols, const ListSink& list) {
    return ImportText(ReadWholeFile(file, kProgramFileLimit), symbols, list);
}

TImportedProgram TProgramLoader::ImportText(const std::string& content,
                                            const TSymbolLookup& symbols, const ListSink& list) {
    TImportedProgram program = ParseS7Export(content, symbols);
    if (!program.Ok()) return program;
    plc_.InstallImportedProgram(program.Instructions);
    // The line store holds what "Load program" read; the imported program is not in it.
    for (std::string& slot : lines_.Slots) slot.clear();
    plc_.LineCount = 0;
    listing_.clear();
    int counter = 0;
    for (const std::string& line : program.Listing) {
        listing_.push_back(ListingLine(++counter, line));
        if (list) list(listing_.back());
    }
    return program;
}

}  // namespace corvane::plc
