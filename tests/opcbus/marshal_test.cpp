// The OPC structures on the bus: what a proxy writes, a stub reads back unchanged, and
// counts that disagree with the payload are refused without leaving task memory behind.
#include <gtest/gtest.h>

#include "corvane/platform/TestHooks.h"
#include "objbase.h"
#include "opcbus/Marshal.h"

namespace corvane::opcbus {
namespace {

TEST(ItemDefinitions, CrossWithNullAndEmptyStringsBlobsAndRequestedTypes) {
    BYTE blob[] = {1, 2, 3};
    OPCITEMDEF defs[2] = {
        {nullptr, const_cast<LPWSTR>(u"Start"), TRUE, 7, 3, blob, VT_BOOL, 0},
        {const_cast<LPWSTR>(u""), const_cast<LPWSTR>(u"Lamp"), FALSE, 8, 0, nullptr, VT_EMPTY, 0},
    };
    TWriter w;
    PutItemDefs(w, defs, 2);
    TReader r(w.Data());
    TItemDefs got;
    ASSERT_TRUE(GetItemDefs(r, 2, got));
    EXPECT_TRUE(r.Done());
    EXPECT_EQ(got.Defs[0].szAccessPath, nullptr);
    EXPECT_EQ(std::u16string(got.Defs[0].szItemID), u"Start");
    EXPECT_EQ(got.Defs[0].hClient, 7u);
    EXPECT_EQ(got.Defs[0].dwBlobSize, 3u);
    EXPECT_EQ(got.Defs[0].pBlob[2], 3);
    EXPECT_EQ(got.Defs[0].vtRequestedDataType, VT_BOOL);
    EXPECT_EQ(std::u16string(got.Defs[1].szAccessPath), u"");
    EXPECT_EQ(got.Defs[1].bActive, FALSE);
    EXPECT_EQ(got.Defs[1].pBlob, nullptr);
}

TEST(ItemDefinitions, AreRefusedWhenTheCountDisagreesWithTheCallOrThePayload) {
    OPCITEMDEF def{nullptr, const_cast<LPWSTR>(u"x"), TRUE, 1, 0, nullptr, VT_EMPTY, 0};
    TWriter w;
    PutItemDefs(w, &def, 1);
    TItemDefs got;
    TReader wrongCount(w.Data());
    EXPECT_FALSE(GetItemDefs(wrongCount, 2, got));
    TWriter lying;
    lying.U32(100000);
    lying.Bytes("abc", 3);
    TReader r(lying.Data());
    EXPECT_FALSE(GetItemDefs(r, 100000, got));
}

TEST(ItemStates, CrossAndAShortReplyLeavesNoTaskMemory) {
    OPCITEMSTATE states[2] = {};
    states[0].hClient = 5;
    states[0].ftTimeStamp = {0x89ABCDEF, 0x01234567};
    states[0].wQuality = 0xC0;
    states[0].vDataValue.vt = VT_BOOL;
    states[0].vDataValue.boolVal = VARIANT_TRUE;
    states[1].hClient = 6;
    states[1].vDataValue.vt = VT_BSTR;
    states[1].vDataValue.bstrVal = SysAllocString(u"text");
    TWriter w;
    PutItemStates(w, states, 2);
    VariantClear(&states[1].vDataValue);

    const std::size_t before = platform::TaskMemOutstanding();
    {
        TReader r(w.Data());
        OPCITEMSTATE* got = GetItemStatesTask(r, 2);
        ASSERT_NE(got, nullptr);
        EXPECT_TRUE(r.Done());
        EXPECT_EQ(got[0].hClient, 5u);
        EXPECT_EQ(got[0].ftTimeStamp.dwHighDateTime, 0x01234567u);
        EXPECT_EQ(got[0].vDataValue.boolVal, VARIANT_TRUE);
        EXPECT_EQ(std::u16string(got[1].vDataValue.bstrVal), u"text");
        for (int i = 0; i < 2; ++i) VariantClear(&got[i].vDataValue);
        CoTaskMemFree(got);
    }
    for (std::size_t cut = 0; cut < w.Data().size(); ++cut) {
        TReader r(w.Data().data(), cut);
        EXPECT_EQ(GetItemStatesTask(r, 2), nullptr) << "cut at " << cut;
    }
    EXPECT_EQ(platform::TaskMemOutstanding(), before);
}

TEST(ItemResults, CrossWithTheirBlobs) {
    BYTE blob[] = {9, 8};
    OPCITEMRESULT results[1] = {{42, VT_R8, 0, 3, 2, blob}};
    TWriter w;
    PutItemResults(w, results, 1);
    TReader r(w.Data());
    OPCITEMRESULT* got = GetItemResultsTask(r, 1);
    ASSERT_NE(got, nullptr);
    EXPECT_TRUE(r.Done());
    EXPECT_EQ(got[0].hServer, 42u);
    EXPECT_EQ(got[0].vtCanonicalDataType, VT_R8);
    EXPECT_EQ(got[0].dwAccessRights, 3u);
    ASSERT_EQ(got[0].dwBlobSize, 2u);
    EXPECT_EQ(got[0].pBlob[1], 8);
    CoTaskMemFree(got[0].pBlob);
    CoTaskMemFree(got);
}

TEST(HandleArrays, MustHoldExactlyTheAnnouncedCount) {
    const DWORD handles[3] = {1, 2, 3};
    TWriter w;
    PutDwords(w, handles, 3);
    TReader exact(w.Data());
    EXPECT_EQ(GetDwords(exact, 3), std::vector<DWORD>({1, 2, 3}));
    TReader fewer(w.Data());
    EXPECT_TRUE(GetDwords(fewer, 2).empty());
    EXPECT_FALSE(fewer.Ok());
    TReader more(w.Data());
    EXPECT_TRUE(GetDwords(more, 4).empty());
    EXPECT_FALSE(more.Ok());
}

TEST(ServerStatus, CrossesWithItsVendorText) {
    OPCSERVERSTATUS s{};
    s.ftStartTime = {1, 2};
    s.dwServerState = OPC_STATUS_RUNNING;
    s.dwGroupCount = 4;
    s.wMajorVersion = 1;
    s.wBuildNumber = 2;
    s.szVendorInfo = const_cast<LPWSTR>(u"Vendor");
    TWriter w;
    PutStatus(w, s);
    TReader r(w.Data());
    OPCSERVERSTATUS* got = GetStatusTask(r);
    ASSERT_NE(got, nullptr);
    EXPECT_TRUE(r.Done());
    EXPECT_EQ(got->ftStartTime.dwHighDateTime, 2u);
    EXPECT_EQ(got->dwServerState, OPC_STATUS_RUNNING);
    EXPECT_EQ(got->dwGroupCount, 4u);
    EXPECT_EQ(std::u16string(got->szVendorInfo), u"Vendor");
    CoTaskMemFree(got->szVendorInfo);
    CoTaskMemFree(got);
}

}  // namespace
}  // namespace corvane::opcbus
