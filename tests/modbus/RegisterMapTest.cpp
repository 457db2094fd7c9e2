// The register map on a bare controller: every range at its base, its ends, the word
// layout, timers, and refusals that leave the memory image alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegisterMap.h"

namespace corvane::modbus {
namespace {

void SetByte(plc::TBitArea& area, int byte, unsigned value) {
    for (int bit = 0; bit < plc::kBitsPerByte; ++bit)
        area.At(byte, bit) = ((value >> bit) & 1u) != 0;
}

unsigned ByteOf(const plc::TBitArea& area, int byte) {
    unsigned value = 0;
    for (int bit = 0; bit < plc::kBitsPerByte; ++bit) value |= area.At(byte, bit) ? 1u << bit : 0u;
    return value;
}

std::string TableName(TTable table) {
    switch (table) {
        case TTable::DiscreteInputs:
            return "DiscreteInputs";
        case TTable::Coils:
            return "Coils";
        case TTable::InputRegisters:
            return "InputRegisters";
        case TTable::HoldingRegisters:
            return "HoldingRegisters";
    }
    return "?";
}

class MapFixture {
  protected:
    plc::TPLC plc_;
    TRegisterMap map_{plc_};

    std::vector<uint16_t> Read(TTable table, uint16_t address, size_t count,
                               TMapResult expected = TMapResult::Ok) {
        std::vector<uint16_t> values(count, 0xEEEE);
        EXPECT_EQ(map_.Read(table, address, values), expected);
        return values;
    }
};

// --- bit areas ---

struct TBitRange {
    TTable Table;
    uint16_t Base;
    char Area;
    bool Writable;
};

class BitRangeTest : public MapFixture, public ::testing::TestWithParam<TBitRange> {};

TEST_P(BitRangeTest, AddressBaseplusEightNplusBReadsBitBOfByteN) {
    const TBitRange& range = GetParam();
    plc::TBitArea& area = *plc_.AreaOf(range.Area);
    area.At(3, 5) = true;   // element 29
    area.At(20, 7) = true;  // the last element, 167
    EXPECT_EQ(Read(range.Table, range.Base + 28, 3), (std::vector<uint16_t>{0, 1, 0}));
    const std::vector<uint16_t> all = Read(range.Table, range.Base, plc::kBitsPerArea);
    for (size_t element = 0; element < all.size(); ++element)
        EXPECT_EQ(all[element], area[element] ? 1 : 0) << "element " << element;
}

TEST_P(BitRangeTest, NeitherEndReachesPastTheArea) {
    const TBitRange& range = GetParam();
    Read(range.Table, range.Base + plc::kBitsPerArea, 1, TMapResult::IllegalDataAddress);
    Read(range.Table, range.Base + 160, 9, TMapResult::IllegalDataAddress);
    Read(range.Table, range.Base - 1, 1, TMapResult::IllegalDataAddress);
    Read(range.Table, range.Base + 167, 1);
}

TEST_P(BitRangeTest, WritesReachTheBitOrAreRefusedWithoutEffect) {
    const TBitRange& range = GetParam();
    const std::vector<uint16_t> values = {1, 0, 1};
    const plc::TBitArea& area = *plc_.AreaOf(range.Area);
    const TMapResult result = map_.Write(range.Table, range.Base + 14, values);  // byte 1 bit 6 on
    if (!range.Writable) {
        EXPECT_EQ(result, TMapResult::IllegalDataAddress);
        EXPECT_EQ(ByteOf(area, 1), 0u);
        return;
    }
    EXPECT_EQ(result, TMapResult::Ok);
    EXPECT_EQ(ByteOf(area, 1), 0b0100'0000u);
    EXPECT_EQ(ByteOf(area, 2), 0b0000'0001u);
}

INSTANTIATE_TEST_SUITE_P(Areas, BitRangeTest,
                         ::testing::Values(TBitRange{TTable::DiscreteInputs, 0, 'I', false},
                                           TBitRange{TTable::Coils, 0, 'Q', true},
                                           TBitRange{TTable::Coils, 1000, 'M', true},
                                           TBitRange{TTable::Coils, 2000, 'V', true},
                                           TBitRange{TTable::Coils, 3000, 'I', true}),
                         [](const auto& info) {
                             return TableName(info.param.Table) + "From" +
                                    std::to_string(info.param.Base) + "To" + info.param.Area;
                         });

// --- word areas ---

struct TWordRange {
    TTable Table;
    uint16_t Base;
    char Area;
    bool Writable;
};

class WordRangeTest : public MapFixture, public ::testing::TestWithParam<TWordRange> {};

TEST_P(WordRangeTest, RegisterKHoldsByte2KHighAndByte2KplusOneLow) {
    const TWordRange& range = GetParam();
    plc::TBitArea& area = *plc_.AreaOf(range.Area);
    SetByte(area, 4, 0xA5);
    SetByte(area, 5, 0x3C);
    SetByte(area, 20, 0x81);
    EXPECT_EQ(Read(range.Table, range.Base + 1, 3), (std::vector<uint16_t>{0, 0xA53C, 0}));
    EXPECT_EQ(Read(range.Table, range.Base + 10, 1), (std::vector<uint16_t>{0x8100}));
    Read(range.Table, range.Base + 11, 1, TMapResult::IllegalDataAddress);
    Read(range.Table, range.Base, 12, TMapResult::IllegalDataAddress);
    if (range.Base > 0) Read(range.Table, range.Base - 1, 2, TMapResult::IllegalDataAddress);
}

TEST_P(WordRangeTest, WrittenWordsLandHighByteFirst) {
    const TWordRange& range = GetParam();
    const plc::TBitArea& area = *plc_.AreaOf(range.Area);
    const std::vector<uint16_t> words = {0x1234, 0x80FF};
    const TMapResult result = map_.Write(range.Table, range.Base + 3, words);
    if (!range.Writable) {
        EXPECT_EQ(result, TMapResult::IllegalDataAddress);
        EXPECT_EQ(area, plc::TBitArea{});
        return;
    }
    EXPECT_EQ(result, TMapResult::Ok);
    EXPECT_EQ(ByteOf(area, 6), 0x12u);
    EXPECT_EQ(ByteOf(area, 7), 0x34u);
    EXPECT_EQ(ByteOf(area, 8), 0x80u);
    EXPECT_EQ(ByteOf(area, 9), 0xFFu);
    EXPECT_EQ(ByteOf(area, 5), 0u);
    EXPECT_EQ(ByteOf(area, 10), 0u);
    // The last register keeps only its high byte: byte 20 is the area's last.
    const std::vector<uint16_t> last = {0xABCD};
    ASSERT_EQ(map_.Write(range.Table, range.Base + 10, last), TMapResult::Ok);
    EXPECT_EQ(ByteOf(area, 20), 0xABu);
    EXPECT_EQ(Read(range.Table, range.Base + 10, 1), (std::vector<uint16_t>{0xAB00}));
}

INSTANTIATE_TEST_SUITE_P(Areas, WordRangeTest,
                         ::testing::Values(TWordRange{TTable::InputRegisters, 0, 'I', false},
                                           TWordRange{TTable::HoldingRegisters, 0, 'V', true},
                                           TWordRange{TTable::HoldingRegisters, 100, 'Q', true},
                                           TWordRange{TTable::HoldingRegisters, 200, 'M', true}),
                         [](const auto& info) {
                             return TableName(info.param.Table) + "From" +
                                    std::to_string(info.param.Base) + "To" + info.param.Area;
                         });

// --- timers ---

class TimerMapTest : public MapFixture, public ::testing::Test {};

TEST_F(TimerMapTest, DiscreteInputsFromThousandAreTheTimerBits) {
    plc_.Timers[37].Done = true;
    plc_.Timers[255].Done = true;
    EXPECT_EQ(Read(TTable::DiscreteInputs, 1036, 3), (std::vector<uint16_t>{0, 1, 0}));
    EXPECT_EQ(Read(TTable::DiscreteInputs, 1255, 1), (std::vector<uint16_t>{1}));
    Read(TTable::DiscreteInputs, 1256, 1, TMapResult::IllegalDataAddress);
    Read(TTable::DiscreteInputs, 999, 1, TMapResult::IllegalDataAddress);
}

TEST_F(TimerMapTest, InputRegistersFromThousandCountInTheTimersBase) {
    struct TCase {
        size_t Timer;
        int32_t TimeBase, Count;
        uint16_t Expected;
    };
    const TCase cases[] = {
        {0, 1, 1234, 1234}, {37, 100, 1234, 12}, {33, 10, 32765, 3276},
        {255, 100, 99, 0},  {1, 0, 7, 7},  // a base not yet known counts in ms
    };
    for (const TCase& c : cases) {
        plc_.Timers[c.Timer].TimeBase = c.TimeBase;
        plc_.Timers[c.Timer].Count = c.Count;
        EXPECT_EQ(Read(TTable::InputRegisters, uint16_t(1000 + c.Timer), 1)[0], c.Expected)
            << "T" << c.Timer;
    }
    Read(TTable::InputRegisters, 1256, 1, TMapResult::IllegalDataAddress);
    Read(TTable::InputRegisters, 1250, 7, TMapResult::IllegalDataAddress);
}

// --- what lies outside the map ---

struct TOutside {
    TTable Table;
    uint16_t Address;
    size_t Count;
};

class OutsideTest : public MapFixture, public ::testing::TestWithParam<TOutside> {};

TEST_P(OutsideTest, IsAnIllegalDataAddressForReadsAndWrites) {
    const TOutside& c = GetParam();
    Read(c.Table, c.Address, c.Count, TMapResult::IllegalDataAddress);
    const std::vector<uint16_t> ones(c.Count, 0xFFFF);
    EXPECT_EQ(map_.Write(c.Table, c.Address, ones), TMapResult::IllegalDataAddress);
    for (const char letter : {'I', 'Q', 'M', 'V'}) EXPECT_EQ(*plc_.AreaOf(letter), plc::TBitArea{});
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, OutsideTest,
    ::testing::Values(TOutside{TTable::Coils, 168, 1}, TOutside{TTable::Coils, 999, 2},
                      TOutside{TTable::Coils, 1168, 1}, TOutside{TTable::Coils, 1999, 1},
                      TOutside{TTable::Coils, 2160, 9}, TOutside{TTable::Coils, 3168, 1},
                      TOutside{TTable::Coils, 65535, 2}, TOutside{TTable::HoldingRegisters, 11, 1},
                      TOutside{TTable::HoldingRegisters, 99, 1},
                      TOutside{TTable::HoldingRegisters, 110, 2},
                      TOutside{TTable::HoldingRegisters, 211, 1},
                      TOutside{TTable::HoldingRegisters, 1000, 1},
                      TOutside{TTable::DiscreteInputs, 500, 1},
                      TOutside{TTable::InputRegisters, 100, 1}, TOutside{TTable::Coils, 0, 0}),
    [](const auto& info) {
        return TableName(info.param.Table) + "At" + std::to_string(info.param.Address) + "Count" +
               std::to_string(info.param.Count);
    });

}  // namespace
}  // namespace corvane::modbus
