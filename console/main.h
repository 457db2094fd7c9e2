#pragma once
// The main window: faceplate, panels, menu and the three controller timers.
#include <QMainWindow>
#include <QRect>
#include <QStringList>
#include <functional>
#include <memory>

#include "IoBoxes.h"
#include "PLC_Instruction.h"
#include "PaintThrottle.h"
#include "ProgramLoader.h"
#include "RunControl.h"
#include "TimerBaseDriver.h"

class QAction;
class QGroupBox;
class QMenu;
class QPlainTextEdit;
class QTimer;

namespace corvane::console {

class TColourBox;

// The open dialog's filter, in the classic "text|pattern|..." form.
inline constexpr char kProgramFilter[] =
    "Files SIEMENS AWL|*.awl|Files SIEMENS OB1|*.ob1|Files Text|*.txt|All Files|*.*";
// The import's filters: S7-200 exports, and the project's symbol files.
inline constexpr char kImportFilter[] = "S7-200 program export|*.awl;*.txt|All Files|*.*";
inline constexpr char kImportSymbolsFilter[] = "Symbol file|*.txt|All Files|*.*";
// The same filter in Qt's "text (pattern);;..." form.
QString QtFileFilter(const QString& classicFilter);
// Text of a file line for display: UTF-8 when it is valid UTF-8, else 8-bit Latin-1.
QString FileText(const std::string& line);

// The application's main form. It owns the one controller, its loader, run control and
// timer base, and the boxes of the faceplate; closing it ends the program (it emits
// Closed). Every handler runs the way a GUI event does: an escaping error ends it and its
// message is shown through the message service. Handlers are public so tests drive them
// directly instead of waiting for timers.
class TForm1 : public QMainWindow {
    Q_OBJECT
  public:
    using TOpenDialog = std::function<QString(QWidget* parent, const QString& filter)>;

    // Where a menu item gets the window it shows: the window may be built by the call.
    // A missing source, or one that gives no window, makes the item do nothing.
    using TWindowSource = std::function<QWidget*()>;
    // The windows that menu items show.
    struct TWindows {
        TWindowSource About, Module, Memory, WriteBit, ImportSymbols;
    };

    explicit TForm1(plc::TTimerBaseDriver::Clock clock = &plc::TTimerBaseDriver::SteadyNow);
    ~TForm1() override;

    plc::TPLC& Plc() { return *PLC_; }
    plc::TRunControl& RunControl() { return run_; }
    const plc::TProgramLoader& Loader() const { return loader_; }
    TIoBoxes& IoBoxes() { return io_; }
    void SetWindows(const TWindows& windows) { windows_ = windows; }
    const TWindows& Windows() const { return windows_; }

    // The log writer: appends one line at the end of "Simulator Logs". The lines of one
    // client call (a thousand for AddItems of a thousand items) reach the panel together
    // when the event loop next runs, in one layout instead of one per line.
    void AppendLog(const QString& line);
    // Puts the lines still waiting into the panel now.
    void FlushLog();
    // The log panel's memo ("Memo1") and the listing's ("Memo2"), built on first use.
    QPlainTextEdit& LogMemo();
    QPlainTextEdit& ListingMemo();
    // "Load program" from step 1 on, with the file already chosen. True when loaded.
    bool LoadProgramFile(const QString& path);

    // "Import S7-200 program..." with the files chosen (`symbols` may be empty: none). On
    // success the listing shows the imported program and the log says how many
    // instructions it has; otherwise a message lists every line that stops it and the
    // program and listing stay. True when imported.
    bool ImportProgramFiles(const QString& program, const QString& symbols);

    // Chooses the program file; an empty result means cancelled. Replaceable for tests.
    TOpenDialog OpenDialog1;
    // Chooses the import's optional symbol file; an empty result means none.
    TOpenDialog SymbolsDialog;
    // Asked before the window closes (the COM server's warning); false keeps it open.
    std::function<bool()> CloseQuery;

    // --- menu ---
    void Loadprogram1Click();
    void ImportS7Program1Click();
    void Exit1Click();
    void RUN1Click();
    void STOP1Click();
    void Reset1Click();
    void SetBit1Click();
    void AddSysbols1Click();
    void Code1Click();
    void Memory1Click();
    void Variable1Click();
    void Module1Click();
    void LogsSimulator1Click();
    void N2211Click();
    void N2221Click();
    void N2241Click();
    void N224XP1Click();
    void ManagerModule1Click();
    void op1Click();
    void Help1Click();
    void About1Click();

    // --- faceplate boxes ---
    void chbrunClick();
    void chbstopClick();

    // --- timers ---
    void Timer1Timer();    // I/O refresh
    void Timer2Timer();    // scan trigger
    void PLCTimerTimer();  // timer base

  signals:
    void Closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void BuildFaceplate(QWidget& client);
    void BuildPanels(QWidget& client);
    void BuildMenu();
    void BuildTimers();
    QAction* AddItem(QMenu& menu, const char* name, const QString& text, void (TForm1::*handler)());
    QAction* AddManualCheckItem(QMenu& menu, const char* name, const QString& text,
                                void (TForm1::*handler)());
    void Connect(QAction& action, void (TForm1::*handler)());
    // Serves chbi00Click ... chbq11Click, which are all alike.
    void IoBoxClick(TColourBox& box);
    bool LoadChosenFile(const QString& path);
    void SetRunBoxes(bool run);
    QPlainTextEdit* BuildMemo(QGroupBox& group, const char* name, QRect rect);
    void OrderMemoFocus();
    void AppendListing(const QString& line);
    void FitListingTabStop();
    void SyncRefreshTimer();
    static void ShowWindow(const TWindowSource& source);

    std::unique_ptr<plc::TPLC> PLC_;
    std::unique_ptr<TPaintThrottle> paintThrottle_;
    plc::TRunControl run_;
    plc::TProgramLoader loader_;
    plc::TTimerBaseDriver timerBase_;
    TIoBoxes io_;
    TWindows windows_;
    bool applyingCommand_ = false;  // a menu command sets the RUN/STOP boxes itself
    bool placed_ = false;           // centred at the first showing
    QStringList pendingLog_;        // log lines not yet in the panel

    TColourBox* chbrun = nullptr;
    TColourBox* chbstop = nullptr;
    TColourBox* chbsf = nullptr;
    QWidget* lastFaceplateBox_ = nullptr;  // the last box in the tab order before the memos
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QAction* Code1 = nullptr;
    QAction* LogsSimulator1 = nullptr;
    QAction* N2241 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* PLCTimer = nullptr;
};

}  // namespace corvane::console
