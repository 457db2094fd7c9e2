#include "QtMessageService.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringDecoder>

#include "ConsoleStyle.h"

namespace corvane::console {
namespace {

// A message box that places itself on its owner's centre when it is shown, once its size
// is known. Qt's own placement uses the owner's position as the platform last reported it,
// which under a window manager can still be the unplaced (0, 0) of a window just shown.
class TCentredMessageBox : public QMessageBox {
  public:
    TCentredMessageBox(Icon icon, const QString& title, const QString& text, QWidget* owner)
        : QMessageBox(icon, title, text, QMessageBox::Ok, owner), owner_(owner) {}

  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        CentreOn(*this, owner_);
    }

  private:
    QPointer<QWidget> owner_;
};

}  // namespace

QWidget* TQtMessageService::Owner() const {
    QWidget* active = QApplication::activeWindow();
    if (active && active->isVisible() && !active->isModal() && active->windowType() != Qt::Popup &&
        active->windowType() != Qt::ToolTip)
        return active;
    if (parent_) return parent_->window();
    return nullptr;
}

std::pair<QString, QString> TQtMessageService::BoxTexts(std::string_view text) {
    // Messages may quote lines of 8-bit files (an import's refusal): text that is not UTF-8
    // is shown as Latin-1, as the listing shows such lines.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString whole = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (utf8.hasError())
        whole = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    const QStringList lines = whole.split(QChar::LineFeed);
    if (lines.size() <= kShownLines) return {whole, QString()};
    QStringList shown = lines.mid(0, kShownLines);
    shown.append(
        QStringLiteral("... and %1 more lines (see the details)").arg(lines.size() - kShownLines));
    return {shown.join(QChar::LineFeed), whole};
}

void TQtMessageService::Show(int icon, std::string_view text) {
    const auto [shown, details] = BoxTexts(text);
    TCentredMessageBox box(static_cast<QMessageBox::Icon>(icon), QApplication::applicationName(),
                           shown, Owner());
    if (!details.isEmpty()) box.setDetailedText(details);
    box.exec();
}

void TQtMessageService::ShowMessage(std::string_view text) {
    Show(QMessageBox::Information, text);
}

void TQtMessageService::ShowError(std::string_view text) {
    Show(QMessageBox::Critical, text);
}

}  // namespace corvane::console
