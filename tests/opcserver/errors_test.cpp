// Exception-to-result conversion, the OPC message table and GetErrorString.
#include <gtest/gtest.h>

#include "case_names.h"
#include "opcserver/OpcErrors.h"
#include "test_item_server.h"

using namespace corvane::opc;

namespace {

struct ResultCase {
    HRESULT raised;
    HRESULT returned;
};

const ResultCase kResults[] = {
    {OPC_E_INVALIDHANDLE, OPC_E_INVALIDHANDLE},
    {E_OUTOFMEMORY, E_OUTOFMEMORY},
    {OPC_S_CLAMP, E_FAIL},  // a raised success code is still a failure
    {OPC_S_INUSE, E_FAIL},
    {S_OK, E_FAIL},
    {S_FALSE, E_FAIL},
    {static_cast<HRESULT>(0x80000000), static_cast<HRESULT>(0x80000000)},
};

class ResultOf : public ::testing::TestWithParam<ResultCase> {};

TEST_P(ResultOf, FailureCodesPassAndSuccessCodesBecomeEFail) {
    EXPECT_EQ(OpcResultOf(EOpcError(GetParam().raised)), GetParam().returned);
    EXPECT_STREQ(EOpcError(GetParam().raised).what(), "");
}

INSTANTIATE_TEST_SUITE_P(Codes, ResultOf, ::testing::ValuesIn(kResults), [](const auto& info) {
    return "Raised" + corvane::test::HexName(info.param.raised);
});

struct TextCase {
    HRESULT code;
    const char* text;
};

const TextCase kTexts[] = {
    {0x0004000D,
     "The server does not support the requested data rate but will use the closest available "
     "rate."},
    {0x0004000E, "A value passed to WRITE was accepted but the output was clamped."},
    {0x0004000F,
     "The operation cannot be completed because the object still has references that exist."},
    {(HRESULT)0xC0040001, "The value of the handle is invalid."},
    {(HRESULT)0xC0040004, "requested data type and the canonical data type."},
    {(HRESULT)0xC0040005, "The requested operation cannot be done on a public group."},
    {(HRESULT)0xC0040006, "The Items AccessRights do not allow the operation."},
    {(HRESULT)0xC0040007, "The item is no longer available in the server address space."},
    {(HRESULT)0xC0040008, "The item definition doesn't conform to the server's syntax."},
    {(HRESULT)0xC0040009, "The filter string was not valid."},
    {(HRESULT)0xC004000A, "The item's access path is not known to the server."},
    {(HRESULT)0xC004000B, "The value was out of range."},
    {(HRESULT)0xC004000C, "Duplicate name not allowed."},
    {(HRESULT)0xC0040010, "The server's configuration file is an invalid format."},
    {(HRESULT)0xC0040011, "The server could not locate the requested object."},
    {(HRESULT)0xC0040203, "The server does not recognise the passed property ID."},
};

class OpcText : public ::testing::TestWithParam<TextCase> {};

TEST_P(OpcText, IsExact) {
    ASSERT_NE(OpcErrorText(GetParam().code), nullptr);
    EXPECT_STREQ(OpcErrorText(GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, OpcText, ::testing::ValuesIn(kTexts), [](const auto& info) {
    return "Code" + corvane::test::HexName(info.param.code);
});

TEST(OpcText, CodesOutsideTheTableHaveNone) {
    EXPECT_EQ(OpcErrorText(E_FAIL), nullptr);
    EXPECT_EQ(OpcErrorText(static_cast<HRESULT>(0xC0040002)), nullptr);
    EXPECT_EQ(OpcErrorText(static_cast<HRESULT>(0xC0040400)), nullptr);  // DA 3.0 only
}

TEST(OpcText, ServerMessagesAreExact) {
    EXPECT_EQ(InvalidBranchName("Temp"), "Temp is an invalid branch name");
    EXPECT_EQ(ClipFormatFailed("OPCSTMFORMATDATA"),
              "Could not register OPCSTMFORMATDATA clip format");
    EXPECT_STREQ(kNoItemServer, "OPCSERV: No item server");
    EXPECT_STREQ(kOnlyOneNamespace, "OPCSERV: Only one instance of namespace allowed");
    EXPECT_STREQ(kNoOpcWindow, "OPCSERV: Could not allocate Opc Window");
    EXPECT_STREQ(kFlatNewBranch, "Cannot call NewBranch in flat address space");
}

class GetErrorStringBase : public ::testing::Test {
  protected:
    corvane::test::Simulator server;
};

TEST_F(GetErrorStringBase, OpcTableFirst) {
    EXPECT_EQ(server.GetErrorString(OPC_E_BADTYPE, 0x409),
              "requested data type and the canonical data type.");
    EXPECT_EQ(server.GetErrorString(OPC_E_BADTYPE, 0x407),
              "requested data type and the canonical data type.");
}

TEST_F(GetErrorStringBase, ThenTheSystemTableInTheLocaleLanguage) {
    EXPECT_EQ(server.GetErrorString(E_FAIL, 0x409), "Unspecified error\r\n");
    EXPECT_EQ(server.GetErrorString(E_INVALIDARG, LOCALE_SYSTEM_DEFAULT),
              "The parameter is incorrect.\r\n");
}

TEST_F(GetErrorStringBase, NoTextRaisesInvalidArg) {
    try {
        server.GetErrorString(E_FAIL, 0x407);  // no German system texts
        FAIL();
    } catch (const EOpcError& e) {
        EXPECT_EQ(e.Code(), E_INVALIDARG);
    }
    EXPECT_THROW(server.GetErrorString(0x12345678, 0x409), EOpcError);
}

}  // namespace
