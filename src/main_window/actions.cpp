#include "main_window/actions.h"

#include "main_window/form1.h"
#include "main_window/maplink.h"
#include "main_window/passageslink.h"
#include "main_window/passnotice.h"
#include "main_window/reportlink.h"

#include <QDialog>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QVBoxLayout>

FormActions::FormActions(Form1 &form) : QObject(&form), m_form(form)
{
    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), &form);
    connect(help, &QShortcut::activated, this, &FormActions::showHelp);
    for (QWidget *w : {static_cast<QWidget *>(&form), static_cast<QWidget *>(form.List1)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this, [this, w](const QPoint &at) { popUp(w, at); });
    }
}

void FormActions::add(Action action, bool bindKey)
{
    if (bindKey && !action.key.isEmpty()) {
        auto *shortcut = new QShortcut(action.key, &m_form);
        connect(shortcut, &QShortcut::activated, this, action.run);
    }
    m_actions.push_back(std::move(action));
}

QMenu *FormActions::menu(QWidget *parent) const
{
    auto *menu = new QMenu(parent);
    for (const Action &a : m_actions) {
        QAction *item = menu->addAction(a.text);
        // Shown beside the item; the window's own shortcut does the work.
        item->setShortcut(a.key);
        item->setShortcutContext(Qt::WidgetShortcut);
        item->setToolTip(a.help);
        connect(item, &QAction::triggered, this, a.run);
    }
    menu->addSeparator();
    QAction *help = menu->addAction(QStringLiteral("Keys and windows"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setShortcutContext(Qt::WidgetShortcut);
    connect(help, &QAction::triggered, this, &FormActions::showHelp);
    return menu;
}

void FormActions::popUp(QWidget *widget, const QPoint &at)
{
    QMenu *m = menu(widget);
    m->setAttribute(Qt::WA_DeleteOnClose);
    const QPoint global = widget == m_form.List1 ? m_form.List1->viewport()->mapToGlobal(at) : widget->mapToGlobal(at);
    m->popup(global);
}

QString FormActions::helpText() const
{
    QString text = QStringLiteral("Keys of the main window\n\n");
    for (const Action &a : m_actions)
        text += QStringLiteral("  %1  %2: %3\n")
                    .arg(a.key.toString(QKeySequence::NativeText), -8)
                    .arg(a.text, a.help);
    text += QStringLiteral("  %1  Keys and windows: this help\n").arg(QStringLiteral("F1"), -8);
    text += QStringLiteral("  %1  Stop the Search, ship selection or pass under way\n").arg(QStringLiteral("Esc"), -8);
    text += QStringLiteral(
        "\nA right click on the window's free space or on the ship list lists these actions.\n\n"
        "Windows\n\n"
        "  Main window: the period, the MMSI and the three areas; Search lists the ships that match,\n"
        "    a ship lists the days it matched, Open shows the chosen view of the ship's day.\n"
        "  Chart / changes: reports per hour with the speed, or the voyage and status changes of one day.\n"
        "  Map: the ship's day tracks on the sea map, the areas, and squares drawn to become areas.\n"
        "  Passages: when each ship entered and left each active area, how fast and which way, as a\n"
        "    table and a chart per day; a double click shows the passage on the map.\n"
        "  Station report: what the station heard over the period: records per 10 minutes, silences,\n"
        "    ships per day and the range by bearing; its outline is drawn on the map.\n"
        "  Unread days: the log files a pass could not read or was stopped before.\n");
    return text;
}

void FormActions::showHelp()
{
    if (!m_help) {
        m_help = new QDialog(&m_form);
        m_help->setObjectName(QStringLiteral("KeysAndWindows"));
        m_help->setWindowTitle(QStringLiteral("Keys and windows"));
        m_help->setAttribute(Qt::WA_DeleteOnClose);
        auto *text = new QPlainTextEdit(m_help);
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        auto *layout = new QVBoxLayout(m_help);
        layout->addWidget(text);
        m_help->resize(720, 420);
    }
    m_help->findChild<QPlainTextEdit *>()->setPlainText(helpText());
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

FormActions *installFormActions(Form1 &form)
{
    auto *actions = new FormActions(form);
    // Ctrl+M, Ctrl+I and Ctrl+R are bound by the map link, the notice line and
    // the report link.
    actions->add({QStringLiteral("Show on map"), QKeySequence(Qt::CTRL | Qt::Key_M),
                  QStringLiteral("the selected ship's selected day on the sea map (the map alone without one)"),
                  [&form] { form.mapLink()->showSelectedDay(); }},
                 false);
    actions->add({QStringLiteral("Unread days"), QKeySequence(Qt::CTRL | Qt::Key_I),
                  QStringLiteral("the log files the last passes could not read, by their full paths"),
                  [&form] { form.passNotice()->showDetails(); }},
                 false);
    auto *passages = new PassagesLink(form);
    actions->add({QStringLiteral("Passages"), QKeySequence(Qt::CTRL | Qt::Key_P),
                  QStringLiteral("who passed through the active areas in the period, when, how fast and which way"),
                  [passages] { passages->open(); }});
    actions->add({QStringLiteral("Station report"), QKeySequence(Qt::CTRL | Qt::Key_R),
                  QStringLiteral("how well the station received over the period: records by time, silences, range"),
                  [&form] { form.reportLink()->open(); }},
                 false);
    return actions;
}
