// File > "Import S7-200 program...": its place in the menu, the two dialogs, the listing,
// the log line, and the refusal that keeps everything as it was.
#include <QMenu>

#include "ConsoleTestSupport.h"
#include "ProgramFile.h"

namespace corvane::console::test {
namespace {

constexpr char kExport[] =
    "ORGANIZATION_BLOCK MAIN:OB1\r\n"
    "TITLE=demo\r\n"
    "BEGIN\r\n"
    "Network 1 // latch\r\n"
    "\tLD\tStart\r\n"
    "\tO\tQ0.0\r\n"
    "\t=\tQ0.0\t// motor\r\n"
    "END_ORGANIZATION_BLOCK\r\n";

class ImportProgramTest : public ConsoleTest {
  protected:
    void AnswerDialogs(const QString& program, const QString& symbols) {
        Form1().OpenDialog1 = [this, program](QWidget*, const QString& filter) {
            filters_.append(filter);
            return program;
        };
        Form1().SymbolsDialog = [this, symbols](QWidget*, const QString& filter) {
            filters_.append(filter);
            return symbols;
        };
    }
    QString Listing() { return Memo("Memo2").toPlainText(); }
    QString Log() {
        Form1().FlushLog();
        return Memo("Memo1").toPlainText();
    }

    QStringList filters_;
    TProgramFile symbols_{"Start I0.0 R/W\n", "symbols.txt"};
};

TEST_F(ImportProgramTest, ItemFollowsLoadProgramAndTheOtherItemsKeepTheirOrder) {
    QStringList items;
    for (QAction* action : Form1().findChild<QMenu*>("File1")->actions())
        items.append(action->text());
    EXPECT_EQ(items,
              QStringList({"Load program", "Import S7-200 program...", "Check Program", "Exit"}));
}

TEST_F(ImportProgramTest, ImportWithSymbolsListsTheProgramAndLogsTheCount) {
    TProgramFile program(kExport);
    AnswerDialogs(program.Path(), symbols_.Path());
    Action("ImportS7Program1").trigger();
    EXPECT_EQ(filters_, QStringList({"S7-200 program export (*.awl *.txt);;All Files (*.*)",
                                     "Symbol file (*.txt);;All Files (*.*)"}));
    EXPECT_EQ(Listing(), " 1\tLD     I0.0  // Start\n 2\tO      Q0.0\n 3\t=      Q0.0");
    EXPECT_EQ(Log(), "Imported 3 instructions. (" + program.Path() + ")");
    EXPECT_TRUE(TakeMessages().empty());
    Plc().I.At(0, 0) = true;
    Plc().ExecuteScan();
    EXPECT_TRUE(Plc().Q.At(0, 0));
}

TEST_F(ImportProgramTest, RefusalListsTheLinesAndKeepsProgramAndListing) {
    TProgramFile first(kExport);
    ASSERT_TRUE(Form1().ImportProgramFiles(first.Path(), symbols_.Path()));
    const QString listing = Listing();
    TProgramFile program(kExport);
    AnswerDialogs(program.Path(), QString());  // no symbol file: Start is unknown
    Action("ImportS7Program1").trigger();
    const std::vector<std::string> messages = TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("\nline 5: LD Start -- 'Start'"), std::string::npos) << messages[0];
    EXPECT_EQ(Listing(), listing);
    EXPECT_EQ(Plc().Instructions[1].Operand, "I0.0");
}

TEST_F(ImportProgramTest, CancellingTheProgramDialogChangesNothing) {
    TProgramFile first(kExport);
    ASSERT_TRUE(Form1().ImportProgramFiles(first.Path(), symbols_.Path()));
    const QString listing = Listing();
    AnswerDialogs(QString(), symbols_.Path());
    Action("ImportS7Program1").trigger();
    EXPECT_EQ(filters_.size(), 1);  // the symbol file is not asked for
    EXPECT_EQ(Listing(), listing);
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(ImportProgramTest, AMissingSymbolFileIsAnErrorAndNothingChanges) {
    TProgramFile program(kExport);
    EXPECT_FALSE(Form1().ImportProgramFiles(program.Path(), program.Path() + ".none"));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"File not found"});
    EXPECT_TRUE(Listing().isEmpty());
}

TEST_F(ImportProgramTest, TheSecondClockFollowsTheTimerBaseClockNotTheTimerEvents) {
    TProgramFile program("LD SM0.5\n= Q0.0\n");
    ASSERT_TRUE(Form1().ImportProgramFiles(program.Path(), QString()));
    Form1().RUN1Click();
    const auto at = [this](int ms) {
        AdvanceClock(std::chrono::milliseconds(ms));
        Form1().PLCTimerTimer();  // one late timer event catches up on every millisecond
        Form1().Timer2Timer();
        return Plc().Q.At(0, 0);
    };
    EXPECT_FALSE(at(499));
    EXPECT_TRUE(at(1));
    EXPECT_TRUE(at(499));
    EXPECT_FALSE(at(1));
    EXPECT_TRUE(at(1500));  // 2.5 s
}

TEST(MessageBoxTexts, ALongMessageShowsItsFirstLinesAndKeepsTheWholeInTheDetails) {
    std::string text = "summary";
    for (int k = 1; k <= 30; ++k) text += "\nline " + std::to_string(k);
    const auto [shown, details] = TQtMessageService::BoxTexts(text);
    EXPECT_EQ(shown.split('\n').size(), TQtMessageService::kShownLines + 1);
    EXPECT_TRUE(shown.endsWith("... and 11 more lines (see the details)"));
    EXPECT_EQ(details, QString::fromStdString(text));
    EXPECT_TRUE(TQtMessageService::BoxTexts("short\ntext").second.isEmpty());
}

TEST(MessageBoxTexts, EightBitTextIsShownAsLatin1AndUtf8AsUtf8) {
    EXPECT_EQ(TQtMessageService::BoxTexts("line 4: LD T\xfcr").first,
              QString::fromUtf8("line 4: LD Tür"));
    EXPECT_EQ(TQtMessageService::BoxTexts("T\xc3\xbcr").first, QString::fromUtf8("Tür"));
}

}  // namespace
}  // namespace corvane::console::test
