// The console as a new user meets it: the memory view's values are visible, the main
// window keeps its fixed sizes and hides unchecked panels, Escape closes the secondary
// windows, boxes are centred on their window, the listing's columns line up.
#include <QApplication>
#include <QFontInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include "ConsoleTestSupport.h"
#include "ProgramFile.h"

namespace corvane::console::test {
namespace {

// --- memory view ---------------------------------------------------------------------

// One line of a memory list, painted by the list's own delegate on a white strip far wider
// than the list: what the text needs, whether or not the list can show it.
struct TRenderedLine {
    int LeftInk = -1;   // first column with ink
    int RightInk = -1;  // last column with ink
    QImage Image;
};

TRenderedLine RenderLine(QListWidget& list, int row) {
    constexpr int kStripWidth = 300;
    TRenderedLine line;
    line.Image = QImage(kStripWidth, 13, QImage::Format_RGB32);
    line.Image.fill(Qt::white);
    {
        QPainter painter(&line.Image);
        QStyleOptionViewItem option;
        option.initFrom(&list);
        option.rect = QRect(0, 0, kStripWidth, 13);
        option.font = list.font();
        option.widget = &list;
        option.state = QStyle::State_Enabled | QStyle::State_Active;
        QPalette palette = option.palette;
        palette.setColor(QPalette::Text, Qt::black);
        option.palette = palette;
        list.itemDelegate()->paint(&painter, option, list.model()->index(row, 0));
    }
    for (int x = 0; x < kStripWidth; ++x) {
        for (int y = 0; y < line.Image.height(); ++y) {
            if (line.Image.pixel(x, y) != qRgb(255, 255, 255)) {
                if (line.LeftInk < 0) line.LeftInk = x;
                line.RightInk = x;
                break;
            }
        }
    }
    return line;
}

class MemoryLinesTest : public ConsoleTest {
  protected:
    TMemoryF& View() { return Console().MemoryF(); }
};

TEST_F(MemoryLinesTest, EveryLineShowsItsWholeTextWithinTheList) {
    for (int n = 0; n < 20; n += 3) Plc().M.At(n, n % 8) = true;
    View().show();
    for (int page = 0; page < 2; ++page) {
        if (page == 1) View().Button1Click();
        View().Timer1Timer();
        for (int c = 0; c < TMemoryF::kColumns; ++c) {
            QListWidget& list = *View().ColumnList(c);
            ASSERT_EQ(list.count(), 8);
            EXPECT_EQ(list.textElideMode(), Qt::ElideNone);
            const int visible = list.viewport()->width();
            ASSERT_GT(visible, 0);
            for (int row = 0; row < list.count(); ++row) {
                const QString text = list.item(row)->text();
                SCOPED_TRACE(text.toStdString());
                const TRenderedLine line = RenderLine(list, row);
                EXPECT_GE(line.LeftInk, 1);
                // The value digit is drawn past the tab stop, and ends inside the list.
                EXPECT_GT(line.RightInk, View().TabStop());
                EXPECT_LT(line.RightInk, visible - 1);
            }
        }
    }
}

TEST_F(MemoryLinesTest, MeasuredTextFitsTheListAndTheValueCanBeRead) {
    View().show();
    Plc().M.At(2, 4) = true;
    View().Timer1Timer();
    QListWidget& list = *View().ColumnList(2);
    const QFontMetricsF metrics(list.font());
    // Widest address of both pages, then the value.
    qreal widestAddress = 0;
    for (int n = 0; n < 20; ++n)
        for (int b = 0; b < 8; ++b)
            widestAddress = std::max(
                widestAddress, metrics.horizontalAdvance(QStringLiteral("M%1.%2").arg(n).arg(b)));
    EXPECT_GT(View().TabStop(), widestAddress);
    EXPECT_LE(TMemoryF::kTextMargin + View().TabStop() +
                  metrics.horizontalAdvance(QStringLiteral("     1")),
              list.viewport()->width());
    // A legible size: the 8 points of the lists, or at most a little smaller.
    EXPECT_GE(QFontInfo(list.font()).pixelSize(), 8);
    EXPECT_FALSE(list.font().bold());
    // The digit after the tab tells 0 from 1.
    const QImage zero = RenderLine(list, 3).Image;
    const QImage one = RenderLine(list, 4).Image;
    const int from = static_cast<int>(View().TabStop()) + TMemoryF::kTextMargin;
    EXPECT_NE(zero.copy(from, 0, 40, 13), one.copy(from, 0, 40, 13));
    EXPECT_EQ(list.item(4)->text(), "M2.4\t     1");
}

// --- main window: fixed size, hidden panels ----------------------------------------------

struct TFixedCase {
    const char* Toggles;
};

class FixedSizeTest : public ConsoleTest, public ::testing::WithParamInterface<TFixedCase> {};

TEST_P(FixedSizeTest, TheSizeCannotChangeByDraggingAndUncheckedPanelsAreHidden) {
    Form1().show();
    for (const char* t = GetParam().Toggles; *t; ++t)
        Action(*t == 'C' ? "Code1" : "LogsSimulator1").trigger();
    const QSize size = Form1().size();
    EXPECT_EQ(Form1().minimumSize(), size);
    EXPECT_EQ(Form1().maximumSize(), size);
    // What dragging a frame edge asks for.
    Form1().resize(size + QSize(150, 120));
    EXPECT_EQ(Form1().size(), size);
    Form1().resize(size - QSize(100, 50));
    EXPECT_EQ(Form1().size(), size);
    ASSERT_NE(Form1().windowHandle(), nullptr);
    EXPECT_EQ(Form1().windowHandle()->minimumSize(), Form1().windowHandle()->maximumSize());
    EXPECT_EQ(Group("GroupBox1").isVisible(), Action("Code1").isChecked());
    EXPECT_EQ(Group("GroupBox2").isVisible(), Action("LogsSimulator1").isChecked());
}

INSTANTIATE_TEST_SUITE_P(Layouts, FixedSizeTest,
                         ::testing::Values(TFixedCase{""}, TFixedCase{"C"}, TFixedCase{"L"},
                                           TFixedCase{"CL"}, TFixedCase{"CC"}, TFixedCase{"CLL"},
                                           TFixedCase{"LCLC"}),
                         [](const auto& info) { return TogglesName(info.param.Toggles); });

TEST_F(ConsoleTest, PanelsStartHiddenAndKeepTheirContentsWhileHidden) {
    Form1().show();
    EXPECT_FALSE(Group("GroupBox1").isVisible());
    EXPECT_FALSE(Group("GroupBox2").isVisible());
    Form1().AppendLog("A Client Connected!");
    Form1().FlushLog();
    Form1().LogsSimulator1Click();
    EXPECT_TRUE(Group("GroupBox2").isVisible());
    EXPECT_EQ(Memo("Memo1").toPlainText(), "A Client Connected!");
}

TEST_F(ConsoleTest, RunStopAndFaultBoxesKeepTheirSquaresOffTheLeftEdge) {
    Form1().show();
    for (const char* name : {"chbrun", "chbstop", "chbsf"}) {
        SCOPED_TRACE(name);
        TColourBox& box = Box(name);
        EXPECT_EQ(box.geometry().left(), 0);
        EXPECT_GE(box.Indent(), 2);
        const QImage image = box.grab().toImage();
        const QColor background = box.Colour();
        for (int x = 0; x < box.Indent(); ++x)
            for (int y = 0; y < image.height(); ++y)
                ASSERT_EQ(QColor(image.pixel(x, y)), background) << x << "," << y;
        bool border = false;  // the square's left border follows the indent
        for (int y = 0; y < image.height(); ++y)
            border = border || QColor(image.pixel(box.Indent(), y)) != background;
        EXPECT_TRUE(border);
    }
}

// --- listing -----------------------------------------------------------------------------

TEST_F(ConsoleTest, ListingOperandsLineUpAndTwentyCharacterLinesFit) {
    std::string text;
    // Twelve lines: numbers of one and two digits; the longest stored line (20 characters).
    for (int k = 0; k < 11; ++k) text += k % 2 ? "LD     I0.0\n" : "TON    T37, +100\n";
    text += "TONR   T255, +32767\n";
    TProgramFile program(text);
    Form1().show();
    Form1().Code1Click();
    ASSERT_TRUE(Form1().LoadProgramFile(program.Path()));
    QPlainTextEdit& memo = Memo("Memo2");
    EXPECT_TRUE(QFontInfo(memo.font()).fixedPitch());
    ASSERT_EQ(memo.blockCount(), 12);
    QApplication::processEvents();
    // The mnemonic of every line starts at the same place.
    int column = -1;
    for (QTextBlock block = memo.document()->begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        cursor.setPosition(block.position() + static_cast<int>(block.text().indexOf('\t')) + 1);
        const int x = memo.cursorRect(cursor).x();
        if (column < 0) column = x;
        EXPECT_EQ(x, column) << block.text().toStdString();
    }
    // No line needs the horizontal scroll bar.
    EXPECT_EQ(memo.horizontalScrollBar()->maximum(), 0);
}

// --- Escape ----------------------------------------------------------------------------

struct TEscapeCase {
    const char* Action;
    QWidget* (*Window)(TConsole&);
};

class EscapeTest : public ConsoleTest, public ::testing::WithParamInterface<TEscapeCase> {};

TEST_P(EscapeTest, EscapeClosesTheWindow) {
    QWidget* window = GetParam().Window(Console());
    Action(GetParam().Action).trigger();
    ASSERT_TRUE(window->isVisible());
    // From the focused control inside the window, as a user presses it.
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    // Shown again it is the same window, and Escape works again.
    Action(GetParam().Action).trigger();
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Windows, EscapeTest,
    ::testing::Values(TEscapeCase{"About1", [](TConsole& c) -> QWidget* { return &c.AboutF(); }},
                      TEscapeCase{"Module1", [](TConsole& c) -> QWidget* { return &c.ModuleF(); }},
                      TEscapeCase{"Memory1", [](TConsole& c) -> QWidget* { return &c.MemoryF(); }},
                      TEscapeCase{"SetBit1", [](TConsole& c) -> QWidget* { return &c.WriteF(); }}),
    [](const auto& info) { return std::string(info.param.Action); });

TEST_F(ConsoleTest, EscapeInTheWriteBitListClosesTheDialog) {
    Action("SetBit1").trigger();
    auto* list = Child<QListWidget>(Console().WriteF(), "ListBox1");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(Console().WriteF().isVisible());
}

TEST_F(ConsoleTest, EscapeClosesTheAttachedImportWindowButNotTheMainWindow) {
    QWidget importWindow;
    Console().SetImportSymbolsWindow(&importWindow);
    Action("AddSysbols1").trigger();
    QTest::keyClick(&importWindow, Qt::Key_Escape);
    EXPECT_FALSE(importWindow.isVisible());
    Form1().show();
    QTest::keyClick(&Form1(), Qt::Key_Escape);
    EXPECT_TRUE(Form1().isVisible());
}

TEST_F(ConsoleTest, AboutWindowIsNotResizable) {
    TaboutF& about = Console().AboutF();
    about.show();
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_EQ(about.frameGeometry().size(), QSize(246, 138));
}

// --- message boxes -----------------------------------------------------------------------

// The box shown by `show`, as it stood when open: its geometry, icon and text.
struct TOpenBox {
    QRect Frame;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QString Text;
    QWidget* Parent = nullptr;
};

TOpenBox WhileOpen(const std::function<void()>& show) {
    TOpenBox seen;
    QTimer closer;
    closer.setInterval(0);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        seen = {box->frameGeometry(), box->icon(), box->text(), box->parentWidget()};
        box->accept();
    });
    closer.start();
    show();
    return seen;
}

