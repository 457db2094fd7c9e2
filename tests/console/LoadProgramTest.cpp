// "Load program": the dialog's filter, the listing in Memo2, the messages, the failures.
#include "ConsoleTestSupport.h"
#include "ProgramFile.h"

namespace corvane::console::test {
namespace {

class LoadProgramTest : public ConsoleTest {
  protected:
    // The dialog answers `answer` and records the filter it was given.
    void AnswerDialog(const QString& answer) {
        Form1().OpenDialog1 = [this, answer](QWidget* parent, const QString& filter) {
            dialogParent_ = parent;
            filters_.append(filter);
            return answer;
        };
    }
    QString Listing() { return Memo("Memo2").toPlainText(); }

    QWidget* dialogParent_ = nullptr;
    QStringList filters_;
};

constexpr char kBlockFile[] =
    "ORGANIZATION_BLOCK OB1\n"
    "TITLE = demo\n"
    "BEGIN\n"
    "Network 1\n"
    "// a comment\n"
    "LD     I0.0\n"
    "A      I0.1\n"
    "=      Q0.0\n"
    "END_ORGANIZATION_BLOCK\n";

TEST_F(LoadProgramTest, DialogOffersTheProgramFilters) {
    AnswerDialog(QString());
    Action("Loadprogram1").trigger();
    ASSERT_EQ(filters_.size(), 1);
    EXPECT_EQ(filters_[0],
              "Files SIEMENS AWL (*.awl);;Files SIEMENS OB1 (*.ob1);;Files Text (*.txt);;All Files "
              "(*.*)");
    EXPECT_EQ(dialogParent_, &Form1());
}

TEST_F(LoadProgramTest, LoadListsTheInstructionLinesAndSaysLoaded) {
    TProgramFile program(kBlockFile);
    AnswerDialog(program.Path());
    Action("Loadprogram1").trigger();
    EXPECT_EQ(Listing(), " 1\tLD     I0.0\n 2\tA      I0.1\n 3\t=      Q0.0");
    EXPECT_EQ(Plc().LineCount, 3);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Loaded!"});
    EXPECT_EQ(Plc().Instructions[1].Kind, plc::TInstructionKind::LD);
}

TEST_F(LoadProgramTest, CancelClearsTheListingAndKeepsTheProgram) {
    TProgramFile program(kBlockFile);
    AnswerDialog(program.Path());
    Action("Loadprogram1").trigger();
    TakeMessages();
    AnswerDialog(QString());
    Action("Loadprogram1").trigger();
    EXPECT_TRUE(Listing().isEmpty());
    EXPECT_EQ(Plc().LineCount, 3);
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(LoadProgramTest, UnreadableFileShowsTheErrorAndKeepsTheProgram) {
    TProgramFile program(kBlockFile);
    ASSERT_TRUE(Form1().LoadProgramFile(program.Path()));
    TakeMessages();
    AnswerDialog(program.Path() + ".missing");
    Action("Loadprogram1").trigger();
    const std::vector<std::string> messages = TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0], "Loaded!");
    EXPECT_EQ(Plc().LineCount, 3);
    EXPECT_TRUE(Listing().isEmpty());
}

TEST_F(LoadProgramTest, LoadingInRunKeepsRunningAndMemory) {
    Form1().RUN1Click();
    Plc().M.At(2, 2) = true;
    TProgramFile program("LDN    I0.0\n=      Q0.3\n");
    ASSERT_TRUE(Form1().LoadProgramFile(program.Path()));
    EXPECT_TRUE(Plc().Running);
    EXPECT_TRUE(Plc().M.At(2, 2));
    Form1().Timer2Timer();
    EXPECT_TRUE(Plc().Q.At(0, 3));
}

TEST_F(LoadProgramTest, ExampleProgramLoads) {
    ASSERT_TRUE(Form1().LoadProgramFile(CORVANE_EXAMPLES_DIR "/start_stop.awl"));
    EXPECT_GT(Plc().LineCount, 0);
    EXPECT_EQ(Listing().split('\n').size(), Plc().LineCount);
}

TEST(FileTextTest, DecodesUtf8AndFallsBackToLatin1) {
    EXPECT_EQ(FileText("LD     I0.0"), "LD     I0.0");
    EXPECT_EQ(FileText("\xc3\xa9"), QString::fromUtf8("\xc3\xa9"));
    EXPECT_EQ(FileText("caf\xe9"), QString::fromLatin1("caf\xe9"));
}

TEST(QtFileFilterTest, ConvertsPairsAndKeepsTexts) {
    EXPECT_EQ(QtFileFilter("Text|*.txt"), "Text (*.txt)");
    EXPECT_EQ(QtFileFilter("A|*.a;*.b|B|*.c"), "A (*.a *.b);;B (*.c)");
    EXPECT_EQ(QtFileFilter(""), "");
}

}  // namespace
}  // namespace corvane::console::test
