// Small value types shared by the framework and the application's item server.
#pragma once

#include <cstdint>
#include <functional>

#include "opcda.h"

namespace corvane::opc {

// The item server's handle for an item; -1 stands for none.
using TItemHandle = std::int32_t;
inline constexpr TItemHandle kNoHandle = -1;

// One byte used as a set: bit 0 readable, bit 1 writeable (as OPC_READABLE/WRITEABLE).
class TAccessRights {
  public:
    static constexpr std::uint8_t Readable = OPC_READABLE;
    static constexpr std::uint8_t Writeable = OPC_WRITEABLE;

    constexpr TAccessRights() = default;
    constexpr explicit TAccessRights(std::uint8_t bits) : bits_(bits) {}
    // The interfaces carry a DWORD; its low byte is the set.
    static constexpr TAccessRights FromDword(DWORD d) {
        return TAccessRights(static_cast<std::uint8_t>(d & 0xFF));
    }
    constexpr DWORD ToDword() const { return bits_; }
    constexpr std::uint8_t Bits() const { return bits_; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool CanRead() const { return bits_ & Readable; }
    constexpr bool CanWrite() const { return bits_ & Writeable; }
    constexpr bool Intersects(TAccessRights o) const { return (bits_ & o.bits_) != 0; }
    constexpr bool operator==(const TAccessRights&) const = default;

  private:
    std::uint8_t bits_ = 0;
};

// Members of TServerOptions, by bit ordinal.
enum class TServerOption : std::uint8_t {
    soAlwaysReturnErrors = 0,
    soStreamLengthWithNull = 1,
    soCheckHandlesInGroup = 2,
    soNoBrowseInterface = 3,
    soHierarchicalSpace = 4,
};

// One-byte option set of the item server.
class TServerOptions {
  public:
    constexpr TServerOptions() = default;
    constexpr explicit TServerOptions(std::uint8_t bits) : bits_(bits) {}
    constexpr TServerOptions(std::initializer_list<TServerOption> options) {
        for (auto o : options) bits_ |= static_cast<std::uint8_t>(1u << static_cast<unsigned>(o));
    }
    constexpr bool Contains(TServerOption o) const {
        return bits_ & (1u << static_cast<unsigned>(o));
    }
    constexpr std::uint8_t Bits() const { return bits_; }

  private:
    std::uint8_t bits_ = 0;
};

// Which client callback failed (code 3 is never used).
enum class TCallbackKind : std::uint8_t {
    DataChange = 0,
    ReadComplete = 1,
    WriteComplete = 2,
    DataStream = 4,
    WriteStream = 5,
    ReadStream = 6,
};

// The change callback of one shared server item; the application calls it with a new
// value and quality. May be called from any thread.
using TItemChangeNotify = std::function<void(const VARIANT& Value, WORD Quality)>;

inline constexpr IID IID_IEUInfo = {
    0x4C6F8A10, 0x2B3D, 0x4E5F, {0x8A, 0x10, 0xC0, 0x72, 0xA4, 0x4E, 0x55, 0x01}};
inline constexpr IID IID_IItemProperties = {
    0x4C6F8A11, 0x2B3D, 0x4E5F, {0x8A, 0x10, 0xC0, 0x72, 0xA4, 0x4E, 0x55, 0x01}};

// Engineering-unit information of an item; the framework keeps the EU type's low 7 bits.
struct IEUInfo : public IUnknown {
    virtual OPCEUTYPE STDMETHODCALLTYPE EUType() = 0;
    // Copies the EU information into *Info, which the caller clears.
    virtual HRESULT STDMETHODCALLTYPE EUInfo(VARIANT* Info) = 0;
};

// Per-item properties kept with an item reference; the framework never calls them.
struct IItemProperties : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE PropertyCount(DWORD* Count) = 0;
    virtual HRESULT STDMETHODCALLTYPE PropertyId(DWORD Index, DWORD* Id) = 0;
    virtual HRESULT STDMETHODCALLTYPE PropertyValue(DWORD Id, VARIANT* Value) = 0;
};

}  // namespace corvane::opc
