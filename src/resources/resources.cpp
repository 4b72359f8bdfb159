#include "resources/resources.h"

namespace Resources {

QIcon appIcon()
{
    return QIcon();
}

QPixmap arrowDown()
{
    return QPixmap(32, 32);
}

QPixmap arrowRight()
{
    return QPixmap(32, 32);
}

} // namespace Resources
