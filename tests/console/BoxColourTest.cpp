// Box colouring: yellow when checked, grey when not, run by every change of state and
// only by a change, whether an operator or the I/O refresh makes it.
#include <QTest>

#include "ConsoleTestSupport.h"

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
    EXPECT_EQ(Background(box), kGrey);
}

INSTANTIATE_TEST_SUITE_P(FaceplateBoxes, BoxColourTest,
                         ::testing::Values("chbi00", "chbi07", "chbi10", "chbi15", "chbq00",
                                           "chbq07", "chbq10", "chbq11"));

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

}  // namespace
}  // namespace corvane::console::test
