#pragma once
// The Modbus view of the controller's memory image: which table and address reach which
// bit, word or timer. No network and no Qt, so the whole map is testable on a bare TPLC.
#include <cstdint>
#include <span>

#include "PLC_Instruction.h"

namespace corvane::modbus {

enum class TTable { DiscreteInputs, Coils, InputRegisters, HoldingRegisters };

// The protocol's exception codes that the map gives.
enum class TMapResult : uint8_t { Ok = 0, IllegalDataAddress = 2 };

// Reads and writes blocks of one table. A block must lie inside one mapped range,
// otherwise nothing is read or written and the answer is IllegalDataAddress. Bit tables
// give 0 or 1 per address; register tables a 16-bit word per address, whose high byte is
// the lower-numbered controller byte. Writes go bit by bit through TPLC::WriteBit, as an
// OPC client's write does; read-only tables refuse them.
class TRegisterMap {
  public:
    explicit TRegisterMap(plc::TPLC& plc) : plc_(plc) {}

    TMapResult Read(TTable table, uint16_t address, std::span<uint16_t> values) const;
    TMapResult Write(TTable table, uint16_t address, std::span<const uint16_t> values);

  private:
    plc::TPLC& plc_;
};

}  // namespace corvane::modbus
