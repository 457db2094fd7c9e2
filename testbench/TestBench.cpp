#include "TestBench.h"

#include <array>
#include <charconv>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "ProgramImport.h"
#include "SymbolTable.h"

namespace corvane::testbench {

namespace {

// A line the bench cannot understand; stops the script with exit status 2.
struct EUsage : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A failed expectation; stops the script with exit status 1.
struct EExpect : std::runtime_error {
    using std::runtime_error::runtime_error;
};

bool ParseNumber(std::string_view text, long long& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

struct TAddress {
    char Area = 'Q';  // I, Q, M, V, T, C, or S for SM
    int Byte = 0;     // timer or counter number for T and C
    int Bit = 0;

    bool IsNumbered() const { return Area == 'T' || Area == 'C'; }
    std::string Text() const {
        if (IsNumbered()) return std::string(1, Area) + std::to_string(Byte);
        return (Area == 'S' ? std::string("SM") : std::string(1, Area)) + std::to_string(Byte) +
               "." + std::to_string(Bit);
    }
    int Element() const { return Byte * plc::kBitsPerByte + Bit; }
};

bool AllDigits(std::string_view s) {
    if (s.empty() || s.size() > 3) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

TAddress ParseAddress(const std::string& word) {
    const auto bad = [&] { return EUsage("malformed or non-existent address '" + word + "'"); };
    if (word.size() < 2) throw bad();
    TAddress a;
    a.Area = word[0];
    if (a.IsNumbered()) {
        const std::string_view number = std::string_view(word).substr(1);
        if (!AllDigits(number)) throw bad();
        a.Byte = std::stoi(std::string(number));
        if (a.Byte >= plc::kTimerCount) throw bad();
        return a;
    }
    // SMB0 is the only special memory byte the controller has.
    const bool special = word.rfind("SM", 0) == 0;
    if (a.Area != 'I' && a.Area != 'Q' && a.Area != 'M' && a.Area != 'V' && !special) throw bad();
    const size_t first = special ? 2 : 1;
    const size_t dot = word.find('.');
    if (dot == std::string::npos || dot < first) throw bad();
    const std::string_view byte = std::string_view(word).substr(first, dot - first);
    const std::string_view bit = std::string_view(word).substr(dot + 1);
    if (!AllDigits(byte) || bit.size() != 1 || bit[0] < '0' || bit[0] > '7') throw bad();
    a.Byte = std::stoi(std::string(byte));
    a.Bit = bit[0] - '0';
    if (a.Byte >= (special ? 1 : plc::kBytesPerArea)) throw bad();
    return a;
}

TAddress ParseBitAddress(const std::string& word) {
    const TAddress a = ParseAddress(word);
    if (a.IsNumbered() || a.Area == 'S')
        throw EUsage("'" + word + "' is not a bit of I, Q, M or V");
    return a;
}

bool ParseBinary(const std::string& word) {
    if (word == "0") return false;
    if (word == "1") return true;
    throw EUsage("expected 0 or 1, got '" + word + "'");
}

long long ParseCount(const std::vector<std::string>& words) {
    if (words.size() < 2) return 1;
    long long n = 0;
    if (!ParseNumber(words[1], n) || n < 0)
        throw EUsage("expected a count, got '" + words[1] + "'");
    return n;
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

}  // namespace

struct TTestBench::TCommand {
    std::string_view Name;
    size_t MinArgs;
    size_t MaxArgs;  // SIZE_MAX: any number
    void (*Run)(TTestBench& bench, const std::vector<std::string>& words);
};

namespace {

bool ValueOf(const plc::TPLC& plc, const TAddress& a) {
    if (a.Area == 'T') return plc.Timers[static_cast<size_t>(a.Byte)].Done;
    if (a.Area == 'C') return plc.Counters[static_cast<size_t>(a.Byte)].Done;
    if (a.Area == 'S') return plc.SM[static_cast<size_t>(a.Bit)];
    return (*plc.AreaOf(a.Area))[static_cast<size_t>(a.Element())];
}

}  // namespace

TTestBench::TTestBench(std::ostream& out, std::ostream& err)
    : out_(out), err_(err), previousService_(plc::SetMessageService(this)) {
    plc_.ResetMemory();
}

TTestBench::~TTestBench() {
    plc::SetMessageService(previousService_);
}

// A message of several lines (the import's refusal) prints as one "message:" line each.
void TTestBench::ShowMessage(std::string_view text) {
    for (size_t start = 0;;) {
        const size_t end = text.find('\n', start);
        out_ << "message: " << text.substr(start, end - start) << '\n';
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
}
void TTestBench::ShowOutput(int, bool) {}
bool TTestBench::ReadSwitch(int element) {
    return switches_[static_cast<size_t>(element)];
}

std::string NotARegularFile(const std::filesystem::path& file) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(file, error);  // follows symbolic links
    switch (status.type()) {
        case fs::file_type::regular:
        case fs::file_type::not_found:
            return {};
        case fs::file_type::directory:
            return "it is a directory";
        case fs::file_type::fifo:
            return "it is a FIFO (named pipe), not a regular file";
        case fs::file_type::socket:
            return "it is a socket, not a regular file";
        case fs::file_type::block:
        case fs::file_type::character:
            return "it is a device, not a regular file";
        default:
            return error ? error.message() : "it is not a regular file";
    }
}

bool TTestBench::Load(const std::filesystem::path& file) {
    listing_.clear();
    bool loaded = false;
    plc::RunEvent([&] {
        loaded =
            loader_.LoadFile(file, [this](const std::string& line) { listing_.push_back(line); });
    });
    return loaded;
}

bool TTestBench::Import(const std::filesystem::path& file, const std::filesystem::path& symbols) {
    bool imported = false;
    plc::RunEvent([&] {
        const auto table = std::make_unique<opcprovider::TSymbolTable>();
        plc::TSymbolLookup lookup;
        if (!symbols.empty()) {
            table->ImportFile(symbols);
            lookup = [&table](std::string_view name) { return table->FindAddress(name); };
        }
        std::vector<std::string> listing;
        const plc::TImportedProgram program = loader_.ImportFile(
            file, lookup, [&listing](const std::string& line) { listing.push_back(line); });
        if (!program.Ok()) return plc::ShowMessage(plc::RefusalText(program.Problems));
        listing_ = std::move(listing);
        imported = true;
        plc::ShowMessage(plc::ImportedText(program.Instructions.size()));
    });
    return imported;
}

void TTestBench::Refresh() {
    control_.RefreshEvent(*this);
}

void TTestBench::Scan() {
    if (plc_.Running && !plc_.Busy) ++scans_;
    plc::RunEvent([this] { control_.ScanEvent(); });
}

void TTestBench::PrintSummary() {
    out_.flush();
    err_ << "corvane-plc: " << expectationsHeld_
         << (expectationsHeld_ == 1 ? " expectation" : " expectations") << " held, " << scans_
         << (scans_ == 1 ? " scan" : " scans") << ", " << (plc_.Running ? "RUN" : "STOP") << ", "
         << (Halted() ? "halted by an error" : "not halted") << '\n';
}

namespace {

using Words = std::vector<std::string>;

}  // namespace

void TTestBench::Execute(const Words& words) {
    static const std::array<TCommand, 16> kCommands = {{
        {"load", 1, 1,
         [](TTestBench& b, const Words& w) {
             // Refused before it is opened: a FIFO would block the bench for good.
             if (const std::string why = NotARegularFile(w[1]); !why.empty())
                 throw EUsage("cannot read '" + w[1] + "': " + why);
             b.Load(w[1]);
         }},
        {"import", 1, 2,
         [](TTestBench& b, const Words& w) {
             for (size_t k = 1; k < w.size(); ++k)
                 if (const std::string why = NotARegularFile(w[k]); !why.empty())
                     throw EUsage("cannot read '" + w[k] + "': " + why);
             b.Import(w[1], w.size() > 2 ? w[2] : std::string());
         }},
        {"list", 0, 0,
         [](TTestBench& b, const Words&) {
             for (const std::string& line : b.listing_) b.out_ << line << '\n';
         }},
        {"run", 0, 0, [](TTestBench& b, const Words&) { b.control_.RunCommand(); }},
        {"stop", 0, 0, [](TTestBench& b, const Words&) { b.control_.StopCommand(); }},
        {"reset", 0, 0, [](TTestBench& b, const Words&) { b.control_.ResetCommand(); }},
        {"switch", 2, 2,
         [](TTestBench& b, const Words& w) {
             const TAddress a = ParseBitAddress(w[1]);
             if (a.Area != 'I' || !plc::HasSwitch(a.Element()))
                 throw EUsage("there is no input switch for '" + w[1] + "'");
             b.switches_[static_cast<size_t>(a.Element())] = ParseBinary(w[2]);
         }},
        {"write", 2, 2,
         [](TTestBench& b, const Words& w) {
             const TAddress a = ParseBitAddress(w[1]);
             long long value = 0;
             if (!ParseNumber(w[2], value)) throw EUsage("expected an integer, got '" + w[2] + "'");
             plc::RunEvent([&] { b.plc_.WriteBit(a.Text(), value != 0); });
         }},
        {"refresh", 0, 1,
         [](TTestBench& b, const Words& w) {
             for (long long n = ParseCount(w); n > 0; --n) b.Refresh();
         }},
        {"scan", 0, 1,
         [](TTestBench& b, const Words& w) {
             for (long long n = ParseCount(w); n > 0; --n) b.Scan();
         }},
        {"tick", 0, 1,
         [](TTestBench& b, const Words& w) {
             for (long long n = ParseCount(w); n > 0; --n) b.plc_.TimerTick();
         }},
        {"ms", 0, 1,
         [](TTestBench& b, const Words& w) {
             for (long long n = ParseCount(w); n > 0; --n) {
                 b.Refresh();
                 b.Scan();
                 b.plc_.TimerTick();
             }
         }},
        {"print", 1, SIZE_MAX,
         [](TTestBench& b, const Words& w) {
             std::vector<TAddress> addresses;  // all checked before anything is printed
             for (size_t k = 1; k < w.size(); ++k) addresses.push_back(ParseAddress(w[k]));
             for (const TAddress& a : addresses) {
                 b.out_ << a.Text() << '=' << ValueOf(b.plc_, a);
                 if (a.Area == 'T')
                     b.out_ << " count=" << b.plc_.Timers[static_cast<size_t>(a.Byte)].Count;
                 if (a.Area == 'C')
                     b.out_ << " count=" << b.plc_.Counters[static_cast<size_t>(a.Byte)].Count;
                 b.out_ << '\n';
             }
         }},
        {"status", 0, 0,
         [](TTestBench& b, const Words&) {
             b.out_ << "state=" << (b.plc_.Running ? "RUN" : "STOP")
                    << " refresh=" << (b.control_.RefreshEnabled() ? "on" : "off")
                    << " busy=" << (b.plc_.Busy ? 1 : 0) << '\n';
         }},
        {"expect", 2, 2,
         [](TTestBench& b, const Words& w) {
             const TAddress a = ParseAddress(w[1]);
             const bool wanted = ParseBinary(w[2]);
             const bool actual = ValueOf(b.plc_, a);
             if (actual != wanted)
                 throw EExpect("expected " + a.Text() + "=" + w[2] + ", found " + a.Text() + "=" +
                               (actual ? "1" : "0"));
             ++b.expectationsHeld_;
         }},
        {"expect-running", 0, 0,
         [](TTestBench& b, const Words&) {
             if (b.Halted())
                 throw EExpect("expected the scan running, found it halted by an error");
             if (!b.plc_.Running) throw EExpect("expected the scan running, found STOP");
             ++b.expectationsHeld_;
         }},
    }};
    for (const TCommand& command : kCommands) {
        if (command.Name != words[0]) continue;
        const size_t args = words.size() - 1;
        if (args < command.MinArgs) throw EUsage("missing argument for '" + words[0] + "'");
        if (args > command.MaxArgs) throw EUsage("too many arguments for '" + words[0] + "'");
        command.Run(*this, words);
        return;
    }
    throw EUsage("unknown command '" + words[0] + "'");
}

TExitCode TTestBench::RunScript(std::istream& script) {
    std::string line;
    for (int number = 1; std::getline(script, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> words = SplitWords(line);
        if (words.empty() || words[0][0] == '#') continue;
        try {
            Execute(words);
        } catch (const EExpect& e) {
            out_.flush();
            err_ << "corvane-plc: line " << number << ": " << e.what() << '\n';
            return TExitCode::ExpectFailed;
        } catch (const EUsage& e) {
            out_.flush();
            err_ << "corvane-plc: line " << number << ": " << e.what() << '\n';
            return TExitCode::UsageError;
        }
    }
    return TExitCode::Ok;
}

}  // namespace corvane::testbench
