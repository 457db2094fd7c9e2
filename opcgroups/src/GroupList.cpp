// The server object's list of groups and the IOPCServer group methods behind it.
#include <algorithm>
#include <cctype>
#include <iterator>
#include <new>

#include "opcgroups/Group.h"
#include "opcgroups/GroupList.h"
#include "opcserver/ComBoundary.h"
#include "opcserver/Enumerators.h"
#include "opcserver/OpcErrors.h"
#include "opcserver/OpcHelpers.h"
#include "winbase.h"

namespace corvane::opc {
namespace {

LONG SystemTimeBias() {
    TIME_ZONE_INFORMATION tz{};
    GetTimeZoneInformation(&tz);
    return tz.Bias;
}

bool ScopeSelects(OPCENUMSCOPE Scope, const TGroupImpl& Group) {
    switch (Scope) {
        case OPC_ENUM_PRIVATE_CONNECTIONS:
        case OPC_ENUM_PRIVATE:
            return !Group.Public;
        case OPC_ENUM_PUBLIC_CONNECTIONS:
        case OPC_ENUM_PUBLIC:
            return Group.Public;
        case OPC_ENUM_ALL_CONNECTIONS:
        case OPC_ENUM_ALL:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool TGroupNameLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

TGroupList::TGroupList(TGroupHost& Host) : Host_(Host) {}

TGroupList::~TGroupList() {
    auto groups = std::move(Groups_);
    Groups_.clear();
    for (auto& entry : groups) TGroupImpl::Destroy(*entry.second);
    auto removed = std::move(Removed_);
    Removed_.clear();
    for (TGroupImpl* group : removed) TGroupImpl::Destroy(*group);
}

HRESULT TGroupList::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                             OPCHANDLE hClientGroup, LONG* pTimeBias, FLOAT* pPercentDeadband,
                             DWORD dwLCID, OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                             REFIID riid, LPUNKNOWN* ppUnk) {
    if (phServerGroup) *phServerGroup = 0;
    if (pRevisedUpdateRate) *pRevisedUpdateRate = 0;
    if (ppUnk) *ppUnk = nullptr;
    if (!ppUnk) return E_INVALIDARG;
    return ComGuard([&]() -> HRESULT {
        TGroupParams params;
        params.Name = OpcNarrow(szName);
        params.Active = bActive != FALSE;
        params.RequestedUpdateRate = dwRequestedUpdateRate;
        params.ClientHandle = hClientGroup;
        params.TimeBias = pTimeBias ? *pTimeBias : SystemTimeBias();
        params.PercentDeadband = pPercentDeadband ? *pPercentDeadband : 0.0f;
        params.LocaleID = dwLCID;
        TGroupImpl& group = TGroupImpl::Create(*this, std::move(params));
        if (FAILED(group.QueryInterface(riid, reinterpret_cast<void**>(ppUnk)))) {
            Unregister(group.Name);
            TGroupImpl::Destroy(group);
            return E_NOINTERFACE;
        }
        if (phServerGroup) *phServerGroup = group.ServerHandle();
        if (pRevisedUpdateRate) *pRevisedUpdateRate = group.UpdateRate;
        return group.UpdateRate == dwRequestedUpdateRate ? S_OK : OPC_S_UNSUPPORTEDRATE;
    });
}

HRESULT TGroupList::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    if (!ppUnk) return E_INVALIDARG;
    return ComGuard([&]() -> HRESULT {
        TGroupImpl* group = FindByName(OpcNarrow(szName));
        if (!group) return E_INVALIDARG;
        return FAILED(group->QueryInterface(riid, reinterpret_cast<void**>(ppUnk))) ? E_NOINTERFACE
                                                                                    : S_OK;
    });
}

HRESULT TGroupList::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) {
    return ComGuard([&]() -> HRESULT {
        TGroupImpl* group = FindByHandle(hServerGroup);
        if (!group) return E_INVALIDARG;
        return Remove(*group, bForce != FALSE);
    });
}

HRESULT TGroupList::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    if (!ppUnk) return E_INVALIDARG;
    return ComGuard([&]() -> HRESULT {
        std::vector<TGroupImpl*> selected;
        for (const auto& entry : Groups_)
            if (ScopeSelects(dwScope, *entry.second)) selected.push_back(entry.second);
        if (riid == IID_IEnumUnknown) {
            std::vector<IUnknown*> unknowns;
            for (TGroupImpl* g : selected) unknowns.push_back(g->Unknown());
            auto* e = new TUnkEnumerator(unknowns);
            e->AddRef();
            *ppUnk = e;
        } else if (riid == IID_IEnumString) {
            std::vector<std::string> names;
            for (TGroupImpl* g : selected) names.push_back(g->Name);
            auto* e = new TStringsEnumerator(std::move(names));
            e->AddRef();
            *ppUnk = e;
        } else {
            return E_NOINTERFACE;
        }
        return selected.empty() ? S_FALSE : S_OK;
    });
}

TGroupImpl* TGroupList::ByIndex(std::size_t Index) const {
    if (Index >= Groups_.size()) return nullptr;
    return std::next(Groups_.begin(), static_cast<std::ptrdiff_t>(Index))->second;
}

TGroupImpl* TGroupList::FindByName(const std::string& Name) const {
    const auto it = Groups_.find(Name);
    return it == Groups_.end() ? nullptr : it->second;
}

void TGroupList::DisconnectAll() {
    while (!Groups_.empty()) {
        TGroupImpl& group = *Groups_.begin()->second;
        group.Disconnect();
        Remove(group, true);
    }
}

void TGroupList::RegisterGroup(const std::string& Name, TGroupImpl& Group) {
    if (!Groups_.emplace(Name, &Group).second) throw EOpcError(OPC_E_DUPLICATENAME);
}

void TGroupList::Unregister(const std::string& Name) {
    Groups_.erase(Name);
}

bool TGroupList::Contains(const std::string& Name) const {
    return Groups_.count(Name) != 0;
}

std::string TGroupList::UniqueGroupName() const {
    for (unsigned long long n = 0;; ++n) {
        std::string name = "Group" + std::to_string(n);
        if (!Contains(name)) return name;
    }
}

void TGroupList::Rename(TGroupImpl& Group, const std::string& NewName) {
    if (Contains(NewName)) throw EOpcError(OPC_E_DUPLICATENAME);
    const auto it = Groups_.find(Group.Name);
    if (it != Groups_.end() && it->second == &Group) Groups_.erase(it);
    Groups_.emplace(NewName, &Group);
    Group.Name = NewName;
}

void TGroupList::Forget(TGroupImpl& Group) {
    Removed_.erase(&Group);
}

TGroupImpl* TGroupList::FindByHandle(OPCHANDLE Handle) const {
    TGroupImpl* group = TGroupImpl::FromHandle(Handle);
    if (!group) return nullptr;
    // A live group of another server object is not this list's to remove.
    const auto it = Groups_.find(group->Name);
    return it != Groups_.end() && it->second == group ? group : nullptr;
}

HRESULT TGroupList::Remove(TGroupImpl& Group, bool Force) {
    Unregister(Group.Name);
    if (Group.RefCount() == 0 || Force) {
        TGroupImpl::Destroy(Group);
        return S_OK;
    }
    Group.Removed = true;
    Removed_.insert(&Group);
    return OPC_S_INUSE;
}

}  // namespace corvane::opc
