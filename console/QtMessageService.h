#pragma once
// The real program's message boxes.
#include <QPointer>
#include <QWidget>
#include <utility>

#include "Messages.h"

namespace corvane::console {

// Shows each message in a modal box with one OK button: the information icon for a
// message, the error icon for an error that escaped a GUI event (as the GUI framework
// shows it). The box's nested event loop keeps the console's timers running, which the
// controller core relies on. A box is centred on the window it belongs to: the active
// window of the program, or else the parent given (the main window). A message of more
// than kShownLines lines (an import's refusal of a long file) shows its first lines and
// keeps the whole text in the box's details, so the box always fits on the screen.
class TQtMessageService : public plc::TMessageService {
  public:
    explicit TQtMessageService(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void ShowMessage(std::string_view text) override;
    void ShowError(std::string_view text) override;

    static constexpr int kShownLines = 20;

    // The box's text and details for a message (details empty when it fits).
    static std::pair<QString, QString> BoxTexts(std::string_view text);

    // The window the next box belongs to (may be null: then it is centred on the screen).
    QWidget* Owner() const;

  private:
    void Show(int icon, std::string_view text);

    QPointer<QWidget> parent_;
};

// Installs a service for the lifetime of this object and restores the previous one.
class TMessageServiceScope {
  public:
    explicit TMessageServiceScope(plc::TMessageService& service)
        : previous_(plc::SetMessageService(&service)) {}
    ~TMessageServiceScope() { plc::SetMessageService(previous_); }
    TMessageServiceScope(const TMessageServiceScope&) = delete;
    TMessageServiceScope& operator=(const TMessageServiceScope&) = delete;

  private:
    plc::TMessageService* previous_;
};

}  // namespace corvane::console
