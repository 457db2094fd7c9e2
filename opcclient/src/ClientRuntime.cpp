#include "ClientRuntime.h"

#include "ProxyManager.h"
#include "ServerList.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QThread>
#include <QTimer>
#include <optional>

#include "corvane/platform/LocalServer.h"
#include "objbase.h"
#include "opcbus/Marshal.h"
#include "opcclient/BusClient.h"
#include "opcda.h"
#include "winbase.h"

namespace corvane::opcclient {

using opcbus::TIface;
using opcbus::TReader;
using opcbus::TWriter;

namespace {

using opcbus::kOffersAdviseSink;
using opcbus::kOffersDataCallback;
// Starting a server through the bus may take a while on a loaded machine.
constexpr int kActivationTimeoutMs = 30000;

QByteArray ToBytes(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

struct TExport {
    platform::ComPtr<IUnknown> Sink;
    QString Peer;
};

// Calls from a server to the client's sinks, run while the client pumps its messages.
class TSinkObject final : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
};

class TRuntime {
  public:
    // Never destroyed: at exit Qt's own globals are gone before static destructors run,
    // and a connection or application object torn down after them crashes.
    static TRuntime& Instance() {
        static TRuntime* const runtime = new TRuntime;
        return *runtime;
    }

    bool Connect() {
        if (connection_) return connection_->isConnected();
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "corvane-opc-client";
            static char* argv[] = {name, nullptr};
            ownApp_.emplace(argc, argv);
        }
        connection_.emplace(QDBusConnection::sessionBus());
        if (!connection_->isConnected()) return false;
        connection_->registerVirtualObject(opcbus::kSinkPath, &sinks_);
        watcher_.setConnection(*connection_);
        watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        QObject::connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered,
                         [this](const QString& name) { PeerGone(name); });
        return true;
    }
    QDBusConnection& Connection() { return *connection_; }

    std::shared_ptr<TPeer> PeerFor(const QString& name) {
        if (auto it = peers_.find(name); it != peers_.end() && it->second->Alive) return it->second;
        auto peer = std::make_shared<TPeer>();
        peer->Name = name;
        peers_[name] = peer;
        watcher_.addWatchedService(name);
        return peer;
    }

    void PeerGone(const QString& name) {
        watcher_.removeWatchedService(name);
        if (auto it = peers_.find(name); it != peers_.end()) {
            it->second->Alive = false;
            peers_.erase(it);
        }
        // Its callbacks can never come: the sinks are released now.
        std::vector<platform::ComPtr<IUnknown>> dropped;
        for (auto it = exports_.begin(); it != exports_.end();) {
            if (it->second.Peer == name) {
                dropped.push_back(std::move(it->second.Sink));
                it = exports_.erase(it);
            } else {
                ++it;
            }
        }
    }

    std::uint32_t Export(IUnknown* sink, const QString& peer) {
        if (nextSink_ == 0) nextSink_ = 1;
        const std::uint32_t id = nextSink_++;
        exports_[id] = TExport{platform::ComPtr<IUnknown>(sink), peer};
        return id;
    }
    std::optional<TExport> FindExport(std::uint32_t id) const {
        const auto it = exports_.find(id);
        if (it == exports_.end()) return std::nullopt;
        return it->second;
    }
    void DropExport(std::uint32_t id) {
        const auto it = exports_.find(id);
        if (it == exports_.end()) return;
        const platform::ComPtr<IUnknown> last = std::move(it->second.Sink);
        exports_.erase(it);
    }
    std::size_t ExportCount() const { return exports_.size(); }

    std::map<std::string, QString> LastServer;

  private:
    std::optional<QCoreApplication> ownApp_;
    std::optional<QDBusConnection> connection_;
    QDBusServiceWatcher watcher_;
    TSinkObject sinks_;
    std::map<QString, std::shared_ptr<TPeer>> peers_;
    std::map<std::uint32_t, TExport> exports_;
    std::uint32_t nextSink_ = 1;
};

