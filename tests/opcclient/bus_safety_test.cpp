// Raw bus messages from a hostile or broken peer: every one is answered with an error,
// the server stays up, and one client can never reach another client's objects.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>

#include "bus_process.h"
#include "opcbus/Protocol.h"
#include "opcbus/Wire.h"
#include "opcda.h"

namespace corvane::test {
namespace {

using opcbus::TIface;

constexpr CLSID kSimulator = {
    0x7E3C5A21, 0x94B6, 0x4F0D, {0xA8, 0xC2, 0x3D, 0x5E, 0x61, 0xF0, 0xB7, 0xA4}};

QByteArray Payload(const opcbus::TWriter& w) {
    return QByteArray(reinterpret_cast<const char*>(w.Data().data()),
                      static_cast<qsizetype>(w.Data().size()));
}

class RawBus : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus.Ok());
        simulator = StartSimulator(bus);
        ASSERT_NE(simulator, nullptr);
        name = QString::fromStdString(SimulatorBusName());
    }

    QDBusConnection Connection(const char* id) {
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, id);
    }

    QDBusMessage Send(QDBusConnection c, const QList<QVariant>& args, const char* member = "Call",
                      const char* path = opcbus::kObjectPath) {
        QDBusMessage m = QDBusMessage::createMethodCall(name, path, opcbus::kInterfaceName, member);
        m.setArguments(args);
        return c.call(m, QDBus::Block, 10000);
    }
    QDBusMessage Call(QDBusConnection c, std::uint32_t object, TIface iface, std::uint16_t method,
                      const opcbus::TWriter& w) {
        return Send(c,
                    {QVariant::fromValue(object), QVariant::fromValue(static_cast<ushort>(iface)),
                     QVariant::fromValue(static_cast<ushort>(method)), Payload(w)});
    }
    static HRESULT Hr(const QDBusMessage& reply) {
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).toInt();
    }
    // A server object for connection `c`: its id.
    std::uint32_t Create(QDBusConnection c) {
        opcbus::TWriter w;
        w.Guid(kSimulator);
        w.Guid(IID_IOPCServer);
        const QDBusMessage reply = Call(c, 0, TIface::ClassFactory, 0, w);
        EXPECT_EQ(Hr(reply), S_OK);
        const QByteArray bytes = reply.arguments().value(1).toByteArray();
        opcbus::TReader r(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size());
        return r.U32();
    }
    void ExpectServerHealthy() {
        const QDBusMessage ping = Send(Connection("health"), {}, opcbus::kPingMethod);
        EXPECT_EQ(ping.type(), QDBusMessage::ReplyMessage);
        EXPECT_TRUE(simulator->Running());
    }

    TPrivateBus bus;
    std::unique_ptr<TChild> simulator;
    QString name;
};

