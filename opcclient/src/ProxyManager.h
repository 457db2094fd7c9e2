// The client's proxies of server objects: one proxy manager per server object (its COM
// identity, holding the server's references) and one face per interface the client asked
// for. The faces live in ServerFaces.cpp, GroupFaces.cpp and EnumFaces.cpp; what they share
// is here. Replies are read as untrusted: one that does not decode is RPC_E_INVALID_DATA
// and leaves nothing allocated.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <type_traits>
#include <vector>

#include "ClientRuntime.h"
#include "objbase.h"
#include "opcbus/Marshal.h"

namespace corvane::opcclient {

// A proxy for object `id` of `peer`, carrying one more of the server's references;
// queried for `iid`, which the server already said the object offers.
HRESULT Unmarshal(const std::shared_ptr<TPeer>& peer, std::uint32_t id, REFIID iid, void** ppv);

// A face: the part of a proxy that implements one interface.
struct TFace {
    virtual ~TFace() = default;
    virtual void* Interface() = 0;
};

// The client's COM identity of one server object: QueryInterface hands out one face per
// interface (asking the server once whether the object offers it), and the last Release
// gives the server back every reference the proxy was handed.
class TProxyManager final : public IUnknown {
  public:
    TProxyManager(std::shared_ptr<TPeer> peer, std::uint32_t id);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    void AddRemoteRef() { ++remoteRefs_; }
    void Knows(opcbus::TIface code) { known_.insert(code); }
    HRESULT Call(opcbus::TIface code, std::uint16_t method, const opcbus::TWriter& args,
                 std::vector<std::uint8_t>& out) {
        return CallPeer(*Peer, Id, code, method, args, out);
    }
    // An interface pointer among other fields of a reply: a proxy queried for `iid`, or
    // null for id 0.
    HRESULT Object(opcbus::TReader& r, REFIID iid, void** ppv);
    // The same as the reply's last field: nothing is made unless the reply decodes exactly,
    // so a malformed reply cannot leave the client holding a proxy.
    HRESULT LastObject(opcbus::TReader& r, REFIID iid, void** ppv);

    const std::shared_ptr<TPeer> Peer;
    const std::uint32_t Id;

  private:
    ~TProxyManager();
    std::unique_ptr<TFace> MakeFace(opcbus::TIface code);

    ULONG refs_ = 0;
    std::uint32_t remoteRefs_ = 0;
    std::map<opcbus::TIface, std::unique_ptr<TFace>> faces_;
    std::set<opcbus::TIface> known_;
};

namespace proxy {

template <class T>
void Zero(T* p) {
    if (p) *p = T{};
}

inline void FreeStrings(LPWSTR* strings, DWORD n) {
    if (!strings) return;
    for (DWORD i = 0; i < n; ++i) CoTaskMemFree(strings[i]);
    CoTaskMemFree(strings);
}

// An array argument: its count is written by the caller where the method puts it.
struct TDwords {
    const DWORD* Values;
    DWORD Count;
};
// A pointer argument the method may leave null: a presence byte, then the value.
template <class T>
struct TOptional {
    const T* Value;
};

inline void Put(opcbus::TWriter& w, std::uint32_t v) {
    w.U32(v);
}
inline void Put(opcbus::TWriter& w, std::int32_t v) {
    w.I32(v);
}
inline void Put(opcbus::TWriter& w, std::uint16_t v) {
    w.U16(v);
}
inline void Put(opcbus::TWriter& w, float v) {
    w.F32(v);
}
inline void Put(opcbus::TWriter& w, const GUID& g) {
    w.Guid(g);
}
inline void Put(opcbus::TWriter& w, const WCHAR* s) {
    w.Str(s);
}
inline void Put(opcbus::TWriter& w, const TDwords& a) {
    opcbus::PutDwords(w, a.Values, a.Count);
}
template <class E>
requires std::is_enum_v<E>
void Put(opcbus::TWriter& w, E e) {
    w.I32(static_cast<std::int32_t>(e));
}
template <class T>
void Put(opcbus::TWriter& w, const TOptional<T>& o) {
    w.U8(o.Value ? 1 : 0);
    if (o.Value) Put(w, *o.Value);
}

// The arguments of a call, written in order.
template <class... A>
opcbus::TWriter Args(const A&... args) {
    opcbus::TWriter w;
    (Put(w, args), ...);
    return w;
}

// The face among `Faces` that implements interface `code`, or null.
template <class... Faces>
std::unique_ptr<TFace> MakeFaceOf(opcbus::TIface code, TProxyManager& m) {
    std::unique_ptr<TFace> face;
    ((code == Faces::kCode && (face = std::make_unique<Faces>(m), true)) || ...);
    return face;
}

// The base of every face of interface I, whose calls go out with interface code Code.
template <class I, opcbus::TIface Code>
class TFaceOf : public I, public TFace {
  public:
    static constexpr opcbus::TIface kCode = Code;

    explicit TFaceOf(TProxyManager& m) : m_(m) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return m_.QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_.Release(); }
    void* Interface() override { return static_cast<I*>(this); }

  protected:
    // A call whose reply carries nothing but its result.
    HRESULT Tell(std::uint16_t method, const opcbus::TWriter& args) {
        std::vector<std::uint8_t> out;
        return m_.Call(Code, method, args, out);
    }
    // A call with a reply: a failed call is the answer; otherwise `read` takes what it
    // needs from the reply and returns S_OK or a failure, and the reply must then be used
    // up exactly. The call's own success code (S_OK or S_FALSE) is the answer.
    template <class Read>
    HRESULT Ask(std::uint16_t method, const opcbus::TWriter& args, Read&& read) {
        std::vector<std::uint8_t> out;
        const HRESULT hr = m_.Call(Code, method, args, out);
        if (FAILED(hr)) return hr;
        opcbus::TReader r(out);
        const HRESULT got = read(r);
        if (FAILED(got)) return got;
        return r.Done() ? hr : RPC_E_INVALID_DATA;
    }
    // A call whose reply is one interface pointer.
    HRESULT AskObject(std::uint16_t method, const opcbus::TWriter& args, REFIID iid, void** ppv) {
        return Ask(method, args, [&](opcbus::TReader& r) { return m_.LastObject(r, iid, ppv); });
    }
    // A call whose reply is one string in task memory; `*result` is set only on success.
    HRESULT AskString(std::uint16_t method, const opcbus::TWriter& args, LPWSTR* result) {
        return Ask(method, args, [&](opcbus::TReader& r) {
            LPWSTR s = r.TaskStr();
            if (!r.Done()) {
                CoTaskMemFree(s);
                return RPC_E_INVALID_DATA;
            }
            *result = s;
            return S_OK;
        });
    }
    // A call whose reply is one scalar the reader gives with `get`.
    template <class T, class Get>
    HRESULT AskValue(std::uint16_t method, const opcbus::TWriter& args, T* result, Get get) {
        return Ask(method, args, [&](opcbus::TReader& r) {
            *result = static_cast<T>((r.*get)());
            return S_OK;
        });
    }

    TProxyManager& m_;
};

}  // namespace proxy
}  // namespace corvane::opcclient
