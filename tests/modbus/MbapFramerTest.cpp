// Cutting a client's byte stream into frames: whole, split anywhere, several at once, and
// headers that lie.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MbapFramer.h"

namespace corvane::modbus {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (const int value : values) bytes.push_back(static_cast<char>(value));
    return bytes;
}

// Read coils 0..7 from unit `unit` in transaction `transaction`.
std::string ReadCoils(int transaction, int unit) {
    return Bytes({transaction >> 8, transaction & 0xFF, 0, 0, 0, 6, unit, 1, 0, 0, 0, 8});
}

std::vector<TMbapFrame> Drain(TMbapFramer& framer) {
    std::vector<TMbapFrame> frames;
    while (auto frame = framer.Next()) frames.push_back(*frame);
    return frames;
}

TEST(MbapFramerTest, GivesTransactionUnitAndPduOfAWholeFrame) {
    TMbapFramer framer;
    framer.Append(ReadCoils(0x1234, 255));
    const std::vector<TMbapFrame> frames = Drain(framer);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].Transaction, 0x1234);
    EXPECT_EQ(frames[0].Unit, 255);
    EXPECT_EQ(frames[0].Pdu, Bytes({1, 0, 0, 0, 8}));
    EXPECT_FALSE(framer.HasPartialFrame());
    EXPECT_EQ(framer.Error(), TFrameError::None);
}

TEST(MbapFramerTest, WaitsForEveryByteWhereverTheStreamIsCut) {
    const std::string stream = ReadCoils(1, 1) + ReadCoils(2, 0) + ReadCoils(3, 1);
    for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        TMbapFramer framer;
        std::vector<TMbapFrame> frames;
        for (size_t at = 0; at < stream.size(); at += chunk) {
            framer.Append(std::string_view(stream).substr(at, chunk));
            for (auto& frame : Drain(framer)) frames.push_back(frame);
        }
        ASSERT_EQ(frames.size(), 3u) << "chunk " << chunk;
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(frames[i].Transaction, i + 1);
        EXPECT_FALSE(framer.HasPartialFrame());
    }
}

TEST(MbapFramerTest, HoldsHalfAFrameAsPartial) {
    TMbapFramer framer;
    framer.Append(ReadCoils(7, 1).substr(0, 9));
    EXPECT_FALSE(framer.Next());
    EXPECT_TRUE(framer.HasPartialFrame());
    EXPECT_EQ(framer.Buffered(), 9u);
}

struct TBrokenHeader {
    const char* Name;
    std::string Stream;
    TFrameError Error;
};

class BrokenHeaderTest : public ::testing::TestWithParam<TBrokenHeader> {};

TEST_P(BrokenHeaderTest, StopsTheStreamForGood) {
    TMbapFramer framer;
    framer.Append(ReadCoils(1, 1) + GetParam().Stream);
    EXPECT_TRUE(framer.Next());  // the good frame before it still counts
    EXPECT_FALSE(framer.Next());
    EXPECT_EQ(framer.Error(), GetParam().Error);
    framer.Append(ReadCoils(2, 1));
    EXPECT_FALSE(framer.Next());
}

INSTANTIATE_TEST_SUITE_P(
    Headers, BrokenHeaderTest,
    ::testing::Values(
        TBrokenHeader{"ProtocolNotZero", Bytes({0, 1, 0, 5, 0, 6, 1, 1, 0, 0, 0, 8}),
                      TFrameError::NotModbus},
        TBrokenHeader{"HttpRequest", "GET / HTTP/1.1\r\n\r\n", TFrameError::NotModbus},
        TBrokenHeader{"LengthZero", Bytes({0, 1, 0, 0, 0, 0, 1}), TFrameError::BadLength},
        TBrokenHeader{"LengthOfUnitOnly", Bytes({0, 1, 0, 0, 0, 1, 1}), TFrameError::BadLength},
        TBrokenHeader{"LengthAboveTheLargestPdu", Bytes({0, 1, 0, 0, 0, 255, 1}),
                      TFrameError::BadLength},
        TBrokenHeader{"LengthNearlyMax", Bytes({0, 1, 0, 0, 0xFF, 0xFF, 1}),
                      TFrameError::BadLength}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MbapFramerTest, AcceptsTheLargestPdu) {
    TMbapFramer framer;
    std::string frame = Bytes({0, 9, 0, 0, 0, 254, 1});
    frame.append(253, '\x10');
    framer.Append(frame);
    const auto parsed = framer.Next();
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Pdu.size(), kMaxPduSize);
}

TEST(MbapFramerTest, EncodesTheAnswerWithLengthCountingTheUnit) {
    EXPECT_EQ(EncodeMbap(0xBEEF, 255, Bytes({1, 1, 0x05})),
              Bytes({0xBE, 0xEF, 0, 0, 0, 4, 255, 1, 1, 0x05}));
}

}  // namespace
}  // namespace corvane::modbus
