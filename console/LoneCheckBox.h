#pragma once
// A check box that is cheap to uncheck among many siblings and cheap to paint again.
#include <QCheckBox>
#include <QColor>
#include <QPixmap>
#include <QRgb>
#include <QString>
#include <optional>
#include <vector>

class QStyleOptionButton;
class QStylePainter;

namespace corvane::console {

// A QCheckBox alone in a non-exclusive button group of its own, otherwise the same.
// An ungrouped QAbstractButton looks through every sibling (findChildren plus a cast each)
// whenever it is unchecked, to find an exclusive partner it does not have; in RUN the I/O
// refresh unchecks LEDs up to a thousand times a second on windows of a hundred boxes, and
// that search was the largest single cost of the console. The group answers the same
// question at once. Arrow keys, which Qt treats differently for grouped buttons, are given
// the ungrouped behaviour back.
//
// A box on a solid background paints from a kept image of each look it has shown (state,
// colour, size, caption), drawn once by the style onto that background: an LED that flips
// at every refresh would otherwise have its caption shaped and its square drawn anew at
// each frame. The image holds the same pixels the style would paint; styles that may
// animate, and boxes that show what lies behind them, are painted directly as always.
class TLoneCheckBox : public QCheckBox {
    Q_OBJECT
  public:
    TLoneCheckBox(const QString& caption, QWidget* parent);

    // Whether boxes paint from kept images; on by default. Tests and benchmarks turn it
    // off to compare with painting directly.
    static void SetKeepImages(bool on);
    int KeptImages() const { return static_cast<int>(images_.size()); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

    // What the box shows over its background, with `painter` set up as a painter on the box.
    virtual void DrawFace(QStylePainter& painter, const QStyleOptionButton& option);
    // A colour the box fills its rectangle with itself, in place of the background of its
    // palette; the style is given it as the background role too. None by default.
    virtual std::optional<QColor> OwnBackground() const { return std::nullopt; }
    // For a change of look that the kept images' key does not hold.
    void ForgetImages() { images_.clear(); }

  private:
    struct TImage {
        int state;
        QRgb background;
        QSize size;
        qreal ratio;
        QString caption;
        QPixmap pixmap;
    };
    static constexpr std::size_t kMaxImages = 8;  // a few states in two or three colours

    // The one opaque colour under the whole box, when there is one; `own` is OwnBackground().
    std::optional<QColor> SolidBackground(const std::optional<QColor>& own) const;
    const QPixmap& ImageFor(const QStyleOptionButton& option, const QColor& background);

    std::vector<TImage> images_;
};

}  // namespace corvane::console
