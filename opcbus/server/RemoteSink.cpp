// A client's callback object as the server holds it. The server never waits for a
// client: each call is sent and its answer handled later, so a slow or stuck client
// cannot stall the GUI thread. What the client answered (or that it did not) comes back
// as the result of the next call, which is when the group can report the failure.
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <memory>

#include "corvane/platform/ComObject.h"
#include "opcbus/Marshal.h"
#include "opcbus/RemoteSink.h"
#include "opcda.h"
#include "winbase.h"

namespace corvane::opcbus {

namespace {

class TRemoteSink final : public IOPCDataCallback,
                          public IAdviseSink,
                          public IOPCShutdown,
                          public platform::ComRefCount<TRemoteSink> {
  public:
    TRemoteSink(std::shared_ptr<TSinkChannel> channel, std::uint32_t id, std::uint32_t offers)
        : channel_(std::move(channel)),
          id_(id),
          offers_(offers),
          state_(std::make_shared<TState>()) {}

    ~TRemoteSink() {
        // The client drops its sink when the server no longer holds it.
        if (!channel_->Alive) return;
        TWriter w;
        w.U32(1);
        channel_->Connection.send(Message(TIface::Unknown, kRelease, w));
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown ||
            (riid == IID_IOPCDataCallback && (offers_ & kOffersDataCallback)))
            *ppv = static_cast<IOPCDataCallback*>(this);
        else if (riid == IID_IAdviseSink && (offers_ & kOffersAdviseSink))
            *ppv = static_cast<IAdviseSink*>(this);
        else if (riid == IID_IOPCShutdown && (offers_ & kOffersShutdown))
            *ppv = static_cast<IOPCShutdown*>(this);
        else
            return E_NOINTERFACE;
        AddRefImpl();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD tid, OPCHANDLE group, HRESULT quality,
                                           HRESULT error, DWORD n, OPCHANDLE* handles,
                                           VARIANT* values, WORD* qualities, FILETIME* times,
                                           HRESULT* errors) override {
        return Values(0, tid, group, quality, error, n, handles, values, qualities, times, errors);
    }
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD tid, OPCHANDLE group, HRESULT quality,
                                             HRESULT error, DWORD n, OPCHANDLE* handles,
                                             VARIANT* values, WORD* qualities, FILETIME* times,
                                             HRESULT* errors) override {
        return Values(1, tid, group, quality, error, n, handles, values, qualities, times, errors);
    }
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD tid, OPCHANDLE group, HRESULT error, DWORD n,
                                              OPCHANDLE* handles, HRESULT* errors) override {
        TWriter w;
        w.U32(tid);
        w.U32(group);
        w.I32(error);
        if (n && (!handles || !errors)) return E_INVALIDARG;
        w.U32(n);
        PutDwords(w, handles, n);
        PutHResults(w, errors, n);
        return Send(TIface::DataCallback, 2, w);
    }
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD tid, OPCHANDLE group) override {
        TWriter w;
        w.U32(tid);
        w.U32(group);
        return Send(TIface::DataCallback, 3, w);
    }

    void STDMETHODCALLTYPE OnDataChange(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium || medium->tymed != TYMED_HGLOBAL || !medium->hGlobal) return;
        char name[256] = {};
        const int length = GetClipboardFormatNameA(format->cfFormat, name, sizeof name);
        TWriter w;
        w.Bytes(name, length > 0 ? static_cast<std::size_t>(length) : 0);
        w.U32(format->dwAspect);
        w.I32(format->lindex);
        const SIZE_T size = GlobalSize(medium->hGlobal);
        const void* bytes = GlobalLock(medium->hGlobal);
        w.Bytes(bytes, bytes ? size : 0);
        GlobalUnlock(medium->hGlobal);
        Send(TIface::AdviseSink, 0, w);
    }
    HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR reason) override {
        TWriter w;
        w.Str(reason);
        return Send(TIface::Shutdown, 0, w);
    }
    void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {}
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
    void STDMETHODCALLTYPE OnSave() override {}
    void STDMETHODCALLTYPE OnClose() override {}

  private:
    // What the callbacks already sent left behind; shared with their answer handlers,
    // which may outlive this object.
    struct TState {
        HRESULT Failure = S_OK;
    };

    HRESULT Values(std::uint16_t method, DWORD tid, OPCHANDLE group, HRESULT quality, HRESULT error,
                   DWORD n, OPCHANDLE* handles, VARIANT* values, WORD* qualities, FILETIME* times,
                   HRESULT* errors) {
        if (n && (!handles || !values || !qualities || !times || !errors)) return E_INVALIDARG;
        TWriter w;
        w.U32(tid);
        w.U32(group);
        w.I32(quality);
        w.I32(error);
        w.U32(n);
        PutDwords(w, handles, n);
        for (DWORD i = 0; i < n; ++i) {
            if (FAILED(w.Variant(values[i]))) w.U16(VT_EMPTY);
            w.U16(qualities[i]);
            w.Time(times[i]);
        }
        PutHResults(w, errors, n);
        return Send(TIface::DataCallback, method, w);
    }

    QDBusMessage Message(TIface iface, std::uint16_t method, const TWriter& w) const {
        QDBusMessage m = QDBusMessage::createMethodCall(channel_->Client, kSinkPath,
                                                        kSinkInterfaceName, kCallMethod);
        m.setAutoStartService(false);
        const auto& bytes = w.Data();
        m << id_ << QVariant::fromValue(static_cast<ushort>(iface))
          << QVariant::fromValue(static_cast<ushort>(method))
          << QByteArray(reinterpret_cast<const char*>(bytes.data()),
                        static_cast<qsizetype>(bytes.size()));
        return m;
    }

    HRESULT Send(TIface iface, std::uint16_t method, const TWriter& w) {
        if (!channel_->Alive) return RPC_E_DISCONNECTED;
        if (const HRESULT earlier = std::exchange(state_->Failure, S_OK); FAILED(earlier))
            return earlier;
        if (channel_->Pending >= kMaxPendingCallbacks) return RPC_E_SERVERCALL_RETRYLATER;
        const QDBusPendingCall call =
            channel_->Connection.asyncCall(Message(iface, method, w), kCallbackTimeoutMs);
        ++channel_->Pending;
        auto* watcher = new QDBusPendingCallWatcher(call);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                         [channel = channel_, state = state_](QDBusPendingCallWatcher* self) {
                             --channel->Pending;
                             const QDBusMessage reply = self->reply();
                             if (reply.type() == QDBusMessage::ErrorMessage)
                                 state->Failure = RPC_E_DISCONNECTED;
                             else if (const int hr = reply.arguments().value(0).toInt(); hr < 0)
                                 state->Failure = hr;
                             self->deleteLater();
                         });
        return S_OK;
    }

    std::shared_ptr<TSinkChannel> channel_;
    const std::uint32_t id_;
    const std::uint32_t offers_;
    std::shared_ptr<TState> state_;
};

}  // namespace

platform::ComPtr<IUnknown> MakeRemoteSink(std::shared_ptr<TSinkChannel> channel, std::uint32_t id,
                                          std::uint32_t interfaces) {
    auto* sink = new TRemoteSink(std::move(channel), id, interfaces);
    return platform::ComPtr<IUnknown>(static_cast<IOPCDataCallback*>(sink));
}

}  // namespace corvane::opcbus
