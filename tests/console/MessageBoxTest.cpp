// The real program's messages are modal boxes whose nested loop keeps timers running.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "QtMessageService.h"

namespace corvane::console {
namespace {

TEST(QtMessageServiceTest, ShowsAModalBoxAndTimersRunInsideIt) {
    QWidget owner;
    TQtMessageService service(&owner);
    int ticksWhileOpen = 0;
    QString shownText;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        // Close only after the timer has fired inside the box's own loop.
        if (++ticksWhileOpen == 3) {
            shownText = box->text();
            box->accept();
        }
    });
    ticker.start();
    service.ShowMessage("Loaded!");
    ticker.stop();
    EXPECT_EQ(shownText, "Loaded!");
    EXPECT_EQ(ticksWhileOpen, 3);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(QtMessageServiceTest, ScopeInstallsAndRestores) {
    TQtMessageService service;
    plc::TMessageService* before = plc::GetMessageService();
    {
        const TMessageServiceScope scope(service);
        EXPECT_EQ(plc::GetMessageService(), &service);
    }
    EXPECT_EQ(plc::GetMessageService(), before);
}

}  // namespace
}  // namespace corvane::console
