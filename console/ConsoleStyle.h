#pragma once
// Colours, fonts and window sizing shared by every window of the operator console.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QSize>

class QWidget;

namespace corvane::console {

// Pure yellow of a checked switch or lit LED.
inline const QColor kYellow{255, 255, 0};
// The workspace grey. A fixed value rather than a palette role: the offscreen and X11
// platforms report different palettes, and the boxes must look (and test) the same on
// both. 171,171,171 is the classic desktop application-workspace grey.
inline const QColor kGrey{171, 171, 171};

// The console's classic UI face; substituted by a sans-serif where it is not installed.
QFont ClassicFont(int points, bool bold = false);
// A fixed-pitch face of the same size, for the STL listing, whose columns must line up.
QFont FixedPitchFont(int points);

// Makes `widget` paint its background in `colour`.
void SetBackground(QWidget& widget, const QColor& colour);
QColor Background(const QWidget& widget);

// Resizes a top-level window so that its outer size (frame, caption and menu included)
// is `outer`. Where the platform reports no frame (offscreen, or a window not yet
// mapped) the content size, menu bar included, becomes `outer`. A window of fixed size
// (minimum = maximum) stays fixed, at the new size.
void SetOuterSize(QWidget& window, QSize outer);
void SetOuterWidth(QWidget& window, int width);
void SetOuterHeight(QWidget& window, int height);

// Moves a top-level window, before it is shown or while it is, so that its centre lies on
// the centre of `owner` (its frame), or of the available screen when there is no owner;
// kept inside the screen.
void CentreOn(QWidget& window, const QWidget* owner);

// A secondary window closes (is hidden) when Escape is pressed in it and nothing inside
// it took the key, as a dialog does.
void CloseOnEscape(QWidget& window);

// Registers the compiled-in pictures (":/corvane/...") before their first use.
void EnsureResources();
// The program's icon.
QIcon AppIcon();
// The icon's unencoded pixels (corvane.argb: rows of blue, green, red, alpha bytes) as an
// image of `size`; a null image when `data` does not hold exactly that many pixels.
QImage DecodeArgb(const QByteArray& data, QSize size);

}  // namespace corvane::console
