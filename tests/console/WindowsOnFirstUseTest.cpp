// The secondary windows are built when first needed; one built late shows exactly what one
// built at start-up would show, and building it changes nothing else.
#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QTextDocument>
#include <QTimer>
#include <QTimerEvent>
#include <functional>

#include "ConsoleTestSupport.h"

namespace corvane::console::test {
namespace {

int TopLevelsNamed(const QString& name) {
    int count = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name) ++count;
    return count;
}

// What a QTimer's expiry delivers, without waiting for it.
void Expire(QTimer& timer) {
    QTimerEvent event(timer.timerId());
    QCoreApplication::sendEvent(&timer, &event);
}

struct TFirstUseCase {
    const char* Action;
    const char* Window;  // its object name
};

void PrintTo(const TFirstUseCase& c, std::ostream* os) {
    *os << c.Action;
}

class BuiltOnFirstUseTest : public ConsoleTest,
                            public ::testing::WithParamInterface<TFirstUseCase> {};

TEST_P(BuiltOnFirstUseTest, MenuItemBuildsTheWindowOnceAndShowsIt) {
    const QString name = GetParam().Window;
    EXPECT_EQ(TopLevelsNamed(name), 0) << "built before it was needed";
    Action(GetParam().Action).trigger();
    ASSERT_EQ(TopLevelsNamed(name), 1);
    QWidget* first = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name) first = widget;
    EXPECT_TRUE(first->isVisible());
    first->close();
    Action(GetParam().Action).trigger();
    EXPECT_EQ(TopLevelsNamed(name), 1) << "a second window was built";
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(TakeMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(Windows, BuiltOnFirstUseTest,
                         ::testing::Values(TFirstUseCase{"About1", "aboutF"},
                                           TFirstUseCase{"Module1", "ModuleF"},
                                           TFirstUseCase{"ManagerModule1", "ModuleF"},
                                           TFirstUseCase{"Memory1", "MemoryF"},
                                           TFirstUseCase{"SetBit1", "writeF"}),
                         [](const auto& info) { return std::string(info.param.Action); });

// Outputs refreshed while the module window did not exist, then the window built: each LED
// shows the last state refreshed to it, as it would had it been there all along.
struct TLateLedCase {
    const char* Name;
    std::vector<std::vector<std::pair<int, int>>> Refreshes;  // outputs on, per refresh
    std::vector<std::pair<int, int>> Lit;                     // LEDs checked at the end
};

void PrintTo(const TLateLedCase& c, std::ostream* os) {
    *os << c.Name;
}

class LateModuleWindowTest : public ConsoleTest,
                             public ::testing::WithParamInterface<TLateLedCase> {};

TEST_P(LateModuleWindowTest, LedsShowTheLastRefreshedOutputs) {
    Form1().RUN1Click();
    for (const auto& outputs : GetParam().Refreshes) {
        Plc().Q = {};
        for (const auto& [byte, bit] : outputs) Plc().Q.At(byte, bit) = true;
        Form1().Timer1Timer();
    }
    ASSERT_EQ(TopLevelsNamed("ModuleF"), 0);
    for (int byte = 2; byte <= 7; ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool lit = std::find(GetParam().Lit.begin(), GetParam().Lit.end(),
                                       std::pair{byte, bit}) != GetParam().Lit.end();
            EXPECT_EQ(Console().ModuleF().OutputBox(byte, bit)->isChecked(), lit)
                << "Q" << byte << "." << bit;
            EXPECT_FALSE(Console().ModuleF().InputBox(byte, bit)->isChecked());
            EXPECT_EQ(Background(*Console().ModuleF().OutputBox(byte, bit)), kGrey);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Refreshes, LateModuleWindowTest,
    ::testing::Values(TLateLedCase{"NoRefresh", {}, {}},
                      TLateLedCase{"OneRefresh", {{{2, 0}, {7, 7}}}, {{2, 0}, {7, 7}}},
                      TLateLedCase{"OutputOnThenOff", {{{5, 3}}, {}}, {}},
                      TLateLedCase{"OutputOffThenOn", {{}, {{4, 1}}}, {{4, 1}}},
                      TLateLedCase{"FaceplateOnly", {{{0, 0}, {1, 1}}}, {}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ConsoleTest, SwitchesOfAModuleWindowNotYetBuiltReadAsOpen) {
    Form1().RUN1Click();
    Plc().I.At(3, 3) = true;  // whatever was there: the refresh reads the switches
    Form1().Timer1Timer();
    EXPECT_FALSE(Plc().I.At(3, 3));
    Console().ModuleF().InputBox(3, 3)->click();
    Form1().Timer1Timer();
    EXPECT_TRUE(Plc().I.At(3, 3));
}

class LateMemoryViewTest : public ConsoleTest {
  protected:
    QStringList Lines(TMemoryF& view, int column) {
        QStringList lines;
        QListWidget* list = view.ColumnList(column);
        for (int i = 0; i < list->count(); ++i) lines.append(list->item(i)->text());
        return lines;
    }
};

TEST_F(LateMemoryViewTest, ViewBuiltBeforeTheFirstTickShowsTheDesignTimeTexts) {
    auto refresh = std::make_unique<TMemoryRefresh>(Plc());
    QTimer* running = refresh->Timer();
    ASSERT_TRUE(running->isActive());
    EXPECT_EQ(running->interval(), 1000);
    TMemoryF view(Plc(), std::move(refresh));
    EXPECT_EQ(view.ColumnLabel(0)->text(), "M1");
    EXPECT_EQ(view.ColumnLabel(8)->text(), "M0");
    for (int c = 0; c < TMemoryF::kColumns; ++c) EXPECT_EQ(view.ColumnList(c)->count(), 0);
    EXPECT_EQ(view.findChild<QTimer*>("Timer1"), running) << "the running timer is adopted";
    EXPECT_TRUE(running->isActive());
}

TEST_F(LateMemoryViewTest, ViewShowsWhatTheLastTickSawNotTheMarkersNow) {
    auto refresh = std::make_unique<TMemoryRefresh>(Plc());
    Plc().M.At(2, 1) = true;
    Expire(*refresh->Timer());
    Plc().M.At(2, 1) = false;
    Plc().M.At(9, 7) = true;
    Expire(*refresh->Timer());
    Plc().M.At(9, 7) = false;  // after the last tick: shows with the next one
    QTimer* running = refresh->Timer();
    TMemoryF view(Plc(), std::move(refresh));
    EXPECT_EQ(view.ColumnLabel(0)->text(), "M0");
    EXPECT_EQ(Lines(view, 2)[1], "M2.1\t     0");
    EXPECT_EQ(Lines(view, 9)[7], "M9.7\t     1");
    Expire(*running);  // the adopted timer now refreshes the view
    EXPECT_EQ(Lines(view, 9)[7], "M9.7\t     0");
}

TEST_F(LateMemoryViewTest, AdoptedTimerNoLongerReachesTheRefresh) {
    auto refresh = std::make_unique<TMemoryRefresh>(Plc());
    const TMemoryRefresh* kept = refresh.get();
    std::unique_ptr<QTimer> timer = refresh->TakeTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(refresh->Timer(), nullptr);
    Plc().M.At(0, 0) = true;
    Expire(*timer);
    EXPECT_FALSE(kept->LastSeen().has_value());
    EXPECT_EQ(refresh->TakeTimer(), nullptr) << "handed over once";
}

TEST_F(ConsoleTest, BuildingWindowsBetweenLogLinesKeepsTheLinesAndTheirOrder) {
    Form1().AppendLog("A Client Connected!");
    Action("Module1").trigger();
    Form1().AppendLog("A Client Add Group:G1");
    Action("Memory1").trigger();
    Action("SetBit1").trigger();
    Form1().AppendLog("A Client Remove Group:G1");
    QCoreApplication::processEvents();
    EXPECT_EQ(Memo("Memo1").toPlainText(),
              "A Client Connected!\nA Client Add Group:G1\nA Client Remove Group:G1");
}

TEST(ConsoleTeardownTest, ConsoleWithWindowsNeverBuiltClosesAndGoesCleanly) {
    TRecordingMessages messages;
    const TMessageServiceScope scope(messages);
    auto console = std::make_unique<TConsole>();
    console->Form1().show();
    console->Form1().Exit1Click();
    EXPECT_FALSE(console->Form1().isVisible());
    console.reset();
    for (const char* name : {"aboutF", "ModuleF", "MemoryF", "writeF"})
        EXPECT_EQ(TopLevelsNamed(name), 0) << name;
    EXPECT_TRUE(messages.Messages.empty());
}

// --- the panels' memos --------------------------------------------------------------------

class PanelMemoTest : public ConsoleTest {
  protected:
    bool Built(const char* name) { return Form1().findChild<QPlainTextEdit*>(name) != nullptr; }
    // The widgets that Tab visits, in order, from the first faceplate box on.
    std::vector<std::string> TabOrder() {
        std::vector<std::string> names;
        QWidget* start = &Box("chbrun");
        QWidget* widget = start;
        do {
            if (widget->focusPolicy() & Qt::TabFocus)
                names.push_back(widget->objectName().toStdString());
            widget = widget->nextInFocusChain();
        } while (widget != start && names.size() < 100);
        return names;
    }
};

TEST_F(PanelMemoTest, NeitherMemoExistsUntilItIsNeeded) {
    Form1().show();
    EXPECT_FALSE(Built("Memo1"));
    EXPECT_FALSE(Built("Memo2"));
    EXPECT_FALSE(Group("GroupBox1").isVisible());
    EXPECT_FALSE(Group("GroupBox2").isVisible());
}

TEST_F(PanelMemoTest, LogLinesWrittenBeforeTheMemoExistsAllArriveInOrder) {
    Form1().show();
    Form1().AppendLog("A Client Connected!");
    QCoreApplication::processEvents();
    Form1().AppendLog("A Client Add Group:G1");
    Form1().AppendLog("A Client Add Item:S1");
    QCoreApplication::processEvents();
    Form1().LogsSimulator1Click();
    QPlainTextEdit& log = Memo("Memo1");
    EXPECT_TRUE(log.isVisible());
    EXPECT_EQ(log.document()->blockCount(), 3);
    EXPECT_EQ(log.toPlainText(),
              "A Client Connected!\nA Client Add Group:G1\nA Client Add Item:S1");
    EXPECT_EQ(log.geometry(), QRect(8, 16, 369, 169));
    EXPECT_TRUE(log.isReadOnly());
    EXPECT_EQ(log.lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(log.font(), Form1().font());
}

TEST_F(PanelMemoTest, MemoBuiltWhileItsPanelIsShownIsShownToo) {
    Form1().show();
    Group("GroupBox2").show();
    EXPECT_TRUE(Memo("Memo1").isVisible());
}

class MemoTabOrderTest : public PanelMemoTest, public ::testing::WithParamInterface<bool> {};

TEST_P(MemoTabOrderTest, TabGoesFromTheLastBoxToTheListingThenTheLog) {
    const bool logFirst = GetParam();
    if (logFirst) Memo("Memo1");
    Memo("Memo2");
    if (!logFirst) Memo("Memo1");
    const std::vector<std::string> order = TabOrder();
    ASSERT_GE(order.size(), 3u);
    const std::vector<std::string> tail(order.end() - 3, order.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"chbq11", "Memo2", "Memo1"}));
}

INSTANTIATE_TEST_SUITE_P(BuildOrder, MemoTabOrderTest, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "LogBuiltFirst" : "ListingBuiltFirst");
});

// --- an attached window given by a source -----------------------------------------------

TEST_F(ConsoleTest, ImportWindowFromASourceIsBuiltByAddSymbolsOnceAndClosesOnEscape) {
    std::unique_ptr<QWidget> built;
    int calls = 0;
    Console().SetImportSymbolsWindow([&]() -> QWidget* {
        ++calls;
        if (!built) built = std::make_unique<QWidget>();
        return built.get();
    });
    EXPECT_EQ(calls, 0) << "built before it was needed";
    Action("AddSysbols1").trigger();
    ASSERT_NE(built, nullptr);
    EXPECT_TRUE(built->isVisible());
    QWidget* first = built.get();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(first, &escape);
    EXPECT_FALSE(first->isVisible());
    Action("AddSysbols1").trigger();
    EXPECT_EQ(built.get(), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(TakeMessages().empty());
}

}  // namespace
}  // namespace corvane::console::test
