// Byte images of the DA 1.0 streams: headers, value records of every kind, strings with
// and without the counted terminator, arrays, and the write-complete block.
#include <cstring>

#include "group_test_support.h"
#include "opcgroups/DataStream.h"

using namespace corvane;
using namespace corvane::opc;
using namespace corvane::test;

namespace {

using Bytes = std::vector<BYTE>;

Bytes Le(std::initializer_list<DWORD> words) {
    Bytes out;
    for (DWORD w : words)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(w >> (8 * i)));
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The 16-byte VARIANT record: type, three zero reserved words, the value bytes.
Bytes Record(VARTYPE vt, Bytes value = {}) {
    Bytes out{static_cast<BYTE>(vt), static_cast<BYTE>(vt >> 8), 0, 0, 0, 0, 0, 0};
    value.resize(8, 0);
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

Bytes Utf16(const char* s) {
    Bytes out;
    for (; *s; ++s) out.insert(out.end(), {static_cast<BYTE>(*s), 0});
    return out;
}

platform::Variant Vector(VARTYPE vt, std::initializer_list<LONGLONG> values, LONG low = 0) {
    platform::Variant v;
    v->vt = VT_ARRAY | vt;
    v->parray = SafeArrayCreateVector(vt, low, static_cast<ULONG>(values.size()));
    LONG i = low;
    for (LONGLONG x : values) {
        SHORT s = static_cast<SHORT>(x);
        SafeArrayPutElement(v->parray, &i, &s);
        ++i;
    }
    return v;
}

platform::Variant Strings(std::initializer_list<const char*> texts) {
    platform::Variant v;
    v->vt = VT_ARRAY | VT_BSTR;
    v->parray = SafeArrayCreateVector(VT_BSTR, 1, static_cast<ULONG>(texts.size()));
    LONG i = 1;
    for (const char* t : texts) {
        const std::u16string w = platform::WideFromNarrow(t);
        BSTR b = SysAllocString(w.c_str());
        SafeArrayPutElement(v->parray, &i, b);
        SysFreeString(b);
        ++i;
    }
    return v;
}

// The SAFEARRAY record of a one-dimensional array: dims, features, element size, locks,
// a zero data pointer, then the bound.
Bytes Descriptor(const SAFEARRAY& sa) {
    Bytes out{1, 0, static_cast<BYTE>(sa.fFeatures), static_cast<BYTE>(sa.fFeatures >> 8)};
    return Cat({out, Le({sa.cbElements, sa.cLocks, 0, sa.rgsabound[0].cElements,
                         static_cast<DWORD>(sa.rgsabound[0].lLbound)})});
}

struct RecordCase {
    const char* name;
    platform::Variant (*make)();
    bool withNull;
    Bytes (*expected)(const VARIANT&);
};

void PrintTo(const RecordCase& c, std::ostream* os) {
    *os << c.name;
}

class ValueRecords : public ::testing::TestWithParam<RecordCase> {};

TEST_P(ValueRecords, AreWrittenByteForByteAfterTheHeaders) {
    const RecordCase& c = GetParam();
    const platform::Variant value = c.make();
    TDataChangeStream2 stream(1);
    stream.SetGroupHeader(0, 0);
    stream.BeginItem(0, 9);
    stream.WriteValueRecord(value.Get(), c.withNull);
    stream.Finish(true);
    const Bytes& bytes = stream.Bytes();
    ASSERT_GE(bytes.size(), 32u);
    EXPECT_EQ(Bytes(bytes.begin() + 32, bytes.end()), c.expected(value.Get()));
    DWORD size = 0, offset = 0;
    std::memcpy(&size, bytes.data(), 4);
    std::memcpy(&offset, bytes.data() + 24, 4);
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(offset, 32u);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueRecords,
    ::testing::Values(RecordCase{"Empty", [] { return platform::Variant(); }, false,
                                 [](const VARIANT&) { return Record(VT_EMPTY); }},
                      RecordCase{"BoolTrue", [] { return MakeBool(true); }, false,
                                 [](const VARIANT&) {
                                     return Record(VT_BOOL, {0xFF, 0xFF});
                                 }},
                      RecordCase{"ShortMinusTwo", [] { return MakeI2(-2); }, false,
                                 [](const VARIANT&) {
                                     return Record(VT_I2, {0xFE, 0xFF});
                                 }},
                      RecordCase{"DoubleOne", [] { return MakeR8(1.0); }, false,
                                 [](const VARIANT&) {
                                     return Record(VT_R8, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
                                 }},
                      RecordCase{"StringAbc", [] { return MakeText("abc"); }, false,
                                 [](const VARIANT&) {
                                     return Cat({Record(VT_BSTR), Le({6}), Utf16("abc"), {0, 0}});
                                 }},
                      RecordCase{"StringAbcCountingTheTerminator", [] { return MakeText("abc"); },
                                 true,
                                 [](const VARIANT&) {
                                     return Cat({Record(VT_BSTR), Le({8}), Utf16("abc"), {0, 0}});
                                 }},
                      RecordCase{"EmptyString", [] { return MakeText(""); }, false,
                                 [](const VARIANT&) {
                                     return Cat({Record(VT_BSTR), Le({0}), {0, 0}});
                                 }},
                      RecordCase{"EmptyStringCountingTheTerminator", [] { return MakeText(""); },
                                 true,
                                 [](const VARIANT&) {
                                     return Cat({Record(VT_BSTR), Le({2}), {0, 0}});
                                 }},
                      RecordCase{"ArrayOfShorts",
                                 [] {
                                     return Vector(VT_I2, {1, -1, 300}, 5);
                                 },
                                 false,
                                 [](const VARIANT& v) {
                                     return Cat({Record(VT_ARRAY | VT_I2),
                                                 Descriptor(*v.parray),
                                                 {1, 0, 0xFF, 0xFF, 0x2C, 0x01}});
                                 }},
                      RecordCase{"ArrayOfStrings",
                                 [] {
                                     return Strings({"ab", ""});
                                 },
                                 true,
                                 [](const VARIANT& v) {
                                     return Cat({Record(VT_ARRAY | VT_BSTR),
                                                 Descriptor(*v.parray),
                                                 Le({6}),
                                                 Utf16("ab"),
                                                 {0, 0},
                                                 Le({2}),
                                                 {0, 0}});
                                 }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataStreams, HeadersAreReservedUpFrontAndFilledInPlace) {
    const FILETIME t = platform::FileTimeFromU64(0x0102030405060708ull);
    for (const DWORD connection : {0u, 1u}) {
        auto stream = MakeDataChangeStream(connection, 2);
        const std::size_t header = connection == 1 ? 20 : 12;
        EXPECT_EQ(stream->HasTime(), connection == 1);
        EXPECT_EQ(stream->Connection(), connection);
        EXPECT_EQ(stream->Position(), 20 + 2 * header);
        stream->SetGroupHeader(0x77, 0x1234);
        stream->BeginItem(0, 0xA1);
        stream->SetItemTime(0, t);
        stream->SetItemQuality(0, OPC_QUALITY_GOOD);
        stream->WriteValueRecord(MakeI2(5).Get(), false);
        stream->BeginItem(1, 0xA2);
        stream->SetItemQuality(1, OPC_QUALITY_BAD);
        stream->WriteValueRecord(platform::Variant().Get(), false);
        stream->Finish(false);
        const DWORD start = static_cast<DWORD>(20 + 2 * header);
        Bytes expected =
            Cat({Le({start + 32, 2, 0x77, 0x1234, S_FALSE}), Le({0xA1, start}), {0xC0, 0, 0, 0}});
        if (connection == 1) expected = Cat({expected, Le({0x05060708, 0x01020304})});
        expected = Cat({expected, Le({0xA2, start + 16}), {0, 0, 0, 0}});
        if (connection == 1) expected = Cat({expected, Le({0, 0})});
        expected = Cat({expected, Record(VT_I2, {5}), Record(VT_EMPTY)});
        EXPECT_EQ(stream->Bytes(), expected) << "connection " << connection;
    }
}

TEST(DataStreams, TheWriteCompleteBlockHasAFixedSize) {
    TWriteCompleteStream stream(2, 0x77, 0x55);
    stream.SetItem(0, 0xA1, S_OK);
    stream.SetItem(1, 0, OPC_E_INVALIDHANDLE);
    stream.SetStatus(S_FALSE);
    EXPECT_EQ(stream.Bytes(),
              Le({2, 0x77, 0x55, S_FALSE, 0xA1, S_OK, 0, static_cast<DWORD>(OPC_E_INVALIDHANDLE)}));
}

TEST(DataStreams, FormatsAreTheRegisteredOnesInConnectionOrder) {
    const char* names[] = {"OPCSTMFORMATDATA", "OPCSTMFORMATDATATIME", "OPCSTMFORMATWRITECOMPLETE"};
    for (DWORD c = 0; c < kStreamConnectionCount; ++c) {
        const UINT id = RegisterClipboardFormatA(names[c]);
        EXPECT_EQ(StreamFormatId(c), id);
        EXPECT_EQ(StreamConnectionOf(static_cast<CLIPFORMAT>(id)), c);
    }
    EXPECT_EQ(StreamFormatId(3), 0u);
    EXPECT_EQ(StreamConnectionOf(0), std::nullopt);
    EXPECT_EQ(StreamConnectionOf(1), std::nullopt);
}

}  // namespace
