// Helpers of the deliveries to a client's callbacks and sinks.
#pragma once

#include <exception>
#include <vector>

#include "corvane/platform/Variant.h"
#include "opcgroups/DataStream.h"
#include "opcgroups/Group.h"
#include "opcserver/OpcErrors.h"

namespace corvane::opc {

// VARIANTs handed to a callback, cleared when the delivery is over.
class TVariantArray {
  public:
    explicit TVariantArray(std::size_t Count) : Values_(Count) {
        for (VARIANT& v : Values_) VariantInit(&v);
    }
    ~TVariantArray() {
        for (VARIANT& v : Values_) VariantClear(&v);
    }
    TVariantArray(const TVariantArray&) = delete;
    TVariantArray& operator=(const TVariantArray&) = delete;
    VARIANT* Data() { return Values_.data(); }
    VARIANT& operator[](std::size_t i) { return Values_[i]; }

  private:
    std::vector<VARIANT> Values_;
};

// Runs a client callback. A failure code, or anything the client (or a proxy of a
// client in another process) throws, goes to the item server and never further: one
// client's broken sink must not stop the group.
template <class F>
void CallClient(TGroupImpl& Group, TCallbackKind Kind, F&& Call) {
    try {
        const HRESULT hr = Call();
        if (FAILED(hr)) Group.ReportCallbackFailure(EOpcError(hr), Kind);
    } catch (const std::exception& e) {
        Group.ReportCallbackFailure(e, Kind);
    } catch (...) {
        Group.ReportCallbackFailure(EOpcError(E_FAIL), Kind);
    }
}

// Writes one item's quality, time and value record into a data stream, after its header
// was begun. `Read` fills value, quality and time; anything it throws leaves the item
// with a bad quality and whatever value it got. True when the quality is good.
template <class Read>
bool AppendStreamItem(TDataChangeStream& Stream, std::size_t Index, bool LengthWithNull,
                      Read&& ReadValue) {
    platform::Variant value;
    WORD quality = 0;
    FILETIME time{};
    try {
        ReadValue(value.Get(), quality, time);
        Stream.SetItemTime(Index, time);
    } catch (...) {
        quality = OPC_QUALITY_BAD;
    }
    Stream.SetItemQuality(Index, quality);
    Stream.WriteValueRecord(value.Get(), LengthWithNull);
    return quality == OPC_QUALITY_GOOD;
}

// Delivers a stream to an advise sink; a failure goes to the item server.
inline void CallSink(TGroupImpl& Group, TCallbackKind Kind, IAdviseSink& Sink, DWORD Connection,
                     const TMemoryStream& Stream) {
    CallClient(Group, Kind, [&] {
        DeliverStream(Sink, Connection, Stream);
        return S_OK;
    });
}

}  // namespace corvane::opc
