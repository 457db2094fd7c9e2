#pragma once
// The real program's message boxes.
#include <QPointer>
#include <QWidget>

#include "Messages.h"

namespace corvane::console {

// Shows each message in a modal information box with one OK button. The box's nested
// event loop keeps the console's timers running, which the controller core relies on.
class TQtMessageService : public plc::TMessageService {
  public:
    explicit TQtMessageService(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void ShowMessage(std::string_view text) override;

  private:
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
