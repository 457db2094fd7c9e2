// Wildcard masks of browse filters.
#include <gtest/gtest.h>

#include "case_names.h"
#include "opcserver/Namespace.h"

using corvane::opc::EMaskError;
using corvane::opc::MatchesMask;
using corvane::test::MaskName;

namespace {

struct MaskCase {
    const char* mask;
    const char* name;
    bool matches;
};

const MaskCase kMasks[] = {
    {"*", "", true},
    {"*", "Anything", true},
    {"T?mp", "temp", true},
    {"T?mp", "TMP", false},
    {"T?mp", "Tempo", false},
    {"a*b", "ab", true},
    {"a*b", "axxb", true},
    {"a*b", "axxbc", false},
    {"a**b", "ab", true},
    {"a*?b", "ab", true},
    {"[a-c]x", "Bx", true},
    {"[a-c]x", "dx", false},
    {"[!a-c]x", "dx", true},
    {"[!a-c]x", "ax", false},
    {"[xyz]", "Y", true},
    {"[a-]", "-", true},
    {"M10.?", "m10.3", true},
    {"*.3", "M10.3", true},
    {"abc", "ABC", true},
    {"abc", "abcd", false},
    {"", "", true},
    {"*a*a*a*", "banana", true},
    {"*a*a*a*a*", "banana", false},
};

class Mask : public ::testing::TestWithParam<MaskCase> {};

TEST_P(Mask, MatchesTheWholeNameIgnoringCase) {
    const MaskCase& c = GetParam();
    EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches) << c.mask << " / " << c.name;
}

// "a_Star_b_Against_axxb"; the empty name is "Nothing".
INSTANTIATE_TEST_SUITE_P(Cases, Mask, ::testing::ValuesIn(kMasks), [](const auto& info) {
    const std::string_view name = info.param.name;
    return MaskName(info.param.mask) + "_Against_" +
           (name.empty() ? "Nothing"
                         : corvane::test::CaseName(name, {{'.', "Dot"}, {'-', "Dash"}}));
});

struct BadCase {
    const char* mask;
    const char* message;
};

const BadCase kBad[] = {
    {"[a-", "'[a-' is an invalid mask at (4)"}, {"[abc", "'[abc' is an invalid mask at (5)"},
    {"x[]", "'x[]' is an invalid mask at (3)"}, {"[-a]", "'[-a]' is an invalid mask at (2)"},
    {"[!]", "'[!]' is an invalid mask at (3)"},
};

class BadMask : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadMask, IsReportedWithItsPosition) {
    try {
        MatchesMask("a", GetParam().mask);
        FAIL() << GetParam().mask;
    } catch (const EMaskError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadMask, ::testing::ValuesIn(kBad),
                         [](const auto& info) { return MaskName(info.param.mask); });

TEST(Mask, MoreThanThirtyStarRunsAreMalformed) {
    std::string thirty, thirtyOne;
    for (int i = 0; i < 30; ++i) thirty += "*a";
    thirtyOne = thirty + "*";
    EXPECT_NO_THROW(MatchesMask("a", thirty));
    EXPECT_THROW(MatchesMask("a", thirtyOne), EMaskError);
}

}  // namespace
