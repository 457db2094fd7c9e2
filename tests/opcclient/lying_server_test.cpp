// The client library against a server that lies: every reply that carries data is given
// as the server would write it, one byte short, and one byte long. A good reply reaches
// the caller; a bad one is RPC_E_INVALID_DATA with every out-pointer left null, no proxy
// made and nothing allocated (the sanitizer build sees leaks).
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <utility>

#include "ClientRuntime.h"
#include "ProxyManager.h"
#include "objbase.h"
#include "opcbus/Marshal.h"
#include "opcclient/BusClient.h"
#include "opcda.h"

namespace corvane::opcclient {
namespace {

using opcbus::TIface;
using opcbus::TWriter;

constexpr std::uint32_t kObject = 7;  // the proxy under test
constexpr std::uint32_t kOther = 9;   // an object a reply hands out

template <class T>
T* Sentinel() {
    return reinterpret_cast<T*>(static_cast<std::uintptr_t>(0xdeadbeef));
}

// What the call made of the reply: its result and whether every out-pointer is null.
struct Outcome {
    HRESULT hr;
    bool outsEmpty;
};

struct LyingCase {
    const char* name;
    const IID* iid;  // the proxy's interface
    std::function<TWriter()> reply;
    // Calls the method with sentinel outs and frees whatever it was given.
    std::function<Outcome(IUnknown&)> call;
};

template <class I>
I& As(IUnknown& u) {
    return static_cast<I&>(u);
}

TWriter ObjectReply() {
    TWriter w;
    w.U32(kOther);
    return w;
}

TWriter StringReply() {
    TWriter w;
    w.Str(u"Text");
    return w;
}

TWriter ErrorsReply() {
    TWriter w;
    const HRESULT errors[] = {S_OK, E_FAIL};
    opcbus::PutHResults(w, errors, 2);
    return w;
}

Outcome Object(HRESULT hr, IUnknown* object) {
    // A sentinel left in place is a failure of its own, never a reference to release.
    if (object == Sentinel<IUnknown>()) return {hr, false};
    if (object) object->Release();
    return {hr, object == nullptr};
}

Outcome String(HRESULT hr, LPWSTR s) {
    const bool empty = s == nullptr;
    if (!empty) CoTaskMemFree(s);
    return {hr, empty};
}

Outcome Errors(HRESULT hr, HRESULT* errors) {
    const bool empty = errors == nullptr;
    if (!empty) CoTaskMemFree(errors);
    return {hr, empty};
}

const LyingCase kCases[] = {
    {"AddGroup", &IID_IOPCServer,
     [] {
         TWriter w;
         w.U32(1);
         w.U32(100);
         w.U32(kOther);
         return w;
     },
     [](IUnknown& u) {
         OPCHANDLE h = 0;
         DWORD revised = 0;
         IUnknown* group = Sentinel<IUnknown>();
         const HRESULT hr = As<IOPCServer>(u).AddGroup(u"G", TRUE, 100, 1, nullptr, nullptr, 0x409,
                                                       &h, &revised, IID_IOPCItemMgt, &group);
         return Object(hr, group);
     }},
    {"GetErrorString", &IID_IOPCServer, StringReply,
     [](IUnknown& u) {
         LPWSTR s = Sentinel<WCHAR>();
         const HRESULT hr = As<IOPCServer>(u).GetErrorString(E_FAIL, 0x409, &s);
         return String(hr, s);
     }},
    {"GetStatus", &IID_IOPCServer,
     [] {
         TWriter w;
         OPCSERVERSTATUS status{};
         status.dwServerState = OPC_STATUS_RUNNING;
         status.szVendorInfo = const_cast<LPWSTR>(u"Vendor");
         opcbus::PutStatus(w, status);
         return w;
     },
     [](IUnknown& u) {
         OPCSERVERSTATUS* status = Sentinel<OPCSERVERSTATUS>();
         const HRESULT hr = As<IOPCServer>(u).GetStatus(&status);
         const bool empty = status == nullptr;
         if (!empty) {
             CoTaskMemFree(status->szVendorInfo);
             CoTaskMemFree(status);
         }
         return Outcome{hr, empty};
     }},
    {"CreateGroupEnumerator", &IID_IOPCServer, ObjectReply,
     [](IUnknown& u) {
         IUnknown* e = Sentinel<IUnknown>();
         const HRESULT hr = As<IOPCServer>(u).CreateGroupEnumerator(OPC_ENUM_ALL_CONNECTIONS,
                                                                    IID_IEnumUnknown, &e);
         return Object(hr, e);
     }},
    {"QueryAvailableLocaleIDs", &IID_IOPCCommon,
     [] {
         TWriter w;
         const DWORD ids[] = {0x409, 0x407};
         opcbus::PutDwords(w, ids, 2);
         return w;
     },
     [](IUnknown& u) {
         DWORD n = 0xdeadbeef;
         LCID* ids = Sentinel<LCID>();
         const HRESULT hr = As<IOPCCommon>(u).QueryAvailableLocaleIDs(&n, &ids);
         const bool empty = ids == nullptr && n == 0;
         CoTaskMemFree(ids);
         return Outcome{hr, empty};
     }},
    {"BrowseOPCItemIDs", &IID_IOPCBrowseServerAddressSpace, ObjectReply,
     [](IUnknown& u) {
         IEnumString* e = Sentinel<IEnumString>();
         const HRESULT hr =
             As<IOPCBrowseServerAddressSpace>(u).BrowseOPCItemIDs(OPC_FLAT, u"", VT_EMPTY, 0, &e);
         return Object(hr, e);
     }},
    {"GetItemID", &IID_IOPCBrowseServerAddressSpace, StringReply,
     [](IUnknown& u) {
         LPWSTR s = Sentinel<WCHAR>();
         const HRESULT hr =
             As<IOPCBrowseServerAddressSpace>(u).GetItemID(const_cast<LPWSTR>(u"Item"), &s);
         return String(hr, s);
     }},
    {"QueryAvailableProperties", &IID_IOPCItemProperties,
     [] {
         TWriter w;
         const DWORD ids[] = {1, 2};
         LPWSTR names[] = {const_cast<LPWSTR>(u"Type"), const_cast<LPWSTR>(u"Value")};
         opcbus::PutDwords(w, ids, 2);
         opcbus::PutStrings(w, names, 2);
         w.U16(VT_I2);
         w.U16(VT_VARIANT);
         return w;
     },
     [](IUnknown& u) {
         DWORD n = 0;
         DWORD* ids = Sentinel<DWORD>();
         LPWSTR* names = Sentinel<LPWSTR>();
         VARTYPE* types = Sentinel<VARTYPE>();
         const HRESULT hr = As<IOPCItemProperties>(u).QueryAvailableProperties(
             const_cast<LPWSTR>(u"Item"), &n, &ids, &names, &types);
         const bool empty = !ids && !names && !types;
         if (!empty) {
             CoTaskMemFree(ids);
             proxy::FreeStrings(names, n);
             CoTaskMemFree(types);
         }
         return Outcome{hr, empty};
     }},
    {"GetItemProperties", &IID_IOPCItemProperties,
     [] {
         TWriter w;
         VARIANT values[2];
         values[0].vt = VT_I4;
         values[0].lVal = 5;
         values[1].vt = VT_BOOL;
         values[1].boolVal = VARIANT_TRUE;
         opcbus::PutVariants(w, values, 2);
         const HRESULT errors[] = {S_OK, S_OK};
         opcbus::PutHResults(w, errors, 2);
         return w;
     },
     [](IUnknown& u) {
         DWORD ids[] = {1, 2};
         VARIANT* values = Sentinel<VARIANT>();
         HRESULT* errors = Sentinel<HRESULT>();
         const HRESULT hr = As<IOPCItemProperties>(u).GetItemProperties(const_cast<LPWSTR>(u"Item"),
                                                                        2, ids, &values, &errors);
         const bool empty = !values && !errors;
         if (!empty) {
             for (int i = 0; i < 2; ++i) VariantClear(&values[i]);
             CoTaskMemFree(values);
             CoTaskMemFree(errors);
         }
         return Outcome{hr, empty};
     }},
    {"LookupItemIDs", &IID_IOPCItemProperties,
     [] {
         TWriter w;
         LPWSTR names[] = {const_cast<LPWSTR>(u"A"), const_cast<LPWSTR>(u"B")};
         opcbus::PutStrings(w, names, 2);
         const HRESULT errors[] = {S_OK, S_OK};
         opcbus::PutHResults(w, errors, 2);
         return w;
     },
     [](IUnknown& u) {
         DWORD ids[] = {1, 2};
         LPWSTR* names = Sentinel<LPWSTR>();
         HRESULT* errors = Sentinel<HRESULT>();
         const HRESULT hr = As<IOPCItemProperties>(u).LookupItemIDs(const_cast<LPWSTR>(u"Item"), 2,
                                                                    ids, &names, &errors);
         const bool empty = !names && !errors;
         if (!empty) {
             proxy::FreeStrings(names, 2);
             CoTaskMemFree(errors);
         }
         return Outcome{hr, empty};
     }},
    {"FindConnectionPoint", &IID_IConnectionPointContainer, ObjectReply,
     [](IUnknown& u) {
         IConnectionPoint* point = Sentinel<IConnectionPoint>();
         const HRESULT hr =
             As<IConnectionPointContainer>(u).FindConnectionPoint(IID_IOPCShutdown, &point);
         return Object(hr, point);
     }},
    {"GetState", &IID_IOPCGroupStateMgt,
     [] {
         TWriter w;
         w.U32(100);
         w.I32(TRUE);
         w.Str(u"Group");
         w.I32(0);
         w.F32(0);
         w.U32(0x409);
         w.U32(1);
         w.U32(2);
         return w;
     },
     [](IUnknown& u) {
         DWORD rate = 0, lcid = 0;
         BOOL active = FALSE;
         LONG bias = 0;
         FLOAT deadband = 0;
         OPCHANDLE client = 0, server = 0;
         LPWSTR name = Sentinel<WCHAR>();
         const HRESULT hr = As<IOPCGroupStateMgt>(u).GetState(&rate, &active, &name, &bias,
                                                              &deadband, &lcid, &client, &server);
         return String(hr, name);
     }},
    {"CloneGroup", &IID_IOPCGroupStateMgt, ObjectReply,
     [](IUnknown& u) {
         IUnknown* clone = Sentinel<IUnknown>();
         const HRESULT hr = As<IOPCGroupStateMgt>(u).CloneGroup(u"Copy", IID_IOPCItemMgt, &clone);
         return Object(hr, clone);
     }},
    {"AddItems", &IID_IOPCItemMgt,
     [] {
         TWriter w;
         OPCITEMRESULT results[2] = {};
         results[0].hServer = 1;
         results[1].hServer = 2;
         opcbus::PutItemResults(w, results, 2);
         const HRESULT errors[] = {S_OK, S_OK};
         opcbus::PutHResults(w, errors, 2);
         return w;
     },
     [](IUnknown& u) {
         OPCITEMDEF defs[2] = {};
         defs[0].szItemID = const_cast<LPWSTR>(u"A");
         defs[1].szItemID = const_cast<LPWSTR>(u"B");
         OPCITEMRESULT* results = Sentinel<OPCITEMRESULT>();
         HRESULT* errors = Sentinel<HRESULT>();
         const HRESULT hr = As<IOPCItemMgt>(u).AddItems(2, defs, &results, &errors);
         const bool empty = !results && !errors;
         if (!empty) {
             for (int i = 0; i < 2; ++i) CoTaskMemFree(results[i].pBlob);
             CoTaskMemFree(results);
             CoTaskMemFree(errors);
         }
         return Outcome{hr, empty};
     }},
    {"RemoveItems", &IID_IOPCItemMgt, ErrorsReply,
     [](IUnknown& u) {
         OPCHANDLE handles[] = {1, 2};
         HRESULT* errors = Sentinel<HRESULT>();
         const HRESULT hr = As<IOPCItemMgt>(u).RemoveItems(2, handles, &errors);
         return Errors(hr, errors);
     }},
    {"CreateEnumerator", &IID_IOPCItemMgt, ObjectReply,
     [](IUnknown& u) {
         IUnknown* e = Sentinel<IUnknown>();
         const HRESULT hr = As<IOPCItemMgt>(u).CreateEnumerator(IID_IEnumOPCItemAttributes, &e);
         return Object(hr, e);
     }},
    {"SyncRead", &IID_IOPCSyncIO,
     [] {
         TWriter w;
         OPCITEMSTATE states[2] = {};
         states[0].vDataValue.vt = VT_BOOL;
         states[0].vDataValue.boolVal = VARIANT_TRUE;
         states[1].vDataValue.vt = VT_I2;
         states[1].vDataValue.iVal = 3;
         opcbus::PutItemStates(w, states, 2);
         const HRESULT errors[] = {S_OK, S_OK};
         opcbus::PutHResults(w, errors, 2);
         return w;
     },
     [](IUnknown& u) {
         OPCHANDLE handles[] = {1, 2};
         OPCITEMSTATE* states = Sentinel<OPCITEMSTATE>();
         HRESULT* errors = Sentinel<HRESULT>();
         const HRESULT hr = As<IOPCSyncIO>(u).Read(OPC_DS_DEVICE, 2, handles, &states, &errors);
         const bool empty = !states && !errors;
         if (!empty) {
             for (int i = 0; i < 2; ++i) VariantClear(&states[i].vDataValue);
             CoTaskMemFree(states);
             CoTaskMemFree(errors);
         }
         return Outcome{hr, empty};
     }},
    {"SyncWrite", &IID_IOPCSyncIO, ErrorsReply,
     [](IUnknown& u) {
         OPCHANDLE handles[] = {1, 2};
         VARIANT values[2];
         for (VARIANT& v : values) {
             VariantInit(&v);
             v.vt = VT_BOOL;
             v.boolVal = VARIANT_TRUE;
         }
         HRESULT* errors = Sentinel<HRESULT>();
         const HRESULT hr = As<IOPCSyncIO>(u).Write(2, handles, values, &errors);
         return Errors(hr, errors);
     }},
    {"AsyncRead2", &IID_IOPCAsyncIO2,
     [] {
         TWriter w = ErrorsReply();
         TWriter id;
         id.U32(42);
         id.U8(1);
         for (std::uint8_t b : w.Data()) id.U8(b);
         return id;
     },
     [](IUnknown& u) {
         OPCHANDLE handles[] = {1, 2};
         DWORD cancel = 0;
         HRESULT* errors = Sentinel<HRESULT>();
         const HRESULT hr = As<IOPCAsyncIO2>(u).Read(2, handles, 5, &cancel, &errors);
         return Errors(hr, errors);
     }},
    {"EnumStringNext", &IID_IEnumString,
     [] {
         TWriter w;
         w.U32(2);
         w.Str(u"A");
         w.Str(u"B");
         return w;
     },
     [](IUnknown& u) {
         LPOLESTR got[2] = {Sentinel<WCHAR>(), Sentinel<WCHAR>()};
         ULONG fetched = 0xdeadbeef;
         const HRESULT hr = As<IEnumString>(u).Next(2, got, &fetched);
         if (SUCCEEDED(hr)) {
             for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(got[i]);
             return Outcome{hr, false};
         }
         // The caller's array is not the enumerator's to touch on failure; the count is.
         return Outcome{hr, fetched == 0};
     }},
    {"EnumAttributesNext", &IID_IEnumOPCItemAttributes,
     [] {
         TWriter w;
         w.U32(2);
         OPCITEMATTRIBUTES a{};
         a.szAccessPath = const_cast<LPWSTR>(u"");
         a.szItemID = const_cast<LPWSTR>(u"Item");
         VariantInit(&a.vEUInfo);
         opcbus::PutItemAttributes(w, a);
         opcbus::PutItemAttributes(w, a);
         return w;
     },
     [](IUnknown& u) {
         OPCITEMATTRIBUTES* items = Sentinel<OPCITEMATTRIBUTES>();
         ULONG fetched = 0xdeadbeef;
         const HRESULT hr = As<IEnumOPCItemAttributes>(u).Next(2, &items, &fetched);
         const bool empty = items == nullptr && fetched == 0;
         if (items) {
             for (ULONG i = 0; i < fetched; ++i) opcbus::FreeItemAttributes(items[i]);
             CoTaskMemFree(items);
         }
         return Outcome{hr, empty};
     }},
};

enum class Reply { AsWritten, OneByteShort, OneByteLong };

const char* Name(Reply r) {
    switch (r) {
        case Reply::AsWritten:
            return "AsWritten";
        case Reply::OneByteShort:
            return "OneByteShort";
        case Reply::OneByteLong:
            return "OneByteLong";
    }
    return "";
}

class LyingServer : public ::testing::TestWithParam<std::tuple<LyingCase, Reply>> {
  protected:
    void SetUp() override {
        const auto& [c, kind] = GetParam();
        std::vector<std::uint8_t> bytes = c.reply().Data();
        if (kind == Reply::OneByteShort) bytes.pop_back();
        if (kind == Reply::OneByteLong) bytes.push_back(0);
        SetCallHook([this, bytes](std::uint32_t object, TIface iface, std::uint16_t,
                                  const std::vector<std::uint8_t>&,
                                  std::vector<std::uint8_t>& out) {
            // Releases and the like carry nothing back; the call under test gets the reply.
            if (object == kObject && iface != TIface::Unknown) {
                ++calls;
                out = bytes;
            }
            return S_OK;
        });
        peer->Name = QStringLiteral(":1.999");
        ASSERT_EQ(Unmarshal(peer, kObject, *c.iid, reinterpret_cast<void**>(&proxy)), S_OK);
        proxiesBefore = LiveProxyCount();
    }
    void TearDown() override {
        if (proxy) proxy->Release();
        SetCallHook({});
    }

    std::shared_ptr<TPeer> peer = std::make_shared<TPeer>();
    IUnknown* proxy = nullptr;
    std::size_t proxiesBefore = 0;
    int calls = 0;
};

TEST_P(LyingServer, GoodRepliesArriveAndBadOnesLeaveNothingBehind) {
    const auto& [c, kind] = GetParam();
    const Outcome got = c.call(*proxy);
    EXPECT_EQ(calls, 1);
    if (kind == Reply::AsWritten) {
        EXPECT_EQ(got.hr, S_OK);
    } else {
        EXPECT_EQ(got.hr, RPC_E_INVALID_DATA);
        EXPECT_TRUE(got.outsEmpty);
    }
    EXPECT_EQ(LiveProxyCount(), proxiesBefore);
}

INSTANTIATE_TEST_SUITE_P(Methods, LyingServer,
                         ::testing::Combine(::testing::ValuesIn(kCases),
                                            ::testing::Values(Reply::AsWritten, Reply::OneByteShort,
                                                              Reply::OneByteLong)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    Name(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace corvane::opcclient
