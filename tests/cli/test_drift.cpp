// The window and velkais-log must never drift apart: the same demo days,
// searched and viewed through Form1 and through the command-line tool, give the
// same ship list, file list, change list and KML bytes.
#include "demodata.h"
#include "main_window/form1.h"
#include "main_window/passnotice.h"
#include "view_window/form2.h"
#include "workspace.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUrl>

namespace {

QByteArray velkaisLog(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(VELKAIS_LOG), args);
    p.waitForFinished(120000);
    return p.readAllStandardOutput();
}

QByteArray items(const QListWidget *list)
{
    QByteArray out;
    for (int i = 0; i < list->count(); ++i)
        out += list->item(i)->text().toUtf8() + '\n';
    return out;
}

} // namespace

// Takes the desktop's "open" so that no viewer starts during the test.
class ShellCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestDrift : public QObject
{
    Q_OBJECT
private slots:
    void windowAndToolAgree()
    {
        Workspace ws;
        DemoData::Options options;
        options.end = QDate(2011, 4, 8);
        options.days = 2;
        options.mbPerDay = 0.5;
        options.pictures = false;
        QString error;
        QVERIFY2(DemoData::generate(ws.path(""), options, &error), qPrintable(error));

        ShellCatcher shell;
        QDesktopServices::setUrlHandler("file", &shell, "open");

        Form1 form;
        form.setExitHandler([] {});
        form.show();
        form.Text1[7]->setText("20110407");
        form.Text1[8]->setText("20110408");
        form.Check1[2]->setChecked(true);
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QVERIFY(form.List1->count() > 1);

        const QStringList criteria = {"--from", "20110407", "--to", "20110408", "--area",
                                      form.Text1[12]->text() + "," + form.Text1[13]->text() + "," + form.Text1[14]->text()};
        QCOMPARE(items(form.List1), velkaisLog(QStringList{"search"} + criteria));

        QByteArray allChanges;
        for (int row : {0, int(form.List1->count()) - 1}) {
            form.List1->setCurrentRow(row);
            const QString shipItem = form.List1->item(row)->text();
            const QString mmsi = shipItem.left(9);
            QCOMPARE(items(form.List2), velkaisLog(QStringList{"days", "--ship", mmsi} + criteria));
            QVERIFY(form.List2->count() > 0);
            const QString file = form.List2->item(0)->text();

            form.Option1[2]->setChecked(true);
            QTest::mouseClick(form.Command2, Qt::LeftButton);
            const QByteArray changes = velkaisLog({"changes", "--file", file, "--ship", mmsi});
            allChanges += changes;
            QCOMPARE(form.viewWindow()->Text1->toPlainText().toUtf8() + (changes.isEmpty() ? "" : "\n"),
                     QByteArray(changes).replace("\r\n", "\n"));
            form.viewWindow()->close();

            form.Option1[3]->setChecked(true);
            QTest::mouseClick(form.Command2, Qt::LeftButton);
            QFile written("lb4velkais.kml");
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), velkaisLog({"kml", "--file", file, "--ship", mmsi, "--name", shipItem.mid(10)}));
            QCOMPARE(shell.opened.size(), 1);
            shell.opened.clear();
        }
        QVERIFY(allChanges.contains("NAVIGATIONAL STATUS: "));
        QDesktopServices::unsetUrlHandler("file");
    }

    void charactersCutAlike()
    {
        Workspace ws;
        ws.writeLog("20110406_AIS_FMT.log", "-------------------- 01:00:00\r\n"
                                            "MMSI NUMBER         = XYA\xE3\x81\x82" "12345\r\n"
                                            "NAME                =\xE3\x81\x82\xE3\x81\x84[*]\r\n"
                                            "-------------------- 02:00:00\r\n"
                                            "MMSI NUMBER         = 1234567\xF0\x9D\x9F\x98" "8\r\n");
        Form1 form;
        form.setExitHandler([] {});
        form.Text1[7]->setText("20110406");
        form.Text1[8]->setText("20110406");
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QCOMPARE(items(form.List1), velkaisLog({"search", "--from", "20110406", "--to", "20110406"}));
        form.List1->setCurrentRow(1);
        QCOMPARE(items(form.List2), QByteArray("20110406_AIS_FMT.log\n"));
        QCOMPARE(items(form.List2), velkaisLog({"days", "--from", "20110406", "--to", "20110406", "--ship",
                                                "1234567\U0001D7D8" "8"}));
    }

    void unreadableFileWordedAlike()
    {
        VELK_SKIP_WITHOUT_PERMISSION_BITS();
        Workspace ws;
        ws.writeLog("20110406_AIS_FMT.log", logRecord("01:00:00", "111111111"));
        ws.writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "222222222"));
        QFile locked(ws.logs() + "/20110406_AIS_FMT.log");
        locked.setPermissions(QFileDevice::Permissions());
        if (locked.open(QIODevice::ReadOnly))
            QSKIP("running with privileges that read any file");

        Form1 form;
        form.setExitHandler([] {});
        form.Text1[7]->setText("20110406");
        form.Text1[8]->setText("20110407");
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        form.passNotice()->showDetails();
        const QString details = form.passNotice()->detailsWindow()->findChild<QPlainTextEdit *>()->toPlainText();

        QProcess tool;
        tool.start(QStringLiteral(VELKAIS_LOG), {"search", "--from", "20110406", "--to", "20110407"});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 1);
        // The same line, the window's by the file's full path.
        const QStringList lines = QString::fromUtf8(tool.readAllStandardError()).split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith("velkais-log: ../logs/20110406_AIS_FMT.log could not be read: "));
        QCOMPARE(lines[1], QString("velkais-log: 1 log file could not be read"));
        const QString full = QFileInfo(ws.logs()).canonicalFilePath() + "/";
        QVERIFY2(details.contains(lines[0].mid(13).replace("../logs/", full)), qPrintable(details));
        QVERIFY(form.Label3->text().startsWith("1 log file could not be read"));
    }
};

QTEST_MAIN(TestDrift)
#include "test_drift.moc"
