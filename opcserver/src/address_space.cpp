// Building the browse tree inside LoadNamespace, and the lists BrowseOPCItemIDs returns.
#include "opcserver/ItemServer.h"
#include "opcserver/Namespace.h"
#include "opcserver/OpcErrors.h"

namespace corvane::opc {
namespace {

bool Hierarchical(TOpcItemServer& server) {
    return server.HasOption(static_cast<unsigned>(TServerOption::soHierarchicalSpace));
}

struct TBrowseQuery {
    TOpcItemServer& Server;
    const std::string& Filter;
    VARTYPE TypeFilter;
    TAccessRights AccessFilter;
    std::vector<std::string>& Out;

    void Leaf(const TNamespaceItem& leaf, const std::string& name) const {
        if (Server.MatchesBrowseFilter(Filter, AccessFilter, TypeFilter, name, leaf.AccessRights,
                                       static_cast<VARTYPE>(leaf.DataType)))
            Out.push_back(name);
    }
    void Branch(const TItemIdList& branch) const {
        if (Server.MatchesBrowseFilter(Filter, TAccessRights(), VT_EMPTY, branch.Name,
                                       TAccessRights(), VT_EMPTY))
            Out.push_back(branch.Name);
    }
    void Flat(const TItemIdList& position) const {
        for (int i = 0; i < position.ChildCount(); ++i) {
            const TNamespaceNode* child = position.Child(i);
            if (const auto* leaf = dynamic_cast<const TNamespaceItem*>(child))
                Leaf(*leaf, ItemIdOf(*leaf));
            else if (const auto* branch = dynamic_cast<const TItemIdList*>(child))
                Flat(*branch);
        }
    }
};

}  // namespace

TItemIdList* NewBranch(TItemIdList& Parent, const std::string& Name) {
    if (!Hierarchical(ItemServer())) throw EOpcServer(kFlatNewBranch);
    if (TNamespaceNode* existing = Parent.Find(Name)) {
        if (auto* branch = dynamic_cast<TItemIdList*>(existing)) return branch;
        throw EOpcServer(InvalidBranchName(Name));
    }
    return Parent.AddBranch(Name);
}

TNamespaceNode* AddItemId(TItemIdList& Branch, const std::string& ItemId,
                          TAccessRights AccessRights, VARTYPE DataType) {
    TOpcItemServer& server = ItemServer();
    TItemIdList* receiving = &Branch;
    std::string leafName = ItemId;
    if (Hierarchical(server)) {
        const char delimiter = server.PathDelimiter();
        std::size_t start = 0;
        for (std::size_t cut = ItemId.find(delimiter); cut != std::string::npos;
             cut = ItemId.find(delimiter, start)) {
            receiving = NewBranch(*receiving, ItemId.substr(start, cut - start));
            start = cut + 1;
        }
        leafName = ItemId.substr(start);
    }
    if (TNamespaceNode* existing = receiving->Find(leafName)) {
        if (server.MergeNamespace) return existing;
        throw EListError("Duplicate Item Id " + leafName);
    }
    return receiving->AddItem(leafName, AccessRights, DataType);
}

void Clear(TItemIdList& Branch) {
    Branch.Clear();
}

std::vector<std::string> BuildBrowseList(const TItemIdList& Position, OPCBROWSETYPE BrowseType,
                                         const std::string& Filter, VARTYPE TypeFilter,
                                         TAccessRights AccessFilter) {
    std::vector<std::string> names;
    const TBrowseQuery query{ItemServer(), Filter, TypeFilter, AccessFilter, names};
    if (BrowseType == OPC_FLAT) {
        query.Flat(Position);
        return names;
    }
    for (int i = 0; i < Position.ChildCount(); ++i) {
        const TNamespaceNode* child = Position.Child(i);
        if (BrowseType == OPC_BRANCH) {
            if (const auto* branch = dynamic_cast<const TItemIdList*>(child)) query.Branch(*branch);
        } else if (BrowseType == OPC_LEAF) {
            if (const auto* leaf = dynamic_cast<const TNamespaceItem*>(child))
                query.Leaf(*leaf, leaf->Name);
        }
    }
    return names;
}

}  // namespace corvane::opc
