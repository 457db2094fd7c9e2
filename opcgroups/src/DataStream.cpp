// Byte images of the DA 1.0 streams and their delivery to advise sinks.
#include "opcgroups/DataStream.h"

#include <algorithm>
#include <bit>
#include <memory>

#include "corvane/platform/Variant.h"
#include "opcserver/OpcErrors.h"
#include "winbase.h"

namespace corvane::opc {
namespace {

static_assert(std::endian::native == std::endian::little,
              "stream fields are written in host order, which must be little-endian");

constexpr const char* kFormatNames[kStreamConnectionCount] = {
    "OPCSTMFORMATDATA", "OPCSTMFORMATDATATIME", "OPCSTMFORMATWRITECOMPLETE"};

// The 16-byte image of a VARIANT: type word, the three reserved words, 8 value bytes. Only
// the bytes of a value held in the VARIANT itself are copied; strings, arrays, references
// and interfaces hold a pointer that means nothing to the reader, so those bytes stay
// zero and no address or stale memory reaches a client.
void VariantImage(const VARIANT& v, BYTE (&out)[kVariantRecordSize]) {
    std::fill(std::begin(out), std::end(out), BYTE{0});
    std::memcpy(out, &v.vt, sizeof v.vt);
    std::memcpy(out + 2, &v.wReserved1, 2);
    std::memcpy(out + 4, &v.wReserved2, 2);
    std::memcpy(out + 6, &v.wReserved3, 2);
    const std::size_t n = (v.vt & (VT_ARRAY | VT_BYREF)) ? 0 : platform::ScalarSize(v.vt);
    std::memcpy(out + 8, &v.llVal, n);
}

}  // namespace

UINT StreamFormatId(DWORD Connection) {
    if (Connection >= kStreamConnectionCount) return 0;
    return RegisterClipboardFormatA(kFormatNames[Connection]);
}

std::optional<DWORD> StreamConnectionOf(CLIPFORMAT Format) {
    if (Format == 0) return std::nullopt;
    for (DWORD c = 0; c < kStreamConnectionCount; ++c)
        if (StreamFormatId(c) == Format) return c;
    return std::nullopt;
}

void TMemoryStream::Write(const void* Data, std::size_t Count) {
    if (Position_ + Count > Bytes_.size()) Bytes_.resize(Position_ + Count);
    if (Count) std::memcpy(Bytes_.data() + Position_, Data, Count);
    Position_ += Count;
}

void TMemoryStream::WriteZeros(std::size_t Count) {
    if (Position_ + Count > Bytes_.size()) Bytes_.resize(Position_ + Count);
    std::fill_n(Bytes_.begin() + static_cast<std::ptrdiff_t>(Position_), Count, BYTE{0});
    Position_ += Count;
}

HGLOBAL TMemoryStream::ToGlobal() const {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, Bytes_.size());
    if (!h) throw EOpcError(E_OUTOFMEMORY);
    if (!Bytes_.empty()) {
        void* p = GlobalLock(h);
        std::memcpy(p, Bytes_.data(), Bytes_.size());
        GlobalUnlock(h);
    }
    return h;
}

void TDataChangeStream::Reserve(std::size_t HeaderSize) {
    const std::size_t start = kGroupHeaderSize + Count_ * HeaderSize;
    SetSize(start);
    Seek(start);
    Put<DWORD>(4, static_cast<DWORD>(Count_));
}

void TDataChangeStream::SetGroupHeader(OPCHANDLE ClientGroup, DWORD TransactionId) {
    Put<DWORD>(8, ClientGroup);
    Put<DWORD>(12, TransactionId);
}

void TDataChangeStream::BeginItem(std::size_t Index, OPCHANDLE ClientHandle) {
    const std::size_t at = ItemHeader(Index);
    Put<DWORD>(at, ClientHandle);
    Put<DWORD>(at + 4, static_cast<DWORD>(Position()));
    Put<WORD>(at + 10, 0);
}

void TDataChangeStream::SetItemQuality(std::size_t Index, WORD Quality) {
    Put<WORD>(ItemHeader(Index) + 8, Quality);
}

void TDataChangeStream::Finish(bool AllGood) {
    Put<DWORD>(0, static_cast<DWORD>(Position()));
    Put<HRESULT>(16, AllGood ? S_OK : S_FALSE);
}

void TDataChangeStream::WriteValueRecord(const VARIANT& Value, bool LengthWithNull) {
    BYTE image[kVariantRecordSize];
    VariantImage(Value, image);
    Write(image, sizeof image);
    if ((Value.vt & VT_ARRAY) && !(Value.vt & VT_BYREF)) {
        if (Value.parray) WriteArray(*Value.parray, Value.vt & VT_TYPEMASK, LengthWithNull);
    } else if (Value.vt == VT_BSTR) {
        WriteString(Value.bstrVal, LengthWithNull);
    }
}

