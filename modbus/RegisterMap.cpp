#include "RegisterMap.h"

#include <array>
#include <string>

namespace corvane::modbus {
namespace {

using plc::kBitsPerArea;
using plc::kBitsPerByte;
using plc::kBytesPerArea;
using plc::kTimerCount;

enum class TSource { AreaBits, TimerBits, AreaWords, TimerValues };

// One mapped range of a table: `Count` addresses from `First`.
struct TRange {
    TTable Table;
    int First;
    int Count;
    TSource Source;
    char Area;  // I, Q, M or V for area sources
    bool Writable;
};

// Two bytes per register; the last register of an area holds its odd last byte high.
constexpr int kWordsPerArea = (kBytesPerArea + 1) / 2;

constexpr std::array<TRange, 11> kRanges = {{
    {TTable::DiscreteInputs, 0, kBitsPerArea, TSource::AreaBits, 'I', false},
    {TTable::DiscreteInputs, 1000, kTimerCount, TSource::TimerBits, 0, false},
    {TTable::Coils, 0, kBitsPerArea, TSource::AreaBits, 'Q', true},
    {TTable::Coils, 1000, kBitsPerArea, TSource::AreaBits, 'M', true},
    {TTable::Coils, 2000, kBitsPerArea, TSource::AreaBits, 'V', true},
    {TTable::Coils, 3000, kBitsPerArea, TSource::AreaBits, 'I', true},
    {TTable::InputRegisters, 0, kWordsPerArea, TSource::AreaWords, 'I', false},
    {TTable::InputRegisters, 1000, kTimerCount, TSource::TimerValues, 0, false},
    {TTable::HoldingRegisters, 0, kWordsPerArea, TSource::AreaWords, 'V', true},
    {TTable::HoldingRegisters, 100, kWordsPerArea, TSource::AreaWords, 'Q', true},
    {TTable::HoldingRegisters, 200, kWordsPerArea, TSource::AreaWords, 'M', true},
}};

// The range holding every address of the block, or nullptr. Blocks are never empty here:
// the protocol layer refuses zero quantities before asking the map.
const TRange* FindRange(TTable table, uint16_t address, size_t count) {
    for (const TRange& range : kRanges) {
        if (range.Table != table || address < range.First) continue;
        const size_t offset = static_cast<size_t>(address - range.First);
        if (count > 0 && offset + count <= static_cast<size_t>(range.Count)) return &range;
    }
    return nullptr;
}

uint16_t TimerValue(const plc::TPLCTimer& timer) {
    // Count is in milliseconds; a timer that has never run may still lack its base.
    const int32_t base = timer.TimeBase > 0 ? timer.TimeBase : 1;
    const int32_t value = timer.Count / base;
    return static_cast<uint16_t>(value < 0 ? 0 : value > 0xFFFF ? 0xFFFF : value);
}

}  // namespace

TMapResult TRegisterMap::Read(TTable table, uint16_t address, std::span<uint16_t> values) const {
    const TRange* range = FindRange(table, address, values.size());
    if (!range) return TMapResult::IllegalDataAddress;
    const int first = address - range->First;
    const plc::TBitArea* area = plc_.AreaOf(range->Area);
    for (size_t i = 0; i < values.size(); ++i) {
        const int index = first + static_cast<int>(i);
        switch (range->Source) {
            case TSource::AreaBits:
                values[i] = (*area)[static_cast<size_t>(index)] ? 1 : 0;
                break;
            case TSource::TimerBits:
                values[i] = plc_.Timers[static_cast<size_t>(index)].Done ? 1 : 0;
                break;
            case TSource::TimerValues:
                values[i] = TimerValue(plc_.Timers[static_cast<size_t>(index)]);
                break;
            case TSource::AreaWords: {
                uint16_t word = 0;
                for (int half = 0; half < 2; ++half) {
                    const int byte = index * 2 + half;
                    if (byte >= kBytesPerArea) break;
                    uint16_t octet = 0;
                    for (int bit = 0; bit < kBitsPerByte; ++bit)
                        octet |= static_cast<uint16_t>(area->At(byte, bit) ? 1u << bit : 0u);
                    word |= static_cast<uint16_t>(octet << (half == 0 ? 8 : 0));
                }
                values[i] = word;
                break;
            }
        }
    }
    return TMapResult::Ok;
}

TMapResult TRegisterMap::Write(TTable table, uint16_t address, std::span<const uint16_t> values) {
    const TRange* range = FindRange(table, address, values.size());
    if (!range || !range->Writable) return TMapResult::IllegalDataAddress;
    const int first = address - range->First;
    auto writeBit = [this, range](int byte, int bit, bool value) {
        const std::string name =
            std::string(1, range->Area) + std::to_string(byte) + '.' + std::to_string(bit);
        plc_.WriteBit(name, value);
    };
    for (size_t i = 0; i < values.size(); ++i) {
        const int index = first + static_cast<int>(i);
        if (range->Source == TSource::AreaBits) {
            writeBit(index / kBitsPerByte, index % kBitsPerByte, values[i] != 0);
            continue;
        }
        for (int half = 0; half < 2; ++half) {
            const int byte = index * 2 + half;
            // The low half of the last register has no byte behind it: it reads 0 and a
            // written value there has nowhere to go.
            if (byte >= kBytesPerArea) break;
            const unsigned octet = half == 0 ? values[i] >> 8 : values[i] & 0xFFu;
            for (int bit = 0; bit < kBitsPerByte; ++bit)
                writeBit(byte, bit, ((octet >> bit) & 1u) != 0);
        }
    }
    return TMapResult::Ok;
}

}  // namespace corvane::modbus
