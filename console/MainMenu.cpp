// The main window's menu: its items, their texts and what each command does.
#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "ConsoleStyle.h"
#include "Messages.h"
#include "main.h"

namespace corvane::console {
namespace {
constexpr char kLaterVersion[] = "Bo sung tinh nang o phien ban sau!";
constexpr char kInUse[] = "Dang su dung!";
}  // namespace

void TForm1::Connect(QAction& action, void (TForm1::*handler)()) {
    connect(&action, &QAction::triggered, this,
            [this, handler] { plc::RunEvent([this, handler] { (this->*handler)(); }); });
}

QAction* TForm1::AddItem(QMenu& menu, const char* name, const QString& text,
                         void (TForm1::*handler)()) {
    QAction* action = menu.addAction(text);
    action->setObjectName(name);
    if (handler) Connect(*action, handler);
    return action;
}

// The handlers of these items decide the check mark themselves, so Qt's automatic toggle
// is undone before they run; calling a handler directly then behaves like choosing the item.
QAction* TForm1::AddManualCheckItem(QMenu& menu, const char* name, const QString& text,
                                    void (TForm1::*handler)()) {
    QAction* action = menu.addAction(text);
    action->setObjectName(name);
    action->setCheckable(true);
    connect(action, &QAction::triggered, this, [this, action, handler](bool checked) {
        action->setChecked(!checked);
        plc::RunEvent([this, handler] { (this->*handler)(); });
    });
    return action;
}

void TForm1::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");

    auto addMenu = [](QWidget& parentMenu, const char* name, const QString& title) {
        auto* menu = new QMenu(title, &parentMenu);
        menu->setObjectName(name);
        if (auto* asBar = qobject_cast<QMenuBar*>(&parentMenu)) {
            asBar->addMenu(menu);
        } else {
            qobject_cast<QMenu*>(&parentMenu)->addMenu(menu);
        }
        return menu;
    };

    QMenu* file = addMenu(*bar, "File1", "File");
    AddItem(*file, "Loadprogram1", "Load program", &TForm1::Loadprogram1Click);
    AddItem(*file, "ImportS7Program1", "Import S7-200 program...", &TForm1::ImportS7Program1Click);
    AddItem(*file, "CheckProgram1", "Check Program", nullptr);
    AddItem(*file, "Exit1", "Exit", &TForm1::Exit1Click);

    QMenu* simulator = addMenu(*bar, "Simulator1", "Simulator");
    AddItem(*simulator, "RUN1", "RUN", &TForm1::RUN1Click);
    AddItem(*simulator, "STOP1", "STOP", &TForm1::STOP1Click);
    AddItem(*simulator, "Reset1", "Reset", &TForm1::Reset1Click);
    AddItem(*simulator, "SetBit1", "Write Bit", &TForm1::SetBit1Click);

    QMenu* wincc = addMenu(*bar, "ConnectWinCC1", "Connect WinCC");
    AddItem(*wincc, "AddSysbols1", "Add Symbols", &TForm1::AddSysbols1Click);

    QMenu* view = addMenu(*bar, "View1", "View");
    Code1 = AddManualCheckItem(*view, "Code1", "STL Commands", &TForm1::Code1Click);
    AddItem(*view, "Memory1", "Memory", &TForm1::Memory1Click);
    AddItem(*view, "Variable1", "Variable", &TForm1::Variable1Click);
    AddItem(*view, "Module1", "Module", &TForm1::Module1Click);
    LogsSimulator1 =
        AddManualCheckItem(*view, "LogsSimulator1", "Logs Simulator", &TForm1::LogsSimulator1Click);

    QMenu* setting = addMenu(*bar, "Setting1", "Setting");
    QMenu* model = addMenu(*setting, "PLC1", "PLC");
    AddItem(*model, "N2211", "221", &TForm1::N2211Click);
    AddItem(*model, "N2221", "222", &TForm1::N2221Click);
    N2241 = AddManualCheckItem(*model, "N2241", "224", &TForm1::N2241Click);
    N2241->setChecked(true);
    AddItem(*model, "N224XP1", "224XP", &TForm1::N224XP1Click);
    AddItem(*setting, "ManagerModule1", "Manager Module", &TForm1::ManagerModule1Click);
    QMenu* display = addMenu(*setting, "Display1", "Display");
    AddItem(*display, "op1", "StayOnTop", &TForm1::op1Click);

    QAction* help = bar->addAction("Help");
    help->setObjectName("Help1");
    Connect(*help, &TForm1::Help1Click);
    QAction* about = bar->addAction("About");
    about->setObjectName("About1");
    Connect(*about, &TForm1::About1Click);
}

void TForm1::ShowWindow(const TWindowSource& source) {
    QWidget* window = source ? source() : nullptr;
    if (!window) return;
    window->show();
    window->raise();
    window->activateWindow();
}

void TForm1::Exit1Click() {
    close();
}
void TForm1::SetBit1Click() {
    ShowWindow(windows_.WriteBit);
}
void TForm1::AddSysbols1Click() {
    ShowWindow(windows_.ImportSymbols);
}
void TForm1::Memory1Click() {
    ShowWindow(windows_.Memory);
}
void TForm1::Module1Click() {
    ShowWindow(windows_.Module);
}
void TForm1::ManagerModule1Click() {
    ShowWindow(windows_.Module);
}
void TForm1::About1Click() {
    ShowWindow(windows_.About);
}

void TForm1::Variable1Click() {
    plc::ShowMessage(kLaterVersion);
}
void TForm1::N2211Click() {
    plc::ShowMessage(kLaterVersion);
}
void TForm1::N2221Click() {
    plc::ShowMessage(kLaterVersion);
}
void TForm1::N224XP1Click() {
    plc::ShowMessage(kLaterVersion);
}
void TForm1::Help1Click() {
    plc::ShowMessage(kLaterVersion);
}

void TForm1::N2241Click() {
    N2241->setChecked(true);
    plc::ShowMessage(kInUse);
}

void TForm1::op1Click() {
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint)) return;
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Changing the flags of a shown window hides it.
    if (wasVisible) show();
}

void TForm1::Code1Click() {
    if (Code1->isChecked()) {
        SetOuterWidth(*this, 405);
        Code1->setChecked(false);
    } else {
        SetOuterWidth(*this, 613);
        Code1->setChecked(true);
    }
    const bool tall = LogsSimulator1->isChecked();
    QPlainTextEdit& listing = ListingMemo();
    listing.resize(listing.width(), tall ? 370 : 170);
    GroupBox1->resize(GroupBox1->width(), tall ? 395 : 193);
    GroupBox1->setVisible(Code1->isChecked());
}

void TForm1::LogsSimulator1Click() {
    const bool wasChecked = LogsSimulator1->isChecked();
    QPlainTextEdit& listing = ListingMemo();
    listing.resize(listing.width(), wasChecked ? 170 : 370);
    LogMemo();  // before its panel shows
    GroupBox1->resize(GroupBox1->width(), wasChecked ? 193 : 395);
    SetOuterHeight(*this, wasChecked ? 256 : 456);
    LogsSimulator1->setChecked(!wasChecked);
    GroupBox2->setVisible(!wasChecked);
}

}  // namespace corvane::console
