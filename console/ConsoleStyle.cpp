#include "ConsoleStyle.h"

#include <QPalette>
#include <QWidget>

namespace corvane::console {

QFont ClassicFont(int points, bool bold) {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans", "Liberation Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

void SetBackground(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(widget.backgroundRole(), colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

QColor Background(const QWidget& widget) {
    return widget.palette().color(widget.backgroundRole());
}

namespace {
QSize FrameExtra(const QWidget& window) {
    const QSize extra = window.frameGeometry().size() - window.geometry().size();
    return extra.isValid() ? extra : QSize(0, 0);
}
}  // namespace

void SetOuterSize(QWidget& window, QSize outer) {
    window.resize(outer - FrameExtra(window));
}

void SetOuterWidth(QWidget& window, int width) {
    SetOuterSize(window, QSize(width, window.frameGeometry().height()));
}

void SetOuterHeight(QWidget& window, int height) {
    SetOuterSize(window, QSize(window.frameGeometry().width(), height));
}

}  // namespace corvane::console
