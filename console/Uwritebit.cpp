#include "Uwritebit.h"

#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>

#include "ConsoleStyle.h"
#include "Messages.h"
#include "PLC_Instruction.h"

namespace corvane::console {

TwriteF::TwriteF(plc::TPLC& plc) : QWidget(nullptr), plc_(plc) {
    setObjectName("writeF");
    setWindowTitle("Write Bit");
    setFont(ClassicFont(8));
    setFixedSize(201, 272);

    Button1 = new QPushButton("Set Bit", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(24, 8, 65, 25);
    Button2 = new QPushButton("Reset Bit", this);
    Button2->setObjectName("Button2");
    Button2->setGeometry(112, 8, 65, 25);
    GroupBox1 = new QGroupBox("Select a Bit", this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(8, 40, 185, 225);
    ListBox1 = new QListWidget(GroupBox1);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setGeometry(8, 16, 169, 201);
    ListBox1->setUniformItemSizes(true);

    FormCreate();

    auto guarded = [this](void (TwriteF::*handler)()) {
        return [this, handler] { plc::RunEvent([this, handler] { (this->*handler)(); }); };
    };
    connect(Button1, &QPushButton::clicked, this, guarded(&TwriteF::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guarded(&TwriteF::Button2Click));
    // Keyboard moves and clicks both count as a click on the list, even on the same line.
    connect(ListBox1, &QListWidget::currentRowChanged, this, guarded(&TwriteF::ListBox1Click));
    connect(ListBox1, &QListWidget::itemClicked, this, guarded(&TwriteF::ListBox1Click));
}

void TwriteF::FormCreate() {
    constexpr int kLastByte = plc::kBytesPerArea - 1;
    for (int n = 0; n <= kLastByte; ++n) {
        for (int b = 0; b < plc::kBitsPerByte; ++b) {
            auto* item = new QListWidgetItem(QStringLiteral("M%1.%2").arg(n).arg(b), ListBox1);
            item->setSizeHint(QSize(0, 13));
        }
        if (n != kLastByte) (new QListWidgetItem(QString(), ListBox1))->setSizeHint(QSize(0, 13));
    }
    ListBox1->setCurrentRow(0);
}

QString TwriteF::SelectedAddress() const {
    const QListWidgetItem* item = ListBox1->currentItem();
    return item ? item->text() : QString();
}

void TwriteF::ShowSelectedBit() {
    const std::optional<bool> value = plc_.ReadBit(SelectedAddress().toStdString());
    GroupBox1->setTitle(value ? (*value ? "True" : "False") : QString());
}

void TwriteF::ListBox1Click() {
    ShowSelectedBit();
}

void TwriteF::Button1Click() {
    plc_.SetMarkerBit(SelectedAddress().toStdString());
    ShowSelectedBit();
}

void TwriteF::Button2Click() {
    plc_.ResetMarkerBit(SelectedAddress().toStdString());
    ShowSelectedBit();
}

QString TwriteF::Caption() const {
    return GroupBox1->title();
}

}  // namespace corvane::console
