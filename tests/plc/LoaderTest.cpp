// Reading STL files: the keyword filter, the store, the listing, errors and refusals.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "PlcTestSupport.h"

namespace corvane::plc::test {
namespace {

namespace fs = std::filesystem;

class LoaderTest : public PlcTest {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("corvane-loader-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Write(const std::string& name, const std::string& content) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    bool LoadText(const std::string& content) {
        listed.clear();
        return loader.LoadFile(Write("p.awl", content),
                               [this](const std::string& l) { listed.push_back(l); });
    }

    TProgramLoader loader{plc};
    std::vector<std::string> listed;

  private:
    fs::path dir_;
};

TEST_F(LoaderTest, EmptyFileLoadsAnEmptyProgram) {
    EXPECT_TRUE(LoadText(""));
    EXPECT_EQ(plc.LineCount, 0);
    EXPECT_EQ(plc.Instructions[1].Kind, TInstructionKind::None);
    EXPECT_TRUE(listed.empty());
    EXPECT_EQ(recorder.Messages, std::vector<std::string>{"Loaded!"});
}

TEST_F(LoaderTest, BlockStructureIsFilteredOut) {
    EXPECT_TRUE(
        LoadText("ORGANIZATION_BLOCK OB1\n"
                 "TITLE = main\n"
                 "BEGIN\n"
                 "Network 1 // start\n"
                 "// a comment\n"
                 "LD     I0.0\n"
                 "AN     I0.1\n"
                 "=      Q0.0\n"
                 "END_ORGANIZATION_BLOCK\n"));
    EXPECT_EQ(listed,
              (std::vector<std::string>{" 1\tLD     I0.0", " 2\tAN     I0.1", " 3\t=      Q0.0"}));
    EXPECT_EQ(plc.LineCount, 3);
    EXPECT_EQ(plc.Instructions[3].Kind, TInstructionKind::Assign);
}

struct TFilterCase {
    const char* Line;
    bool Kept;
};

TEST(LineFilter, KeywordsAnywhereCaseSensitive) {
    const TFilterCase cases[] = {
        {"LD     I0.0", true}, {"LD     I0.0 // go", false},
        {"SEND", false},       {"network", true},
        {"Network", false},    {"SUBROUTINE_BLOCK", false},
        {"INTERRUPT", false},  {"  ", true},
        {"", false},           {"LD TITLEX", false},
        {"/ /", true},         {"ORGANIZATIO", true},
    };
    for (const TFilterCase& c : cases) EXPECT_EQ(IsInstructionLine(c.Line), c.Kept) << c.Line;
}

TEST_F(LoaderTest, LongLinesAreStoredCutButListedWhole) {
    EXPECT_TRUE(LoadText("TON    T37, +100      (long tail)\r\nLD     I0.0\rLDN    I0.1\n    \n"));
    EXPECT_EQ(loader.Lines().Slots[1], "TON    T37, +100    ");
    EXPECT_EQ(listed[0], " 1\tTON    T37, +100      (long tail)");
    EXPECT_EQ(loader.Lines().Slots[2], "LD     I0.0");  // CR LF and a lone CR end lines
    EXPECT_EQ(loader.Lines().Slots[3], "LDN    I0.1");
    EXPECT_EQ(loader.Lines().Slots[4], "    ");  // blanks only: stored and listed, no slot
    EXPECT_EQ(plc.LineCount, 4);
    EXPECT_EQ(plc.Instructions[1].Operand, "T37,+100");
    EXPECT_EQ(plc.Instructions[4].Kind, TInstructionKind::None);
}

TEST_F(LoaderTest, LoadKeepsMemoryAndRunState) {
    plc.Running = true;
    plc.WriteBit("Q0.3", true);
    EXPECT_TRUE(LoadText("LD     I0.0\n"));
    EXPECT_TRUE(plc.Running);
    EXPECT_TRUE(plc.Q.At(0, 3));
}

TEST_F(LoaderTest, MissingFileKeepsTheProgram) {
    ASSERT_TRUE(LoadText("LD     I0.0\n=      Q0.0\n"));
    try {
        loader.LoadFile(Write("plain", "") / "x.awl", nullptr);  // a file used as a folder
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "Path not found");
    }
    try {
        loader.LoadFile(fs::temp_directory_path() / "corvane-no-such-file.awl", nullptr);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_EQ(plc.LineCount, 2);
    EXPECT_EQ(plc.Instructions[2].Kind, TInstructionKind::Assign);
}

// Paths that are no program file: refused before anything is read (a FIFO without a
// writer would block an ordinary open forever, /dev/zero never ends), with a message that
// says why, and the loaded program stays.
struct TNotAFileCase {
    const char* Name;
    void (*Make)(const fs::path& path);
    const char* Says;
};

const TNotAFileCase kNotAFile[] = {
    {"Directory", [](const fs::path& p) { fs::create_directory(p); }, "' is a directory"},
    {"Fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
     "' is not a regular file (a FIFO, device or socket) and cannot be read"},
    {"Device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
     "' is not a regular file (a FIFO, device or socket) and cannot be read"},
    {"FileAboveTheLimit",
     [](const fs::path& p) {
         std::ofstream(p) << "LD     I0.0\n";
         fs::resize_file(p, kProgramFileLimit.MaxBytes + 1);
     },
     "' is too large: STL program files are limited to 4 MiB"},
};

class LoaderNotAFile : public LoaderTest, public ::testing::WithParamInterface<TNotAFileCase> {};

TEST_P(LoaderNotAFile, IsRefusedAndTheProgramStays) {
    ASSERT_TRUE(LoadText("LD     I0.0\n=      Q0.0\n"));
    const fs::path path = Write("p.awl", "").parent_path() / "other.awl";
    GetParam().Make(path);
    try {
        loader.LoadFile(path, nullptr);
        FAIL() << "accepted";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), "'" + path.string() + GetParam().Says);
    }
    EXPECT_EQ(plc.LineCount, 2);
    EXPECT_EQ(plc.Instructions[2].Kind, TInstructionKind::Assign);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LoaderNotAFile, ::testing::ValuesIn(kNotAFile),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(LoaderTest, FileExactlyAtTheLimitIsRead) {
    std::string content = "LD     I0.0\n";
    content.resize(kProgramFileLimit.MaxBytes, ' ');  // a last line of blanks
    EXPECT_TRUE(LoadText(content));
    EXPECT_EQ(plc.LineCount, 2);
}

TEST_F(LoaderTest, MoreThan5000LinesIsRefusedAndNothingIsLost) {
    ASSERT_TRUE(LoadText("LD     I0.0\n=      Q0.0\n"));
    recorder.Messages.clear();
    std::string big;
    for (int k = 0; k < 5001; ++k) big += "=      Q0.1\n";
    EXPECT_FALSE(LoadText(big));
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_NE(recorder.Messages[0].find("5001"), std::string::npos);
    EXPECT_EQ(listed, (std::vector<std::string>{" 1\tLD     I0.0", " 2\t=      Q0.0"}));
    EXPECT_EQ(plc.LineCount, 2);
    EXPECT_EQ(loader.Lines().Slots[1], "LD     I0.0");
    EXPECT_EQ(plc.Instructions[3].Kind, TInstructionKind::None);

    std::string exact;
    for (int k = 0; k < 5000; ++k) exact += "=      Q0.1\n// dropped lines do not count\n";
    EXPECT_TRUE(LoadText(exact));
    EXPECT_EQ(plc.LineCount, 5000);
    EXPECT_EQ(plc.Instructions[5000].Kind, TInstructionKind::Assign);
}

}  // namespace
}  // namespace corvane::plc::test
