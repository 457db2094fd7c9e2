// Costs of the session-bus transport, measured against a headless server on a private
// bus started for the run:
//   BareBusRoundTrip      a D-Bus method call with no arguments to the server object
//                         (QtDBus on both sides, the server's GUI-thread dispatch)
//   SyncReadOneItem       IOPCSyncIO::Read of one item from the cache through the proxy
//   ServerCpuWatching1000 the server's CPU (percent of one core) while this process
//                         watches 1000 items of a 20 ms group that all change every tick
#include <benchmark/benchmark.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <cstdio>

#include "CountingCallback.h"
#include "ProcessCpu.h"
#include "bus_process.h"
#include "objbase.h"
#include "opcbus/Protocol.h"
#include "opcda.h"
#include "winuser.h"

using namespace corvane;
using namespace corvane::test;

namespace {

constexpr CLSID kBenchServer = {
    0x5B0C7D10, 0x2F41, 0x4E6A, {0x9C, 0x11, 0x7A, 0x52, 0xE3, 0x08, 0xB4, 0x6D}};

// The bus, the server and a connected client, made once for the whole run.
struct TSetup {
    TPrivateBus Bus;
    std::unique_ptr<TChild> Server;
    IOPCServer* Opc = nullptr;
    std::string ServerName;
    bool Ok = false;

    TSetup() {
        if (!Bus.Ok()) return;
        Server = std::make_unique<TChild>(std::vector<std::string>{BUS_BENCH_SERVER}, false);
        ServerName = opcbus::BusNameFor(kBenchServer);
        if (!WaitFor([&] { return NameOwned(ServerName); }, 30s)) return;
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        Ok = SUCCEEDED(CoCreateInstance(kBenchServer, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                                        reinterpret_cast<void**>(&Opc)));
    }
};

TSetup& Setup() {
    static TSetup setup;
    return setup;
}

// A group of items B0..B(n-1) on the server; their handles.
IUnknown* AddGroup(DWORD count, BOOL active, DWORD rate, std::vector<OPCHANDLE>& handles) {
    IUnknown* group = nullptr;
    OPCHANDLE hGroup = 0;
    DWORD revised = 0;
    if (const HRESULT hr = Setup().Opc->AddGroup(u"", active, rate, 1, nullptr, nullptr, 0, &hGroup,
                                                 &revised, IID_IUnknown, &group);
        FAILED(hr)) {
        std::fprintf(stderr, "AddGroup: 0x%08X\n", static_cast<unsigned>(hr));
        return nullptr;
    }
    IOPCItemMgt* items = nullptr;
    group->QueryInterface(IID_IOPCItemMgt, reinterpret_cast<void**>(&items));
    std::vector<std::u16string> ids;
    for (DWORD i = 0; i < count; ++i) {
        const std::string id = "B" + std::to_string(i);
        ids.emplace_back(id.begin(), id.end());
    }
    std::vector<OPCITEMDEF> defs(count);
    for (DWORD i = 0; i < count; ++i)
        defs[i] = {nullptr, ids[i].data(), TRUE, i, 0, nullptr, VT_EMPTY, 0};
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    const HRESULT added = items->AddItems(count, defs.data(), &results, &errors);
    if (FAILED(added) || FAILED(errors[0]))
        std::fprintf(stderr, "AddItems: 0x%08X 0x%08X\n", static_cast<unsigned>(added),
                     static_cast<unsigned>(SUCCEEDED(added) ? errors[0] : 0));
    if (SUCCEEDED(added)) {
        for (DWORD i = 0; i < count; ++i)
            if (SUCCEEDED(errors[i])) handles.push_back(results[i].hServer);
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
    }
    items->Release();
    return group;
}

void BareBusRoundTrip(benchmark::State& state) {
    if (!Setup().Ok) return state.SkipWithError("no bus or server");
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QString::fromStdString(Setup().ServerName), opcbus::kObjectPath, opcbus::kInterfaceName,
        opcbus::kPingMethod);
    for (auto _ : state) {
        const QDBusMessage reply = bus.call(ping, QDBus::Block, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage) return state.SkipWithError("ping failed");
    }
}
BENCHMARK(BareBusRoundTrip)->Unit(benchmark::kMicrosecond);

void SyncReadOneItem(benchmark::State& state) {
    if (!Setup().Ok) return state.SkipWithError("no bus or server");
    std::vector<OPCHANDLE> handles;
    IUnknown* group = AddGroup(1, TRUE, 1000, handles);
    if (!group || handles.size() != 1) return state.SkipWithError("no group");
    IOPCSyncIO* io = nullptr;
    group->QueryInterface(IID_IOPCSyncIO, reinterpret_cast<void**>(&io));
    for (auto _ : state) {
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        const HRESULT hr = io->Read(OPC_DS_CACHE, 1, handles.data(), &states, &errors);
        if (hr != S_OK) {
            std::fprintf(stderr, "read: 0x%08X\n", static_cast<unsigned>(hr));
            return state.SkipWithError("read failed");
        }
        VariantClear(&states[0].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
    }
    io->Release();
    group->Release();
}
BENCHMARK(SyncReadOneItem)->Unit(benchmark::kMicrosecond);

void ServerCpuWatching1000(benchmark::State& state) {
    if (!Setup().Ok) return state.SkipWithError("no bus or server");
    std::vector<OPCHANDLE> handles;
    IUnknown* group = AddGroup(1000, TRUE, 20, handles);
    if (!group || handles.size() != 1000) return state.SkipWithError("no group");
    IConnectionPointContainer* container = nullptr;
    group->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    IConnectionPoint* point = nullptr;
    container->FindConnectionPoint(IID_IOPCDataCallback, &point);
    bench::TCountingCallback callback;
    DWORD cookie = 0;
    point->Advise(&callback, &cookie);
    for (auto _ : state) {
        const double cpuBefore = bench::ProcessCpuSeconds(Setup().Server->Pid());
        const std::uint64_t valuesBefore = callback.Values;
        const auto start = std::chrono::steady_clock::now();
        // The client's own message loop for five seconds.
        WaitFor(
            [&] {
                MSG msg;
                while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
                return std::chrono::steady_clock::now() - start > 5s;
            },
            10s);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["server_cpu_pct"] =
            100.0 * (bench::ProcessCpuSeconds(Setup().Server->Pid()) - cpuBefore) / seconds;
        state.counters["values_per_s"] =
            static_cast<double>(callback.Values - valuesBefore) / seconds;
    }
    point->Unadvise(cookie);
    point->Release();
    container->Release();
    group->Release();
}
BENCHMARK(ServerCpuWatching1000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (Setup().Opc) Setup().Opc->Release();
    benchmark::Shutdown();
    return 0;
}
