// The browse address space: branches (TItemIdList) and leaves (TNamespaceItem) under one
// root. Names within a branch are unique without regard to letter case and kept sorted.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "opcserver/OpcTypes.h"

namespace corvane::opc {

class TItemIdList;

// A node of the tree; its parent owns it.
class TNamespaceNode {
  public:
    TNamespaceNode(TItemIdList* parent, std::string name) : Parent(parent), Name(std::move(name)) {}
    virtual ~TNamespaceNode() = default;
    TNamespaceNode(const TNamespaceNode&) = delete;
    TNamespaceNode& operator=(const TNamespaceNode&) = delete;

    virtual TNamespaceNode* Child(int index) const;
    virtual int ChildCount() const;

    TItemIdList* const Parent;
    const std::string Name;
};

// A branch: owns its children, sorted by name ignoring letter case.
class TItemIdList : public TNamespaceNode {
  public:
    using TNamespaceNode::TNamespaceNode;

    TNamespaceNode* Child(int index) const override;
    int ChildCount() const override;

    // The child with that name (letter case ignored), or nullptr.
    TNamespaceNode* Find(std::string_view name) const;
    // A new child branch or leaf; nullptr when the name is already taken.
    TItemIdList* AddBranch(std::string name);
    class TNamespaceItem* AddItem(std::string name, TAccessRights rights, VARTYPE type);
    // Destroys all children, recursively.
    void Clear();

  private:
    TNamespaceNode* Insert(std::unique_ptr<TNamespaceNode> node);
    std::vector<std::unique_ptr<TNamespaceNode>> Children;
};

// A leaf: one item id of the address space.
class TNamespaceItem : public TNamespaceNode {
  public:
    TNamespaceItem(TItemIdList* parent, std::string name, TAccessRights rights, VARTYPE type)
        : TNamespaceNode(parent, std::move(name)), AccessRights(rights), DataType(type) {}

    TAccessRights AccessRights;
    DWORD DataType;  // a VARTYPE, compared as 16 bits
};

// A duplicate name in a branch: "Duplicate Item Id %s". Neither an EOpcError nor an
// EOpcServer, like any list error of the address space.
class EListError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Operations the item server uses inside LoadNamespace. Whether the space is hierarchical
// is read from the item server's options at every call.

// A leaf for ItemId below Branch; in a hierarchical space the segments before the last
// path delimiter become branches. An existing name yields the existing node (leaf or
// branch) while the item server is merging, else raises EListError.
TNamespaceNode* AddItemId(TItemIdList& Branch, const std::string& ItemId,
                          TAccessRights AccessRights, VARTYPE DataType);
// The child branch Name of Parent, created when absent. Raises EOpcServer in a flat space
// and when Name is a leaf.
TItemIdList* NewBranch(TItemIdList& Parent, const std::string& Name);
// Destroys all children of Branch.
void Clear(TItemIdList& Branch);

// The names BrowseOPCItemIDs lists from Position, tested with the item server's
// MatchesBrowseFilter: branch names (OPC_BRANCH), leaf names (OPC_LEAF) or, depth first,
// the full item ids of every leaf below Position (OPC_FLAT).
std::vector<std::string> BuildBrowseList(const TItemIdList& Position, OPCBROWSETYPE BrowseType,
                                         const std::string& Filter, VARTYPE TypeFilter,
                                         TAccessRights AccessFilter);

// Full item id of a node: names from below the root joined by the path delimiter.
std::string ItemIdOf(const TNamespaceNode& node);
// Resolves a path relative to a branch (split at the delimiter in a hierarchical space,
// whole in a flat one); nullptr when nothing is there.
TNamespaceNode* FindNode(const TItemIdList& branch, std::string_view path);

// Wildcard masks: '*', '?', sets "[a-z]" and "[!...]", letter case ignored.
class EMaskError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
// Raises EMaskError "'%s' is an invalid mask at (%d)" for a malformed mask.
bool MatchesMask(std::string_view name, std::string_view mask);

}  // namespace corvane::opc
