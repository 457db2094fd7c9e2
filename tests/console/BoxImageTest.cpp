// Boxes painted from kept images show the very pixels the style paints directly, in every
// look a box can take, and stop using an image once the look it was drawn for is gone.
#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QScreen>
#include <functional>
#include <map>
#include <string>

#include "ConsoleTestSupport.h"
#include "LoneCheckBox.h"
#include "PaintThrottle.h"

namespace corvane::console::test {
namespace {

// Paints with kept images off, then twice with them on (the first paint draws the image,
// the second shows it as kept), and expects the three alike.
void ExpectSamePixels(QWidget& widget, const std::string& what) {
    TLoneCheckBox::SetKeepImages(false);
    const QImage direct = widget.grab().toImage();
    TLoneCheckBox::SetKeepImages(true);
    const QImage drawn = widget.grab().toImage();
    const QImage kept = widget.grab().toImage();
    EXPECT_EQ(drawn, direct) << what << ": the image as drawn";
    EXPECT_EQ(kept, direct) << what << ": the image as kept";
}

struct LookCase {
    const char* name;
    std::function<void(TColourBox&)> apply;
};

const LookCase kLooks[] = {
    {"Unchecked", [](TColourBox&) {}},
    {"Checked", [](TColourBox& b) { b.setChecked(true); }},
    {"CheckedButGrey",
     [](TColourBox& b) {
         b.setChecked(true);
         b.SetColour(kGrey);
     }},
    {"Marked", [](TColourBox& b) { b.SetColour(QColor(255, 0, 255)); }},
    {"Focused", [](TColourBox& b) { b.setFocus(Qt::TabFocusReason); }},
    {"Pressed", [](TColourBox& b) { b.setDown(true); }},
    {"UnderTheMouse", [](TColourBox& b) { b.setAttribute(Qt::WA_UnderMouse); }},
    {"Disabled", [](TColourBox& b) { b.setEnabled(false); }},
    {"PartlyChecked",
     [](TColourBox& b) {
         b.setTristate(true);
         b.setCheckState(Qt::PartiallyChecked);
     }},
};

class BoxLookTest : public ConsoleTest, public ::testing::WithParamInterface<LookCase> {};

TEST_P(BoxLookTest, FaceplateBoxesShowTheSamePixelsFromKeptImages) {
    Form1().show();
    // Inputs, outputs and the indented RUN, STOP and SF boxes.
    for (const char* name :
         {"chbi00", "chbi15", "chbq07", "chbq11", "chbrun", "chbstop", "chbsf"}) {
        TColourBox& box = Box(name);
        GetParam().apply(box);
        ExpectSamePixels(box, name);
    }
    ExpectSamePixels(Form1(), "the whole window");
}

INSTANTIATE_TEST_SUITE_P(Looks, BoxLookTest, ::testing::ValuesIn(kLooks),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConsoleTest, ModuleBoxesShowTheSamePixelsFromKeptImages) {
    TModuleF& module = Console().ModuleF();
    module.show();
    for (const char* name : {"chbi20", "chbq20", "chbq77"}) {
        auto* box = Child<TLoneCheckBox>(module, name);
        ASSERT_NE(box, nullptr);
        ExpectSamePixels(*box, name);
        box->setChecked(true);
        ExpectSamePixels(*box, std::string(name) + " checked");
    }
    ExpectSamePixels(module, "the whole window");
}

// What reaches the window's backing store, not only what a grab renders: every box of
// the faceplate in both colours, painted from kept images and directly.
TEST_F(ConsoleTest, TheBackingStoreHoldsTheSamePixelsEitherWay) {
    Form1().show();
    QCoreApplication::processEvents();
    int n = 0;
    for (TColourBox* box : Form1().findChildren<TColourBox*>()) {
        if (n++ % 2 == 0) box->setChecked(!box->isChecked());
        box->SetColour(n % 3 == 0 ? kYellow : kGrey);
    }
    const auto onScreen = [this] {
        Form1().repaint();
        return Form1().screen()->grabWindow(Form1().winId()).toImage();
    };
    const QImage kept = onScreen();
    TLoneCheckBox::SetKeepImages(false);
    const QImage direct = onScreen();
    TLoneCheckBox::SetKeepImages(true);
    ASSERT_FALSE(direct.isNull());
    EXPECT_EQ(kept, direct);
    EXPECT_GT(Box("chbq00").KeptImages(), 0);
}

// Changes of look that the images' key does not hold: each must make the box draw anew.
struct ChangeCase {
    const char* name;
    std::function<void(QWidget& window, TColourBox& box)> apply;
};

const ChangeCase kChanges[] = {
    {"ApplicationPalette",
     [](QWidget&, TColourBox&) {
         QPalette p = QApplication::palette();
         p.setColor(QPalette::WindowText, Qt::red);
         p.setColor(QPalette::Base, Qt::cyan);
         QApplication::setPalette(p);
     }},
    {"WindowPalette",
     [](QWidget& w, TColourBox&) {
         QPalette p = w.palette();
         p.setColor(QPalette::WindowText, Qt::blue);
         w.setPalette(p);
     }},
    {"WindowFont", [](QWidget& w, TColourBox&) { w.setFont(QFont(w.font().family(), 14)); }},
    {"BoxFont",
     [](QWidget&, TColourBox& b) {
         QFont f = b.font();
         f.setBold(!f.bold());
         b.setFont(f);
     }},
    {"Indent", [](QWidget&, TColourBox& b) { b.SetIndent(b.Indent() + 4); }},
    {"Caption", [](QWidget&, TColourBox& b) { b.setText("W"); }},
    {"Size", [](QWidget&, TColourBox& b) { b.resize(b.width() + 5, b.height()); }},
    {"LayoutDirection", [](QWidget&, TColourBox& b) { b.setLayoutDirection(Qt::RightToLeft); }},
};

class BoxChangeTest : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(BoxChangeTest, KeptImagesGiveWayWhenTheLookChanges) {
    const QPalette palette = QApplication::palette();
    QWidget window;
    auto& box = *new TColourBox("3", &window);
    box.setGeometry(10, 10, 40, 17);
    window.resize(100, 40);
    window.show();
    box.setChecked(true);
    box.SetColour(kYellow);
    QCoreApplication::processEvents();           // the window settles (activation changes the look)
    const QImage before = box.grab().toImage();  // draws and keeps the image
    GetParam().apply(window, box);
    QCoreApplication::processEvents();  // what the change posts
    TLoneCheckBox::SetKeepImages(false);
    EXPECT_NE(box.grab().toImage(), before) << "the change shows";
    TLoneCheckBox::SetKeepImages(true);
    EXPECT_EQ(box.grab().toImage(), box.grab().toImage());
    ExpectSamePixels(box, "after the change");
    QApplication::setPalette(palette);
}

INSTANTIATE_TEST_SUITE_P(Changes, BoxChangeTest, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConsoleTest, AnLedFlippingAtEveryRefreshKeepsOneImageForEachLook) {
    Form1().show();
    TColourBox& led = Box("chbq00");
    for (int flip = 0; flip < 50; ++flip) {
        led.setChecked(flip % 2 == 0);
        led.SetColour(flip % 2 == 0 ? kYellow : kGrey);
        (void)led.grab();
    }
    EXPECT_EQ(led.KeptImages(), 2);
    // Many colours: the oldest images go, so a box keeps only a few.
    for (int c = 0; c < 40; ++c) {
        led.SetColour(QColor(c, 100, 200));
        (void)led.grab();
    }
    EXPECT_LE(led.KeptImages(), 8);
}

class PaintCounter final : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints[watched->objectName().toStdString()];
        return false;
    }
    std::map<std::string, int> paints;
};

