// The DA 1.0 stream formats and the builders of their byte images: data streams (with
// and without item time stamps) and the write-complete block. The bytes are fixed by
// the clients that parse them: 32-bit little-endian fields, 16-byte VARIANT records and
// 24-byte SAFEARRAY descriptors whatever this platform's own struct sizes are.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "objidl.h"
#include "oleauto.h"
#include "opcda.h"

namespace corvane::opc {

// Connection ids of IDataObject::DAdvise; each stands for one registered format.
enum class TStreamConnection : DWORD { Data = 0, DataTime = 1, WriteComplete = 2 };
inline constexpr DWORD kStreamConnectionCount = 3;
inline constexpr std::size_t kGroupHeaderSize = 20;
inline constexpr std::size_t kWriteHeaderSize = 16;
inline constexpr std::size_t kWriteItemSize = 8;
inline constexpr std::size_t kVariantRecordSize = 16;
inline constexpr std::size_t kSafeArrayRecordSize = 24;

// The registered clipboard id of a connection's format. Registration goes by name, so
// these are the ids the server registered at start-up; 0 when the platform refused.
UINT StreamFormatId(DWORD Connection);
// The connection id whose format has this clipboard id.
std::optional<DWORD> StreamConnectionOf(CLIPFORMAT Format);

// A growable block of bytes written at a position; handed out as a global memory block.
class TMemoryStream {
  public:
    std::size_t Position() const { return Position_; }
    std::size_t Size() const { return Bytes_.size(); }
    const std::vector<BYTE>& Bytes() const { return Bytes_; }
    // Grows with zeros or cuts; the position stays.
    void SetSize(std::size_t Size) { Bytes_.resize(Size); }
    void Seek(std::size_t Position) { Position_ = Position; }
    // Writes at the position and advances, growing the block as needed.
    void Write(const void* Data, std::size_t Count);
    void WriteZeros(std::size_t Count);
    void WriteDword(DWORD Value) { Write(&Value, sizeof Value); }
    // Stores a fixed-size field at an offset inside the block (headers are reserved up
    // front, so this never grows it).
    template <class T>
    void Put(std::size_t Offset, T Value) {
        std::memcpy(Bytes_.data() + Offset, &Value, sizeof Value);
    }
    // A new global memory block holding a copy; raises EOpcError(E_OUTOFMEMORY).
    HGLOBAL ToGlobal() const;

  private:
    std::vector<BYTE> Bytes_;
    std::size_t Position_ = 0;
};

// One data stream while it is built: the group header, Count reserved item headers and
// the value records appended after them in item order.
class TDataChangeStream : public TMemoryStream {
  public:
    virtual ~TDataChangeStream() = default;
    virtual bool HasTime() const = 0;
    virtual std::size_t ItemHeaderSize() const = 0;
    virtual void SetItemTime(std::size_t Index, const FILETIME& Time) = 0;

    // The connection (and format) of this kind of stream.
    DWORD Connection() const {
        return static_cast<DWORD>(HasTime() ? TStreamConnection::DataTime
                                            : TStreamConnection::Data);
    }
    void SetGroupHeader(OPCHANDLE ClientGroup, DWORD TransactionId);
    // Starts item Index: its client handle, and its value offset at the current position.
    void BeginItem(std::size_t Index, OPCHANDLE ClientHandle);
    void SetItemQuality(std::size_t Index, WORD Quality);
    // The value record of one item; LengthWithNull counts the terminator of strings.
    void WriteValueRecord(const VARIANT& Value, bool LengthWithNull);
    // dwSize and hrStatus (S_FALSE when some item's quality was not good).
    void Finish(bool AllGood);

  protected:
    explicit TDataChangeStream(std::size_t Count) : Count_(Count) {}
    void Reserve(std::size_t HeaderSize);
    std::size_t ItemHeader(std::size_t Index) const {
        return kGroupHeaderSize + Index * ItemHeaderSize();
    }

  private:
    void WriteString(BSTR Text, bool LengthWithNull);
    void WriteArray(const SAFEARRAY& Array, VARTYPE ElementType, bool LengthWithNull);

    std::size_t Count_;
};

// "OPCSTMFORMATDATATIME": 20-byte item headers that carry the item's time stamp.
class TDataChangeStream1 final : public TDataChangeStream {
  public:
    explicit TDataChangeStream1(std::size_t Count);
    bool HasTime() const override { return true; }
    std::size_t ItemHeaderSize() const override { return 20; }
    void SetItemTime(std::size_t Index, const FILETIME& Time) override;
};

// "OPCSTMFORMATDATA": 12-byte item headers without time stamps.
class TDataChangeStream2 final : public TDataChangeStream {
  public:
    explicit TDataChangeStream2(std::size_t Count);
    bool HasTime() const override { return false; }
    std::size_t ItemHeaderSize() const override { return 12; }
    void SetItemTime(std::size_t, const FILETIME&) override {}
};

// The stream kind for a connection: with time stamps for the time format's connection,
// without for the other two.
std::unique_ptr<TDataChangeStream> MakeDataChangeStream(DWORD Connection, std::size_t Count);

// "OPCSTMFORMATWRITECOMPLETE": one fixed block of 16 + 8 x Count bytes.
class TWriteCompleteStream final : public TMemoryStream {
  public:
    TWriteCompleteStream(std::size_t Count, OPCHANDLE ClientGroup, DWORD TransactionId);
    void SetItem(std::size_t Index, OPCHANDLE ClientHandle, HRESULT Error);
    void SetStatus(HRESULT Status) { Put<HRESULT>(12, Status); }
};

// Hands a stream to an advise sink as the medium of one OnDataChange and frees the block
// afterwards, whatever the sink did. A sink's OnDataChange returns nothing: a sink, or a
// proxy standing for one in another process, reports a failed delivery by throwing,
// and that exception reaches the caller.
void DeliverStream(IAdviseSink& Sink, DWORD Connection, const TMemoryStream& Stream);

}  // namespace corvane::opc
