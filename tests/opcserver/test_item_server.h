// An item server for tests that overrides only what every item server must, and
// records the notifications and exceptions it receives.
#pragma once

#include <string>
#include <vector>

#include "opcserver/ItemServer.h"

namespace corvane::test {

class Simulator : public opc::TOpcItemServer {
  public:
    platform::Variant GetItemValue(opc::TItemHandle, WORD&) override { return {}; }
    void SetItemValue(opc::TItemHandle, const VARIANT&) override {}

    void ClientConnected(opc::TServerImpl* s) override { Log("ClientConnected", s); }
    void ClientDisconnected(opc::TServerImpl* s) override { Log("ClientDisconnected", s); }
    void ClientNameChanged(opc::TServerImpl* s) override { Log("ClientNameChanged", s); }
    void GroupAdded(opc::TGroupImpl* g) override { Log("GroupAdded", g); }
    void GroupRemoved(opc::TGroupImpl* g) override { Log("GroupRemoved", g); }
    void ItemAdded(opc::TGroupItemImpl* i) override { Log("ItemAdded", i); }
    void ItemRemoved(opc::TGroupItemImpl* i) override { Log("ItemRemoved", i); }
    void HandleException(const std::exception& e) override { Exceptions.push_back(e.what()); }

    struct Call {
        std::string name;
        void* object;
    };
    std::vector<Call> Calls;
    std::vector<std::string> Exceptions;

  private:
    void Log(const char* name, void* object) { Calls.push_back({name, object}); }
};

}  // namespace corvane::test
