// The pictures and the icon are compiled into the console library; a static library's
// resource initialiser is only linked when something calls it, hence EnsureResources.
#include <QIcon>
#include <QtGlobal>

#include "ConsoleStyle.h"

static void InitCorvaneResources() {
    Q_INIT_RESOURCE(corvane);
}

namespace corvane::console {

void EnsureResources() {
    static const bool initialised = (InitCorvaneResources(), true);
    (void)initialised;
}

QIcon AppIcon() {
    EnsureResources();
    return QIcon(":/corvane/corvane.png");
}

}  // namespace corvane::console
