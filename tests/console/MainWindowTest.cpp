// The main window as it comes up: geometry, boxes, labels, menu marks, timers.
#include <QCoreApplication>
#include <QLabel>
#include <QTextDocument>
#include <QTimer>

#include "ConsoleTestSupport.h"

namespace corvane::console::test {
namespace {

struct TBoxPlace {
    const char* Name;
    const char* Caption;
    QRect Geometry;
};

std::vector<TBoxPlace> FaceplateBoxes() {
    std::vector<TBoxPlace> places = {
        {"chbrun", "RUN", {0, 32, 49, 17}},
        {"chbstop", "STOP", {0, 48, 49, 17}},
        {"chbsf", "SF", {0, 64, 49, 17}},
    };
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (int b = 0; b < 8; ++b) all.push_back("chbi0" + std::to_string(b));
        for (int b = 0; b < 6; ++b) all.push_back("chbi1" + std::to_string(b));
        for (int b = 0; b < 8; ++b) all.push_back("chbq0" + std::to_string(b));
        for (int b = 0; b < 2; ++b) all.push_back("chbq1" + std::to_string(b));
        return all;
    }();
    static const std::vector<std::string> captions = [] {
        std::vector<std::string> all;
        for (const std::string& name : names) all.push_back(name.substr(5));
        return all;
    }();
    const int lefts[] = {80, 128, 192, 240};
    for (size_t i = 0; i < names.size(); ++i) {
        const int column = i < 8 ? 0 : i < 14 ? 1 : i < 22 ? 2 : 3;
        const int bit = names[i][5] - '0';
        places.push_back(
            {names[i].c_str(), captions[i].c_str(), {lefts[column], 40 + 16 * bit, 33, 17}});
    }
    return places;
}

}  // namespace

