#include "OPCpro.h"

#include "PLC_Instruction.h"
#include "opcgroups/Group.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/Namespace.h"
#include "opcserver/OpcErrors.h"

namespace corvane::opcprovider {

Simulator::Simulator(TSymbolTable& Symbols, TLogSink Log)
    : symbols_(Symbols), log_(std::move(Log)) {}

opc::TItemHandle Simulator::GetItemInfo(const std::string& ItemId, std::string&,
                                        opc::TAccessRights& AccessRights) {
    uint8_t access = AccessRights.Bits();
    const opc::TItemHandle handle = symbols_.FindItem(ItemId, access);
    if (handle != opc::kNoHandle) AccessRights = opc::TAccessRights(access);
    return handle;
}

void Simulator::ReleaseHandle(opc::TItemHandle) {}

void Simulator::LoadNamespace(opc::TItemIdList& Root) {
    // Every browsed item offers reading and writing, whatever its symbol says.
    for (int k = 0; k < symbols_.TagCount; ++k) {
        const TagType& tag = symbols_.Tags[static_cast<size_t>(k)];
        if (!tag.ItemsID.empty())
            opc::AddItemId(Root, tag.ItemsID, opc::TAccessRights(kAccessReadWrite), VT_BOOL);
    }
}

const TagType& Simulator::Entry(opc::TItemHandle Handle) const {
    const TagType* tag = symbols_.FindHandle(Handle);
    if (!tag) throw opc::EOpcError(OPC_E_INVALIDHANDLE);
    return *tag;
}

plc::TPLC& Simulator::Plc() const {
    if (!plc_) throw opc::EOpcError(E_FAIL);
    return *plc_;
}

platform::Variant Simulator::GetItemValue(opc::TItemHandle Handle, WORD&) {
    const TagType& tag = Entry(Handle);
    plc::TPLC& plc = Plc();
    // Every tick of every group polls its items: a malformed address would put up its
    // message box again and again. The first failing read reports it as the controller
    // does; later reads of that address fail quietly with the item's error.
    if (!badAddresses_.empty() && badAddresses_.count(tag.Address)) throw opc::EOpcError(E_FAIL);
    std::optional<bool> bit;
    try {
        bit = plc.ReadBit(tag.Address);
    } catch (...) {
        badAddresses_.insert(tag.Address);
        throw;
    }
    platform::Variant value;
    // An address of no memory area leaves the value empty, which becomes its type.
    if (bit) {
        value->vt = VT_BOOL;
        value->boolVal = *bit ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return value;
}

void Simulator::SetItemValue(opc::TItemHandle Handle, const VARIANT& Value) {
    const TagType& tag = Entry(Handle);
    const bool bit = Value.vt == VT_BOOL ? Value.boolVal != VARIANT_FALSE : false;
    Plc().WriteBit(tag.Address, bit);
    Log(kLogSetValue + tag.ItemsID);
}

void Simulator::ClientConnected(opc::TServerImpl*) {
    Log(kLogConnected);
}
void Simulator::ClientDisconnected(opc::TServerImpl*) {
    Log(kLogDisconnected);
}
void Simulator::ClientNameChanged(opc::TServerImpl*) {}

void Simulator::GroupAdded(opc::TGroupImpl* Group) {
    Log(kLogAddGroup + Group->Name);
}
void Simulator::GroupRemoved(opc::TGroupImpl*) {}

void Simulator::ItemAdded(opc::TGroupItemImpl* Item) {
    Log(kLogAddItem + Item->ServerItem().ItemId);
}
void Simulator::ItemRemoved(opc::TGroupItemImpl* Item) {
    Log(kLogRemoveItem + Item->ServerItem().ItemId);
}

void Simulator::Log(const std::string& line) const {
    if (log_) log_(line);
}

}  // namespace corvane::opcprovider