// Within a window frame's caption: under a window manager the frame it adds is reported
// a little later than the place the program asked for. A box in the screen's corner is
// hundreds of pixels off.
bool NearlySame(QPoint a, QPoint b) {
    return (a - b).manhattanLength() <= 24;
}

TEST(MessageBoxPlaceTest, BoxIsCentredOnTheMainWindowEvenRightAfterItIsShown) {
    TConsole console;
    TForm1& form1 = console.Form1();
    TQtMessageService service(&form1);
    const TMessageServiceScope scope(service);
    form1.show();
    // The main window places itself at the centre of the screen when first shown.
    const QRect screen = form1.screen()->availableGeometry();
    EXPECT_TRUE(NearlySame(form1.frameGeometry().center(), screen.center()))
        << form1.frameGeometry().center().x() << "," << form1.frameGeometry().center().y();
    const TOpenBox box = WhileOpen([&] { service.ShowMessage("Loaded!"); });
    EXPECT_EQ(box.Text, "Loaded!");
    EXPECT_EQ(box.Icon, QMessageBox::Information);
    EXPECT_TRUE(NearlySame(box.Frame.center(), form1.frameGeometry().center()))
        << "box " << box.Frame.center().x() << "," << box.Frame.center().y() << " window "
        << form1.frameGeometry().center().x() << "," << form1.frameGeometry().center().y();
}

