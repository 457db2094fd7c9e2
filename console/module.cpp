#include "module.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "ConsoleStyle.h"
#include "IoBoxes.h"
#include "JpegImage.h"
#include "LoneCheckBox.h"
#include "PLC_Instruction.h"

namespace corvane::console {
namespace {

constexpr int kSlots = 6;
constexpr int kFirstByte = 2;
constexpr int kSlotPitch = 96;
constexpr QSize kBoxSize{33, 17};

int Element(int byte, int bit) {
    return byte * plc::kBitsPerByte + bit;
}

QLabel* MakeLabel(QWidget& parent, const QString& name, const QString& text, QPoint position) {
    auto* label = new QLabel(text, &parent);
    label->setObjectName(name);
    label->setAttribute(Qt::WA_NoMousePropagation);
    label->adjustSize();
    label->move(position);
    return label;
}

}  // namespace

TModuleF::TModuleF(TIoBoxes& io) : QWidget(nullptr), io_(io) {
    setObjectName("ModuleF");
    setWindowTitle("Manager Module 223");
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(ClassicFont(10, true));
    setFixedSize(574, 168);
    paintThrottle_ = std::make_unique<TPaintThrottle>(*this);

    const QPixmap picture = QPixmap::fromImage(LoadJpeg(":/corvane/module.jpg"));
    for (int s = 0; s < kSlots; ++s) {
        const int m = s + kFirstByte;
        const int left = kSlotPitch * s;
        QLabel* image =
            MakeLabel(*this, QStringLiteral("Image%1").arg(s + 1), QString(), {left, 16});
        image->setPixmap(picture);
        image->setGeometry(left, 16, 89, 145);
        MakeLabel(*this, QStringLiteral("Label%1").arg(s + 1), QStringLiteral("I%1").arg(m),
                  {8 + left, 0});
        MakeLabel(*this, QStringLiteral("Label%1").arg(s + 7), QStringLiteral("Q%1").arg(m),
                  {48 + left, 0});
        for (int b = 0; b < plc::kBitsPerByte; ++b) {
            for (const auto& [area, offset] : {std::pair{'i', 8}, std::pair{'q', 48}}) {
                auto* box = new TLoneCheckBox(QString::number(b), this);
                box->setObjectName(QStringLiteral("chb%1%2%3").arg(area).arg(m).arg(b));
                box->setGeometry(QRect(QPoint(offset + left, 24 + 16 * b), kBoxSize));
                SetBackground(*box, kGrey);
                if (area == 'i') {
                    io_.AddSwitch(Element(m, b), box);
                } else {
                    io_.AddLed(Element(m, b), box);
                }
            }
        }
    }
}

QCheckBox* TModuleF::InputBox(int byte, int bit) const {
    return io_.Switch(Element(byte, bit));
}
QCheckBox* TModuleF::OutputBox(int byte, int bit) const {
    return io_.Led(Element(byte, bit));
}

void TModuleF::FormMouseDown() {
    Dragging = true;
}

void TModuleF::FormMouseMove(QPoint client) {
    if (!Dragging) return;
    move(x() + client.x(), y() + client.y());
}

void TModuleF::FormMouseUp() {
    Dragging = false;
}

void TModuleF::mousePressEvent(QMouseEvent* event) {
    FormMouseDown();
    event->accept();
}

void TModuleF::mouseMoveEvent(QMouseEvent* event) {
    FormMouseMove(event->position().toPoint());
    event->accept();
}

void TModuleF::mouseReleaseEvent(QMouseEvent* event) {
    FormMouseUp();
    event->accept();
}

}  // namespace corvane::console
