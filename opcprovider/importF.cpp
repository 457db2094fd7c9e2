#include "importF.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

#include "ConsoleStyle.h"
#include "Messages.h"
#include "corvane/platform/Registry.h"
#include "main.h"

namespace corvane::opcprovider {
namespace {

struct TColumn {
    const char* Caption;
    int Width;  // 0: the default width
};

constexpr TColumn kColumns[] = {{"ID", 0},     {"ItemsID", 100}, {"Address", 0},
                                {"Access", 0}, {"Value", 80},    {"Quality", 100}};

QString ChooseFile(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

}  // namespace

TForm2::TForm2(TSymbolTable& Symbols, platform::ClassesRoot& Registry)
    : QWidget(nullptr), OpenDialog1(&ChooseFile), symbols_(Symbols), registry_(Registry) {
    setObjectName("Form2");
    setWindowTitle("Import Symbols");
    setFont(console::ClassicFont(8));

    ItemList = new QTreeWidget(this);
    ItemList->setObjectName("ItemList");
    ItemList->setGeometry(0, 0, 481, 185);
    ItemList->setRootIsDecorated(false);
    ItemList->setSelectionBehavior(QAbstractItemView::SelectRows);
    ItemList->setColumnCount(static_cast<int>(std::size(kColumns)));
    QStringList captions;
    for (const TColumn& c : kColumns) captions << c.Caption;
    ItemList->setHeaderLabels(captions);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i)
        if (kColumns[i].Width) ItemList->setColumnWidth(i, kColumns[i].Width);
    // The selection stays visible while the list has no focus.
    QPalette palette = ItemList->palette();
    palette.setBrush(QPalette::Inactive, QPalette::Highlight,
                     palette.brush(QPalette::Active, QPalette::Highlight));
    palette.setBrush(QPalette::Inactive, QPalette::HighlightedText,
                     palette.brush(QPalette::Active, QPalette::HighlightedText));
    ItemList->setPalette(palette);

    Button1 = new QPushButton("Load Symbols", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(8, 192, 81, 25);
    Button2 = new QPushButton("Close", this);
    Button2->setObjectName("Button2");
    Button2->setGeometry(96, 192, 75, 25);
    console::SetOuterSize(*this, QSize(495, 256));

    connect(Button1, &QPushButton::clicked, this,
            [this] { plc::RunEvent([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { plc::RunEvent([this] { Button2Click(); }); });
}

void TForm2::Button1Click() {
    const QString file =
        OpenDialog1 ? OpenDialog1(this, console::QtFileFilter(kSymbolFilter)) : QString();
    if (file.isEmpty()) return;
    Import(file);
}

void TForm2::Button2Click() {
    hide();
}

void TForm2::Import(const QString& file) {
    // Read in full first: a file that cannot be read leaves table and list as they were.
    const TImportResult result = symbols_.ImportFile(file.toStdString());
    ItemList->clear();
    for (const TImportRow& row : result.Rows) {
        auto* item = new QTreeWidgetItem(ItemList);
        item->setText(0, QString::number(row.ID));
        item->setText(1, console::FileText(row.ItemsID));
        item->setText(2, console::FileText(row.Address));
        item->setText(3, console::FileText(row.AccessWord));
    }
    registry_.SetValue(kLastFileKey, kLastFileValue,
                       QFileInfo(file).absoluteFilePath().toStdString());
    if (result.NotImported > 0) plc::ShowMessage(TSymbolTable::NotImportedText(result.NotImported));
}

QStringList TForm2::Row(int row) const {
    QStringList cells;
    const QTreeWidgetItem* item = ItemList->topLevelItem(row);
    for (int i = 0; item && i < ItemList->columnCount(); ++i) cells << item->text(i);
    return cells;
}

int TForm2::RowCount() const {
    return ItemList->topLevelItemCount();
}

}  // namespace corvane::opcprovider
