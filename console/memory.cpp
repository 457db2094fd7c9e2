#include "memory.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "ConsoleStyle.h"
#include "Messages.h"
#include "PLC_Instruction.h"

namespace corvane::console {
namespace {

// Component names and the captions shown until the first refresh, left to right.
struct TColumnNames {
    const char* Label;
    const char* List;
    const char* Caption;
};
constexpr std::array<TColumnNames, TMemoryF::kColumns> kColumnNames{{
    {"Label1", "ListBox9", "M1"},
    {"Label2", "ListBox1", "M2"},
    {"Label3", "ListBox2", "M3"},
    {"Label4", "ListBox3", "M4"},
    {"Label5", "ListBox4", "M5"},
    {"Label6", "ListBox5", "M6"},
    {"Label7", "ListBox6", "M7"},
    {"Label8", "ListBox7", "M8"},
    {"Label9", "ListBox8", "M0"},
    {"Label10", "ListBox10", "M9"},
}};

constexpr int kItemHeight = 13;

}  // namespace

TMemoryF::TMemoryF(plc::TPLC& plc) : QWidget(nullptr), plc_(plc) {
    setObjectName("MemoryF");
    setWindowTitle("Memory ---- Update every second");
    setFont(ClassicFont(8, true));
    setFixedSize(794, 142);

    for (int c = 0; c < kColumns; ++c) {
        const TColumnNames& names = kColumnNames[static_cast<size_t>(c)];
        auto* label = new QLabel(names.Caption, this);
        label->setObjectName(names.Label);
        label->move(32 + 72 * c, 8);
        label->resize(40, 14);
        auto* list = new QListWidget(this);
        list->setObjectName(names.List);
        list->setFont(ClassicFont(8));
        list->setGeometry(8 + 72 * c, 24, 65, 113);
        list->setUniformItemSizes(true);
        labels_[static_cast<size_t>(c)] = label;
        lists_[static_cast<size_t>(c)] = list;
    }

    Button1 = new QPushButton(">>", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(728, 24, 57, 25);
    Button2 = new QPushButton("<<", this);
    Button2->setObjectName("Button2");
    Button2->setGeometry(728, 56, 57, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    MemoryPage = 0;  // FormCreate
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { plc::RunEvent([this] { Timer1Timer(); }); });
    Timer1->start();
}

void TMemoryF::Button1Click() {
    if (MemoryPage != 0) return;
    MemoryPage = 1;
    Button1->setEnabled(false);
    Button2->setEnabled(true);
}

void TMemoryF::Button2Click() {
    if (MemoryPage != 1) return;
    MemoryPage = 0;
    Button2->setEnabled(false);
    Button1->setEnabled(true);
}

void TMemoryF::Timer1Timer() {
    for (int c = 0; c < kColumns; ++c) {
        const int n = MemoryPage * 10 + c;
        labels_[static_cast<size_t>(c)]->setText(QStringLiteral("M%1").arg(n));
        QListWidget* list = lists_[static_cast<size_t>(c)];
        list->clear();
        for (int b = 0; b < plc::kBitsPerByte; ++b) {
            const QString value =
                plc_.M.At(n, b) ? QStringLiteral("     1") : QStringLiteral("     0");
            auto* item =
                new QListWidgetItem(QStringLiteral("M%1.%2\t%3").arg(n).arg(b).arg(value), list);
            item->setSizeHint(QSize(0, kItemHeight));
        }
    }
}

}  // namespace corvane::console
