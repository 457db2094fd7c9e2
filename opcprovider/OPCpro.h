#pragma once
// The simulator's item server: serves the symbol table's bits of the controller as
// Boolean OPC items and writes one log line per client event.
#include <functional>
#include <set>
#include <string>

#include "SymbolTable.h"
#include "opcserver/ItemServer.h"

namespace corvane::plc {
class TPLC;
}

namespace corvane::opcprovider {

// Receives every log line, without time stamp; the console appends it to "Simulator Logs".
using TLogSink = std::function<void(const std::string& line)>;

// The one item server of the program. Item handles are positions in the symbol table,
// so an import re-binds the handles clients hold to the lines at the same positions.
// Reads and writes act on the controller's memory image at once; before a controller is
// attached they fail with E_FAIL. Flat space, polled items, default update rate.
class Simulator : public opc::TOpcItemServer {
  public:
    Simulator(TSymbolTable& Symbols, TLogSink Log = {});

    // The controller is created by the main window, after the item server.
    void AttachPlc(plc::TPLC* Plc) { plc_ = Plc; }
    void SetLogSink(TLogSink Log) { log_ = std::move(Log); }
    TSymbolTable& Symbols() { return symbols_; }

    std::string ClassName() const override { return "Simulator"; }
    opc::TItemHandle GetItemInfo(const std::string& ItemId, std::string& AccessPath,
                                 opc::TAccessRights& AccessRights) override;
    void ReleaseHandle(opc::TItemHandle Handle) override;
    void LoadNamespace(opc::TItemIdList& Root) override;
    platform::Variant GetItemValue(opc::TItemHandle Handle, WORD& Quality) override;
    void SetItemValue(opc::TItemHandle Handle, const VARIANT& Value) override;
    void ClientConnected(opc::TServerImpl* Server) override;
    void ClientDisconnected(opc::TServerImpl* Server) override;
    void ClientNameChanged(opc::TServerImpl* Server) override;
    void GroupAdded(opc::TGroupImpl* Group) override;
    void GroupRemoved(opc::TGroupImpl* Group) override;
    void ItemAdded(opc::TGroupItemImpl* Item) override;
    void ItemRemoved(opc::TGroupItemImpl* Item) override;

  private:
    const TagType& Entry(opc::TItemHandle Handle) const;
    plc::TPLC& Plc() const;
    void Log(const std::string& line) const;

    TSymbolTable& symbols_;
    TLogSink log_;
    // Addresses whose failed read was already reported to the operator.
    std::set<std::string> badAddresses_;
    plc::TPLC* plc_ = nullptr;
};

// The log texts, exactly as the log shows them.
inline constexpr const char* kLogConnected = "A Client Connected!";
inline constexpr const char* kLogDisconnected = "A Client Disconnected!";
inline constexpr const char* kLogAddGroup = "A Client Add Group:";
inline constexpr const char* kLogAddItem = "Client add item ";
inline constexpr const char* kLogRemoveItem = "Client remove item ";
inline constexpr const char* kLogSetValue = "Client Set Value Item ";

}  // namespace corvane::opcprovider
