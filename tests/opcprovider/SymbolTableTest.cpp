// Symbol-line splitting, the import rules and the item lookups.
#include "SymbolTable.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TextFile.h"

#include <gtest/gtest.h>

namespace corvane::opcprovider {
namespace {

using Words = std::array<std::string, kSymbolWords>;

struct TSplitCase {
    const char* Line;
    Words Expected;
};

TEST(SplitSymbolLine, BlanksAndTabsSeparateWords) {
    const std::string u = kMissingWord;
    const TSplitCase cases[] = {
        {"Start I0.0 R/W", {"Start", "I0.0", "R/W", u, u, u}},
        {"Start\tI0.0\t\tR/W", {"Start", "I0.0", "R/W", u, u, u}},
        {"   Start    I0.0  R   ", {"Start", "I0.0", "R", u, u, u}},
        {"Alarm M1.0", {"Alarm", "M1.0", u, u, u, u}},
        {"     ", {u, u, u, u, u, u}},
        {"", {u, u, u, u, u, u}},
        {"a b c d e f g h", {"a", "b", "c", "d", "e", "f"}},  // surplus words ignored
        {"x\t", {"x", u, u, u, u, u}},
        {"Motor,1 Q0.0;R/W", {"Motor,1", "Q0.0;R/W", u, u, u, u}},
    };
    for (const TSplitCase& c : cases)
        EXPECT_EQ(SplitSymbolLine(c.Line), c.Expected) << "'" << c.Line << "'";
}

TEST(SymbolImport, AccessWordsAndLastAccess) {
    TSymbolTable table;
    const TImportResult r = table.Import({"Start I0.0 R/W", "Lamp Q0.0 R", "Alarm M1.0",
                                          "Fan Q0.1 RW", "Door I0.2 R", "Horn Q0.3 r/w"});
    ASSERT_EQ(table.TagCount, 6);
    const uint8_t expected[] = {3, 1, 3, 3, 1, 1};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(table.Tags[static_cast<size_t>(k)].ID, k + 1);
        EXPECT_EQ(table.Tags[static_cast<size_t>(k)].Access, expected[k]) << k;
    }
    EXPECT_EQ(r.Rows[2].AccessWord, "unknow");
    EXPECT_EQ(r.Rows[3].AccessWord, "RW");
    EXPECT_EQ(table.LastAccess, 1);
    // LastAccess carries over into the next import.
    table.Import({"X M0.0 bogus"});
    EXPECT_EQ(table.Tags[0].Access, 1);
}

TEST(SymbolImport, FirstAccessWordUnknownGivesZero) {
    TSymbolTable table;
    table.Import({"X M0.0 bogus"});
    EXPECT_EQ(table.Tags[0].Access, 0);
}

TEST(SymbolImport, StopsAtTheFirstEmptyLineAndShorterImportLowersTheCount) {
    TSymbolTable table;
    table.Import({"A I0.0", "B I0.1", "", "C I0.2"});
    EXPECT_EQ(table.TagCount, 2);
    table.Import({"   ", "D Q0.0"});  // a line of blanks is not empty
    EXPECT_EQ(table.TagCount, 2);
    EXPECT_EQ(table.Tags[0].ItemsID, "unknow");
    table.Import({"E Q0.1"});
    EXPECT_EQ(table.TagCount, 1);
    EXPECT_EQ(table.Tags[1].ItemsID, "D");  // left over, but beyond TagCount
    uint8_t access = 9;
    EXPECT_EQ(table.FindItem("D", access), -1);
    EXPECT_EQ(access, 9);
    EXPECT_EQ(table.FindHandle(2), nullptr);
}

TEST(SymbolImport, MoreThanTheTableHoldsIsCounted) {
    TSymbolTable table;
    std::vector<std::string> lines;
    for (int k = 0; k < 1003; ++k) lines.push_back("S" + std::to_string(k) + " M0.0 R/W");
    lines.push_back("");
    lines.push_back("after the end");
    const TImportResult r = table.Import(lines);
    EXPECT_EQ(table.TagCount, 1000);
    EXPECT_EQ(r.Rows.size(), 1000u);
    EXPECT_EQ(r.NotImported, 3);
    EXPECT_EQ(TSymbolTable::NotImportedText(3),
              "3 symbol lines were not imported: the symbol table holds 1000 symbols.");
}

TEST(SymbolImport, FileThatIsNoSymbolFileIsRefusedAndTheTableStays) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("corvane-symbols-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path good = dir / "good.txt", fifo = dir / "fifo.txt", big = dir / "big.txt";
    std::ofstream(good) << "Start I0.0 R/W\n";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(big) << "Start I0.0 R/W\n";
    fs::resize_file(big, kMaxSymbolFileBytes + 1);
    TSymbolTable table;
    table.ImportFile(good);
    const struct {
        fs::path Path;
        std::string Says;
    } kRefused[] = {
        {dir, "'" + dir.string() + "' is a directory"},
        {fifo, "'" + fifo.string() +
                   "' is not a regular file (a FIFO, device or socket) and cannot be read"},
        {big, "'" + big.string() + "' is too large: symbol files are limited to 4 MiB"},
        {dir / "missing.txt", "File not found"},
    };
    for (const auto& refused : kRefused) {
        try {
            table.ImportFile(refused.Path);
            ADD_FAILURE() << refused.Path << " accepted";
        } catch (const plc::EInOutError& e) {
            EXPECT_EQ(e.what(), refused.Says);
        }
        EXPECT_EQ(table.TagCount, 1);
    }
    fs::remove_all(dir);
}

struct TLookupCase {
    const char* Id;
    int32_t Handle;
    uint8_t Access;
};

TEST(SymbolLookup, CaseRuleAndLastMatchWins) {
    TSymbolTable table;
    table.Import({"Start I0.0 R/W", "Lamp Q0.0 R", "START M0.0 R", "\xc4nde V0.0 R/W"});
    const TLookupCase cases[] = {
        {"start", 3, 1},  {"Lamp", 2, 1},    {"LAMP", 2, 1},
        {"lamp ", -1, 0}, {"\xc4nde", 4, 3}, {"\xe4nde", -1, 0},  // only A-Z fold
        {"", -1, 0},
    };
    for (const TLookupCase& c : cases) {
        uint8_t access = 0;
        EXPECT_EQ(table.FindItem(c.Id, access), c.Handle) << c.Id;
        EXPECT_EQ(access, c.Access) << c.Id;
    }
    ASSERT_NE(table.FindHandle(1), nullptr);
    EXPECT_EQ(table.FindHandle(1)->Address, "I0.0");
    EXPECT_EQ(table.FindHandle(0), nullptr);
    EXPECT_EQ(table.FindHandle(-1), nullptr);
    EXPECT_EQ(table.FindHandle(5), nullptr);
}

}  // namespace
}  // namespace corvane::opcprovider
