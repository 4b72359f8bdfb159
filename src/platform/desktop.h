#pragma once

#include <QString>

class QWidget;

namespace Platform {

// A modal box with the text and an OK button only, no icon, under `title`.
void messageBox(QWidget *parent, const QString &title, const QString &text);

// Lets the window system handle what is pending (input, paints, timers).
void processPendingEvents();

// The desktop's "open" action on a file (the registered viewer). Returns false
// when the desktop refused; callers are free to ignore it.
bool shellOpen(const QString &absolutePath);

} // namespace Platform
