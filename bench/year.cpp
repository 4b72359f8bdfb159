// bench_year: ship selections in the real Form1, offscreen, over the logs of
// bench/run-year.sh with the day index built beforehand: a Search, then clicks
// on ships of List1, each running the ship selection over the whole period.
//
//   bench_year --data DIR --index-dir DIR [--area] [--repeat N]
//
// DIR holds logs/; the window runs in DIR/work. Prints the best click.
#include "engine/dayindex.h"
#include "index/sqlitedayindex.h"
#include "main_window/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString data, indexDir;
    bool area = false;
    int repeat = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--data" && i + 1 < args.size())
            data = args[++i];
        else if (args[i] == "--index-dir" && i + 1 < args.size())
            indexDir = args[++i];
        else if (args[i] == "--repeat" && i + 1 < args.size())
            repeat = args[++i].toInt();
        else if (args[i] == "--area")
            area = true;
    }
    if (data.isEmpty() || indexDir.isEmpty() || repeat < 1) {
        std::fprintf(stderr, "usage: bench_year --data DIR --index-dir DIR [--area] [--repeat N]\n");
        return 2;
    }
    QDir().mkpath(data + "/work");
    QDir::setCurrent(data + "/work");
    Index::SqliteDayIndex index(indexDir);
    Module1::setDayIndex(&index);

    Form1 form;
    form.setExitHandler([] {});
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);
    form.Text1[7]->setText("2011");
    form.Text1[8]->setText("2012");
    form.Text1[0]->clear();
    form.Text1[12]->setText("33.9683");
    form.Text1[13]->setText("130.9747");
    form.Text1[14]->setText("0.02");
    for (int k = 0; k < 3; ++k)
        form.Check1[std::size_t(k)]->setChecked(area && k == 2);
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    const int ships = form.List1->count();
    if (ships < 2) {
        std::fprintf(stderr, "bench_year: the Search listed %d ships\n", ships);
        return 1;
    }

    double best = 1e9;
    int files = 0;
    for (int i = 0; i < repeat; ++i) {
        QListWidgetItem *item = form.List1->item(1 + i % std::min(ships - 1, 8));
        const QPoint at = form.List1->visualItemRect(item).center();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {}, at);
        best = std::min(best, double(clock.nsecsElapsed()) / 1e9);
        files += form.List2->count();
    }
    std::printf("%.3f %d %d\n", best, ships, files / repeat);
    Module1::setDayIndex(nullptr);
    return 0;
}
