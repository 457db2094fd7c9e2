#pragma once
// Colours, fonts and window sizing shared by every window of the operator console.
#include <QColor>
#include <QFont>
#include <QIcon>
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

// Makes `widget` paint its background in `colour`.
void SetBackground(QWidget& widget, const QColor& colour);
QColor Background(const QWidget& widget);

// Resizes a top-level window so that its outer size (frame, caption and menu included)
// is `outer`. Where the platform reports no frame (offscreen, or a window not yet
// mapped) the content size, menu bar included, becomes `outer`.
void SetOuterSize(QWidget& window, QSize outer);
void SetOuterWidth(QWidget& window, int width);
void SetOuterHeight(QWidget& window, int height);

// Registers the compiled-in pictures (":/corvane/...") before their first use.
void EnsureResources();
// The program's icon.
QIcon AppIcon();

}  // namespace corvane::console