TEST(MessageBoxPlaceTest, BoxFollowsTheWindowItBelongsTo) {
    TConsole console;
    TForm1& form1 = console.Form1();
    TQtMessageService service(&form1);
    form1.show();
    form1.move(10, 20);
    TwriteF& writeBit = console.WriteF();
    writeBit.show();
    writeBit.move(500, 300);
    writeBit.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&writeBit));
    const TOpenBox onWriteBit = WhileOpen([&] { service.ShowMessage("x"); });
    EXPECT_EQ(onWriteBit.Parent, &writeBit);
    EXPECT_TRUE(NearlySame(onWriteBit.Frame.center(), writeBit.frameGeometry().center()));
    writeBit.hide();
    form1.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form1));
    const TOpenBox onMain = WhileOpen([&] { service.ShowMessage("y"); });
    EXPECT_EQ(onMain.Parent, &form1);
    EXPECT_TRUE(NearlySame(onMain.Frame.center(), form1.frameGeometry().center()));
}

TEST(MessageBoxPlaceTest, ErrorsShowTheErrorIconMessagesTheInformationIcon) {
    QWidget owner;
    owner.resize(300, 200);
    owner.show();
    TQtMessageService service(&owner);
    const TMessageServiceScope scope(service);
    const TOpenBox error =
        WhileOpen([] { plc::RunEvent([] { throw std::runtime_error("File not found"); }); });
    EXPECT_EQ(error.Text, "File not found");
    EXPECT_EQ(error.Icon, QMessageBox::Critical);
    const TOpenBox message = WhileOpen([] { plc::ShowMessage("Dang su dung!"); });
    EXPECT_EQ(message.Icon, QMessageBox::Information);
}

}  // namespace
}  // namespace corvane::console::test
