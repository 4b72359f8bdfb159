#include "resources/resources.h"

// The compiled-in resources live in a static library, where nothing refers to
// their registration object and the linker would drop it; registering them
// explicitly keeps them. Q_INIT_RESOURCE must be used outside any namespace.
static void registerResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)registered;
}

namespace Resources {

QIcon appIcon()
{
    registerResources();
    QIcon icon;
    icon.addPixmap(QPixmap(QStringLiteral(":/velkais/icon32.xpm")));
    icon.addPixmap(QPixmap(QStringLiteral(":/velkais/icon16.xpm")));
    return QIcon::fromTheme(QStringLiteral(VELKAIS_APP_ID), icon);
}

QPixmap arrowDown()
{
    registerResources();
    return QPixmap(QStringLiteral(":/velkais/arrowdown.xpm"));
}

QPixmap arrowRight()
{
    registerResources();
    return QPixmap(QStringLiteral(":/velkais/arrowright.xpm"));
}

} // namespace Resources
