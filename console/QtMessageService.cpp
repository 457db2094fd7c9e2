#include "QtMessageService.h"

#include <QApplication>
#include <QMessageBox>

namespace corvane::console {

void TQtMessageService::ShowMessage(std::string_view text) {
    QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
    QMessageBox::information(parent, QApplication::applicationName(),
                             QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace corvane::console
