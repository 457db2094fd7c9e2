// The browse tree's data structure, item ids of nodes and path lookup.
#include <algorithm>

#include "opcserver/ItemServer.h"
#include "opcserver/Namespace.h"

namespace corvane::opc {
namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Negative, zero or positive as a is before, equal to or after b, letter case ignored.
int CompareNames(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = Upper(a[i]), y = Upper(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool Hierarchical() {
    return ItemServer().HasOption(static_cast<unsigned>(TServerOption::soHierarchicalSpace));
}

}  // namespace

TNamespaceNode* TNamespaceNode::Child(int) const {
    return nullptr;
}
int TNamespaceNode::ChildCount() const {
    return 0;
}

TNamespaceNode* TItemIdList::Child(int index) const {
    if (index < 0 || index >= ChildCount()) return nullptr;
    return Children[static_cast<std::size_t>(index)].get();
}

int TItemIdList::ChildCount() const {
    return static_cast<int>(Children.size());
}

TNamespaceNode* TItemIdList::Find(std::string_view name) const {
    auto it = std::lower_bound(
        Children.begin(), Children.end(), name,
        [](const auto& node, std::string_view n) { return CompareNames(node->Name, n) < 0; });
    return (it != Children.end() && CompareNames((*it)->Name, name) == 0) ? it->get() : nullptr;
}

TNamespaceNode* TItemIdList::Insert(std::unique_ptr<TNamespaceNode> node) {
    auto it = std::lower_bound(
        Children.begin(), Children.end(), node->Name,
        [](const auto& n, const std::string& name) { return CompareNames(n->Name, name) < 0; });
    if (it != Children.end() && CompareNames((*it)->Name, node->Name) == 0) return nullptr;
    return Children.insert(it, std::move(node))->get();
}

TItemIdList* TItemIdList::AddBranch(std::string name) {
    return static_cast<TItemIdList*>(Insert(std::make_unique<TItemIdList>(this, std::move(name))));
}

TNamespaceItem* TItemIdList::AddItem(std::string name, TAccessRights rights, VARTYPE type) {
    return static_cast<TNamespaceItem*>(
        Insert(std::make_unique<TNamespaceItem>(this, std::move(name), rights, type)));
}

void TItemIdList::Clear() {
    Children.clear();
}

std::string ItemIdOf(const TNamespaceNode& node) {
    std::string id = node.Name;
    const char delimiter = ItemServer().PathDelimiter();
    for (const TItemIdList* p = node.Parent; p && p->Parent && !p->Name.empty(); p = p->Parent)
        id = p->Name + delimiter + id;
    return id;
}

TNamespaceNode* FindNode(const TItemIdList& branch, std::string_view path) {
    if (!Hierarchical()) return branch.Find(path);
    const char delimiter = ItemServer().PathDelimiter();
    const TItemIdList* current = &branch;
    for (;;) {
        const std::size_t cut = path.find(delimiter);
        TNamespaceNode* node = current->Find(path.substr(0, cut));
        if (cut == std::string_view::npos || !node) return node;
        current = dynamic_cast<const TItemIdList*>(node);
        if (!current) return nullptr;
        path.remove_prefix(cut + 1);
    }
}

}  // namespace corvane::opc
