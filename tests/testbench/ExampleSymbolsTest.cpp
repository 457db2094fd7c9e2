// The example symbol file imports whole, and names only bits that its program uses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "SymbolTable.h"

namespace corvane::opcprovider {
namespace {

const std::filesystem::path kExamples = CORVANE_EXAMPLES_DIR;

TEST(ExampleSymbolsTest, StartStopSymbolsImportWholeAndNameBitsOfTheProgram) {
    TSymbolTable table;
    const TImportResult result = table.ImportFile(kExamples / "start_stop_symbols.txt");
    EXPECT_EQ(result.NotImported, 0);
    ASSERT_EQ(table.TagCount, 8);
    std::ifstream program(kExamples / "start_stop.awl");
    std::stringstream text;
    text << program.rdbuf();
    for (int k = 0; k < table.TagCount; ++k) {
        const TagType& tag = table.Tags[static_cast<size_t>(k)];
        SCOPED_TRACE(tag.ItemsID);
        EXPECT_NE(text.str().find(tag.Address), std::string::npos);
        EXPECT_EQ(tag.Access, tag.Address[0] == 'I' ? kAccessReadWrite : kAccessRead);
    }
    uint8_t access = 0;
    EXPECT_EQ(table.FindItem("Start", access), 1);
    EXPECT_EQ(table.FindItem("Module", access), 8);
}

}  // namespace
}  // namespace corvane::opcprovider
