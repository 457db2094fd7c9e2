// The 1-based text helpers and the integer conversion.
#include "Operand.h"

#include "PlcTestSupport.h"

namespace corvane::plc::test {
namespace {

struct TCopyCase {
    const char* S;
    int From, To;
    const char* Expected;
    bool Message;
};

TEST(CopyStr, RangesAndMessage) {
    const TCopyCase cases[] = {
        {"M10.3", 2, 3, "10", false}, {"M10.3", 5, 5, "3", false}, {"M10.3", 1, 5, "M10.3", false},
        {"M10.3", 0, 2, "", true},    {"M10.3", 3, 2, "", true},   {"M10.3", 2, 6, "", true},
        {"M10.3", 2, -2, "", true},   {"", 1, 0, "", true},        {"T37", 2, 3, "37", false},
    };
    for (const TCopyCase& c : cases) {
        TMessageRecorder recorder;
        EXPECT_EQ(copystr(c.S, c.From, c.To), c.Expected) << c.S << " " << c.From << ".." << c.To;
        EXPECT_EQ(recorder.Messages.size(), c.Message ? 1u : 0u) << c.S;
        if (c.Message) {
            EXPECT_EQ(recorder.Messages[0], kCopystrMessage);
        }
    }
}

TEST(FindStr, FirstOccurrenceOneBased) {
    EXPECT_EQ(FindStr(".", "M10.3"), 4);
    EXPECT_EQ(FindStr(",", "T37,+100"), 4);
    EXPECT_EQ(FindStr("T", "AT5,T"), 2);
    EXPECT_EQ(FindStr(".", "M10"), -1);
    EXPECT_EQ(FindStr(".", ""), -1);
    EXPECT_EQ(FindStr("END", "SEND"), 2);
    EXPECT_EQ(FindStr("end", "END"), -1);   // case-sensitive
    EXPECT_EQ(FindStr("ENDX", "END"), -1);  // must lie wholly inside
}

struct TIntCase {
    const char* Text;
    bool Ok;
    int Value;
};

TEST(StrToInt, DecimalWithBlanksAndSign) {
    const TIntCase cases[] = {
        {"0", true, 0},
        {"+100", true, 100},
        {"-7", true, -7},
        {"  42", true, 42},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0},
        {"", false, 0},
        {"+", false, 0},
        {"42 ", false, 0},
        {"4 2", false, 0},
        {"0x10", false, 0},
        {"$10", false, 0},
        {"1.5", false, 0},
        {"\t1", false, 0},
        {"99999999999999999999", false, 0},
    };
    for (const TIntCase& c : cases) {
        int value = -12345;
        EXPECT_EQ(TryStrToInt(c.Text, value), c.Ok) << "'" << c.Text << "'";
        if (c.Ok) {
            EXPECT_EQ(value, c.Value);
            EXPECT_EQ(StrToInt(c.Text), c.Value);
        } else {
            EXPECT_EQ(value, -12345) << "a failed conversion must not write its result";
            try {
                StrToInt(c.Text);
                ADD_FAILURE() << "no error for '" << c.Text << "'";
            } catch (const EConvertError& e) {
                EXPECT_EQ(std::string(e.what()),
                          "'" + std::string(c.Text) + "' is not a valid integer value");
            }
        }
    }
}

}  // namespace
}  // namespace corvane::plc::test