TEST_F(ConsoleTest, MainWindowStartsWithTheFaceplateOnly) {
    Form1().show();
    EXPECT_EQ(Form1().windowTitle(), "Corvane");
    EXPECT_EQ(Form1().centralWidget()->size(), QSize(395, 202));
    auto* image = Child<QLabel>(Form1(), "Image1");
    EXPECT_EQ(image->geometry(), QRect(0, 0, 393, 201));
    EXPECT_EQ(image->pixmap().size(), QSize(393, 201));
    EXPECT_FALSE(Action("Code1").isChecked());
    EXPECT_FALSE(Action("LogsSimulator1").isChecked());
    EXPECT_TRUE(Action("N2241").isChecked());
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(ConsoleTest, EveryFaceplateBoxSitsAtItsPlaceWithItsCaption) {
    const std::vector<TBoxPlace> places = FaceplateBoxes();
    ASSERT_EQ(places.size(), 27u);
    for (const TBoxPlace& place : places) {
        SCOPED_TRACE(place.Name);
        TColourBox& box = Box(place.Name);
        EXPECT_EQ(box.text(), place.Caption);
        EXPECT_EQ(box.geometry(), place.Geometry);
        EXPECT_EQ(box.isChecked(), std::string(place.Name) == "chbstop");
        EXPECT_EQ(box.Colour(), std::string(place.Name) == "chbstop" ? kYellow : kGrey);
        EXPECT_EQ(box.grab().toImage().pixelColor(0, 0), box.Colour());
    }
}

TEST_F(ConsoleTest, FaceplateLabelsAreBoldOnGrey) {
    const struct {
        const char* Name;
        const char* Text;
        QPoint Position;
    } labels[] = {{"Label1", "SIEMENS", {260, 136}},
                  {"Label2", "SIMATIC S7-200", {240, 152}},
                  {"Label3", "224", {275, 168}}};
    for (const auto& expected : labels) {
        auto* label = Child<QLabel>(Form1(), expected.Name);
        EXPECT_EQ(label->text(), expected.Text);
        EXPECT_EQ(label->pos(), expected.Position);
        EXPECT_TRUE(label->font().bold());
        EXPECT_EQ(label->font().pointSize(), 8);
        EXPECT_EQ(Background(*label), kGrey);
    }
}

TEST_F(ConsoleTest, PanelsLieOutsideTheClientAreaAtStart) {
    EXPECT_EQ(Group("GroupBox1").title(), "STL Commands");
    EXPECT_EQ(Group("GroupBox1").geometry(), QRect(400, 8, 201, 393));
    EXPECT_EQ(Memo("Memo2").geometry(), QRect(8, 16, 185, 369));
    EXPECT_EQ(Group("GroupBox2").title(), "Simulator Logs");
    EXPECT_EQ(Group("GroupBox2").geometry(), QRect(8, 208, 385, 193));
    EXPECT_EQ(Memo("Memo1").geometry(), QRect(8, 16, 369, 169));
    EXPECT_TRUE(Group("GroupBox1").font().bold());
    EXPECT_EQ(Memo("Memo2").verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(Memo("Memo1").toPlainText().isEmpty());
}

TEST_F(ConsoleTest, ThreeOneMillisecondTimersAndOnlyTheRefreshIsOff) {
    const struct {
        const char* Name;
        bool Active;
    } timers[] = {{"Timer2", true}, {"Timer1", false}, {"PLCTimer", true}};
    for (const auto& expected : timers) {
        auto* timer = Form1().findChild<QTimer*>(expected.Name);
        ASSERT_NE(timer, nullptr) << expected.Name;
        EXPECT_EQ(timer->interval(), 1) << expected.Name;
        EXPECT_EQ(timer->timerType(), Qt::PreciseTimer) << expected.Name;
        EXPECT_EQ(timer->isActive(), expected.Active) << expected.Name;
    }
}

TEST_F(ConsoleTest, ControllerIsResetAndStoppedAtStart) {
    EXPECT_FALSE(Plc().Running);
    EXPECT_FALSE(Plc().Busy);
    EXPECT_FALSE(Form1().RunControl().RefreshEnabled());
    EXPECT_EQ(Plc().ReadBit("Q0.0"), false);
}

TEST_F(ConsoleTest, SecondaryWindowsAreCreatedHidden) {
    const std::vector<QWidget*> windows = {&Console().AboutF(), &Console().ModuleF(),
                                           &Console().MemoryF(), &Console().WriteF()};
    for (QWidget* window : windows)
        EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();
    EXPECT_FALSE(Form1().isVisible());
}

TEST_F(ConsoleTest, LogWriterAppendsLinesAtTheEndWhenTheEventLoopRuns) {
    Form1().AppendLog("A Client Connected!");
    Form1().AppendLog("A Client Add Group:G1");
    EXPECT_TRUE(Memo("Memo1").toPlainText().isEmpty()) << "not inside the client's call";
    QCoreApplication::processEvents();
    EXPECT_EQ(Memo("Memo1").toPlainText(), "A Client Connected!\nA Client Add Group:G1");
    Form1().AppendLog("A Client Add Item:Start");
    Form1().FlushLog();
    EXPECT_EQ(Memo("Memo1").document()->blockCount(), 3);
    EXPECT_EQ(Memo("Memo1").toPlainText(),
              "A Client Connected!\nA Client Add Group:G1\nA Client Add Item:Start");
}

TEST_F(ConsoleTest, AThousandLogLinesArriveInOneBatchInTheirOrder) {
    QStringList lines;
    for (int i = 0; i < 1000; ++i) lines.append("A Client Add Item:S" + QString::number(i));
    int changes = 0;
    QObject::connect(Memo("Memo1").document(), &QTextDocument::contentsChange,
                     [&changes](int, int, int) { ++changes; });
    for (const QString& line : lines) Form1().AppendLog(line);
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Memo("Memo1").toPlainText(), lines.join('\n'));
}

}  // namespace corvane::console::test
