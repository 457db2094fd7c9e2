#include "main.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QTimer>
#include <algorithm>
#include <array>

#include "ColourBox.h"
#include "ConsoleStyle.h"
#include "JpegImage.h"
#include "Messages.h"
#include "ProgramImport.h"
#include "SymbolTable.h"

namespace corvane::console {
namespace {

constexpr QSize kClientSize{395, 202};
constexpr QSize kBoxSize{33, 17};
constexpr QSize kRunBoxSize{49, 17};
constexpr int kRunBoxIndent = 2;  // keeps the boxes' squares off the window's left edge

// One column of faceplate switches or LEDs: bits 0..count-1 of `byte`, top to bottom.
struct TBoxColumn {
    char Area;  // 'i' switch, 'q' LED
    int Byte;
    int Count;
    int Left;
};
constexpr std::array<TBoxColumn, 4> kFaceplateColumns{{
    {'i', 0, 8, 80},
    {'i', 1, 6, 128},
    {'q', 0, 8, 192},
    {'q', 1, 2, 240},
}};

struct TFaceplateLabel {
    const char* Name;
    const char* Text;
    QPoint Position;
};
constexpr std::array<TFaceplateLabel, 3> kFaceplateLabels{{
    {"Label1", "SIEMENS", {260, 136}},
    {"Label2", "SIMATIC S7-200", {240, 152}},
    {"Label3", "224", {275, 168}},
}};

QString DefaultOpenDialog(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString DefaultSymbolsDialog(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(
        parent, QStringLiteral("Symbol file for the program (Cancel: no symbols)"), QString(),
        filter);
}

std::filesystem::path LocalPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

}  // namespace

QString QtFileFilter(const QString& classicFilter) {
    const QStringList parts = classicFilter.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        filters.append(
            QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

QString FileText(const std::string& line) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(line.data(), static_cast<qsizetype>(line.size())));
    if (utf8.hasError())
        text = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    return text;
}

TForm1::TForm1(plc::TTimerBaseDriver::Clock clock)
    : OpenDialog1(&DefaultOpenDialog),
      SymbolsDialog(&DefaultSymbolsDialog),
      PLC_(std::make_unique<plc::TPLC>()),
      run_(*PLC_),
      loader_(*PLC_),
      timerBase_(*PLC_, std::move(clock)) {
    PLC_->ResetMemory();
    setObjectName("Form1");
    setWindowTitle("Corvane");
    setFont(ClassicFont(8));

    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    setCentralWidget(client);
    BuildFaceplate(*client);
    BuildPanels(*client);
    BuildMenu();
    BuildTimers();
    // Fixed: only the panel toggles change the size (dragging would uncover the panels).
    setFixedSize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height());
    paintThrottle_ = std::make_unique<TPaintThrottle>(*this);
}

TForm1::~TForm1() = default;

void TForm1::BuildFaceplate(QWidget& client) {
    auto* image = new QLabel(&client);
    image->setObjectName("Image1");
    image->setGeometry(0, 0, 393, 201);
    image->setPixmap(QPixmap::fromImage(LoadJpeg(":/corvane/faceplate.jpg")));

    for (const TFaceplateLabel& entry : kFaceplateLabels) {
        auto* label = new QLabel(entry.Text, &client);
        label->setObjectName(entry.Name);
        label->setFont(ClassicFont(8, true));
        SetBackground(*label, kGrey);
        label->adjustSize();
        label->move(entry.Position);
    }

    auto makeRunBox = [&](const char* name, const char* caption, int top) {
        auto* box = new TColourBox(caption, &client);
        box->setObjectName(name);
        box->setGeometry(QRect(QPoint(0, top), kRunBoxSize));
        return box;
    };
    chbrun = makeRunBox("chbrun", "RUN", 32);
    chbstop = makeRunBox("chbstop", "STOP", 48);
    chbsf = makeRunBox("chbsf", "SF", 64);
    for (TColourBox* box : {chbrun, chbstop, chbsf}) box->SetIndent(kRunBoxIndent);
    // The fault indicator has no state of its own to toggle: nothing may change it.
    chbsf->setCheckable(false);
    chbsf->setAttribute(Qt::WA_TransparentForMouseEvents);
    chbsf->setFocusPolicy(Qt::NoFocus);
    chbstop->setChecked(true);
    chbstop->SetColour(kYellow);
    connect(chbrun, &QCheckBox::toggled, this,
            [this] { plc::RunEvent([this] { chbrunClick(); }); });
    connect(chbstop, &QCheckBox::toggled, this,
            [this] { plc::RunEvent([this] { chbstopClick(); }); });

    for (const TBoxColumn& column : kFaceplateColumns) {
        for (int bit = 0; bit < column.Count; ++bit) {
            auto* box = new TColourBox(QString::number(bit), &client);
            box->setObjectName(
                QStringLiteral("chb%1%2%3").arg(column.Area).arg(column.Byte).arg(bit));
            box->setGeometry(QRect(QPoint(column.Left, 40 + 16 * bit), kBoxSize));
            const int element = column.Byte * plc::kBitsPerByte + bit;
            if (column.Area == 'i') {
                io_.AddSwitch(element, box);
            } else {
                io_.AddLed(element, box);
            }
            connect(box, &QCheckBox::toggled, this,
                    [this, box] { plc::RunEvent([this, box] { IoBoxClick(*box); }); });
            lastFaceplateBox_ = box;
        }
    }
}

void TForm1::BuildPanels(QWidget& client) {
    auto makeGroup = [&](const char* name, const char* caption, QRect rect) {
        auto* group = new QGroupBox(caption, &client);
        group->setObjectName(name);
        QFont bold = font();
        bold.setBold(true);
        group->setFont(bold);
        group->setGeometry(rect);
        return group;
    };
    GroupBox1 = makeGroup("GroupBox1", "STL Commands", {400, 8, 201, 393});
    GroupBox2 = makeGroup("GroupBox2", "Simulator Logs", {8, 208, 385, 193});
    // A panel whose item is unchecked is hidden, not merely out of the window.
    GroupBox1->hide();
    GroupBox2->hide();
}

// The memos are built on first use (a line to show, a panel toggled): the panels start
// hidden, and a text edit costs start-up two font look-ups. Each is made as it would have
// been with its group box.
QPlainTextEdit* TForm1::BuildMemo(QGroupBox& group, const char* name, QRect rect) {
    auto* memo = new QPlainTextEdit(&group);
    memo->setObjectName(name);
    memo->setFont(font());
    memo->setGeometry(rect);
    memo->setReadOnly(true);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    if (group.isVisible()) memo->show();
    return memo;
}

// Tab moves from the last faceplate box to the listing, then to the log, whichever of the
// two was built first.
void TForm1::OrderMemoFocus() {
    QWidget* previous = lastFaceplateBox_;
    for (QWidget* memo : {static_cast<QWidget*>(Memo2), static_cast<QWidget*>(Memo1)}) {
        if (!memo) continue;
        setTabOrder(previous, memo);
        previous = memo;
    }
}

QPlainTextEdit& TForm1::ListingMemo() {
    if (!Memo2) {
        Memo2 = BuildMemo(*GroupBox1, "Memo2", {8, 16, 185, 369});
        OrderMemoFocus();
        // The listing's columns line up: a fixed-pitch face, and a tab stop just past the
        // widest line number (see AppendListing).
        Memo2->setFont(FixedPitchFont(8));
        FitListingTabStop();
    }
    return *Memo2;
}

QPlainTextEdit& TForm1::LogMemo() {
    if (!Memo1) {
        Memo1 = BuildMemo(*GroupBox2, "Memo1", {8, 16, 369, 169});
        OrderMemoFocus();
    }
    return *Memo1;
}

void TForm1::FitListingTabStop() {
    QPlainTextEdit& memo = ListingMemo();
    const int digits = static_cast<int>(QString::number(std::max(memo.blockCount(), 1)).size());
    // " " + number + at least one blank before the line.
    const qreal tab = QFontMetricsF(memo.font()).horizontalAdvance(QString(digits + 2, ' '));
    if (!qFuzzyCompare(memo.tabStopDistance(), tab)) memo.setTabStopDistance(tab);
}

void TForm1::AppendListing(const QString& line) {
    ListingMemo().appendPlainText(line);
    FitListingTabStop();
}

void TForm1::showEvent(QShowEvent* event) {
    // First showing: centred on the screen by the program itself, so that its place is
    // known at once and message boxes can be centred on it even before a window manager
    // has reported where it put the window.
    if (!placed_ && !testAttribute(Qt::WA_Moved)) CentreOn(*this, nullptr);
    placed_ = true;
    QMainWindow::showEvent(event);
}

void TForm1::BuildTimers() {
    auto makeTimer = [this](const char* name, void (TForm1::*handler)(), bool active) {
        auto* timer = new QTimer(this);
        timer->setObjectName(name);
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(1);
        connect(timer, &QTimer::timeout, this, [this, handler] { (this->*handler)(); });
        if (active) timer->start();
        return timer;
    };
    Timer2 = makeTimer("Timer2", &TForm1::Timer2Timer, true);
    Timer1 = makeTimer("Timer1", &TForm1::Timer1Timer, false);
    PLCTimer = makeTimer("PLCTimer", &TForm1::PLCTimerTimer, true);
}

void TForm1::IoBoxClick(TColourBox& box) {
    box.SetColour(box.isChecked() ? kYellow : kGrey);
}

void TForm1::chbrunClick() {
    if (chbrun->isChecked()) {
        chbstop->SetColour(kGrey);
        chbrun->SetColour(kYellow);
    } else {
        chbrun->SetColour(kGrey);
    }
    if (applyingCommand_) return;
    run_.RunBoxClicked();
    SyncRefreshTimer();
}

void TForm1::chbstopClick() {
    if (chbstop->isChecked()) {
        chbrun->SetColour(kGrey);
        chbstop->SetColour(kYellow);
    } else {
        chbstop->SetColour(kGrey);
    }
    if (applyingCommand_) return;
    run_.StopBoxClicked();
    SyncRefreshTimer();
}

// The menu commands own the whole outcome; the boxes' handlers only recolour meanwhile.
void TForm1::SetRunBoxes(bool run) {
    applyingCommand_ = true;
    chbrun->setChecked(run);
    chbstop->setChecked(!run);
    applyingCommand_ = false;
    chbrun->SetColour(run ? kYellow : kGrey);
    chbstop->SetColour(run ? kGrey : kYellow);
}

void TForm1::RUN1Click() {
    SetRunBoxes(true);
    run_.RunCommand();
    SyncRefreshTimer();
}

void TForm1::STOP1Click() {
    SetRunBoxes(false);
    run_.StopCommand();
    SyncRefreshTimer();
}

void TForm1::Reset1Click() {
    run_.ResetCommand();
    SetRunBoxes(false);
    SyncRefreshTimer();
}

void TForm1::SyncRefreshTimer() {
    if (run_.RefreshEnabled() && !Timer1->isActive()) Timer1->start();
    if (!run_.RefreshEnabled()) Timer1->stop();
}

void TForm1::Timer1Timer() {
    plc::RunEvent([this] { run_.RefreshEvent(io_); });
}

void TForm1::Timer2Timer() {
    plc::RunEvent([this] { run_.ScanEvent(); });
}

void TForm1::PLCTimerTimer() {
    plc::RunEvent([this] { timerBase_.OnTimerEvent(); });
}

void TForm1::Loadprogram1Click() {
    ListingMemo().clear();
    FitListingTabStop();
    const QString file = OpenDialog1 ? OpenDialog1(this, QtFileFilter(kProgramFilter)) : QString();
    if (file.isEmpty()) return;
    plc::RunEvent([&] { LoadChosenFile(file); });
}

bool TForm1::LoadProgramFile(const QString& path) {
    ListingMemo().clear();
    FitListingTabStop();
    bool loaded = false;
    plc::RunEvent([&] { loaded = LoadChosenFile(path); });
    return loaded;
}

bool TForm1::LoadChosenFile(const QString& path) {
    return loader_.LoadFile(LocalPath(path),
                            [this](const std::string& line) { AppendListing(FileText(line)); });
}

void TForm1::ImportS7Program1Click() {
    const QString file = OpenDialog1 ? OpenDialog1(this, QtFileFilter(kImportFilter)) : QString();
    if (file.isEmpty()) return;
    const QString symbols =
        SymbolsDialog ? SymbolsDialog(this, QtFileFilter(kImportSymbolsFilter)) : QString();
    ImportProgramFiles(file, symbols);
}

bool TForm1::ImportProgramFiles(const QString& program, const QString& symbols) {
    bool imported = false;
    plc::RunEvent([&] {
        const auto table = std::make_unique<opcprovider::TSymbolTable>();
        plc::TSymbolLookup lookup;
        if (!symbols.isEmpty()) {
            table->ImportFile(LocalPath(symbols));
            lookup = [&table](std::string_view name) { return table->FindAddress(name); };
        }
        QStringList listing;
        const plc::TImportedProgram result = loader_.ImportFile(
            LocalPath(program), lookup,
            [&listing](const std::string& line) { listing.append(FileText(line)); });
        if (!result.Ok()) return plc::ShowMessage(plc::RefusalText(result.Problems));
        ListingMemo().clear();
        for (const QString& line : listing) AppendListing(line);
        FitListingTabStop();
        AppendLog(QStringLiteral("%1 (%2)").arg(
            QString::fromStdString(plc::ImportedText(result.Instructions.size())), program));
        imported = true;
    });
    return imported;
}

void TForm1::AppendLog(const QString& line) {
    if (pendingLog_.isEmpty())
        QMetaObject::invokeMethod(this, &TForm1::FlushLog, Qt::QueuedConnection);
    pendingLog_.append(line);
}

void TForm1::FlushLog() {
    if (pendingLog_.isEmpty()) return;
    // One paragraph per line, as line-by-line appends would make them.
    LogMemo().appendPlainText(pendingLog_.join(QChar::LineFeed));
    pendingLog_.clear();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (CloseQuery && !CloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    emit Closed();
}

}  // namespace corvane::console
