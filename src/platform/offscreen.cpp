#include "platform/offscreen.h"

#include <QByteArray>
#include <QtGlobal>

namespace Platform {

void useOffscreenPlatform()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef Q_OS_WIN
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) {
        const QByteArray windows = qgetenv("WINDIR");
        qputenv("QT_QPA_FONTDIR", (windows.isEmpty() ? QByteArray("C:\\Windows") : windows) + "\\Fonts");
    }
#endif
}

} // namespace Platform
