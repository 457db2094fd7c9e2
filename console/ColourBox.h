#pragma once
// A check box whose background colour is part of what it shows.
#include <QColor>
#include <optional>

#include "LoneCheckBox.h"

namespace corvane::console {

// Check box of the faceplates. Its colour is set only by its owner's handlers, never by
// the check state itself: the RUN and STOP boxes can stay checked while grey. The box
// paints the colour itself, as a check box whose palette had it as the background would
// be painted, but without a palette change: the I/O refresh flips an LED between two
// colours up to a thousand times a second, and setting a palette (resolved against the
// parent's and the application's, then propagated) was most of each flip's cost.
class TColourBox : public TLoneCheckBox {
    Q_OBJECT
  public:
    TColourBox(const QString& caption, QWidget* parent);

    void SetColour(const QColor& colour);
    QColor Colour() const { return colour_; }

    // Pixels of background left of the check mark's square; the box keeps its geometry.
    // The RUN, STOP and SF boxes, which sit on the window's left edge, need some so that
    // the square's border is not lost against the edge.
    void SetIndent(int pixels);
    int Indent() const { return indent_; }

  protected:
    void DrawFace(QStylePainter& painter, const QStyleOptionButton& option) override;
    std::optional<QColor> OwnBackground() const override { return colour_; }

  private:
    QColor colour_;
    int indent_ = 0;
};

}  // namespace corvane::console
