// A headless OPC server for the bus benchmarks: the real server object, groups and bus
// export, over items "B0", "B1", ... whose Boolean values all flip whenever item B0 is
// polled, so that every update tick of a group holding B0 changes every item.
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>

#include "corvane/platform/MessageLoop.h"
#include "corvane/platform/Registry.h"
#include "objbase.h"
#include "opcbus/BusServer.h"
#include "opcserver/ItemServer.h"
#include "opcserver/Registration.h"

using namespace corvane;

namespace {

constexpr CLSID kBenchServer = {
    0x5B0C7D10, 0x2F41, 0x4E6A, {0x9C, 0x11, 0x7A, 0x52, 0xE3, 0x08, 0xB4, 0x6D}};

class FlipItemServer final : public opc::TOpcItemServer {
  public:
    opc::TItemHandle GetItemInfo(const std::string& id, std::string&,
                                 opc::TAccessRights& rights) override {
        if (id.size() < 2 || id.size() > 6 || id[0] != 'B' ||
            !std::all_of(id.begin() + 1, id.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return 0;
        rights = opc::TAccessRights(opc::TAccessRights::Readable);
        return static_cast<opc::TItemHandle>(std::stoul(id.substr(1)) + 1);
    }
    platform::Variant GetItemValue(opc::TItemHandle h, WORD&) override {
        if (h == 1) ++generation_;
        platform::Variant v;
        v->vt = VT_BOOL;
        v->boolVal = (generation_ & 1) ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    void SetItemValue(opc::TItemHandle, const VARIANT&) override {}

  private:
    unsigned long generation_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    platform::ClassesRoot registry;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    opc::RegisterCategoriesManager(registry.File());
    opc::RegisterOpcServer(kBenchServer, 2, "Bus benchmark server", "Corvane",
                           std::make_unique<FlipItemServer>());
    opc::TComServer::Instance().Initialize(opc::TStartMode::Normal, {registry, argv[0]});

    // The server window's queue, driven from Qt's loop.
    QTimer next;
    next.setSingleShot(true);
    next.setTimerType(Qt::PreciseTimer);
    const auto pump = [&next] {
        platform::ProcessMessages();
        if (const auto due = platform::MillisecondsUntilNextTimer())
            next.start(static_cast<int>(std::min<std::uint64_t>(*due, 1u << 30)));
    };
    QObject::connect(&next, &QTimer::timeout, pump);
    platform::SetMessageWakeup(
        [&] { QMetaObject::invokeMethod(&next, pump, Qt::QueuedConnection); });

    int result = 1;
    {
        opcbus::TBusServer server(QDBusConnection::sessionBus());
        QString error;
        if (server.Start({kBenchServer}, &error)) {
            result = QCoreApplication::exec();
        } else {
            std::fprintf(stderr, "bus_bench_server: %s\n", error.toLocal8Bit().constData());
        }
    }
    platform::SetMessageWakeup(nullptr);
    opc::TComServer::Instance().Shutdown();
    return result;
}
