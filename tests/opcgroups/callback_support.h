// Client-side test doubles of the subscriptions: a DA 2.0 data callback and a DA 1.0
// advise sink that count their calls, keep copies of the arguments, run an optional
// action from inside the call (for re-entrancy) and expose their reference counts.
#pragma once

#include <cstring>
#include <functional>
#include <vector>

#include "group_test_support.h"
#include "objidl.h"
#include "ocidl.h"
#include "opcgroups/DataStream.h"

namespace corvane::test {

// One OnDataChange, OnReadComplete or OnWriteComplete as the client saw it.
struct CallbackCall {
    enum Kind { DataChange, ReadComplete, WriteComplete } kind;
    DWORD transaction;
    OPCHANDLE group;
    HRESULT masterQuality;
    HRESULT masterError;
    std::vector<OPCHANDLE> handles;
    std::vector<platform::Variant> values;
    std::vector<WORD> qualities;
    std::vector<FILETIME> times;
    std::vector<HRESULT> errors;
};

class TestDataCallback final : public IOPCDataCallback {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IOPCDataCallback) return E_NOINTERFACE;
        *ppv = static_cast<IOPCDataCallback*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        EXPECT_GT(Refs, 0u) << "released more often than referenced";
        return --Refs;
    }
    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD tid, OPCHANDLE g, HRESULT q, HRESULT e, DWORD n,
                                           OPCHANDLE* h, VARIANT* v, WORD* w, FILETIME* t,
                                           HRESULT* err) override {
        return Record(CallbackCall::DataChange, tid, g, q, e, n, h, v, w, t, err);
    }
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD tid, OPCHANDLE g, HRESULT q, HRESULT e, DWORD n,
                                             OPCHANDLE* h, VARIANT* v, WORD* w, FILETIME* t,
                                             HRESULT* err) override {
        return Record(CallbackCall::ReadComplete, tid, g, q, e, n, h, v, w, t, err);
    }
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD tid, OPCHANDLE g, HRESULT e, DWORD n,
                                              OPCHANDLE* h, HRESULT* err) override {
        return Record(CallbackCall::WriteComplete, tid, g, S_OK, e, n, h, nullptr, nullptr, nullptr,
                      err);
    }
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override {
        ++CancelCompletes;
        return S_OK;
    }

    std::size_t Count(CallbackCall::Kind kind) const {
        std::size_t c = 0;
        for (const auto& call : Calls) c += call.kind == kind;
        return c;
    }

    ULONG Refs = 1;  // the test's own reference
    std::vector<CallbackCall> Calls;
    int CancelCompletes = 0;
    HRESULT Result = S_OK;
    bool Throw = false;
    // Runs inside each call, after it was recorded (the client calling back in).
    std::function<void()> During;

  private:
    HRESULT Record(CallbackCall::Kind kind, DWORD tid, OPCHANDLE g, HRESULT q, HRESULT e, DWORD n,
                   OPCHANDLE* h, VARIANT* v, WORD* w, FILETIME* t, HRESULT* err) {
        CallbackCall call{kind, tid, g, q, e, {}, {}, {}, {}, {}};
        for (DWORD i = 0; i < n; ++i) {
            call.handles.push_back(h[i]);
            call.errors.push_back(err[i]);
            if (v) call.values.emplace_back(v[i]);
            if (w) call.qualities.push_back(w[i]);
            if (t) call.times.push_back(t[i]);
        }
        Calls.push_back(std::move(call));
        if (During) During();
        if (Throw) throw opc::EOpcError(RPC_E_DISCONNECTED);
        return Result;
    }
};

// One IAdviseSink::OnDataChange: the format and medium as given, and a copy of the
// stream's bytes made during the call.
struct StreamCall {
    FORMATETC format;
    DWORD tymed;
    HGLOBAL handle;
    IUnknown* unkForRelease;
    std::vector<BYTE> bytes;

    template <class T>
    T At(std::size_t offset) const {
        T v{};
        EXPECT_LE(offset + sizeof v, bytes.size());
        if (offset + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof v);
        return v;
    }
};

class TestAdviseSink final : public IAdviseSink {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IAdviseSink) return E_NOINTERFACE;
        *ppv = static_cast<IAdviseSink*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        EXPECT_GT(Refs, 0u) << "released more often than referenced";
        return --Refs;
    }
    void STDMETHODCALLTYPE OnDataChange(FORMATETC* f, STGMEDIUM* m) override {
        StreamCall call{*f, m->tymed, m->hGlobal, m->pUnkForRelease, {}};
        const SIZE_T size = GlobalSize(m->hGlobal);
        if (const auto* p = static_cast<const BYTE*>(GlobalLock(m->hGlobal))) {
            call.bytes.assign(p, p + size);
            GlobalUnlock(m->hGlobal);
        }
        Calls.push_back(std::move(call));
        if (During) During();
        if (Throw) throw opc::EOpcError(RPC_E_DISCONNECTED);
    }
    void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {}
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
    void STDMETHODCALLTYPE OnSave() override {}
    void STDMETHODCALLTYPE OnClose() override {}

    ULONG Refs = 1;
    std::vector<StreamCall> Calls;
    bool Throw = false;
    std::function<void()> During;
};

// The FORMATETC a DA 1.0 client advises with for one of the stream formats.
inline FORMATETC StreamFormat(DWORD connection) {
    FORMATETC f{};
    f.cfFormat = static_cast<CLIPFORMAT>(opc::StreamFormatId(connection));
    f.ptd = nullptr;
    f.dwAspect = DVASPECT_CONTENT;
    f.lindex = -1;
    f.tymed = TYMED_HGLOBAL;
    return f;
}

}  // namespace corvane::test
