#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures, compiled in as resources.
namespace Resources {

QIcon appIcon();       // the window icon of both windows: the installed theme icon, else 32 x 32 and 16 x 16
QPixmap arrowDown();   // Image1(0), 32 x 32
QPixmap arrowRight();  // Image1(1) and Image1(2), 32 x 32

} // namespace Resources
