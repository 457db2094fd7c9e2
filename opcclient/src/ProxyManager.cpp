#include "ProxyManager.h"

#include "EnumFaces.h"
#include "GroupFaces.h"
#include "ServerFaces.h"

#include "opcbus/Marshal.h"
#include "opcclient/BusClient.h"

namespace corvane::opcclient {

using opcbus::TIface;
using opcbus::TReader;
using opcbus::TWriter;

namespace {
std::size_t gLiveProxies = 0;
}  // namespace

TProxyManager::TProxyManager(std::shared_ptr<TPeer> peer, std::uint32_t id)
    : Peer(std::move(peer)), Id(id) {
    Peer->Proxies[Id] = this;
    ++gLiveProxies;
}

TProxyManager::~TProxyManager() {
    --gLiveProxies;
    ForgetProxy(*Peer, Id);
    if (Peer->Alive && remoteRefs_) {
        TWriter w;
        w.U32(remoteRefs_);
        std::vector<std::uint8_t> ignored;
        CallPeer(*Peer, Id, TIface::Unknown, opcbus::kRelease, w, ignored);
    }
}

HRESULT TProxyManager::Object(TReader& r, REFIID iid, void** ppv) {
    const std::uint32_t id = r.U32();
    if (!r.Ok()) return RPC_E_INVALID_DATA;
    if (id == 0) return S_OK;
    return Unmarshal(Peer, id, iid, ppv);
}

HRESULT TProxyManager::LastObject(TReader& r, REFIID iid, void** ppv) {
    const std::uint32_t id = r.U32();
    if (!r.Done()) return RPC_E_INVALID_DATA;
    if (id == 0) return S_OK;
    return Unmarshal(Peer, id, iid, ppv);
}

std::unique_ptr<TFace> TProxyManager::MakeFace(TIface code) {
    for (auto make : {&MakeServerFace, &MakeGroupFace, &MakeEnumFace})
        if (auto face = make(code, *this)) return face;
    return nullptr;
}

HRESULT TProxyManager::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    const auto code = opcbus::IfaceOf(riid);
    if (!code) return E_NOINTERFACE;
    auto face = faces_.find(*code);
    if (face == faces_.end()) {
        if (!known_.count(*code)) {
            TWriter w;
            w.Guid(riid);
            std::vector<std::uint8_t> out;
            const HRESULT hr = Call(TIface::Unknown, opcbus::kQueryInterface, w, out);
            if (FAILED(hr)) return hr;
            known_.insert(*code);
        }
        std::unique_ptr<TFace> made = MakeFace(*code);
        if (!made) return E_NOINTERFACE;
        face = faces_.emplace(*code, std::move(made)).first;
    }
    *ppv = face->second->Interface();
    AddRef();
    return S_OK;
}

std::size_t LiveProxyCount() {
    return gLiveProxies;
}

HRESULT Unmarshal(const std::shared_ptr<TPeer>& peer, std::uint32_t id, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    TProxyManager* manager = nullptr;
    if (const auto it = peer->Proxies.find(id); it != peer->Proxies.end()) {
        manager = it->second;
    } else {
        manager = new TProxyManager(peer, id);
    }
    manager->AddRef();
    manager->AddRemoteRef();
    if (const auto code = opcbus::IfaceOf(iid)) manager->Knows(*code);
    const HRESULT hr = manager->QueryInterface(iid, ppv);
    manager->Release();
    return hr;
}

}  // namespace corvane::opcclient
