#pragma once
// Runs the OPC server window's message queue (notifications, queued tasks, group update
// ticks) inside the Qt event loop of the same thread.
#include <QObject>
#include <QTimer>

namespace corvane::app {

// While it lives, every message posted to this thread's queue and every due timer of
// the queue is dispatched from the Qt event loop.
class TMessagePump : public QObject {
  public:
    TMessagePump();
    ~TMessagePump() override;
    TMessagePump(const TMessagePump&) = delete;
    TMessagePump& operator=(const TMessagePump&) = delete;

  private:
    void Pump();

    QTimer next_;
};

}  // namespace corvane::app
