// Speed of a group's update tick: polling unchanged items, and delivering a change of
// every item through one OnDataChange or one DA 1.0 stream (12- and 20-byte headers).
// One benchmark iteration is one tick; the item count is the argument.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "CountingCallback.h"
#include "GroupHost.h"
#include "corvane/platform/Text.h"
#include "opcgroups/DataStream.h"
#include "opcgroups/Group.h"
#include "opcgroups/GroupList.h"
#include "opcgroups/ServerItems.h"
#include "opcserver/ItemServer.h"

using namespace corvane;
using namespace corvane::opc;

namespace {

// Boolean items "B0", "B1", ... whose values the benchmark flips.
class BenchItemServer final : public TOpcItemServer {
  public:
    explicit BenchItemServer(std::size_t n) : Values(n, VARIANT_FALSE) {}
    TItemHandle GetItemInfo(const std::string& id, std::string&, TAccessRights& rights) override {
        rights = TAccessRights(TAccessRights::Readable | TAccessRights::Writeable);
        return static_cast<TItemHandle>(std::stoul(id.substr(1)));
    }
    platform::Variant GetItemValue(TItemHandle h, WORD&) override {
        platform::Variant v;
        v->vt = VT_BOOL;
        v->boolVal = Values[static_cast<std::size_t>(h)];
        return v;
    }
    void SetItemValue(TItemHandle, const VARIANT&) override {}
    void Flip() {
        for (auto& v : Values) v = v ? VARIANT_FALSE : VARIANT_TRUE;
    }
    std::vector<VARIANT_BOOL> Values;
};

class NullSink final : public IAdviseSink {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override { ++Streams; }
    void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {}
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
    void STDMETHODCALLTYPE OnSave() override {}
    void STDMETHODCALLTYPE OnClose() override {}
    std::size_t Streams = 0;
};

enum class Delivery { None, Callback, Stream12, Stream20 };

// One active group of n active items with the chosen subscriber.
struct Rig {
    Rig(std::size_t n, Delivery d) {
        InstallServerItemList();
        Server = std::make_unique<BenchItemServer>(n);
        HostObject = std::make_unique<bench::THost>();
        const std::u16string name = platform::WideFromNarrow("G");
        IUnknown* unk = nullptr;
        OPCHANDLE h = 0;
        DWORD revised = 0;
        HostObject->List.AddGroup(name.c_str(), TRUE, 1000, 1, nullptr, nullptr, 0x409, &h,
                                  &revised, IID_IOPCItemMgt, &unk);
        Group = TGroupImpl::FromHandle(h);
        std::vector<std::u16string> ids;
        for (std::size_t i = 0; i < n; ++i)
            ids.push_back(platform::WideFromNarrow("B" + std::to_string(i)));
        std::vector<OPCITEMDEF> defs(n);
        for (std::size_t i = 0; i < n; ++i) {
            defs[i].szItemID = const_cast<LPWSTR>(ids[i].c_str());
            defs[i].bActive = TRUE;
            defs[i].hClient = static_cast<OPCHANDLE>(i);
        }
        OPCITEMRESULT* results = nullptr;
        HRESULT* errors = nullptr;
        static_cast<IOPCItemMgt*>(unk)->AddItems(static_cast<DWORD>(n), defs.data(), &results,
                                                 &errors);
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        if (d == Delivery::Callback)
            Group->DataCallback = platform::ComPtr<IOPCDataCallback>(&Callback);
        if (d == Delivery::Stream12) Group->StreamSinks[0] = platform::ComPtr<IAdviseSink>(&Sink);
        if (d == Delivery::Stream20) Group->StreamSinks[1] = platform::ComPtr<IAdviseSink>(&Sink);
        Group->UpdateTick();  // reports the primed values
        unk->Release();
    }
    ~Rig() {
        HostObject.reset();
        Server.reset();
    }
    bench::TCountingCallback Callback;
    NullSink Sink;
    std::unique_ptr<BenchItemServer> Server;
    std::unique_ptr<bench::THost> HostObject;
    TGroupImpl* Group = nullptr;
};

void BM_TickUnchanged(benchmark::State& state) {
    Rig rig(static_cast<std::size_t>(state.range(0)), Delivery::Callback);
    for (auto _ : state) rig.Group->UpdateTick();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void TickAllChanged(benchmark::State& state, Delivery d) {
    Rig rig(static_cast<std::size_t>(state.range(0)), d);
    for (auto _ : state) {
        state.PauseTiming();
        rig.Server->Flip();
        state.ResumeTiming();
        rig.Group->UpdateTick();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    if (rig.Callback.Values == 0 && rig.Sink.Streams == 0) state.SkipWithError("nothing delivered");
}

void BM_TickAllChangedCallback(benchmark::State& state) {
    TickAllChanged(state, Delivery::Callback);
}
void BM_TickAllChangedStream12(benchmark::State& state) {
    TickAllChanged(state, Delivery::Stream12);
}
void BM_TickAllChangedStream20(benchmark::State& state) {
    TickAllChanged(state, Delivery::Stream20);
}

}  // namespace

BENCHMARK(BM_TickUnchanged)->RangeMultiplier(10)->Range(10, 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickAllChangedCallback)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickAllChangedStream12)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickAllChangedStream20)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Unit(benchmark::kMicrosecond);
