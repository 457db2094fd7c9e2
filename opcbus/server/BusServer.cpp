#include "opcbus/BusServer.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "objbase.h"
#include "opcbus/Stubs.h"

namespace corvane::opcbus {

namespace {

std::uint32_t gNextId = 1;

std::uint32_t NewId() {
    if (gNextId == 0) gNextId = 1;
    return gNextId++;
}

}  // namespace

TBusServer::TBusServer(QDBusConnection connection, QObject* parent)
    : QDBusVirtualObject(parent), connection_(connection) {
    watcher_.setConnection(connection_);
    watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
            [this](const QString& name) { ClientGone(name); });
}

TBusServer::~TBusServer() {
    for (const QString& name : names_) connection_.unregisterService(name);
    connection_.unregisterObject(kObjectPath);
    // The clients' objects go with the server; their callbacks have nowhere to go.
    while (!clients_.empty()) ClientGone(clients_.begin()->first);
}

bool TBusServer::Start(const std::vector<CLSID>& classes, QString* error) {
    if (!connection_.isConnected()) {
        if (error) *error = "no session bus: " + connection_.lastError().message();
        return false;
    }
    if (!connection_.registerVirtualObject(kObjectPath, this)) {
        if (error) *error = "cannot register the server object on the session bus";
        return false;
    }
    for (const CLSID& clsid : classes) {
        const QString name = QString::fromStdString(BusNameFor(clsid));
        if (!connection_.registerService(name)) {
            if (error) *error = "cannot own the bus name " + name + " (is another server running?)";
            return false;
        }
        names_.push_back(name);
    }
    return true;
}

QString TBusServer::introspect(const QString&) const {
    return QStringLiteral(
        "<interface name=\"org.corvane.OpcDa1\">"
        "<method name=\"Call\"><arg direction=\"in\" type=\"u\"/><arg direction=\"in\" "
        "type=\"q\"/><arg direction=\"in\" type=\"q\"/><arg direction=\"in\" type=\"ay\"/>"
        "<arg direction=\"out\" type=\"i\"/><arg direction=\"out\" type=\"ay\"/></method>"
        "<method name=\"Ping\"/></interface>");
}

std::size_t TBusServer::ObjectCount(const QString& client) const {
    const auto it = clients_.find(client);
    return it == clients_.end() ? 0 : it->second->Objects.size();
}

std::uint32_t TBusServer::Export(TClient& client, IUnknown* object) {
    if (!object) return 0;
    platform::ComPtr<IUnknown> identity;
    if (FAILED(object->QueryInterface(IID_IUnknown, identity.PutVoid())) || !identity) return 0;
    if (const auto it = client.Ids.find(identity.Get()); it != client.Ids.end()) {
        ++client.Objects[it->second].Refs;
        return it->second;
    }
    const std::uint32_t id = NewId();
    client.Ids[identity.Get()] = id;
    client.Objects[id] = TEntry{identity, 1};
    return id;
}

bool TBusServer::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    if (!message.interface().isEmpty() && message.interface() != kInterfaceName) return false;
    const auto refuse = [&](const QString& text) {
        connection.send(message.createErrorReply(kErrorInvalidArgs, text));
        return true;
    };
    if (message.member() == kPingMethod) {
        if (!message.signature().isEmpty()) return refuse("Ping takes no arguments");
        connection.send(message.createReply());
        return true;
    }
    if (message.member() != kCallMethod) return false;
    if (message.signature() != kCallSignature)
        return refuse("Call expects (uqqay), got (" + message.signature() + ")");
    const QList<QVariant> args = message.arguments();
    const QByteArray payload = args.value(3).toByteArray();
    if (static_cast<std::size_t>(payload.size()) > kMaxPayload) return refuse("payload too large");
    const QString sender = message.service();
    if (sender.isEmpty()) return refuse("no sender");

    std::shared_ptr<TClient> client;
    if (const auto it = clients_.find(sender); it != clients_.end()) {
        client = it->second;
    } else {
        client = std::make_shared<TClient>();
        client->Name = sender;
        client->Channel = std::make_shared<TSinkChannel>(TSinkChannel{connection_, sender});
        clients_[sender] = client;
        watcher_.addWatchedService(sender);
        // The client may have gone before the watch was in place.
        if (!connection_.interface()->isServiceRegistered(sender).value()) {
            ClientGone(sender);
            return refuse("client gone");
        }
    }

    TReader in(reinterpret_cast<const std::uint8_t*>(payload.constData()),
               static_cast<std::size_t>(payload.size()));
    TWriter out;
    const HRESULT hr =
        Invoke(client, args.value(0).toUInt(), static_cast<std::uint16_t>(args.value(1).toUInt()),
               static_cast<std::uint16_t>(args.value(2).toUInt()), in, out);
    if (FAILED(hr)) out = TWriter{};
    const auto& bytes = out.Data();
    connection.send(message.createReply(
        QList<QVariant>{QVariant::fromValue(static_cast<int>(hr)),
                        QVariant::fromValue(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<qsizetype>(bytes.size())))}));
    // A client with nothing left is forgotten, so that the table cannot grow without end.
    if (client->Objects.empty() && clients_.count(sender) && clients_[sender] == client) {
        clients_.erase(sender);
        watcher_.removeWatchedService(sender);
    }
    return true;
}

