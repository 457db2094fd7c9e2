#pragma once
// The simulated controller: memory image, timers, logic stack, instruction store and the
// operations that the console, the test bench and the OPC item provider call.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Operand.h"

namespace corvane::plc {

enum class TInstructionKind : int32_t {
    None = 0,  // end of program
    LD = 1,
    LDI = 2,
    LDN = 3,
    LDNI = 4,
    LPS = 5,
    LPP = 6,
    LRD = 7,
    ALD = 8,
    AN = 9,
    A = 10,
    O = 11,
    OLD = 12,
    ON = 13,
    S = 14,
    R = 15,
    Assign = 16,  // "="
    TOF = 17,
    TONR = 18,
    TON = 19,
    // Only the S7-200 import produces the kinds below; they run in the decoded form alone.
    EU = 20,
    ED = 21,
    NOT = 22,
    CTU = 23,
    CTD = 24,
    CTUD = 25,
    AI = 26,
    ANI = 27,
    OI = 28,
    ONI = 29,
    AssignI = 30,  // "=I"
    SI = 31,
    RI = 32,
};

// One memory area: 21 bytes of 8 bits, one Boolean per bit, byte-major without gaps, so
// bit b of byte n is element n * 8 + b. The I/O refresh and the memory view rely on the
// flat form.
struct TBitArea {
    std::array<bool, kBitsPerArea> Bits{};

    bool& At(int byte, int bit) { return Bits[static_cast<size_t>(byte * kBitsPerByte + bit)]; }
    bool At(int byte, int bit) const {
        return Bits[static_cast<size_t>(byte * kBitsPerByte + bit)];
    }
    bool& operator[](size_t element) { return Bits[element]; }
    bool operator[](size_t element) const { return Bits[element]; }
    bool operator==(const TBitArea&) const = default;
};

// One timer record. `Kind` is 'R' or 'O' from construction and 'N', 'F' or 'R' once a
// TON, TOF or TONR box has run for it.
struct TPLCTimer {
    bool Enable = false;
    bool Done = false;
    int32_t TimeBase = 0;  // ms per preset unit: 1, 10 or 100, fixed by the timer number
    int32_t Preset = 0;
    int32_t Count = 0;  // elapsed ticks, 0..max(kMaxTimerCount, Target)
    int32_t Target = 0;
    char Kind = 'O';
    bool operator==(const TPLCTimer&) const = default;
};

// The ceiling of Count that short timers keep. The tick lets Count go on up to Target
// where Target is larger, so that presets beyond 32.765 s finish (a 100 ms timer times
// up to 3276.7 s).
inline constexpr int32_t kMaxTimerCount = 32765;
inline constexpr int kLogicStackDepth = 9;
inline constexpr int kInstructionSlots = 65354;  // slot 0 unused; kind None ends a program

// One counter C0-C255. `Up` and `Down` hold the count inputs of the last execution of
// its box, so that a count happens on a rising edge only.
struct TPLCCounter {
    int32_t Count = 0;  // -32768..32767
    bool Done = false;  // the counter bit, read by a C operand
    bool Up = false;
    bool Down = false;
    bool operator==(const TPLCCounter&) const = default;
};

inline constexpr int kCounterCount = 256;
inline constexpr int32_t kCounterMax = 32767;
inline constexpr int32_t kCounterMin = -32768;
// Special memory byte SMB0: the bits the simulator drives.
inline constexpr int kSmAlwaysOn = 0, kSmFirstScan = 1, kSmMinuteClock = 4, kSmSecondClock = 5,
                     kSmScanClock = 6;
inline constexpr int32_t kMinuteClockMs = 60000;
inline constexpr int32_t kSecondClockMs = 1000;

// True for T0-T31 and T64-T95, the CPU 224's retentive (TONR) timers.
bool IsRetentiveTimer(int number);

struct TPLCInstruction {
    TInstructionKind Kind = TInstructionKind::None;
    std::string Operand;  // operand text with every blank removed
};

struct TProgramLines;
struct TDecodedProgram;

// The controller. Exactly one lives in the application (the console's `PLC`); tests make
// their own. Not copyable or movable: the compiled program points into its memory.
//
// Operations that parse operand text show the copystr message through the message service
// and throw EConvertError on malformed or out-of-range operands; whatever they changed
// before the failing conversion stays changed.
class TPLC {
  public:
    TPLC();
    ~TPLC();
    TPLC(const TPLC&) = delete;
    TPLC& operator=(const TPLC&) = delete;

