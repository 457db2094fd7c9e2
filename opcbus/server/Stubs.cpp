// The server half of every crossing method: the call goes to the stub of its interface.
#include "opcbus/Stubs.h"

#include "EnumStubs.h"
#include "GroupStubs.h"
#include "ServerStubs.h"

namespace corvane::opcbus {

using namespace stubs;

HRESULT DispatchCall(TBusServer& s, TBusServer::TClient& c, IUnknown* object, TIface iface,
                     std::uint16_t m, TReader& in, TWriter& out) {
    switch (iface) {
        case TIface::Server:
            return ServerCall(s, c, static_cast<IOPCServer*>(object), m, in, out);
        case TIface::Common:
            return CommonCall(static_cast<IOPCCommon*>(object), m, in, out);
        case TIface::Browse:
            return BrowseCall(s, c, static_cast<IOPCBrowseServerAddressSpace*>(object), m, in, out);
        case TIface::ItemProperties:
            return PropertiesCall(static_cast<IOPCItemProperties*>(object), m, in, out);
        case TIface::ConnectionPointContainer:
            return ContainerCall(s, c, static_cast<IConnectionPointContainer*>(object), m, in, out);
        case TIface::ConnectionPoint:
            return PointCall(s, c, static_cast<IConnectionPoint*>(object), m, in, out);
        case TIface::GroupStateMgt:
            return StateCall(s, c, static_cast<IOPCGroupStateMgt*>(object), m, in, out);
        case TIface::ItemMgt:
            return ItemMgtCall(s, c, static_cast<IOPCItemMgt*>(object), m, in, out);
        case TIface::SyncIO:
            return SyncCall(static_cast<IOPCSyncIO*>(object), m, in, out);
        case TIface::AsyncIO:
            return AsyncCall(static_cast<IOPCAsyncIO*>(object), m, in, out);
        case TIface::AsyncIO2:
            return Async2Call(static_cast<IOPCAsyncIO2*>(object), m, in, out);
        case TIface::DataObject:
            return DataObjectCall(c, static_cast<IDataObject*>(object), m, in, out);
        case TIface::EnumString:
            return EnumStringCall(s, c, static_cast<IEnumString*>(object), m, in, out);
        case TIface::EnumUnknown:
            return EnumUnknownCall(s, c, static_cast<IEnumUnknown*>(object), m, in, out);
        case TIface::EnumItemAttributes:
            return EnumAttributesCall(s, c, static_cast<IEnumOPCItemAttributes*>(object), m, in,
                                      out);
        default:
            return E_NOINTERFACE;
    }
}

}  // namespace corvane::opcbus
