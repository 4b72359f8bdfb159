#include "platform/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace Platform {

void messageBox(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool shellOpen(const QString &absolutePath)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(absolutePath));
}

} // namespace Platform
