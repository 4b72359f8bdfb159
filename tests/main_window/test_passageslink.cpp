// The passages from the main window: Ctrl+P reads the window's period, MMSI
// and areas into the passages window, which shows what velkais-log prints; a
// double click shows the passage on the map; the context menus and F1 list
// every action beyond the fixed controls.
#include "engine/module1.h"
#include "main_window/actions.h"
#include "main_window/form1.h"
#include "main_window/maplink.h"
#include "main_window/passageslink.h"
#include "map_window/mapwindow.h"
#include "passages_window/passagemodel.h"
#include "passages_window/passageswindow.h"
#include "support/workspace.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>

class TestPassagesLink : public QObject
{
    Q_OBJECT
private slots:
    void init() { Module1::resetState(); }

    void ctrlPShowsWhatTheCommandLinePrints()
    {
        Workspace ws;
        ws.writeLog("20110407_AIS_FMT.log",
                    logRecord("23:40:00", "431000001", "KANMON MARU", "33.9683", "130.90", "12") +
                        logRecord("23:50:00", "431000001", {}, "33.9683", "130.9747", "12") +
                        logRecord("23:55:00", "431000002", "MOJI", "33.97", "130.97", "0.1"));
        ws.writeLog("20110408_AIS_FMT.log",
                    logRecord("00:05:00", "431000001", {}, "33.9683", "130.99", "12") +
                        logRecord("00:10:00", "431000001", {}, "33.9683", "131.1", "12"));
        Form1 form;
        form.setExitHandler([] {});
        form.Text1[7]->setText("20110407");
        form.Text1[8]->setText("20110408");
        // Area C around the narrows, as the demo has it.
        form.Text1[12]->setText("33.9683");
        form.Text1[13]->setText("130.9747");
        form.Text1[14]->setText("0.02");
        form.Check1[2]->setChecked(true);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QTest::keyClick(&form, Qt::Key_P, Qt::ControlModifier);
        PassagesWindow *w = form.findChild<PassagesLink *>()->window();
        QVERIFY(w);
        QCOMPARE(w->model()->rowCount(), 2);
        QVERIFY(form.Command1->isEnabled());

        QProcess cli;
        cli.start(VELKAIS_LOG, {"passages", "--logs", ws.logs(), "--from", "20110407", "--to", "20110408", "--area",
                                "33.9683,130.9747,0.02", "--format", "csv", "--no-index"});
        QVERIFY(cli.waitForFinished());
        // The same passages; the command line's first area is the window's C here.
        QCOMPARE(w->csv(), cli.readAllStandardOutput().replace("\r\nA,", "\r\nC,"));

        // A double click: the ship's two days on the map, the passage's fixes over them.
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QModelIndex first = w->table()->model()->index(0, 0);
        w->table()->scrollTo(first);
        const QPoint at = w->table()->visualRect(first).center();
        QTest::mouseClick(w->table()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(w->table()->viewport(), Qt::LeftButton, {}, at);
        Map::MapWindow *map = form.mapLink()->window();
        QVERIFY(map);
        QCOMPARE(map->trackCount(), std::size_t(2));
        QCOMPARE(map->scene().highlight.points.size(), std::size_t(2));
        QCOMPARE(map->scene().highlight.area, 2);
        QVERIFY(map->scene().highlight.hasSquare);
    }

    void everyActionIsInTheMenusAndTheHelp()
    {
        Workspace ws;
        Form1 form;
        form.setExitHandler([] {});
        FormActions *actions = form.actions();
        QStringList keys;
        for (const FormActions::Action &a : actions->actions())
            keys << a.key.toString();
        QVERIFY(keys.contains("Ctrl+M") && keys.contains("Ctrl+I") && keys.contains("Ctrl+P") && keys.contains("Ctrl+R"));

        std::unique_ptr<QMenu> menu(actions->menu(&form));
        QStringList shown;
        for (QAction *a : menu->actions()) {
            if (!a->isSeparator())
                shown << a->text() + " " + a->shortcut().toString();
        }
        QCOMPARE(shown, QStringList({"Show on map Ctrl+M", "Unread days Ctrl+I", "Passages Ctrl+P", "Station report Ctrl+R",
                                     "Keys and windows F1"}));
        // The free space and the ship list both offer it.
        QCOMPARE(form.contextMenuPolicy(), Qt::CustomContextMenu);
        QCOMPARE(form.List1->contextMenuPolicy(), Qt::CustomContextMenu);

        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClick(&form, Qt::Key_F1);
        QVERIFY(actions->helpWindow() && actions->helpWindow()->isVisible());
        const QString help = actions->helpWindow()->findChild<QPlainTextEdit *>()->toPlainText();
        for (const FormActions::Action &a : actions->actions())
            QVERIFY2(help.contains(a.text) && help.contains(a.key.toString(QKeySequence::NativeText)), qPrintable(a.text));
    }
};

QTEST_MAIN(TestPassagesLink)
#include "test_passageslink.moc"