TEST_F(RawBus, WrongSignaturesUnknownPathsAndMethodsAreAnsweredWithErrors) {
    ASSERT_TRUE(NameOwned(SimulatorBusName()));  // makes the test's application object
    QDBusConnection c = Connection("wrong");
    const QList<QList<QVariant>> badArguments = {
        {},
        {QString("text")},
        {QVariant::fromValue(0u), QVariant::fromValue(1u), QVariant::fromValue(2u), QByteArray()},
        {QVariant::fromValue(0u), QVariant::fromValue(ushort(1)), QVariant::fromValue(ushort(2))},
        {QVariant::fromValue(0u), QVariant::fromValue(ushort(1)), QVariant::fromValue(ushort(2)),
         QByteArray(), QByteArray()},
    };
    for (const auto& args : badArguments) {
        const QDBusMessage reply = Send(c, args);
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(reply.errorName(), opcbus::kErrorInvalidArgs);
    }
    EXPECT_EQ(Send(c, {}, "NoSuchMethod").type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(Send(c, {QString("x")}, opcbus::kPingMethod).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(Send(c, {}, opcbus::kPingMethod, "/no/such/object").type(),
              QDBusMessage::ErrorMessage);
    ExpectServerHealthy();
}

TEST_F(RawBus, PayloadsThatLieAboutTheirContentsAreRefused) {
    ASSERT_TRUE(NameOwned(SimulatorBusName()));
    QDBusConnection c = Connection("liar");
    const std::uint32_t server = Create(c);
    ASSERT_NE(server, 0u);
    // A real group to aim at.
    opcbus::TWriter add;
    add.Str(u"g");
    add.I32(TRUE);
    add.U32(100);
    add.U32(1);
    add.U8(0);
    add.U8(0);
    add.U32(0);
    add.Guid(IID_IUnknown);
    const QDBusMessage added = Call(c, server, TIface::Server, 0, add);
    ASSERT_EQ(Hr(added), S_OK);
    const QByteArray addedBytes = added.arguments().value(1).toByteArray();
    opcbus::TReader ar(reinterpret_cast<const std::uint8_t*>(addedBytes.constData()),
                       addedBytes.size());
    ar.U32();
    ar.U32();
    const std::uint32_t group = ar.U32();
    ASSERT_NE(group, 0u);

    struct Lie {
        const char* What;
        std::uint32_t Object;
        TIface Iface;
        std::uint16_t Method;
        std::function<void(opcbus::TWriter&)> Write;
        HRESULT Expected;
    };
    const Lie lies[] = {
        {"trailing bytes", server, TIface::Server, 3, [](auto& w) { w.U8(1); }, E_INVALIDARG},
        {"name longer than the message", server, TIface::Server, 2,
         [](auto& w) { w.U32(0x7FFFFFF0); }, E_INVALIDARG},
        {"four billion items to add", group, TIface::ItemMgt, 0,
         [](auto& w) {
             w.U32(0xFFFFFFFF);
             w.U32(0xFFFFFFFF);
         },
         E_INVALIDARG},
        {"count larger than the handles sent", group, TIface::SyncIO, 0,
         [](auto& w) {
             w.I32(OPC_DS_CACHE);
             w.U32(1000);
             w.U32(1000);
             w.U32(1);
         },
         E_INVALIDARG},
        {"a value of a type that cannot cross", group, TIface::SyncIO, 1,
         [](auto& w) {
             w.U32(1);
             w.U32(1);
             w.U32(1);
             w.U32(1);
             w.U16(VT_UNKNOWN);
             w.U64(0x1234);
         },
         E_INVALIDARG},
        {"an interface the object lacks", server, TIface::SyncIO, 0, [](auto&) {}, E_NOINTERFACE},
        {"an interface code nobody knows", server, static_cast<TIface>(999), 0, [](auto&) {},
         E_NOINTERFACE},
        {"a method number past the end", server, TIface::Server, 77, [](auto&) {}, E_INVALIDARG},
        {"releasing more than was handed out", group, TIface::Unknown, opcbus::kRelease,
         [](auto& w) { w.U32(5); }, E_INVALIDARG},
        {"releasing nothing", group, TIface::Unknown, opcbus::kRelease, [](auto& w) { w.U32(0); },
         E_INVALIDARG},
        {"the class object asked something else", 0, TIface::Server, 3, [](auto&) {}, E_INVALIDARG},
    };
    for (const Lie& lie : lies) {
        opcbus::TWriter w;
        lie.Write(w);
        EXPECT_EQ(Hr(Call(c, lie.Object, lie.Iface, lie.Method, w)), lie.Expected) << lie.What;
    }
    // The objects still serve their owner.
    EXPECT_EQ(Hr(Call(c, server, TIface::Server, 3, opcbus::TWriter{})), S_OK);
    ExpectServerHealthy();
}

TEST_F(RawBus, AClientCannotNameCallOrReleaseAnotherClientsObjects) {
    ASSERT_TRUE(NameOwned(SimulatorBusName()));
    QDBusConnection owner = Connection("owner");
    QDBusConnection other = Connection("other");
    const std::uint32_t server = Create(owner);
    ASSERT_NE(server, 0u);
    EXPECT_EQ(Hr(Call(other, server, TIface::Server, 3, opcbus::TWriter{})), RPC_E_DISCONNECTED);
    opcbus::TWriter release;
    release.U32(1);
    EXPECT_EQ(Hr(Call(other, server, TIface::Unknown, opcbus::kRelease, release)),
              RPC_E_DISCONNECTED);
    EXPECT_EQ(Hr(Call(other, 0x00FFFFFF, TIface::Server, 3, opcbus::TWriter{})),
              RPC_E_DISCONNECTED);
    EXPECT_EQ(Hr(Call(owner, server, TIface::Server, 3, opcbus::TWriter{})), S_OK);
    EXPECT_EQ(Hr(Call(owner, server, TIface::Unknown, opcbus::kRelease, release)), S_OK);
    EXPECT_EQ(Hr(Call(owner, server, TIface::Server, 3, opcbus::TWriter{})), RPC_E_DISCONNECTED)
        << "released means gone";
    ExpectServerHealthy();
}

}  // namespace
}  // namespace corvane::test
