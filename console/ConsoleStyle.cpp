#include "ConsoleStyle.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPalette>
#include <QScreen>
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

QFont FixedPitchFont(int points) {
    QFont font;
    font.setFamilies({"Courier New", "DejaVu Sans Mono", "Liberation Mono", "monospace"});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(points);
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
    const QSize content = outer - FrameExtra(window);
    if (window.minimumSize() == window.maximumSize()) {
        window.setFixedSize(content);
    } else {
        window.resize(content);
    }
}

void SetOuterWidth(QWidget& window, int width) {
    SetOuterSize(window, QSize(width, window.frameGeometry().height()));
}

void SetOuterHeight(QWidget& window, int height) {
    SetOuterSize(window, QSize(window.frameGeometry().width(), height));
}

void CentreOn(QWidget& window, const QWidget* owner) {
    const QScreen* screen = owner ? owner->screen() : window.screen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    const QPoint centre =
        owner && owner->isVisible() ? owner->frameGeometry().center() : available.center();
    QRect frame = window.frameGeometry();
    frame.moveCenter(centre);
    if (available.isValid()) {
        // Keep the caption on the screen: the right and bottom edges first, then the top left.
        if (frame.right() > available.right()) frame.moveRight(available.right());
        if (frame.bottom() > available.bottom()) frame.moveBottom(available.bottom());
        if (frame.left() < available.left()) frame.moveLeft(available.left());
        if (frame.top() < available.top()) frame.moveTop(available.top());
    }
    window.move(frame.topLeft());  // move() places the frame's top left corner
}

namespace {

class TEscapeCloses : public QObject {
  public:
    static constexpr char kName[] = "CorvaneEscapeCloses";
    explicit TEscapeCloses(QWidget& window) : QObject(&window), window_(window) {
        setObjectName(kName);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
                window_.close();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QWidget& window_;
};

}  // namespace

void CloseOnEscape(QWidget& window) {
    if (window.findChild<QObject*>(TEscapeCloses::kName, Qt::FindDirectChildrenOnly)) return;
    window.installEventFilter(new TEscapeCloses(window));
}

}  // namespace corvane::console
