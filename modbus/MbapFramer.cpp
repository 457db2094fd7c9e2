#include "MbapFramer.h"

namespace corvane::modbus {
namespace {

uint16_t Word(std::string_view bytes, size_t at) {
    return static_cast<uint16_t>((static_cast<uint8_t>(bytes[at]) << 8) |
                                 static_cast<uint8_t>(bytes[at + 1]));
}

}  // namespace

void TMbapFramer::Append(std::string_view bytes) {
    if (error_ != TFrameError::None) return;
    // Drop consumed bytes once they outweigh the rest, so a long session does not grow the
    // buffer and single frames do not move it on every request.
    if (start_ > 0 && start_ >= buffer_.size() - start_) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    buffer_.append(bytes);
}

std::optional<TMbapFrame> TMbapFramer::Next() {
    if (error_ != TFrameError::None) return std::nullopt;
    const std::string_view rest = std::string_view(buffer_).substr(start_);
    if (rest.size() < kMbapHeaderSize) return std::nullopt;
    if (Word(rest, 2) != 0) {
        error_ = TFrameError::NotModbus;
        return std::nullopt;
    }
    const uint16_t length = Word(rest, 4);  // unit id and PDU
    if (length < 2 || length > kMaxPduSize + 1) {
        error_ = TFrameError::BadLength;
        return std::nullopt;
    }
    const size_t total = kMbapHeaderSize - 1 + length;
    if (rest.size() < total) return std::nullopt;
    TMbapFrame frame;
    frame.Transaction = Word(rest, 0);
    frame.Unit = static_cast<uint8_t>(rest[6]);
    frame.Pdu.assign(rest.substr(kMbapHeaderSize, length - 1));
    start_ += total;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return frame;
}

std::string EncodeMbap(uint16_t transaction, uint8_t unit, std::string_view pdu) {
    const size_t length = pdu.size() + 1;
    std::string adu;
    adu.reserve(kMbapHeaderSize + pdu.size());
    adu.push_back(static_cast<char>(transaction >> 8));
    adu.push_back(static_cast<char>(transaction & 0xFF));
    adu.push_back(0);
    adu.push_back(0);
    adu.push_back(static_cast<char>(length >> 8));
    adu.push_back(static_cast<char>(length & 0xFF));
    adu.push_back(static_cast<char>(unit));
    adu.append(pdu);
    return adu;
}

}  // namespace corvane::modbus
