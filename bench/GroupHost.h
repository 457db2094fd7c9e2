#pragma once
// The groups' owner for benchmarks that drive groups without a server object.
#include <string>

#include "opcgroups/GroupList.h"

namespace corvane::bench {

class THost final : public opc::TGroupHost {
  public:
    opc::TGroupList& Groups() override { return List; }
    void SetLastUpdateTime(const FILETIME&) override {}
    LCID HostLocaleID() const override { return 0x409; }
    std::string HostClientName() const override { return "bench"; }
    opc::TGroupList List{*this};
};

}  // namespace corvane::bench
