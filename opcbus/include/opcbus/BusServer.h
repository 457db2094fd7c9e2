// The OPC server seen from other processes: claims the bus name of each served class on
// the session bus and answers Call messages at the server object path, on the thread
// that made it (the GUI thread; QtDBus hands calls over through the event loop). Every
// client, known by its unique bus name, has its own table of the objects it was given;
// ids from one client mean nothing to another. When a client's connection goes, every
// reference it held is released, as if it had released them itself.
#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "corvane/platform/ComObject.h"
#include "opcbus/Protocol.h"
#include "opcbus/Wire.h"
#include "unknwn.h"

namespace corvane::opcbus {

// What the server's callback proxies of one client share: where to send, whether the
// client is still there and how many calls are on their way.
struct TSinkChannel {
    QDBusConnection Connection;
    QString Client;
    bool Alive = true;
    int Pending = 0;
};

class TBusServer final : public QDBusVirtualObject {
    Q_OBJECT
  public:
    explicit TBusServer(QDBusConnection connection, QObject* parent = nullptr);
    ~TBusServer() override;

    // Registers the object path and claims the classes' bus names; false (with the
    // reason) when the bus refuses, for example because another server holds a name.
    bool Start(const std::vector<CLSID>& classes, QString* error);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // For tests and the shutdown rule: clients with objects, and objects of one client.
    std::size_t ClientCount() const { return clients_.size(); }
    std::size_t ObjectCount(const QString& client) const;

    // Per-client state, used by the stubs.
    struct TEntry {
        platform::ComPtr<IUnknown> Object;
        std::uint32_t Refs = 0;
    };
    struct TClient {
        QString Name;
        std::map<std::uint32_t, TEntry> Objects;
        std::map<IUnknown*, std::uint32_t> Ids;
        std::shared_ptr<TSinkChannel> Channel;
    };
    // Hands one reference to `object` (any interface) to the client: its id, 0 for null.
    std::uint32_t Export(TClient& client, IUnknown* object);

  private:
    HRESULT Invoke(const std::shared_ptr<TClient>& client, std::uint32_t object,
                   std::uint16_t iface, std::uint16_t method, TReader& in, TWriter& out);
    void ClientGone(const QString& name);

    QDBusConnection connection_;
    QDBusServiceWatcher watcher_;
    std::vector<QString> names_;
    std::map<QString, std::shared_ptr<TClient>> clients_;
};

}  // namespace corvane::opcbus
