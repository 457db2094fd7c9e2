#pragma once
// A check box whose background colour is part of what it shows.
#include <QColor>
#include <QPalette>
#include <utility>
#include <vector>

#include "LoneCheckBox.h"

namespace corvane::console {

// Check box of the faceplates. Its colour is set only by its owner's handlers, never by
// the check state itself: the RUN and STOP boxes can stay checked while grey.
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

  private:
    QColor colour_;
    int indent_ = 0;
    // The palette of each colour shown so far. The I/O refresh flips an LED between two
    // colours up to a thousand times a second, and building the palette anew each time
    // was most of that flip's cost. A kept palette cannot go stale: it carries only the
    // background role as set, and setPalette takes every other role from the parent and
    // the application as they are at that moment.
    std::vector<std::pair<QRgb, QPalette>> palettes_;
};

}  // namespace corvane::console
