#pragma once
// A check box whose background colour is part of what it shows.
#include <QCheckBox>
#include <QColor>

namespace corvane::console {

// Check box of the faceplates. Its colour is set only by its owner's handlers, never by
// the check state itself: the RUN and STOP boxes can stay checked while grey.
class TColourBox : public QCheckBox {
    Q_OBJECT
  public:
    TColourBox(const QString& caption, QWidget* parent);

    void SetColour(const QColor& colour);
    QColor Colour() const { return colour_; }

  private:
    QColor colour_;
};

}  // namespace corvane::console