HRESULT ErrorResult(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == "org.freedesktop.DBus.Error.NameHasNoOwner")
        return REGDB_E_CLASSNOTREG;
    if (name.startsWith("org.freedesktop.DBus.Error.Spawn")) return CO_E_SERVER_EXEC_FAILURE;
    return RPC_E_DISCONNECTED;
}

// Decodes a value callback (OnDataChange, OnReadComplete) and makes it.
HRESULT DeliverValues(IOPCDataCallback& sink, std::uint16_t method, TReader& in) {
    const DWORD tid = in.U32();
    const OPCHANDLE group = in.U32();
    const HRESULT quality = in.I32();
    const HRESULT error = in.I32();
    const DWORD n = in.Count(4);
    std::vector<OPCHANDLE> handles = opcbus::GetDwords(in, n);
    opcbus::TVariants values;
    values.Values.resize(n);
    for (VARIANT& v : values.Values) VariantInit(&v);
    std::vector<WORD> qualities(n);
    std::vector<FILETIME> times(n);
    for (DWORD i = 0; i < n && in.Ok(); ++i) {
        in.Variant(values.Values[i]);
        qualities[i] = in.U16();
        times[i] = in.Time();
    }
    std::vector<HRESULT> errors(n);
    const std::vector<DWORD> raw = opcbus::GetDwords(in, n);
    if (!in.Done()) return E_INVALIDARG;
    for (DWORD i = 0; i < n; ++i) errors[i] = static_cast<HRESULT>(raw[i]);
    return method == 0 ? sink.OnDataChange(tid, group, quality, error, n, handles.data(),
                                           values.Values.data(), qualities.data(), times.data(),
                                           errors.data())
                       : sink.OnReadComplete(tid, group, quality, error, n, handles.data(),
                                             values.Values.data(), qualities.data(), times.data(),
                                             errors.data());
}

HRESULT DeliverDataCallback(IUnknown& target, std::uint16_t method, TReader& in) {
    platform::ComPtr<IOPCDataCallback> sink;
    if (FAILED(target.QueryInterface(IID_IOPCDataCallback, sink.PutVoid()))) return E_NOINTERFACE;
    if (method <= 1) return DeliverValues(*sink.Get(), method, in);
    const DWORD tid = in.U32();
    const OPCHANDLE group = in.U32();
    if (method == 3) {
        if (!in.Done()) return E_INVALIDARG;
        return sink->OnCancelComplete(tid, group);
    }
    if (method != 2) return E_INVALIDARG;
    const HRESULT error = in.I32();
    const DWORD n = in.Count(8);
    std::vector<OPCHANDLE> handles = opcbus::GetDwords(in, n);
    const std::vector<DWORD> raw = opcbus::GetDwords(in, n);
    if (!in.Done()) return E_INVALIDARG;
    std::vector<HRESULT> errors(raw.begin(), raw.end());
    return sink->OnWriteComplete(tid, group, error, n, handles.data(), errors.data());
}

HRESULT DeliverStream(IUnknown& target, std::uint16_t method, TReader& in) {
    platform::ComPtr<IAdviseSink> sink;
    if (FAILED(target.QueryInterface(IID_IAdviseSink, sink.PutVoid()))) return E_NOINTERFACE;
    if (method != 0) return E_INVALIDARG;
    const std::vector<std::uint8_t> name = in.Bytes(255);
    FORMATETC format{};
    format.dwAspect = in.U32();
    format.lindex = in.I32();
    format.tymed = TYMED_HGLOBAL;
    const std::vector<std::uint8_t> bytes = in.Bytes();
    if (!in.Done() || name.empty()) return E_INVALIDARG;
    const std::string text(name.begin(), name.end());
    if (text.find('\0') != std::string::npos) return E_INVALIDARG;
    format.cfFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatA(text.c_str()));
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!memory) return E_OUTOFMEMORY;
    if (void* p = GlobalLock(memory)) {
        if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
        GlobalUnlock(memory);
    }
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = memory;
    sink->OnDataChange(&format, &medium);
    GlobalFree(memory);
    return S_OK;
}