HRESULT TBusServer::Invoke(const std::shared_ptr<TClient>& client, std::uint32_t object,
                           std::uint16_t iface, std::uint16_t method, TReader& in, TWriter& out) {
    if (object == kClassObjectId) {
        if (iface != static_cast<std::uint16_t>(TIface::ClassFactory) || method != kCreateInstance)
            return E_INVALIDARG;
        const CLSID clsid = in.Guid();
        const IID iid = in.Guid();
        if (!in.Done()) return E_INVALIDARG;
        platform::ComPtr<IClassFactory> factory;
        HRESULT hr = CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                      factory.PutVoid());
        if (FAILED(hr)) return hr;
        platform::ComPtr<IUnknown> instance;
        hr = factory->CreateInstance(nullptr, iid, instance.PutVoid());
        if (FAILED(hr)) return hr;
        out.U32(Export(*client, instance.Get()));
        return hr;
    }
    const auto found = client->Objects.find(object);
    if (found == client->Objects.end()) return RPC_E_DISCONNECTED;
    // Held for the length of the call: the client may release it from a nested loop.
    const platform::ComPtr<IUnknown> target = found->second.Object;

    if (iface == static_cast<std::uint16_t>(TIface::Unknown)) {
        if (method == kQueryInterface) {
            const IID iid = in.Guid();
            if (!in.Done()) return E_INVALIDARG;
            platform::ComPtr<IUnknown> probe;
            return target->QueryInterface(iid, probe.PutVoid());
        }
        if (method == kRelease) {
            const std::uint32_t count = in.U32();
            if (!in.Done() || count == 0) return E_INVALIDARG;
            auto it = client->Objects.find(object);
            if (it == client->Objects.end()) return RPC_E_DISCONNECTED;
            if (count > it->second.Refs) return E_INVALIDARG;
            it->second.Refs -= count;
            if (it->second.Refs == 0) {
                const platform::ComPtr<IUnknown> last = std::move(it->second.Object);
                client->Ids.erase(last.Get());
                client->Objects.erase(it);
            }
            return S_OK;
        }
        return E_INVALIDARG;
    }
    const auto code = static_cast<TIface>(iface);
    const IID* iid = IidOf(code);
    if (!iid || code == TIface::ClassFactory || code == TIface::DataCallback ||
        code == TIface::AdviseSink)
        return E_NOINTERFACE;
    platform::ComPtr<IUnknown> typed;
    const HRESULT qi = target->QueryInterface(*iid, typed.PutVoid());
    if (FAILED(qi) || !typed) return E_NOINTERFACE;
    return DispatchCall(*this, *client, typed.Get(), code, method, in, out);
}

void TBusServer::ClientGone(const QString& name) {
    watcher_.removeWatchedService(name);
    const auto it = clients_.find(name);
    if (it == clients_.end()) return;
    const std::shared_ptr<TClient> client = it->second;
    clients_.erase(it);
    client->Channel->Alive = false;
    // Released outside the table: a release may call back into this server.
    std::map<std::uint32_t, TEntry> objects = std::move(client->Objects);
    client->Objects.clear();
    client->Ids.clear();
    objects.clear();
}

}  // namespace corvane::opcbus
