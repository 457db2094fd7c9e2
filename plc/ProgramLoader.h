#pragma once
// Reading an STL file into the line store and the program: the part of the "Load program"
// command that the console and the test bench share (the dialog and the list widget are
// the console's).
#include <array>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ProgramImport.h"
#include "TextFile.h"

namespace corvane::plc {

class TPLC;

inline constexpr int kMaxProgramLines = 5000;
inline constexpr size_t kStoredLineLength = 20;
// At most 5000 lines of 20 characters are ever used; 4 MiB leaves room for long comment
// lines and blocks the filter drops, and stops a wrong file long before memory runs out.
inline constexpr TFileLimit kProgramFileLimit{4 * 1024 * 1024, "STL program files"};

// The global line store: slot 0 unused, at most 20 characters a slot.
struct TProgramLines {
    std::array<std::string, kMaxProgramLines + 1> Slots;
};

// Line filter: true when the load command keeps the line as an instruction line.
bool IsInstructionLine(const std::string& line);

// Listed form of stored line number `counter`: " " + counter + TAB + the whole line.
std::string ListingLine(int counter, const std::string& line);

// Owns the line store and loads files into it and into the controller.
class TProgramLoader {
  public:
    using ListSink = std::function<void(const std::string&)>;

    explicit TProgramLoader(TPLC& plc) : plc_(plc) {}

    // Steps after the file has been chosen: read and filter, store, list, set LineCount,
    // compile, show "Loaded!". Throws EInOutError when the file cannot be read (LineCount
    // and the program keep the previous one). A file of more than kMaxProgramLines
    // instruction lines is refused with a message: nothing of the loaded program changes
    // and its listing is sent to `list` again. Returns true when the program was loaded.
    bool LoadFile(const std::filesystem::path& file, const ListSink& list);
    // The same for file content already read.
    bool LoadText(const std::string& content, const ListSink& list);

    // The S7-200 import ("Import S7-200 program..."): parses an export, and when every line
    // can be executed installs its main program, replaces the listing (sent to `list`) and
    // empties the line store. Otherwise nothing changes and the problems are returned.
    // Shows no message: the console and the test bench report the outcome their own way.
    // Throws EInOutError when the file cannot be read.
    TImportedProgram ImportFile(const std::filesystem::path& file, const TSymbolLookup& symbols,
                                const ListSink& list);
    TImportedProgram ImportText(const std::string& content, const TSymbolLookup& symbols,
                                const ListSink& list);

    const TProgramLines& Lines() const { return lines_; }
    const std::vector<std::string>& Listing() const { return listing_; }

  private:
    TPLC& plc_;
    TProgramLines lines_;
    std::vector<std::string> listing_;
};

}  // namespace corvane::plc
