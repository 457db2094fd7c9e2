// Box colouring: yellow when checked, grey when not, run by every change of state and
// only by a change, whether an operator or the I/O refresh makes it.
#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <string>
#include <utility>

#include "ConsoleTestSupport.h"
#include "LoneCheckBox.h"

namespace corvane::console::test {
namespace {

class BoxColourTest : public ConsoleTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BoxColourTest, ClickTogglesStateAndColourAtOnce) {
    Form1().show();
    TColourBox& box = Box(GetParam());
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(box.Colour(), kYellow);
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(box.Colour(), kGrey);
    EXPECT_EQ(box.grab().toImage().pixelColor(0, 0), kGrey);
}

INSTANTIATE_TEST_SUITE_P(FaceplateBoxes, BoxColourTest,
                         ::testing::Values("chbi00", "chbi07", "chbi10", "chbi15", "chbq00",
                                           "chbq07", "chbq10", "chbq11"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(ConsoleTest, SwitchReachesTheInputsOnlyThroughAnEnabledRefresh) {
    Box("chbi03").click();
    EXPECT_EQ(Box("chbi03").Colour(), kYellow);
    EXPECT_FALSE(Plc().I.At(0, 3));
    Form1().Timer1Timer();  // refresh still off
    EXPECT_FALSE(Plc().I.At(0, 3));
    Form1().RUN1Click();
    Form1().Timer1Timer();
    EXPECT_TRUE(Plc().I.At(0, 3));
}

TEST_F(ConsoleTest, RefreshLightsAndDarkensLedsThroughTheSameHandler) {
    Form1().RUN1Click();
    Plc().Q.At(0, 5) = true;
    Plc().Q.At(1, 1) = true;
    Form1().Timer1Timer();
    EXPECT_TRUE(Box("chbq05").isChecked());
    EXPECT_EQ(Box("chbq05").Colour(), kYellow);
    EXPECT_EQ(Box("chbq11").Colour(), kYellow);
    Plc().Q.At(0, 5) = false;
    Form1().Timer1Timer();
    EXPECT_FALSE(Box("chbq05").isChecked());
    EXPECT_EQ(Box("chbq05").Colour(), kGrey);
    EXPECT_EQ(Box("chbq11").Colour(), kYellow);
}

TEST_F(ConsoleTest, UnchangedStateRunsNoColouring) {
    TColourBox& led = Box("chbq02");
    const QColor marker(1, 2, 3);
    led.SetColour(marker);
    led.setChecked(false);  // already unchecked
    Form1().RUN1Click();
    Form1().Timer1Timer();  // Q0.2 is 0: the LED keeps its state
    EXPECT_EQ(led.Colour(), marker);
}

TEST_F(ConsoleTest, ClickedLedStaysToggledUntilTheRefreshIsOn) {
    Box("chbq04").click();
    Form1().Timer1Timer();
    EXPECT_TRUE(Box("chbq04").isChecked());
    EXPECT_EQ(Box("chbq04").Colour(), kYellow);
    Form1().RUN1Click();
    Form1().Timer1Timer();
    EXPECT_FALSE(Box("chbq04").isChecked());
    EXPECT_EQ(Box("chbq04").Colour(), kGrey);
}

TEST_F(ConsoleTest, FaultIndicatorNeverChanges) {
    Form1().show();
    TColourBox& sf = Box("chbsf");
    QTest::mouseClick(&sf, Qt::LeftButton, {}, QPoint(8, 8));
    Form1().RUN1Click();
    Form1().Timer1Timer();
    Form1().Reset1Click();
    EXPECT_FALSE(sf.isChecked());
    EXPECT_EQ(sf.Colour(), kGrey);
}

// A colour box shows the very pixels of a plain check box whose palette has that colour as
// its background, checked or not, painted directly or from kept images, also after changes
// of the application's and the window's palette.
TEST(ColourBoxPixels, ShowWhatACheckBoxWithThatBackgroundShows) {
    const QPalette original = QApplication::palette();
    QWidget window;
    auto* box = new TColourBox("0", &window);
    auto* plain = new QCheckBox("0", &window);
    box->setGeometry(4, 4, 40, 17);
    plain->setGeometry(50, 4, 40, 17);
    window.resize(100, 30);
    window.show();
    QCoreApplication::processEvents();
    const auto compare = [&](const char* when) {
        for (const bool keep : {false, true}) {
            TLoneCheckBox::SetKeepImages(keep);
            for (const QColor& c : {kYellow, kGrey, QColor(255, 0, 255)}) {
                for (const Qt::CheckState state : {Qt::Unchecked, Qt::Checked}) {
                    box->SetColour(c);
                    SetBackground(*plain, c);
                    box->setCheckState(state);
                    plain->setCheckState(state);
                    EXPECT_EQ(box->grab().toImage(), plain->grab().toImage())
                        << when << ", " << c.name().toStdString() << ", state " << state
                        << (keep ? ", from kept images" : "");
                }
            }
        }
        TLoneCheckBox::SetKeepImages(true);
    };
    compare("at first");
    QPalette changed = original;
    changed.setColor(QPalette::WindowText, Qt::red);
    changed.setColor(QPalette::Button, Qt::blue);
    QApplication::setPalette(changed);
    QCoreApplication::processEvents();
    compare("after the application's palette changed");
    window.setPalette(QPalette(Qt::darkCyan));
    compare("after the window's palette changed");
    QApplication::setPalette(original);
}

// The boxes keep what an ordinary check box does with the keyboard, though each sits in a
// button group of its own (which changes Qt's handling of arrow keys).
struct ArrowCase {
    const char* name;
    Qt::Key key;
    Qt::LayoutDirection direction;
};

class ArrowKeyTest : public ::testing::TestWithParam<ArrowCase> {};

// Which of three boxes in a row has the focus after the key goes to the middle one, and
// whether the row's owner saw the key; -1 when none of them has it.
class KeyWitness final : public QWidget {
  public:
    bool sawKey = false;

  protected:
    void keyPressEvent(QKeyEvent*) override { sawKey = true; }
};

template <class Box>
std::pair<int, bool> FocusAfterKey(const ArrowCase& c) {
    KeyWitness row;
    row.setLayoutDirection(c.direction);
    Box* boxes[3];
    for (int i = 0; i < 3; ++i) {
        boxes[i] = new Box(QString::number(i), &row);
        boxes[i]->setGeometry(10 + 40 * i, 10, 35, 17);
    }
    row.show();
    QApplication::setActiveWindow(&row);
    boxes[1]->setFocus();
    QTest::keyClick(boxes[1], c.key);
    int focused = -1;
    for (int i = 0; i < 3; ++i)
        if (boxes[i]->hasFocus()) focused = i;
    return {focused, row.sawKey};
}

TEST_P(ArrowKeyTest, MovesTheFocusAsAnOrdinaryCheckBoxDoes) {
    const auto ordinary = FocusAfterKey<QCheckBox>(GetParam());
    const auto lone = FocusAfterKey<TLoneCheckBox>(GetParam());
    const auto coloured = FocusAfterKey<TColourBox>(GetParam());
    EXPECT_EQ(lone, ordinary);
    EXPECT_EQ(coloured.first, ordinary.first);
    EXPECT_EQ(coloured.second, ordinary.second);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ArrowKeyTest,
    ::testing::Values(ArrowCase{"LeftToRightLeft", Qt::Key_Left, Qt::LeftToRight},
                      ArrowCase{"LeftToRightRight", Qt::Key_Right, Qt::LeftToRight},
                      ArrowCase{"LeftToRightUp", Qt::Key_Up, Qt::LeftToRight},
                      ArrowCase{"LeftToRightDown", Qt::Key_Down, Qt::LeftToRight},
                      ArrowCase{"RightToLeftLeft", Qt::Key_Left, Qt::RightToLeft},
                      ArrowCase{"RightToLeftRight", Qt::Key_Right, Qt::RightToLeft},
                      ArrowCase{"RightToLeftUp", Qt::Key_Up, Qt::RightToLeft},
                      ArrowCase{"SpaceStillToggles", Qt::Key_Space, Qt::LeftToRight}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConsoleTest, EveryLedFollowsItsOutputWhileOthersStayLit) {
    // Unchecking one box must not be refused or redirected because others are checked.
    Form1().RUN1Click();
    for (int bit = 0; bit < 8; ++bit) Plc().Q.At(0, bit) = true;
    Form1().Timer1Timer();
    Plc().Q.At(0, 3) = false;
    Form1().Timer1Timer();
    for (int bit = 0; bit < 8; ++bit) {
        const std::string name = "chbq0" + std::to_string(bit);
        EXPECT_EQ(Box(name.c_str()).isChecked(), bit != 3) << name;
        EXPECT_EQ(Box(name.c_str()).Colour(), bit != 3 ? kYellow : kGrey) << name;
    }
}

}  // namespace
}  // namespace corvane::console::test
