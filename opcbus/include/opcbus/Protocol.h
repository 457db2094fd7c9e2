// What a call across the session bus looks like. Every call is one method, Call(object,
// interface, method, arguments) with D-Bus signature "uqqay", answered with (HRESULT,
// results) "iay". `object` is an id the server handed to this client (0 is the class
// object), `interface` one of TIface, `method` the method's position in the interface's
// published order counted from 0 after IUnknown, and the byte arrays use the Wire
// encoding. Client sinks are called the same way, server to client.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "wtypes.h"

namespace corvane::opcbus {

inline constexpr char kObjectPath[] = "/org/corvane/OpcDa";
inline constexpr char kInterfaceName[] = "org.corvane.OpcDa1";
inline constexpr char kSinkPath[] = "/org/corvane/OpcDaSink";
inline constexpr char kSinkInterfaceName[] = "org.corvane.OpcDaSink1";
inline constexpr char kCallMethod[] = "Call";
// An empty round trip through the same object, for measuring the transport alone.
inline constexpr char kPingMethod[] = "Ping";
inline constexpr char kCallSignature[] = "uqqay";
inline constexpr char kReplySignature[] = "iay";
// A refusal of the transport itself (bad signature, oversized message).
inline constexpr char kErrorInvalidArgs[] = "org.freedesktop.DBus.Error.InvalidArgs";

inline constexpr std::uint32_t kClassObjectId = 0;
// How long a client waits for any answer; a vanished peer answers at once.
inline constexpr int kCallTimeoutMs = 10000;
// Callbacks into one client that may be on their way at once; beyond, a callback fails.
inline constexpr int kMaxPendingCallbacks = 64;
inline constexpr int kCallbackTimeoutMs = 5000;

enum class TIface : std::uint16_t {
    Unknown = 0,
    Server = 1,
    Common = 2,
    Browse = 3,
    ItemProperties = 4,
    ConnectionPointContainer = 5,
    ConnectionPoint = 6,
    GroupStateMgt = 7,
    ItemMgt = 8,
    SyncIO = 9,
    AsyncIO = 10,
    AsyncIO2 = 11,
    DataObject = 12,
    EnumString = 13,
    EnumUnknown = 14,
    EnumItemAttributes = 15,
    ClassFactory = 16,
    // Client-side sinks.
    DataCallback = 20,
    AdviseSink = 21,
    Shutdown = 22,
};

// A client sink passed as an argument is its export id and these bits for the
// interfaces it offers.
inline constexpr std::uint32_t kOffersDataCallback = 1;
inline constexpr std::uint32_t kOffersAdviseSink = 2;
inline constexpr std::uint32_t kOffersShutdown = 4;

// Methods of TIface::Unknown and TIface::ClassFactory.
inline constexpr std::uint16_t kQueryInterface = 0;
inline constexpr std::uint16_t kRelease = 2;
inline constexpr std::uint16_t kCreateInstance = 0;

// The interface a code stands for, and back; nothing for codes that do not cross.
const IID* IidOf(TIface iface);
std::optional<TIface> IfaceOf(REFIID iid);

// The well-known bus name under which a class is served, for example
// "org.corvane.OpcDa.Class_7E3C5A21_94B6_4F0D_A8C2_3D5E61F0B7A4".
std::string BusNameFor(const CLSID& clsid);

}  // namespace corvane::opcbus
