// The byte encoding of calls and results that cross the session bus: little-endian
// integers, UTF-16 strings with a length, GUIDs and VARIANTs (every type the coercion
// knows, arrays included). The reader trusts nothing: every read checks the bytes left,
// counts are checked against what the rest of the payload could hold before anything is
// allocated, and a failed read leaves the reader failed and returns zero values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "oleauto.h"
#include "wtypes.h"

namespace corvane::opcbus {

inline constexpr std::size_t kMaxPayload = 32u << 20;
inline constexpr std::uint32_t kMaxStringChars = 1u << 20;
inline constexpr std::uint32_t kMaxElements = 1u << 20;
inline constexpr int kMaxVariantDepth = 4;
inline constexpr std::uint16_t kMaxArrayDims = 8;

// Whether a VARIANT of this type can cross (DISP_E_BADVARTYPE otherwise).
bool CanCross(VARTYPE vt);

// Appends values to a growing payload.
class TWriter {
  public:
    void U8(std::uint8_t v) { Put(&v, 1); }
    void U16(std::uint16_t v);
    void U32(std::uint32_t v);
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void U64(std::uint64_t v);
    void F32(float v);
    void F64(double v);
    void Guid(const GUID& g);
    void Time(const FILETIME& t) { U64((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime); }
    // A null pointer is told apart from the empty string.
    void Str(const WCHAR* s);
    void Str(const WCHAR* s, std::size_t chars);
    void Bytes(const void* data, std::size_t size);
    // S_OK, or DISP_E_BADVARTYPE for a type that cannot cross (nothing useful written).
    HRESULT Variant(const VARIANT& v);

    const std::vector<std::uint8_t>& Data() const { return d_; }
    std::vector<std::uint8_t> Take() { return std::move(d_); }

  private:
    void Put(const void* p, std::size_t n);
    HRESULT VariantAt(const VARIANT& v, int depth);
    HRESULT Element(VARTYPE base, const void* element, int depth);
    std::vector<std::uint8_t> d_;
};

// Reads values from a payload it does not own.
class TReader {
  public:
    TReader(const std::uint8_t* data, std::size_t size) : p_(data), left_(size) {}
    explicit TReader(const std::vector<std::uint8_t>& data) : TReader(data.data(), data.size()) {}

    bool Ok() const { return ok_; }
    // Every byte consumed and no read failed.
    bool Done() const { return ok_ && left_ == 0; }
    void Fail() { ok_ = false; }
    std::size_t Left() const { return left_; }

    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    std::uint64_t U64();
    float F32();
    double F64();
    GUID Guid();
    FILETIME Time();
    // A count of elements of at least `minBytes` each: fails when it exceeds `max` or the
    // bytes left could not hold that many.
    std::uint32_t Count(std::size_t minBytes, std::uint32_t max = kMaxElements);
    // False (and failed) for a malformed string; `isNull` tells a null pointer.
    bool Str(std::u16string& out, bool& isNull);
    // The string as task memory (nullptr for null or failure).
    LPWSTR TaskStr();
    std::u16string Text();
    std::vector<std::uint8_t> Bytes(std::uint32_t max = kMaxPayload);
    // `out` must be initialised; on failure it is left VT_EMPTY and the reader failed.
    HRESULT Variant(VARIANT& out);

  private:
    bool Take(void* out, std::size_t n);
    HRESULT VariantAt(VARIANT& out, int depth);
    bool Element(VARTYPE base, void* element, int depth);
    const std::uint8_t* p_;
    std::size_t left_;
    bool ok_ = true;
};

}  // namespace corvane::opcbus