    std::array<TPLCTimer, kTimerCount> Timers;
    TBitArea I, Q, M, V;
    int32_t LineCount = 0;
    bool Running = false;
    bool Busy = false;
    std::array<bool, kLogicStackDepth> LogicStack{};
    std::vector<TPLCInstruction> Instructions;  // kInstructionSlots entries
    std::array<TPLCCounter, kCounterCount> Counters{};
    // SMB0, read-only for programs: SM0.0 always on, SM0.1 first scan, SM0.4/SM0.5 the
    // minute and second clocks of the timer base, SM0.6 the scan clock. Bits 2, 3 and 7
    // are not simulated and stay 0.
    std::array<bool, kBitsPerByte> SM{};
    // The next scan is the first after STOP -> RUN or after a load (sets SM0.1).
    bool FirstScanPending = true;

    // --- public bit operations ---
    void ResetMemory();
    void LoadInputs(const TBitArea& source);  // input bytes 0..8 only
    void SetMarkerBit(std::string_view address);
    void ResetMarkerBit(std::string_view address);
    void WriteBit(std::string_view address, bool value);
    // The bit, or nullopt where the caller's value is to stay unchanged (empty
    // address, first character not I, Q, M or V).
    std::optional<bool> ReadBit(std::string_view address);

    // --- program ---
    // Rebuilds `Instructions` from `LineCount` stored lines and decodes them for execution.
    void CompileProgram(const TProgramLines& lines);
    // Replaces the program by instructions from the S7-200 import, whose operands are
    // in the importer's normal form (S7Operand.h). Checks every operand before anything
    // changes and throws std::invalid_argument when one does not decode. Memory, run
    // state and the line store stay; the next scan is a first scan.
    void InstallImportedProgram(const std::vector<TPLCInstruction>& program);
    // One pass over the program in its decoded form.
    void ExecuteScan();
    // One pass that parses every operand text at execution; the reference for ExecuteScan
    // on programs from CompileProgram (the kinds only the import produces have no text
    // handler and do nothing here).
    void ExecuteScanByText();
    // Executes one slot by its operand text.
    void ExecuteInstruction(const TPLCInstruction& instruction);
    // Timer base tick: one call stands for one millisecond.
    void TimerTick();

    // --- instruction semantics, by operand text ---
    void LD(std::string_view op);
    void LDN(std::string_view op);
    void A(std::string_view op);
    void AN(std::string_view op);
    void O(std::string_view op);
    void ON(std::string_view op);
    void ALD();
    void OLD();
    void LPS();
    void LPP();
    void LRD();
    void Assign(std::string_view op);
    void S(std::string_view op);
    void R(std::string_view op);
    void TON(std::string_view op);
    void TOF(std::string_view op);
    void TONR(std::string_view op);

    // Area named by an operand's first character (I, Q, M, V), or nullptr.
    TBitArea* AreaOf(char letter);
    const TBitArea* AreaOf(char letter) const;

  private:
    // Start of every scan: the scan-driven special bits.
    void BeginScan();
    void Push();
    void Pop();
    void DropLevelOne();
    void TimerBox(std::string_view op, char kindLetter);
    void SetRun(std::string_view op, bool value);
    friend struct TScanEngine;

    // Shared so that a scan keeps the program it started with alive whatever happens inside
    // a message box it opens.
    std::shared_ptr<TDecodedProgram> Decoded_;
    int32_t clockMs_ = 0;  // milliseconds of the timer base modulo one minute
};

}  // namespace corvane::plc
