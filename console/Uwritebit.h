#pragma once
// The Write Bit dialog: set or clear any marker bit by hand and see its value.
#include <QWidget>

class QGroupBox;
class QListWidget;
class QPushButton;

namespace corvane::plc {
class TPLC;
}

namespace corvane::console {

// Lists M0.0..M20.7 in blocks of eight separated by empty lines (188 lines). The group
// box caption is the value display: "Select a Bit" until the first action, then the
// selected bit as "True"/"False", or empty for a separator line. Not modal.
class TwriteF : public QWidget {
    Q_OBJECT
  public:
    explicit TwriteF(plc::TPLC& plc);

    void ListBox1Click();
    void Button1Click();  // "Set Bit"
    void Button2Click();  // "Reset Bit"

    QString Caption() const;  // the value display

  private:
    void FormCreate();
    void ShowSelectedBit();
    QString SelectedAddress() const;

    plc::TPLC& plc_;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QListWidget* ListBox1 = nullptr;
};

}  // namespace corvane::console