HRESULT DeliverShutdown(IUnknown& target, std::uint16_t method, TReader& in) {
    platform::ComPtr<IOPCShutdown> sink;
    if (FAILED(target.QueryInterface(IID_IOPCShutdown, sink.PutVoid()))) return E_NOINTERFACE;
    if (method != 0) return E_INVALIDARG;
    std::u16string reason;
    bool isNull = false;
    if (!in.Str(reason, isNull) || !in.Done()) return E_INVALIDARG;
    return sink->ShutdownRequest(isNull ? nullptr : reason.c_str());
}

bool TSinkObject::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    if (message.member() != opcbus::kCallMethod) return false;
    if (message.signature() != opcbus::kCallSignature) {
        connection.send(message.createErrorReply(opcbus::kErrorInvalidArgs, "expected (uqqay)"));
        return true;
    }
    const QList<QVariant> args = message.arguments();
    const std::uint32_t id = args.value(0).toUInt();
    const auto iface = static_cast<TIface>(args.value(1).toUInt());
    const auto method = static_cast<std::uint16_t>(args.value(2).toUInt());
    const QByteArray payload = args.value(3).toByteArray();
    TReader in(reinterpret_cast<const std::uint8_t*>(payload.constData()),
               static_cast<std::size_t>(payload.size()));
    HRESULT hr = RPC_E_DISCONNECTED;
    TRuntime& runtime = TRuntime::Instance();
    // Only the server a sink was given to may call it.
    if (const auto found = runtime.FindExport(id); found && found->Peer == message.service()) {
        if (iface == TIface::Unknown && method == opcbus::kRelease) {
            runtime.DropExport(id);
            hr = S_OK;
        } else if (iface == TIface::DataCallback) {
            hr = DeliverDataCallback(*found->Sink.Get(), method, in);
        } else if (iface == TIface::AdviseSink) {
            hr = DeliverStream(*found->Sink.Get(), method, in);
        } else if (iface == TIface::Shutdown) {
            hr = DeliverShutdown(*found->Sink.Get(), method, in);
        } else {
            hr = E_NOINTERFACE;
        }
    }
    connection.send(message.createReply(QList<QVariant>{QVariant::fromValue(static_cast<int>(hr)),
                                                        QVariant::fromValue(QByteArray())}));
    return true;
}

HRESULT Activate(REFCLSID clsid, REFIID iid, void** ppv) {
    if (clsid == CLSID_OpcServerList) return CreateServerList(iid, ppv);
    TRuntime& runtime = TRuntime::Instance();
    if (!runtime.Connect()) return CO_E_SERVER_EXEC_FAILURE;
    const std::string busName = opcbus::BusNameFor(clsid);
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromStdString(busName), opcbus::kObjectPath,
                                       opcbus::kInterfaceName, opcbus::kCallMethod);
    TWriter w;
    w.Guid(clsid);
    w.Guid(iid);
    call << opcbus::kClassObjectId << QVariant::fromValue(static_cast<ushort>(TIface::ClassFactory))
         << QVariant::fromValue(static_cast<ushort>(opcbus::kCreateInstance)) << ToBytes(w.Data());
    const QDBusMessage reply = runtime.Connection().call(call, QDBus::Block, kActivationTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) return ErrorResult(reply);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != opcbus::kReplySignature)
        return RPC_E_INVALID_DATA;
    const HRESULT hr = reply.arguments().value(0).toInt();
    if (FAILED(hr)) return hr;
    const QByteArray bytes = reply.arguments().value(1).toByteArray();
    TReader r(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
              static_cast<std::size_t>(bytes.size()));
    const std::uint32_t id = r.U32();
    if (!r.Done() || id == 0) return RPC_E_INVALID_DATA;
    // Later calls go to this very process, never to a successor under the same name.
    const std::shared_ptr<TPeer> peer = runtime.PeerFor(reply.service());
    runtime.LastServer[busName] = reply.service();
    return Unmarshal(peer, id, iid, ppv);
}

