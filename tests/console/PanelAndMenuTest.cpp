// The two panel toggles, the menu's texts and what every item does.
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>

#include "ConsoleTestSupport.h"
#include "Uwritebit.h"
#include "memory.h"
#include "module.h"

namespace corvane::console::test {
namespace {

struct TLayoutCase {
    const char* Toggles;  // C = "STL Commands", L = "Logs Simulator"
    int Width;            // expected outer width, 0: unchanged
    int Height;           // expected outer height, 0: unchanged
    int ListingHeight;    // GroupBox1
    int MemoHeight;       // Memo2
};

class PanelLayoutTest : public ConsoleTest, public ::testing::WithParamInterface<TLayoutCase> {};

TEST_P(PanelLayoutTest, TogglesGiveTheFourLayouts) {
    const TLayoutCase& c = GetParam();
    Form1().show();
    const QSize start = Form1().frameGeometry().size();
    int codeClicks = 0, logClicks = 0;
    for (const char* t = c.Toggles; *t; ++t) {
        Action(*t == 'C' ? "Code1" : "LogsSimulator1").trigger();
        (*t == 'C' ? codeClicks : logClicks)++;
    }
    const QSize outer = Form1().frameGeometry().size();
    EXPECT_EQ(outer.width(), c.Width ? c.Width : start.width());
    EXPECT_EQ(outer.height(), c.Height ? c.Height : start.height());
    EXPECT_EQ(Group("GroupBox1").height(), c.ListingHeight);
    EXPECT_EQ(Memo("Memo2").height(), c.MemoHeight);
    EXPECT_EQ(Group("GroupBox1").width(), 201);
    EXPECT_EQ(Action("Code1").isChecked(), codeClicks % 2 == 1);
    EXPECT_EQ(Action("LogsSimulator1").isChecked(), logClicks % 2 == 1);
    EXPECT_TRUE(TakeMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PanelLayoutTest,
    ::testing::Values(TLayoutCase{"C", 613, 0, 193, 170}, TLayoutCase{"CC", 405, 0, 193, 170},
                      TLayoutCase{"L", 0, 456, 395, 370}, TLayoutCase{"LL", 0, 256, 193, 170},
                      TLayoutCase{"CL", 613, 456, 395, 370}, TLayoutCase{"LC", 613, 456, 395, 370},
                      TLayoutCase{"CLC", 405, 456, 395, 370},
                      TLayoutCase{"CLL", 613, 256, 193, 170},
                      TLayoutCase{"CCLL", 405, 256, 193, 170}),
    [](const auto& info) { return TogglesName(info.param.Toggles); });

TEST_F(ConsoleTest, LogToggleResizesTheListingEvenWhileItIsOutOfView) {
    Form1().LogsSimulator1Click();
    EXPECT_FALSE(Action("Code1").isChecked());
    EXPECT_EQ(Group("GroupBox1").height(), 395);
    EXPECT_EQ(Memo("Memo2").height(), 370);
}

TEST_F(ConsoleTest, ClientAreaFollowsTheOuterSizeLessMenuAndFrame) {
    Form1().show();
    Form1().Code1Click();
    Form1().LogsSimulator1Click();
    const QSize frame = Form1().frameGeometry().size() - Form1().size();
    const int menu = Form1().menuBar()->height();
    EXPECT_EQ(Form1().centralWidget()->size(), QSize(613, 456 - menu) - frame);
}

struct TMenuItem {
    const char* Name;
    const char* Text;
    const char* Path;  // titles of the menus that hold it, outermost first
};

constexpr TMenuItem kMenuItems[] = {
    {"Loadprogram1", "Load program", "File"},
    {"ImportS7Program1", "Import S7-200 program...", "File"},
    {"CheckProgram1", "Check Program", "File"},
    {"Exit1", "Exit", "File"},
    {"RUN1", "RUN", "Simulator"},
    {"STOP1", "STOP", "Simulator"},
    {"Reset1", "Reset", "Simulator"},
    {"SetBit1", "Write Bit", "Simulator"},
    {"AddSysbols1", "Add Symbols", "Connect WinCC"},
    {"Code1", "STL Commands", "View"},
    {"Memory1", "Memory", "View"},
    {"Variable1", "Variable", "View"},
    {"Module1", "Module", "View"},
    {"LogsSimulator1", "Logs Simulator", "View"},
    {"N2211", "221", "Setting/PLC"},
    {"N2221", "222", "Setting/PLC"},
    {"N2241", "224", "Setting/PLC"},
    {"N224XP1", "224XP", "Setting/PLC"},
    {"ManagerModule1", "Manager Module", "Setting"},
    {"op1", "StayOnTop", "Setting/Display"},
    {"Help1", "Help", ""},
    {"About1", "About", ""},
};

QString MenuPath(const QAction& action) {
    QStringList titles;
    for (QObject* o = action.parent(); o; o = o->parent()) {
        if (auto* menu = qobject_cast<QMenu*>(o)) titles.prepend(menu->title());
    }
    return titles.join('/');
}

TEST_F(ConsoleTest, MenuItemsCarryTheirExactTextsInDisplayOrder) {
    QStringList topLevel;
    for (QAction* action : Form1().menuBar()->actions()) topLevel.append(action->text());
    EXPECT_EQ(topLevel, QStringList({"File", "Simulator", "Connect WinCC", "View", "Setting",
                                     "Help", "About"}));
    for (const TMenuItem& item : kMenuItems) {
        SCOPED_TRACE(item.Name);
        QAction& action = Action(item.Name);
        EXPECT_EQ(action.text(), item.Text);
        EXPECT_EQ(MenuPath(action), item.Path);
        EXPECT_TRUE(action.shortcut().isEmpty());
        EXPECT_EQ(action.menu(), nullptr);
    }
    QStringList viewOrder;
    for (QAction* action : Form1().findChild<QMenu*>("View1")->actions())
        viewOrder.append(action->text());
    EXPECT_EQ(viewOrder,
              QStringList({"STL Commands", "Memory", "Variable", "Module", "Logs Simulator"}));
}

struct TMessageCase {
    const char* Action;
    const char* Message;
};

class MenuMessageTest : public ConsoleTest, public ::testing::WithParamInterface<TMessageCase> {};

TEST_P(MenuMessageTest, ItemShowsItsMessageAndChangesNothing) {
    Action(GetParam().Action).trigger();
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{GetParam().Message});
    for (const TMenuItem& item : kMenuItems) {
        EXPECT_EQ(Action(item.Name).isChecked(), std::string(item.Name) == "N2241") << item.Name;
    }
    EXPECT_FALSE(Plc().Running);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MenuMessageTest,
    ::testing::Values(TMessageCase{"N2211", "Bo sung tinh nang o phien ban sau!"},
                      TMessageCase{"N2221", "Bo sung tinh nang o phien ban sau!"},
                      TMessageCase{"N224XP1", "Bo sung tinh nang o phien ban sau!"},
                      TMessageCase{"Variable1", "Bo sung tinh nang o phien ban sau!"},
                      TMessageCase{"Help1", "Bo sung tinh nang o phien ban sau!"},
                      TMessageCase{"N2241", "Dang su dung!"}),
    [](const auto& info) { return std::string(info.param.Action); });

TEST_F(ConsoleTest, ModelItem224KeepsItsMarkWhenChosenTwice) {
    Action("N2241").trigger();
    Action("N2241").trigger();
    EXPECT_TRUE(Action("N2241").isChecked());
    EXPECT_EQ(TakeMessages().size(), 2u);
}

TEST_F(ConsoleTest, CheckProgramDoesNothing) {
    Action("CheckProgram1").trigger();
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_FALSE(Action("CheckProgram1").isChecked());
}

TEST_F(ConsoleTest, StayOnTopTwiceLeavesTheWindowTopmostWithoutAMark) {
    Form1().show();
    Action("op1").trigger();
    Action("op1").trigger();
    EXPECT_TRUE(Form1().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(Form1().isVisible());
    EXPECT_FALSE(Action("op1").isChecked());
}

struct TShowCase {
    const char* Action;
    QWidget* (*Window)(TConsole&);
};

class MenuShowsWindowTest : public ConsoleTest, public ::testing::WithParamInterface<TShowCase> {};

TEST_P(MenuShowsWindowTest, ItemShowsTheWindowCreatedAtStart) {
    QWidget* window = GetParam().Window(Console());
    ASSERT_FALSE(window->isVisible());
    Action(GetParam().Action).trigger();
    EXPECT_TRUE(window->isVisible());
    window->close();
    EXPECT_FALSE(window->isVisible());
    Action(GetParam().Action).trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(GetParam().Window(Console()), window);
    EXPECT_TRUE(TakeMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Windows, MenuShowsWindowTest,
    ::testing::Values(TShowCase{"Module1", [](TConsole& c) -> QWidget* { return &c.ModuleF(); }},
                      TShowCase{"ManagerModule1",
                                [](TConsole& c) -> QWidget* { return &c.ModuleF(); }},
                      TShowCase{"Memory1", [](TConsole& c) -> QWidget* { return &c.MemoryF(); }},
                      TShowCase{"SetBit1", [](TConsole& c) -> QWidget* { return &c.WriteF(); }},
                      TShowCase{"About1", [](TConsole& c) -> QWidget* { return &c.AboutF(); }}),
    [](const auto& info) { return std::string(info.param.Action); });

TEST_F(ConsoleTest, AddSymbolsShowsTheAttachedImportWindow) {
    Action("AddSysbols1").trigger();  // nothing attached yet: nothing happens
    QWidget importWindow;
    Console().SetImportSymbolsWindow(&importWindow);
    Action("AddSysbols1").trigger();
    EXPECT_TRUE(importWindow.isVisible());
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(ConsoleTest, ExitClosesTheMainWindowAndSignalsTheEnd) {
    Form1().show();
    Console().ModuleF().show();
    QSignalSpy closed(&Form1(), &TForm1::Closed);
    Action("Exit1").trigger();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(Form1().isVisible());
}

TEST_F(ConsoleTest, CloseQueryCanKeepTheMainWindowOpen) {
    Form1().show();
    QSignalSpy closed(&Form1(), &TForm1::Closed);
    int asked = 0;
    bool answer = false;
    Form1().CloseQuery = [&] {
        ++asked;
        return answer;
    };
    Action("Exit1").trigger();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(Form1().isVisible());
    answer = true;
    Action("Exit1").trigger();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(Form1().isVisible());
}

TEST_F(ConsoleTest, AboutWindowShowsNameAndVersion) {
    TaboutF& about = Console().AboutF();
    about.show();
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.frameGeometry().size(), QSize(246, 138));
    auto* name = Child<QLabel>(about, "Label1");
    auto* version = Child<QLabel>(about, "Label2");
    EXPECT_EQ(name->text(), "Corvane");
    EXPECT_EQ(name->pos(), QPoint(40, 8));
    EXPECT_EQ(name->font().pointSize(), 14);
    EXPECT_EQ(version->text(), "Ver: 1.0.2 (Bit only)");
    EXPECT_EQ(version->pos(), QPoint(48, 32));
    EXPECT_EQ(version->font().pointSize(), 10);
    EXPECT_TRUE(version->font().bold());
}

}  // namespace
}  // namespace corvane::console::test
