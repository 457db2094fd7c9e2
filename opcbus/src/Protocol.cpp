#include "opcbus/Protocol.h"

#include <cstdio>

#include "ocidl.h"
#include "opcda.h"

namespace corvane::opcbus {

namespace {

struct TIfaceRow {
    TIface Code;
    const IID* Iid;
};

constexpr TIfaceRow kIfaces[] = {
    {TIface::Unknown, &IID_IUnknown},
    {TIface::Server, &IID_IOPCServer},
    {TIface::Common, &IID_IOPCCommon},
    {TIface::Browse, &IID_IOPCBrowseServerAddressSpace},
    {TIface::ItemProperties, &IID_IOPCItemProperties},
    {TIface::ConnectionPointContainer, &IID_IConnectionPointContainer},
    {TIface::ConnectionPoint, &IID_IConnectionPoint},
    {TIface::GroupStateMgt, &IID_IOPCGroupStateMgt},
    {TIface::ItemMgt, &IID_IOPCItemMgt},
    {TIface::SyncIO, &IID_IOPCSyncIO},
    {TIface::AsyncIO, &IID_IOPCAsyncIO},
    {TIface::AsyncIO2, &IID_IOPCAsyncIO2},
    {TIface::DataObject, &IID_IDataObject},
    {TIface::EnumString, &IID_IEnumString},
    {TIface::EnumUnknown, &IID_IEnumUnknown},
    {TIface::EnumItemAttributes, &IID_IEnumOPCItemAttributes},
    {TIface::ClassFactory, &IID_IClassFactory},
    {TIface::DataCallback, &IID_IOPCDataCallback},
    {TIface::AdviseSink, &IID_IAdviseSink},
};

}  // namespace

const IID* IidOf(TIface iface) {
    for (const TIfaceRow& row : kIfaces)
        if (row.Code == iface) return row.Iid;
    return nullptr;
}

std::optional<TIface> IfaceOf(REFIID iid) {
    for (const TIfaceRow& row : kIfaces)
        if (*row.Iid == iid) return row.Code;
    return std::nullopt;
}

std::string BusNameFor(const CLSID& c) {
    char text[80];
    std::snprintf(text, sizeof text,
                  "org.corvane.OpcDa.Class_%08X_%04X_%04X_%02X%02X_%02X%02X%02X%02X%02X%02X",
                  c.Data1, c.Data2, c.Data3, c.Data4[0], c.Data4[1], c.Data4[2], c.Data4[3],
                  c.Data4[4], c.Data4[5], c.Data4[6], c.Data4[7]);
    return text;
}

}  // namespace corvane::opcbus