void Poll() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void Wait(int timeoutMs) {
    if (!QCoreApplication::instance()) {
        // Nothing can arrive from the bus; only the queue's timers are left to wait for.
        if (timeoutMs > 0) QThread::msleep(static_cast<unsigned long>(timeoutMs));
        return;
    }
    QTimer timer;
    timer.setSingleShot(true);
    if (timeoutMs >= 0) timer.start(timeoutMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace

namespace {
TCallHook gCallHook;
}  // namespace

void SetCallHook(TCallHook hook) {
    gCallHook = std::move(hook);
}

HRESULT CallPeer(TPeer& peer, std::uint32_t object, TIface iface, std::uint16_t method,
                 const TWriter& args, std::vector<std::uint8_t>& out) {
    out.clear();
    if (!peer.Alive) return RPC_E_DISCONNECTED;
    if (gCallHook) return gCallHook(object, iface, method, args.Data(), out);
    TRuntime& runtime = TRuntime::Instance();
    if (!runtime.Connect()) return RPC_E_DISCONNECTED;
    QDBusMessage call = QDBusMessage::createMethodCall(peer.Name, opcbus::kObjectPath,
                                                       opcbus::kInterfaceName, opcbus::kCallMethod);
    call.setAutoStartService(false);
    call << object << QVariant::fromValue(static_cast<ushort>(iface))
         << QVariant::fromValue(static_cast<ushort>(method)) << ToBytes(args.Data());
    const QDBusMessage reply =
        runtime.Connection().call(call, QDBus::Block, opcbus::kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const auto registered = runtime.Connection().interface()->isServiceRegistered(peer.Name);
        if (!registered.isValid() || !registered.value()) peer.Alive = false;
        return RPC_E_DISCONNECTED;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != opcbus::kReplySignature)
        return RPC_E_INVALID_DATA;
    const QByteArray bytes = reply.arguments().value(1).toByteArray();
    out.assign(bytes.begin(), bytes.end());
    return reply.arguments().value(0).toInt();
}

bool PutSink(TWriter& w, const TPeer& peer, IUnknown* sink) {
    if (!sink) return false;
    std::uint32_t offers = 0;
    platform::ComPtr<IUnknown> probe;
    if (SUCCEEDED(sink->QueryInterface(IID_IOPCDataCallback, probe.PutVoid())))
        offers |= kOffersDataCallback;
    if (SUCCEEDED(sink->QueryInterface(IID_IAdviseSink, probe.PutVoid())))
        offers |= kOffersAdviseSink;
    if (SUCCEEDED(sink->QueryInterface(IID_IOPCShutdown, probe.PutVoid())))
        offers |= opcbus::kOffersShutdown;
    if (!offers) return false;
    w.U32(TRuntime::Instance().Export(sink, peer.Name));
    w.U32(offers);
    return true;
}

void ForgetProxy(TPeer& peer, std::uint32_t id) {
    peer.Proxies.erase(id);
}

void InstallBusClient() {
    static const bool installed = [] {
        platform::SetLocalServerActivator(&Activate);
        platform::SetExternalMessageSource({&Poll, &Wait});
        return true;
    }();
    (void)installed;
}

std::size_t ExportedSinkCount() {
    return TRuntime::Instance().ExportCount();
}

std::string ServerConnectionName(const CLSID& clsid) {
    const auto& last = TRuntime::Instance().LastServer;
    const auto it = last.find(opcbus::BusNameFor(clsid));
    return it == last.end() ? std::string{} : it->second.toStdString();
}

}  // namespace corvane::opcclient
