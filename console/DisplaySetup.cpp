#include "DisplaySetup.h"

#include <QByteArray>
#include <QtGlobal>

namespace corvane::console {

void PrepareDisplay() {
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", QByteArray("1"));
}

}  // namespace corvane::console
