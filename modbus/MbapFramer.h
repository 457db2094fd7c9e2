#pragma once
// Modbus TCP framing: the 7-byte MBAP header (transaction, protocol, length, unit) in
// front of each PDU. Plain code over bytes, so the stream rules are testable without a
// socket.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::modbus {

inline constexpr size_t kMbapHeaderSize = 7;
inline constexpr size_t kMaxPduSize = 253;

struct TMbapFrame {
    uint16_t Transaction = 0;
    uint8_t Unit = 0;
    std::string Pdu;  // function code and data, never empty
};

enum class TFrameError {
    None,
    NotModbus,  // protocol identifier other than 0
    BadLength,  // length field below 2 (unit id and function code) or above 254
};

// Cuts a client's byte stream into frames. A stream with a broken header cannot be
// resynchronised: after an error no further frame comes out and the caller should close
// the connection.
class TMbapFramer {
  public:
    void Append(std::string_view bytes);
    // The next complete frame, taken out of the buffer; nullopt when more bytes are needed
    // or the stream is broken.
    std::optional<TMbapFrame> Next();

    TFrameError Error() const { return error_; }
    // Bytes of a frame that has not arrived whole are waiting.
    bool HasPartialFrame() const { return buffer_.size() > start_; }
    size_t Buffered() const { return buffer_.size() - start_; }

  private:
    std::string buffer_;
    size_t start_ = 0;  // consumed bytes at the front, dropped in bulk
    TFrameError error_ = TFrameError::None;
};

// The ADU answering `transaction` from `unit` with `pdu` (function code byte and data).
std::string EncodeMbap(uint16_t transaction, uint8_t unit, std::string_view pdu);

}  // namespace corvane::modbus