// An LED that flips (state and colour) repaints itself alone, in either window, though
// each box overlaps the one below it by a pixel; both neighbours stay as they were.
TEST_F(ConsoleTest, AnLedFlipRepaintsThatLedAlone) {
    TModuleF& module = Console().ModuleF();
    for (QWidget* window : {static_cast<QWidget*>(&Form1()), static_cast<QWidget*>(&module)}) {
        window->show();
        QCoreApplication::processEvents();
        const auto flush = [window] {
            if (auto* throttle = window->findChild<TPaintThrottle*>()) throttle->Flush();
            QCoreApplication::processEvents();
        };
        flush();
        PaintCounter counter;
        for (QCheckBox* box : window->findChildren<QCheckBox*>()) box->installEventFilter(&counter);
        const char* name = window == &module ? "chbq31" : "chbq01";
        auto* led = window->findChild<QCheckBox*>(name);
        ASSERT_NE(led, nullptr);
        for (int flip = 0; flip < 4; ++flip) {
            led->setChecked(!led->isChecked());
            if (auto* coloured = qobject_cast<TColourBox*>(led))
                coloured->SetColour(led->isChecked() ? kYellow : kGrey);
            flush();
        }
        EXPECT_EQ(counter.paints, (std::map<std::string, int>{{name, 4}})) << name;
    }
}

// Where the box's pixels depend on more than its own look, it is painted directly: a style
// sheet, a faceplate box in a translucent colour, a module box that shows what lies behind
// it or whose background is a pattern.
TEST_F(ConsoleTest, BoxesWithStyleSheetsOrShowingWhatLiesBehindKeepNoImages) {
    Form1().show();
    TColourBox& styled = Box("chbi01");
    styled.setStyleSheet("QCheckBox { color: red; }");
    (void)styled.grab();
    EXPECT_EQ(styled.KeptImages(), 0);

    TColourBox& translucent = Box("chbi02");
    translucent.SetColour(QColor(255, 255, 0, 128));
    (void)translucent.grab();
    EXPECT_EQ(translucent.KeptImages(), 0);
    ExpectSamePixels(Form1(), "the faceplate");

    TModuleF& module = Console().ModuleF();
    module.show();
    auto& seeThrough = *Child<TLoneCheckBox>(module, "chbi20");
    seeThrough.setAutoFillBackground(false);
    (void)seeThrough.grab();
    EXPECT_EQ(seeThrough.KeptImages(), 0);

    auto& patterned = *Child<TLoneCheckBox>(module, "chbi21");
    QPalette p = patterned.palette();
    p.setBrush(patterned.backgroundRole(), QBrush(kYellow, Qt::Dense4Pattern));
    patterned.setPalette(p);
    (void)patterned.grab();
    EXPECT_EQ(patterned.KeptImages(), 0);
    ExpectSamePixels(module, "the module window");
}

}  // namespace
}  // namespace corvane::console::test
