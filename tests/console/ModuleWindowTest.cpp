// The module window: 96 boxes, I/O through the refresh while hidden, no colouring, drag.
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>

#include "ConsoleTestSupport.h"
#include "module.h"

namespace corvane::console::test {
namespace {

class ModuleWindowTest : public ConsoleTest {
  protected:
    TModuleF& Module() { return Console().ModuleF(); }
    void Send(QWidget& target, QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
        const QPointF global = target.mapToGlobal(QPointF(local));
        QMouseEvent event(type, QPointF(local), global,
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, {});
        QCoreApplication::sendEvent(&target, &event);
    }
};

TEST_F(ModuleWindowTest, SixModulesOfSixteenBoxesAtTheirPlaces) {
    EXPECT_EQ(Module().windowTitle(), "Manager Module 223");
    EXPECT_EQ(Module().size(), QSize(574, 168));
    EXPECT_EQ(Module().minimumSize(), Module().maximumSize());
    EXPECT_FALSE(Module().windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    int boxes = 0;
    for (int s = 0; s < 6; ++s) {
        const int m = s + 2;
        auto* image = Child<QLabel>(Module(), QStringLiteral("Image%1").arg(s + 1).toUtf8());
        EXPECT_EQ(image->geometry(), QRect(96 * s, 16, 89, 145));
        EXPECT_EQ(image->pixmap().size(), QSize(89, 145));
        EXPECT_EQ(Child<QLabel>(Module(), QStringLiteral("Label%1").arg(s + 1).toUtf8())->text(),
                  QStringLiteral("I%1").arg(m));
        EXPECT_EQ(Child<QLabel>(Module(), QStringLiteral("Label%1").arg(s + 7).toUtf8())->pos(),
                  QPoint(48 + 96 * s, 0));
        for (int b = 0; b < 8; ++b) {
            QCheckBox* in = Module().InputBox(m, b);
            QCheckBox* out = Module().OutputBox(m, b);
            ASSERT_NE(in, nullptr);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(in->objectName(), QStringLiteral("chbi%1%2").arg(m).arg(b));
            EXPECT_EQ(out->objectName(), QStringLiteral("chbq%1%2").arg(m).arg(b));
            EXPECT_EQ(in->geometry(), QRect(8 + 96 * s, 24 + 16 * b, 33, 17));
            EXPECT_EQ(out->geometry(), QRect(48 + 96 * s, 24 + 16 * b, 33, 17));
            EXPECT_EQ(in->text(), QString::number(b));
            boxes += 2;
        }
    }
    EXPECT_EQ(boxes, 96);
    EXPECT_EQ(Module().findChildren<QCheckBox*>().size(), 96);
}

TEST_F(ModuleWindowTest, SwitchReachesItsInputWhileHiddenAndKeepsItsColour) {
    QCheckBox* in43 = Module().InputBox(4, 3);
    in43->click();
    Form1().RUN1Click();
    Form1().Timer1Timer();
    EXPECT_FALSE(Module().isVisible());
    EXPECT_TRUE(Plc().I.At(4, 3));
    EXPECT_EQ(Background(*in43), kGrey);
}

TEST_F(ModuleWindowTest, OutputChecksItsLedWhileHidden) {
    Form1().RUN1Click();
    Plc().Q.At(5, 0) = true;
    Plc().Q.At(7, 7) = true;
    Form1().Timer1Timer();
    EXPECT_TRUE(Module().OutputBox(5, 0)->isChecked());
    EXPECT_TRUE(Module().OutputBox(7, 7)->isChecked());
    EXPECT_FALSE(Module().OutputBox(5, 1)->isChecked());
    EXPECT_EQ(Background(*Module().OutputBox(5, 0)), kGrey);
}

TEST_F(ModuleWindowTest, DraggingByTheBackgroundStripMovesTheWindow) {
    Module().show();
    Module().move(100, 100);
    const QPoint start = Module().pos();
    const QPoint strip(92, 100);  // between the first two pictures
    ASSERT_EQ(Module().childAt(strip), nullptr);
    Send(Module(), QEvent::MouseButtonPress, strip, Qt::LeftButton);
    EXPECT_TRUE(Module().Dragging);
    Send(Module(), QEvent::MouseMove, QPoint(30, 20), Qt::LeftButton);
    EXPECT_EQ(Module().pos(), start + QPoint(30, 20));
    Send(Module(), QEvent::MouseButtonRelease, QPoint(0, 0), Qt::NoButton);
    EXPECT_FALSE(Module().Dragging);
    Send(Module(), QEvent::MouseMove, QPoint(30, 20), Qt::NoButton);
    EXPECT_EQ(Module().pos(), start + QPoint(30, 20));
}

TEST_F(ModuleWindowTest, PressOnAPictureOrLabelDoesNotDrag) {
    Module().show();
    for (const char* name : {"Image2", "Label3"}) {
        auto* target = Child<QLabel>(Module(), name);
        Send(*target, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
        EXPECT_FALSE(Module().Dragging) << name;
    }
}

}  // namespace
}  // namespace corvane::console::test
