#pragma once

#include <QString>

namespace Startup {

// A failure to start, in a message box (the program's title, the reason, OK),
// for a user who started the program from a desktop entry and would see no
// terminal. Needs a QApplication; returns when the box is closed.
void showFailure(const QString &reason);

} // namespace Startup
