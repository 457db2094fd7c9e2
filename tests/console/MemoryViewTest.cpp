// The memory view: the texts shown before the first refresh, paging, and the refresh that
// runs while hidden.
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "ConsoleTestSupport.h"
#include "memory.h"

namespace corvane::console::test {
namespace {

class MemoryViewTest : public ConsoleTest {
  protected:
    TMemoryF& View() { return Console().MemoryF(); }
    QStringList Labels() {
        QStringList texts;
        for (int c = 0; c < TMemoryF::kColumns; ++c) texts.append(View().ColumnLabel(c)->text());
        return texts;
    }
    QStringList Lines(int column) {
        QStringList lines;
        QListWidget* list = View().ColumnList(column);
        for (int i = 0; i < list->count(); ++i) lines.append(list->item(i)->text());
        return lines;
    }
    QPushButton& Button(const char* name) { return *Child<QPushButton>(View(), name); }
};

TEST_F(MemoryViewTest, InitialTextsUntilTheFirstRefresh) {
    EXPECT_EQ(View().windowTitle(), "Memory ---- Update every second");
    EXPECT_EQ(View().size(), QSize(794, 142));
    EXPECT_EQ(Labels(), QStringList({"M1", "M2", "M3", "M4", "M5", "M6", "M7", "M8", "M0", "M9"}));
    for (int c = 0; c < TMemoryF::kColumns; ++c) EXPECT_EQ(View().ColumnList(c)->count(), 0);
    EXPECT_TRUE(Button("Button1").isEnabled());
    EXPECT_TRUE(Button("Button2").isEnabled());
    auto* timer = View().findChild<QTimer*>("Timer1");
    EXPECT_EQ(timer->interval(), 1000);
    EXPECT_TRUE(timer->isActive());
}

TEST_F(MemoryViewTest, ColumnsUseTheComponentNamesAndPlaces) {
    const char* lists[] = {"ListBox9", "ListBox1", "ListBox2", "ListBox3", "ListBox4",
                           "ListBox5", "ListBox6", "ListBox7", "ListBox8", "ListBox10"};
    for (int c = 0; c < TMemoryF::kColumns; ++c) {
        EXPECT_EQ(View().ColumnList(c)->objectName(), lists[c]);
        EXPECT_EQ(View().ColumnList(c)->geometry(), QRect(8 + 72 * c, 24, 65, 113));
        EXPECT_EQ(View().ColumnLabel(c)->objectName(), QStringLiteral("Label%1").arg(c + 1));
        EXPECT_EQ(View().ColumnLabel(c)->pos(), QPoint(32 + 72 * c, 8));
    }
    EXPECT_EQ(Button("Button1").geometry(), QRect(728, 24, 57, 25));
    EXPECT_EQ(Button("Button2").geometry(), QRect(728, 56, 57, 25));
}

TEST_F(MemoryViewTest, RefreshWhileHiddenShowsPageZero) {
    Plc().M.At(3, 5) = true;
    View().Timer1Timer();
    EXPECT_FALSE(View().isVisible());
    EXPECT_EQ(Labels(), QStringList({"M0", "M1", "M2", "M3", "M4", "M5", "M6", "M7", "M8", "M9"}));
    const QStringList byte3 = Lines(3);
    ASSERT_EQ(byte3.size(), 8);
    EXPECT_EQ(byte3[0], "M3.0\t     0");
    EXPECT_EQ(byte3[5], "M3.5\t     1");
}

TEST_F(MemoryViewTest, PageChangeShowsWithTheNextRefresh) {
    View().Timer1Timer();
    Plc().M.At(12, 3) = true;
    Button("Button1").click();
    EXPECT_EQ(View().MemoryPage, 1);
    EXPECT_FALSE(Button("Button1").isEnabled());
    EXPECT_TRUE(Button("Button2").isEnabled());
    EXPECT_EQ(View().ColumnLabel(0)->text(), "M0");
    View().Timer1Timer();
    EXPECT_EQ(View().ColumnLabel(0)->text(), "M10");
    EXPECT_EQ(View().ColumnLabel(9)->text(), "M19");
    EXPECT_EQ(Lines(2)[3], "M12.3\t     1");
}

struct TPagingCase {
    const char* Clicks;  // '>' Button1, '<' Button2
    int Page;
    bool ForwardEnabled;
    bool BackEnabled;
};

class PagingTest : public MemoryViewTest, public ::testing::WithParamInterface<TPagingCase> {};

TEST_P(PagingTest, ButtonsMoveBetweenTheTwoPages) {
    for (const char* c = GetParam().Clicks; *c; ++c) {
        // Direct handler calls: a disabled button's handler must still change nothing.
        *c == '>' ? View().Button1Click() : View().Button2Click();
    }
    EXPECT_EQ(View().MemoryPage, GetParam().Page);
    EXPECT_EQ(Button("Button1").isEnabled(), GetParam().ForwardEnabled);
    EXPECT_EQ(Button("Button2").isEnabled(), GetParam().BackEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, PagingTest,
    ::testing::Values(TPagingCase{"", 0, true, true}, TPagingCase{"<", 0, true, true},
                      TPagingCase{">", 1, false, true}, TPagingCase{">>", 1, false, true},
                      TPagingCase{"><", 0, true, false}, TPagingCase{"><<", 0, true, false},
                      TPagingCase{"><>", 1, false, true}),
    [](const auto& info) {
        std::string name;
        for (const char* c = info.param.Clicks; *c; ++c) name += *c == '>' ? "Forward" : "Back";
        return name.empty() ? std::string("NoClick") : name;
    });

TEST_F(MemoryViewTest, PageAndButtonsSurviveHiding) {
    View().show();
    View().Button1Click();
    View().close();
    View().show();
    EXPECT_EQ(View().MemoryPage, 1);
    EXPECT_FALSE(Button("Button1").isEnabled());
}

}  // namespace
}  // namespace corvane::console::test
