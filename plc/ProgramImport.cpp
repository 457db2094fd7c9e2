#include "ProgramImport.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "InstructionSet.h"
#include "S7Operand.h"
#include "TextFile.h"

namespace corvane::plc {

namespace {

constexpr size_t kShownLength = 80;
constexpr int kMnemonicWidth = 7;  // the programming software's column for operands
constexpr size_t kMaxInstructions = kInstructionSlots - 1;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Upper(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

// The line as a message can show it: no control bytes, at most kShownLength characters.
std::string Shown(std::string_view raw) {
    std::string text;
    for (char c : Trim(raw)) {
        if (text.size() >= kShownLength) {
            text += "...";
            break;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t') {
            text += ' ';
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        } else {
            text += c;
        }
    }
    return text;
}

std::string Quoted(std::string_view s) {
    return "'" + Shown(s) + "'";
}

enum class TBlockKind { Main, Subroutine, Interrupt, Unsupported };

struct TBlockHeader {
    std::string_view Keyword;
    TBlockKind Kind;
};

constexpr std::array kBlockHeaders = {
    TBlockHeader{"ORGANIZATION_BLOCK", TBlockKind::Main},
    TBlockHeader{"SUBROUTINE_BLOCK", TBlockKind::Subroutine},
    TBlockHeader{"INTERRUPT_BLOCK", TBlockKind::Interrupt},
};

constexpr std::array<std::string_view, 5> kVariableSections = {"VAR_INPUT", "VAR_OUTPUT",
                                                               "VAR_IN_OUT", "VAR_TEMP", "VAR"};

bool IsBlockHeader(std::string_view word) {
    return word.size() > 6 && word.ends_with("_BLOCK") && !word.starts_with("END_");
}

// "NETWORK", "NETWORK 3", "Network3 title"...: the first word is NETWORK, maybe with digits.
bool IsNetworkLine(std::string_view word) {
    if (!word.starts_with("NETWORK")) return false;
    for (char c : word.substr(7))
        if (c < '0' || c > '9') return false;
    return true;
}

bool IsTitleLine(std::string_view upperCode) {
    return upperCode.starts_with("TITLE") && Trim(upperCode.substr(5)).starts_with('=');
}

std::vector<std::string_view> SplitOperands(std::string_view text) {
    std::vector<std::string_view> parts;
    if (Trim(text).empty()) return parts;
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(Trim(text.substr(start, comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return parts;
}

size_t OperandCount(TImportOperand form) {
    switch (form) {
        case TImportOperand::None:
            return 0;
        case TImportOperand::Contact:
        case TImportOperand::InputContact:
        case TImportOperand::Coil:
        case TImportOperand::OutputCoil:
            return 1;
        default:
            return 2;
    }
}

std::string OperandCountText(size_t count) {
    return count == 0 ? "no operand" : count == 1 ? "one operand" : "an address and a value";
}

// One resolved address: where it points and the symbol it was written as, if any.
struct TResolved {
    TS7Address Address;
    std::string Symbol;
};

class TExportParser {
  public:
    explicit TExportParser(const TSymbolLookup& symbols) : symbols_(symbols) {}

    TImportedProgram Run(const std::string& content) {
        const std::vector<std::string> lines = SplitLines(content);
        for (const std::string& line : lines) {
            const std::string word = FirstWord(CodeOf(line));
            if (IsBlockHeader(word)) hasBlocks_ = true;
        }
        int number = 0;
        for (const std::string& line : lines) Line(++number, line);
        if (open_) {
            Refuse(open_->HeaderLine, open_->HeaderText,
                   "the block has no " + open_->Closing + " before the end of the file");
        }
        std::stable_sort(
            result_.Problems.begin(), result_.Problems.end(),
            [](const TImportProblem& a, const TImportProblem& b) { return a.Line < b.Line; });
        return std::move(result_);
    }

  private:
    struct TOpenBlock {
        TBlockKind Kind;
        std::string Closing;  // END_ + header keyword
        int HeaderLine;
        std::string HeaderText;
        bool Begun = false;
        bool InVariables = false;
    };

    static std::string_view CodeOf(std::string_view line) {
        const size_t comment = line.find("//");
        return Trim(line.substr(0, comment));
    }

    static std::string FirstWord(std::string_view code) {
        size_t end = 0;
        while (end < code.size() && !IsBlank(code[end])) ++end;
        return Upper(code.substr(0, end));
    }

    void Refuse(int line, std::string_view raw, std::string reason) {
        result_.Problems.push_back({line, Shown(raw), std::move(reason)});
    }

    void Line(int number, std::string_view raw) {
        const std::string_view code = CodeOf(raw);
        if (code.empty()) return;
        const std::string word = FirstWord(code);
        if (open_ && open_->InVariables) {
            // Declarations are not executed; a use of a local variable is refused where
            // it occurs. A section left open shows where the block goes on.
            if (word == "END_VAR") {
                open_->InVariables = false;
                return;
            }
            if (word != "BEGIN" && word != open_->Closing && !IsBlockHeader(word)) return;
            Refuse(number, raw, "END_VAR is missing before this line");
            open_->InVariables = false;
        }
        if (IsBlockHeader(word)) return OpenBlock(number, raw, word);
        if (word.starts_with("END_")) return CloseBlock(number, raw, word);
        if (IsTitleLine(Upper(code)) || IsNetworkLine(word)) return;
        if (word == "BEGIN") {
            if (open_)
                open_->Begun = true;
            else
                Refuse(number, raw, "BEGIN outside a program block");
            return;
        }
        for (std::string_view section : kVariableSections) {
            if (word != section) continue;
            if (open_)
                open_->InVariables = true;
            else
                Refuse(number, raw, "a variable declaration outside a program block");
            return;
        }
        if (!open_) {
            if (hasBlocks_) return Refuse(number, raw, "an instruction outside a program block");
            return Instruction(number, raw, code);
        }
        switch (open_->Kind) {
            case TBlockKind::Main:
                if (!open_->Begun) return Refuse(number, raw, "an instruction before BEGIN");
                return Instruction(number, raw, code);
            case TBlockKind::Subroutine:
                return Refuse(number, raw,
                              "an instruction in a subroutine: only the main program (OB1) runs");
            case TBlockKind::Interrupt:
                return Refuse(
                    number, raw,
                    "an instruction in an interrupt routine: only the main program (OB1) runs");
            case TBlockKind::Unsupported:
                return Refuse(number, raw, "a line of a block the simulator does not support");
        }
    }

    void OpenBlock(int number, std::string_view raw, const std::string& word) {
        if (open_) {
            Refuse(open_->HeaderLine, open_->HeaderText,
                   "the block has no " + open_->Closing + " before the next block");
        }
        TBlockKind kind = TBlockKind::Unsupported;
        for (const TBlockHeader& h : kBlockHeaders)
            if (h.Keyword == word) kind = h.Kind;
        if (kind == TBlockKind::Unsupported)
            Refuse(number, raw, "a " + word + " is not supported (only program blocks are)");
        if (kind == TBlockKind::Main && mainSeen_)
            Refuse(number, raw, "a second main program block");
        if (kind == TBlockKind::Main) mainSeen_ = true;
        open_ = TOpenBlock{kind, "END_" + word, number, std::string(raw)};
    }

    void CloseBlock(int number, std::string_view raw, const std::string& word) {
        if (!open_) return Refuse(number, raw, "the end of a block that was not opened");
        if (word != open_->Closing) {
            return Refuse(number, raw,
                          "does not close the block of line " + std::to_string(open_->HeaderLine) +
                              " (" + open_->Closing + " expected)");
        }
        if (!open_->Begun && open_->Kind != TBlockKind::Unsupported)
            Refuse(open_->HeaderLine, open_->HeaderText, "the block has no BEGIN");
        open_.reset();
    }

    // Resolves one address operand: an address, a symbol, or a quoted symbol.
    bool Resolve(std::string_view text, TResolved& out, std::string& reason) const {
        std::string name;
        const bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
        if (quoted) {
            name = text.substr(1, text.size() - 2);
        } else if (!text.empty() && text.front() == '#') {
            reason = "local variable " + Quoted(text) + " is not supported";
            return false;
        } else {
            switch (ParseS7Address(Upper(text), out.Address, reason)) {
                case TS7Parse::Ok:
                    return true;
                case TS7Parse::Refused:
                    return false;
                case TS7Parse::NotAnAddress:
                    name = text;
                    break;
            }
        }
        if (!symbols_) {
            reason = Quoted(text) + (quoted ? " is a symbol" : " is not a supported address") +
                     ", and no symbol file was given";
            return false;
        }
        const std::optional<std::string> address = symbols_(name);
        if (!address) {
            reason = Quoted(text) + " is not a supported address or a known symbol";
            return false;
        }
        std::string why;
        if (ParseS7Address(Upper(Trim(*address)), out.Address, why) != TS7Parse::Ok) {
            reason = "symbol " + Quoted(name) + " stands for " + Quoted(*address) + ", " +
                     (why.empty() ? "which is not a supported address" : why);
            return false;
        }
        out.Symbol = name;
        return true;
    }

    // Whether the resolved address suits the operand form; `reason` when not.
    static bool Suits(TImportOperand form, const TS7Address& a, std::string& reason) {
        const TS7Area area = a.Area;
        const bool ownBit = area == TS7Area::Q || area == TS7Area::M || area == TS7Area::V;
        switch (form) {
            case TImportOperand::InputContact:
                if (area == TS7Area::I) return true;
                reason = "an immediate contact reads inputs (I) only";
                return false;
            case TImportOperand::OutputCoil:
            case TImportOperand::OutputRun:
                if (area == TS7Area::Q) return true;
                reason = "an immediate output writes outputs (Q) only";
                return false;
            case TImportOperand::Coil:
            case TImportOperand::SetRun:
                if (ownBit) return true;
                reason = area == TS7Area::SM  ? "special memory is read-only"
                         : area == TS7Area::I ? "inputs are written by the I/O, not by the program"
                                              : "only bits of Q, M and V can be written";
                return false;
            case TImportOperand::ResetRun:
                if (ownBit || area == TS7Area::T || area == TS7Area::C) return true;
                reason = area == TS7Area::SM ? "special memory is read-only"
                                             : "inputs are written by the I/O, not by the program";
                return false;
            case TImportOperand::TimerBox:
                if (area == TS7Area::T) return true;
                reason = "a timer box needs a timer (T0 to T255)";
                return false;
            case TImportOperand::CounterBox:
                if (area == TS7Area::C) return true;
                reason = "a counter box needs a counter (C0 to C255)";
                return false;
            case TImportOperand::Contact:
            case TImportOperand::None:
                return true;
        }
        return false;
    }

    // The count or preset; `reason` when out of range or not a constant.
    static bool Value(TImportOperand form, const TS7Address& a, std::string_view text, int& value,
                      std::string& reason) {
        switch (form) {
            case TImportOperand::TimerBox:
                return ParseS7Constant(text, 0, kCounterMax, value, reason);
            case TImportOperand::CounterBox:
                return ParseS7Constant(text, kCounterMin, kCounterMax, value, reason);
            case TImportOperand::OutputRun:
                return ParseS7Constant(text, 1, 128, value, reason);
            default:
                break;
        }
        if (!ParseS7Constant(text, 1, 255, value, reason)) return false;
        if (a.IsBit() && a.Element() + value > kBitsPerArea) {
            reason = "the " + std::to_string(value) + " bits from " + a.Text() +
                     " run beyond the simulated memory (bytes 0 to 20)";
            return false;
        }
        if (!a.IsBit() && a.Byte + value > kTimerCount) {
            reason = "the " + std::to_string(value) +
                     (a.Area == TS7Area::T ? " timers" : " counters") + " from " + a.Text() +
                     " run beyond number 255";
            return false;
        }
        return true;
    }

    // The CPU 224 fixes which timers are retentive, and one timer cannot be both a TON and
    // a TOF; the programming software refuses such boxes, so no real program has them.
    bool TimerSuits(TInstructionKind kind, const TS7Address& a, std::string& reason) {
        char& used = timerBoxes_[static_cast<size_t>(a.Byte)];
        const char mnemonic = kind == TInstructionKind::TOF ? 'F' : 'N';
        if (kind != TInstructionKind::TONR && used != 0 && used != mnemonic) {
            reason = a.Text() + " is used by both a TON and a TOF";
            return false;
        }
        if (kind != TInstructionKind::TONR) used = mnemonic;
        const bool retentive = IsRetentiveTimer(a.Byte);
        if (kind == TInstructionKind::TONR && !retentive) {
            reason = "TONR needs a retentive timer (T0-T31, T64-T95)";
            return false;
        }
        if (kind != TInstructionKind::TONR && retentive) {
            reason = "TON and TOF need an on/off-delay timer (T32-T63, T96-T255)";
            return false;
        }
        return true;
    }

    void Instruction(int number, std::string_view raw, std::string_view code) {
        size_t end = 0;
        while (end < code.size() && !IsBlank(code[end])) ++end;
        const std::string mnemonic = Upper(code.substr(0, end));
        const TInstructionInfo* info = FindMnemonic(mnemonic);
        if (!info) {
            return Refuse(number, raw,
                          mnemonic == "CALL"
                              ? "subroutine calls are not simulated (only the main program runs)"
                              : Quoted(code.substr(0, end)) +
                                    " is not an instruction the simulator "
                                    "runs (bit logic, timers, counters)");
        }
        const std::vector<std::string_view> parts = SplitOperands(code.substr(end));
        const size_t wanted = OperandCount(info->Import);
        if (parts.size() != wanted)
            return Refuse(number, raw, mnemonic + " takes " + OperandCountText(wanted));

        TPLCInstruction instruction{info->Kind, {}};
        std::string listed = mnemonic;
        if (wanted > 0) {
            TResolved resolved;
            std::string reason;
            int value = 0;
            if (!Resolve(parts[0], resolved, reason) ||
                !Suits(info->Import, resolved.Address, reason) ||
                (info->Import == TImportOperand::TimerBox &&
                 !TimerSuits(info->Kind, resolved.Address, reason)) ||
                (wanted == 2 && !Value(info->Import, resolved.Address, parts[1], value, reason)))
                return Refuse(number, raw, reason);
            instruction.Operand = resolved.Address.Text();
            if (listed.size() < kMnemonicWidth)
                listed.resize(kMnemonicWidth, ' ');
            else
                listed += ' ';
            listed += resolved.Address.Text();
            if (wanted == 2) {
                instruction.Operand += "," + std::to_string(value);
                const bool box = info->Import == TImportOperand::TimerBox ||
                                 info->Import == TImportOperand::CounterBox;
                listed += ", " + std::string(box && value >= 0 ? "+" : "") + std::to_string(value);
            }
            if (!resolved.Symbol.empty()) listed += "  // " + resolved.Symbol;
        }
        if (result_.Instructions.size() == kMaxInstructions)
            return Refuse(
                number, raw,
                "the program has more than " + std::to_string(kMaxInstructions) + " instructions");
        result_.Instructions.push_back(std::move(instruction));
        result_.Listing.push_back(std::move(listed));
    }

    const TSymbolLookup& symbols_;
    TImportedProgram result_;
    std::optional<TOpenBlock> open_;
    bool hasBlocks_ = false;
    bool mainSeen_ = false;
    std::array<char, kTimerCount> timerBoxes_{};  // 'N' TON, 'F' TOF, 0 neither yet
};

}  // namespace

TImportedProgram ParseS7Export(const std::string& content, const TSymbolLookup& symbols) {
    TImportedProgram program = TExportParser(symbols).Run(content);
    if (!program.Ok()) {
        program.Instructions.clear();
        program.Listing.clear();
    }
    return program;
}

std::string ImportedText(size_t count) {
    return "Imported " + std::to_string(count) + (count == 1 ? " instruction." : " instructions.");
}

std::string RefusalText(const std::vector<TImportProblem>& problems) {
    std::string text = "The program was not imported; the loaded program is kept. " +
                       std::to_string(problems.size()) +
                       (problems.size() == 1 ? " line cannot" : " lines cannot") +
                       " be executed as on the CPU 224:";
    for (const TImportProblem& p : problems)
        text += "\nline " + std::to_string(p.Line) + ": " + p.Text + " -- " + p.Reason;
    return text;
}

}  // namespace corvane::plc
