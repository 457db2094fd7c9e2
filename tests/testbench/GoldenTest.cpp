// Golden scripts: each golden/NAME.script runs in golden/ and must print exactly
// golden/NAME.expected (standard output, then "--- stderr" and its lines, the summary line
// last, then "--- exit N").
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestBench.h"

namespace corvane::testbench {
namespace {

namespace fs = std::filesystem;

const fs::path kGoldenDir = CORVANE_GOLDEN_DIR;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> GoldenNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kGoldenDir))
        if (entry.path().extension() == ".script") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class GoldenTest : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenTest, OutputMatches) {
    const fs::path previous = fs::current_path();
    fs::current_path(kGoldenDir);  // relative paths in scripts are relative to the current folder
    std::ostringstream out, err;
    TExitCode code;
    {
        TTestBench bench(out, err);
        std::ifstream script(GetParam() + ".script");
        ASSERT_TRUE(script) << GetParam();
        code = bench.RunScript(script);
        bench.PrintSummary();
    }
    fs::current_path(previous);
    std::string actual = out.str();
    if (!err.str().empty()) actual += "--- stderr\n" + err.str();
    actual += "--- exit " + std::to_string(static_cast<int>(code)) + "\n";
    EXPECT_EQ(actual, ReadFile(kGoldenDir / (GetParam() + ".expected")));
}

INSTANTIATE_TEST_SUITE_P(Scripts, GoldenTest, ::testing::ValuesIn(GoldenNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace corvane::testbench
