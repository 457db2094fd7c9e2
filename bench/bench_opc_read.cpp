// IOPCSyncIO::Read of 1000 simulator items, from the device and from the cache, against
// its reference in the same run: 1000 bare TPLC::ReadBit calls of the same addresses.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "GroupHost.h"
#include "OPCpro.h"
#include "PLC_Instruction.h"
#include "corvane/platform/Text.h"
#include "opcgroups/Group.h"
#include "opcgroups/GroupList.h"
#include "opcgroups/ServerItems.h"

using namespace corvane;
using namespace corvane::opc;

namespace {

constexpr int kItems = 1000;

std::string Address(int i) {
    const char areas[] = {'I', 'Q', 'M', 'V'};
    return std::string(1, areas[i % 4]) + std::to_string((i / 4) % 21) + "." +
           std::to_string(i % 8);
}

// The simulator serving 1000 symbols, with one active group holding all of them.
struct Rig {
    Rig() {
        InstallServerItemList();
        std::vector<std::string> lines;
        for (int i = 0; i < kItems; ++i)
            lines.push_back("S" + std::to_string(i) + " " + Address(i) + " R/W");
        symbols.Import(lines);
        plc.ResetMemory();
        server = std::make_unique<opcprovider::Simulator>(symbols);
        server->AttachPlc(&plc);
        host = std::make_unique<bench::THost>();
        const std::u16string name = platform::WideFromNarrow("G");
        IUnknown* unk = nullptr;
        OPCHANDLE h = 0;
        DWORD revised = 0;
        host->List.AddGroup(name.c_str(), TRUE, 1000, 1, nullptr, nullptr, 0x409, &h, &revised,
                            IID_IOPCSyncIO, &unk);
        io = platform::ComPtr<IOPCSyncIO>::Adopt(static_cast<IOPCSyncIO*>(unk));
        platform::ComPtr<IOPCItemMgt> mgt;
        io->QueryInterface(IID_IOPCItemMgt, mgt.PutVoid());
        std::vector<std::u16string> ids;
        for (int i = 0; i < kItems; ++i)
            ids.push_back(platform::WideFromNarrow("S" + std::to_string(i)));
        std::vector<OPCITEMDEF> defs(kItems);
        for (int i = 0; i < kItems; ++i) {
            defs[i].szItemID = const_cast<LPWSTR>(ids[i].c_str());
            defs[i].bActive = TRUE;
        }
        OPCITEMRESULT* results = nullptr;
        HRESULT* errors = nullptr;
        mgt->AddItems(kItems, defs.data(), &results, &errors);
        for (int i = 0; i < kItems; ++i) handles.push_back(results[i].hServer);
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        for (int i = 0; i < kItems; ++i) addresses.push_back(Address(i));
    }
    ~Rig() {
        io.Reset();
        host.reset();
        server.reset();
    }
    void Read(OPCDATASOURCE source) {
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        io->Read(source, kItems, handles.data(), &states, &errors);
        for (int i = 0; i < kItems; ++i) VariantClear(&states[i].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
    }

    plc::TPLC plc;
    opcprovider::TSymbolTable symbols;
    std::unique_ptr<opcprovider::Simulator> server;
    std::unique_ptr<bench::THost> host;
    platform::ComPtr<IOPCSyncIO> io;
    std::vector<OPCHANDLE> handles;
    std::vector<std::string> addresses;
};

Rig& TheRig() {
    static Rig rig;
    return rig;
}

void BM_ReadBitReference(benchmark::State& state) {
    Rig& rig = TheRig();
    for (auto _ : state) {
        int on = 0;
        for (const std::string& a : rig.addresses) on += rig.plc.ReadBit(a).value_or(false);
        benchmark::DoNotOptimize(on);
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_SyncReadDevice(benchmark::State& state) {
    Rig& rig = TheRig();
    for (auto _ : state) rig.Read(OPC_DS_DEVICE);
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_SyncReadCache(benchmark::State& state) {
    Rig& rig = TheRig();
    for (auto _ : state) rig.Read(OPC_DS_CACHE);
    state.SetItemsProcessed(state.iterations() * kItems);
}

}  // namespace

BENCHMARK(BM_ReadBitReference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SyncReadDevice)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SyncReadCache)->Unit(benchmark::kMicrosecond);
