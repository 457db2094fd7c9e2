// The Write Bit dialog: its 188-line list, Set/Reset, and the caption as value display.
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>

#include "ConsoleTestSupport.h"
#include "Uwritebit.h"

namespace corvane::console::test {
namespace {

class WriteBitTest : public ConsoleTest {
  protected:
    TwriteF& Dialog() { return Console().WriteF(); }
    QListWidget& List() { return *Child<QListWidget>(Dialog(), "ListBox1"); }
    void Select(const QString& line) {
        const QList<QListWidgetItem*> found = List().findItems(line, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << line.toStdString();
        List().setCurrentItem(found.first());
    }
};

TEST_F(WriteBitTest, ListHoldsEveryMarkerBitInBlocksWithSeparators) {
    ASSERT_EQ(List().count(), 188);
    int row = 0;
    for (int n = 0; n <= 20; ++n) {
        for (int b = 0; b < 8; ++b, ++row) {
            EXPECT_EQ(List().item(row)->text(), QStringLiteral("M%1.%2").arg(n).arg(b));
        }
        if (n < 20) {
            EXPECT_EQ(List().item(row++)->text(), "") << "after M" << n;
        }
    }
    EXPECT_EQ(row, 188);
}

TEST_F(WriteBitTest, OpensOnTheFirstLineWithItsInitialCaption) {
    Console().Form1().SetBit1Click();
    EXPECT_EQ(Dialog().windowTitle(), "Write Bit");
    EXPECT_EQ(Dialog().size(), QSize(201, 272));
    EXPECT_EQ(List().currentRow(), 0);
    EXPECT_EQ(Dialog().Caption(), "Select a Bit");
    EXPECT_EQ(Child<QPushButton>(Dialog(), "Button1")->text(), "Set Bit");
    EXPECT_EQ(Child<QPushButton>(Dialog(), "Button2")->text(), "Reset Bit");
}

TEST_F(WriteBitTest, SetAndResetShowTheValue) {
    Select("M5.2");
    EXPECT_EQ(Dialog().Caption(), "False");
    Child<QPushButton>(Dialog(), "Button1")->click();
    EXPECT_TRUE(Plc().M.At(5, 2));
    EXPECT_EQ(Dialog().Caption(), "True");
    Child<QPushButton>(Dialog(), "Button2")->click();
    EXPECT_FALSE(Plc().M.At(5, 2));
    EXPECT_EQ(Dialog().Caption(), "False");
}

TEST_F(WriteBitTest, WrittenBitAppearsInTheMemoryViewAtItsNextRefresh) {
    Select("M5.2");
    Dialog().Button1Click();
    Console().MemoryF().Timer1Timer();
    QListWidget* byte5 = Console().MemoryF().ColumnList(5);
    ASSERT_EQ(byte5->count(), 8);
    EXPECT_EQ(byte5->item(2)->text(), "M5.2\t     1");
}

TEST_F(WriteBitTest, SeparatorLineEmptiesTheCaptionAndWritesNothing) {
    List().setCurrentRow(8);  // between M0.7 and M1.0
    Dialog().Button1Click();
    EXPECT_EQ(Dialog().Caption(), "");
    EXPECT_EQ(Plc().M, plc::TBitArea{});
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(WriteBitTest, LastBlockIsWritable) {
    Select("M20.7");
    Dialog().Button1Click();
    EXPECT_TRUE(Plc().M.At(20, 7));
}

TEST_F(WriteBitTest, ClickOnTheSameLineReadsTheBitAgain) {
    Select("M1.1");
    Plc().M.At(1, 1) = true;  // written by the program meanwhile
    Dialog().ListBox1Click();
    EXPECT_EQ(Dialog().Caption(), "True");
}

}  // namespace
}  // namespace corvane::console::test
