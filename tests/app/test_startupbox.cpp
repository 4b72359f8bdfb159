// The message box a failed start shows on a desktop, closed by the test.
#include "startupbox.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

class TestStartupBox : public QObject
{
    Q_OBJECT

private slots:
    void failureIsShownInABox()
    {
        QString title, text;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            box->accept();
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, this, [] {
            if (QWidget *w = QApplication::activeModalWidget())
                w->close();
        });
        watchdog.start(10000);
        Startup::showFailure(QStringLiteral("/no/such/folder: no such folder"));
        QCOMPARE(title, QStringLiteral("Log Browser for VELK-AIS"));
        QVERIFY2(text.contains("/no/such/folder: no such folder"), qPrintable(text));
    }
};

QTEST_MAIN(TestStartupBox)
#include "test_startupbox.moc"
