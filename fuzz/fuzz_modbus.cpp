// A client's byte stream to the Modbus server, cut into arbitrary chunks: the framer must
// give exactly the frames a plain reading of the stream gives (and stop for good at the
// first broken header), every frame must encode back to its bytes, and the requests the
// frames carry must reach the register map without a crash, a read outside its block or a
// write that does not read back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "MbapFramer.h"
#include "RegisterMap.h"

using namespace corvane;
using namespace corvane::modbus;

namespace {

uint16_t Word(std::string_view s, size_t at) {
    return static_cast<uint16_t>((static_cast<uint8_t>(s[at]) << 8) |
                                 static_cast<uint8_t>(s[at + 1]));
}

// The frames of the whole stream read in one go, and whether it ends in a broken header.
struct TReference {
    std::vector<std::string> Frames;  // each frame's bytes as sent
    bool Broken = false;
};

TReference ReadWhole(std::string_view stream) {
    TReference ref;
    size_t at = 0;
    while (stream.size() - at >= kMbapHeaderSize) {
        const std::string_view rest = stream.substr(at);
        const uint16_t length = Word(rest, 4);
        if (Word(rest, 2) != 0 || length < 2 || length > kMaxPduSize + 1) {
            ref.Broken = true;
            break;
        }
        const size_t total = kMbapHeaderSize - 1 + length;
        if (rest.size() < total) break;
        ref.Frames.emplace_back(rest.substr(0, total));
        at += total;
    }
    return ref;
}

void Fail() {
    std::abort();
}

TTable TableOf(uint8_t function) {
    switch (function) {
        case 1:
        case 5:
        case 15:
            return TTable::Coils;
        case 2:
            return TTable::DiscreteInputs;
        case 4:
            return TTable::InputRegisters;
        default:
            return TTable::HoldingRegisters;
    }
}

// The request in `pdu` applied to the map as the server applies it.
void Apply(TRegisterMap& map, const std::string& pdu) {
    if (pdu.size() < 5) return;
    const auto function = static_cast<uint8_t>(pdu[0]);
    const uint16_t address = Word(pdu, 1);
    const uint16_t second = Word(pdu, 3);
    const TTable table = TableOf(function);
    std::vector<uint16_t> values;
    if (function >= 1 && function <= 4) {
        // Guard words on both sides catch a read outside its block.
        values.assign(static_cast<size_t>(second % 2001) + 2, 0xA5A5);
        const std::span<uint16_t> block(values.data() + 1, values.size() - 2);
        if (map.Read(table, address, block) == TMapResult::Ok && block.empty()) Fail();
        if (values.front() != 0xA5A5 || values.back() != 0xA5A5) Fail();
        return;
    }
    if (function == 5 || function == 6) {
        values.push_back(function == 5 ? (second == 0xFF00 ? 1 : 0) : second);
    } else if (function == 15 || function == 16) {
        const size_t count = second % 124;
        for (size_t i = 0; i < count; ++i)
            values.push_back(pdu.size() > 6 + i ? static_cast<uint8_t>(pdu[6 + i]) & 1 : 0);
    } else {
        return;
    }
    if (values.empty()) return;
    if (map.Write(table, address, values) != TMapResult::Ok) return;
    std::vector<uint16_t> back(values.size());
    if (map.Read(table, address, back) != TMapResult::Ok) Fail();
    if (table == TTable::Coils) {
        for (size_t i = 0; i < values.size(); ++i)
            if ((values[i] != 0) != (back[i] != 0)) Fail();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t chunk = 1 + data[0] % 17;
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
    const TReference ref = ReadWhole(stream);

    TMbapFramer framer;
    plc::TPLC plc;
    TRegisterMap map(plc);
    size_t got = 0;
    for (size_t at = 0; at < stream.size(); at += chunk) {
        framer.Append(stream.substr(at, chunk));
        while (auto frame = framer.Next()) {
            if (frame->Pdu.empty() || frame->Pdu.size() > kMaxPduSize) Fail();
            if (got >= ref.Frames.size()) Fail();
            if (EncodeMbap(frame->Transaction, frame->Unit, frame->Pdu) != ref.Frames[got]) Fail();
            ++got;
            Apply(map, frame->Pdu);
        }
    }
    if (got != ref.Frames.size()) Fail();
    if ((framer.Error() != TFrameError::None) != ref.Broken) Fail();
    return 0;
}
