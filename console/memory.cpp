#include "memory.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <cmath>

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
constexpr int kListWidth = 65;
constexpr int kSmallestPixelSize = 7;

// Paints an item's text with its tab expanded to `tabStop` pixels, never elided. (Qt's item
// views put tab stops 80 pixels apart and elide what does not fit: in a 65-pixel list every
// line would read "M0.0...".)
class TTabbedTextDelegate : public QStyledItemDelegate {
  public:
    TTabbedTextDelegate(QObject* parent, qreal tabStop)
        : QStyledItemDelegate(parent), tabStop_(tabStop) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString text = item.text;
        item.text.clear();  // the style draws background, selection and focus only
        const QWidget* widget = item.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

        const QPalette::ColorGroup group =
            !(item.state & QStyle::State_Enabled) ? QPalette::Disabled
            : (item.state & QStyle::State_Active) ? QPalette::Active
                                                  : QPalette::Inactive;
        const QPalette::ColorRole role =
            (item.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
        QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
        layout.setWrapMode(QTextOption::NoWrap);
        layout.setTabStopDistance(tabStop_);
        painter->save();
        painter->setPen(item.palette.color(group, role));
        painter->setFont(item.font);
        painter->drawText(QRectF(item.rect).adjusted(TMemoryF::kTextMargin, 0, 0, 0), text, layout);
        painter->restore();
    }

  private:
    qreal tabStop_;
};

// The widest address of either page and the value text after the tab.
struct TWidths {
    qreal TabStop;
    qreal Line;
};
TWidths Widths(const QFont& font) {
    const QFontMetricsF metrics(font);
    qreal address = 0;
    for (int n = 0; n < 20; ++n)
        for (int b = 0; b < plc::kBitsPerByte; ++b)
            address = std::max(address,
                               metrics.horizontalAdvance(QStringLiteral("M%1.%2").arg(n).arg(b)));
    const qreal tabStop = std::ceil(address + metrics.horizontalAdvance(' '));
    const qreal value = std::max(metrics.horizontalAdvance(QStringLiteral("     0")),
                                 metrics.horizontalAdvance(QStringLiteral("     1")));
    return {tabStop, tabStop + value};
}

// The console's face, shrunk pixel by pixel until the widest line fits `available`.
QFont FittedListFont(int available) {
    QFont font = ClassicFont(8);
    for (int pixels = QFontInfo(font).pixelSize();
         Widths(font).Line > available && pixels > kSmallestPixelSize;) {
        font.setPixelSize(--pixels);
    }
    return font;
}

}  // namespace

TMemoryRefresh::TMemoryRefresh(const plc::TPLC& plc)
    : plc_(plc), timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(kInterval);
    connect(timer_.get(), &QTimer::timeout, this, &TMemoryRefresh::Tick);
    timer_->start();
}

TMemoryRefresh::~TMemoryRefresh() = default;

std::unique_ptr<QTimer> TMemoryRefresh::TakeTimer() {
    if (timer_) timer_->disconnect(this);
    return std::move(timer_);
}

void TMemoryRefresh::Tick() {
    lastSeen_ = plc_.M;
}

TMemoryF::TMemoryF(plc::TPLC& plc) : TMemoryF(plc, nullptr) {}

TMemoryF::TMemoryF(plc::TPLC& plc, std::unique_ptr<TMemoryRefresh> refresh)
    : QWidget(nullptr), plc_(plc) {
    setObjectName("MemoryF");
    setWindowTitle("Memory ---- Update every second");
    setFont(ClassicFont(8, true));
    setFixedSize(794, 142);

    QFont listFont;
    for (int c = 0; c < kColumns; ++c) {
        const TColumnNames& names = kColumnNames[static_cast<size_t>(c)];
        auto* label = new QLabel(names.Caption, this);
        label->setObjectName(names.Label);
        label->move(32 + 72 * c, 8);
        label->resize(40, 14);
        auto* list = new QListWidget(this);
        list->setObjectName(names.List);
        list->setGeometry(8 + 72 * c, 24, kListWidth, 113);
        list->setUniformItemSizes(true);
        list->setTextElideMode(Qt::ElideNone);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        if (c == 0) {
            const int available = kListWidth - 2 * list->frameWidth() - 2 * kTextMargin;
            listFont = FittedListFont(available);
            tabStop_ = Widths(listFont).TabStop;
        }
        list->setFont(listFont);
        list->setItemDelegate(new TTabbedTextDelegate(list, tabStop_));
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
    // An adopted timer keeps running in the rhythm it has had since start-up (setting its
    // interval would restart it).
    std::unique_ptr<QTimer> adopted = refresh ? refresh->TakeTimer() : nullptr;
    if (adopted) {
        Timer1 = adopted.release();
        Timer1->setParent(this);
    } else {
        Timer1 = new QTimer(this);
        Timer1->setInterval(TMemoryRefresh::kInterval);
    }
    Timer1->setObjectName("Timer1");
    connect(Timer1, &QTimer::timeout, this, [this] { plc::RunEvent([this] { Timer1Timer(); }); });
    if (!Timer1->isActive()) Timer1->start();
    if (refresh && refresh->LastSeen()) ShowMarkers(*refresh->LastSeen());
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
    ShowMarkers(plc_.M);
}

void TMemoryF::ShowMarkers(const plc::TBitArea& markers) {
    for (int c = 0; c < kColumns; ++c) {
        const int n = MemoryPage * 10 + c;
        labels_[static_cast<size_t>(c)]->setText(QStringLiteral("M%1").arg(n));
        QListWidget* list = lists_[static_cast<size_t>(c)];
        list->clear();
        for (int b = 0; b < plc::kBitsPerByte; ++b) {
            const QString value =
                markers.At(n, b) ? QStringLiteral("     1") : QStringLiteral("     0");
            auto* item =
                new QListWidgetItem(QStringLiteral("M%1.%2\t%3").arg(n).arg(b).arg(value), list);
            item->setSizeHint(QSize(0, kItemHeight));
        }
    }
}

}  // namespace corvane::console
