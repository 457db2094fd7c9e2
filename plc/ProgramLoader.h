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

namespace corvane::plc {

class TPLC;

inline constexpr int kMaxProgramLines = 5000;
inline constexpr size_t kStoredLineLength = 20;

// The global line store: slot 0 unused, at most 20 characters a slot.
struct TProgramLines {
    std::array<std::string, kMaxProgramLines + 1> Slots;
};

// The platform's input/output error ("File not found", "I/O error %d", ...).
class EInOutError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
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

    const TProgramLines& Lines() const { return lines_; }
    const std::vector<std::string>& Listing() const { return listing_; }

  private:
    TPLC& plc_;
    TProgramLines lines_;
    std::vector<std::string> listing_;
};

}  // namespace corvane::plc
