#pragma once

#include "engine/chart.h"
#include "engine/host.h"
#include "view_window/chartcanvas.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;

// The view window: the hourly chart on Picture1, and over it, in the
// change-list view, the heading Label1 and the change list Text1.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    explicit Form2(QWidget *parent = nullptr);
    ~Form2() override;

    // Controls, named as everywhere else in the program.
    ChartView *Picture1 = nullptr;
    QLabel *Label1 = nullptr;
    QPlainTextEdit *Text1 = nullptr;

    // Caption, cleared surface, empty change list; Label1 and Text1 shown for
    // the change-list view only; then shown modeless and raised.
    void prepare(Module1::ViewChoice choice, const QString &caption);
    void draw(const Module1::ChartPrimitive &primitive);
    void appendChangeLine(const QString &lineWithCrLf);

signals:
    // The user closed the window (it is then back in its design-time state).
    void unloaded();
};