void TDataChangeStream::WriteString(BSTR Text, bool LengthWithNull) {
    const UINT bytes = Text ? SysStringByteLen(Text) : 0;
    WriteDword(static_cast<DWORD>(bytes + (LengthWithNull ? 2 : 0)));
    if (bytes) Write(Text, bytes);
    WriteZeros(2);
}

void TDataChangeStream::WriteArray(const SAFEARRAY& Array, VARTYPE ElementType,
                                   bool LengthWithNull) {
    const SAFEARRAYBOUND bound = Array.cDims > 0 ? Array.rgsabound[0] : SAFEARRAYBOUND{0, 0};
    BYTE descriptor[kSafeArrayRecordSize] = {};
    std::memcpy(descriptor, &Array.cDims, 2);
    std::memcpy(descriptor + 2, &Array.fFeatures, 2);
    std::memcpy(descriptor + 4, &Array.cbElements, 4);
    std::memcpy(descriptor + 8, &Array.cLocks, 4);
    // pvData (offset 12) stays 0: an address means nothing to the reader.
    std::memcpy(descriptor + 16, &bound.cElements, 4);
    std::memcpy(descriptor + 20, &bound.lLbound, 4);
    Write(descriptor, sizeof descriptor);
    const auto* data = static_cast<const BYTE*>(Array.pvData);
    if (ElementType == VT_BSTR) {
        for (ULONG i = 0; i < bound.cElements; ++i)
            WriteString(data ? reinterpret_cast<const BSTR*>(data)[i] : nullptr, LengthWithNull);
        return;
    }
    const std::size_t size = static_cast<std::size_t>(Array.cbElements) * bound.cElements;
    if (!data) {
        WriteZeros(size);
    } else if (ElementType == VT_VARIANT && Array.cbElements == sizeof(VARIANT)) {
        // Each element in the same 16-byte image as a scalar value, padded to its size.
        for (ULONG i = 0; i < bound.cElements; ++i) {
            BYTE image[kVariantRecordSize];
            VariantImage(reinterpret_cast<const VARIANT*>(data)[i], image);
            Write(image, sizeof image);
            WriteZeros(Array.cbElements - sizeof image);
        }
    } else if (ElementType == VT_UNKNOWN || ElementType == VT_DISPATCH) {
        WriteZeros(size);
    } else {
        Write(data, size);
    }
}

TDataChangeStream1::TDataChangeStream1(std::size_t Count) : TDataChangeStream(Count) {
    Reserve(ItemHeaderSize());
}

void TDataChangeStream1::SetItemTime(std::size_t Index, const FILETIME& Time) {
    Put<FILETIME>(ItemHeader(Index) + 12, Time);
}

TDataChangeStream2::TDataChangeStream2(std::size_t Count) : TDataChangeStream(Count) {
    Reserve(ItemHeaderSize());
}

std::unique_ptr<TDataChangeStream> MakeDataChangeStream(DWORD Connection, std::size_t Count) {
    if (Connection == static_cast<DWORD>(TStreamConnection::DataTime))
        return std::make_unique<TDataChangeStream1>(Count);
    return std::make_unique<TDataChangeStream2>(Count);
}

TWriteCompleteStream::TWriteCompleteStream(std::size_t Count, OPCHANDLE ClientGroup,
                                           DWORD TransactionId) {
    SetSize(kWriteHeaderSize + kWriteItemSize * Count);
    Seek(Size());
    Put<DWORD>(0, static_cast<DWORD>(Count));
    Put<DWORD>(4, ClientGroup);
    Put<DWORD>(8, TransactionId);
    Put<HRESULT>(12, S_OK);
}

void TWriteCompleteStream::SetItem(std::size_t Index, OPCHANDLE ClientHandle, HRESULT Error) {
    const std::size_t at = kWriteHeaderSize + kWriteItemSize * Index;
    Put<DWORD>(at, ClientHandle);
    Put<HRESULT>(at + 4, Error);
}

void DeliverStream(IAdviseSink& Sink, DWORD Connection, const TMemoryStream& Stream) {
    struct TBlock {
        HGLOBAL h;
        ~TBlock() { GlobalFree(h); }
    } block{Stream.ToGlobal()};
    FORMATETC format{};
    format.cfFormat = static_cast<CLIPFORMAT>(StreamFormatId(Connection));
    format.ptd = nullptr;
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block.h;
    medium.pUnkForRelease = nullptr;
    Sink.OnDataChange(&format, &medium);
}

}  // namespace corvane::opc
