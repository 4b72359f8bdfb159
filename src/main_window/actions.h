#pragma once

#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

class Form1;
class QDialog;
class QMenu;
class QPoint;
class QWidget;

// Everything the main window does beyond its fixed controls, in one list:
// each action's name, shortcut and a line of what it does. The list feeds the
// context menu of the window's free space and of the ship list, and the F1
// help, so an action registered here can be found without knowing its key.
class FormActions : public QObject
{
    Q_OBJECT
public:
    struct Action
    {
        QString text;        // as the menu shows it
        QKeySequence key;
        QString help;        // one line for the F1 window
        std::function<void()> run;
    };

    explicit FormActions(Form1 &form);

    // Registers an action and binds its key on the main window. `bindKey`
    // false: its owner binds the key already, the list only shows it.
    void add(Action action, bool bindKey = true);
    const std::vector<Action> &actions() const { return m_actions; }

    // The context menu of the actions, each with its shortcut; the caller runs it.
    QMenu *menu(QWidget *parent) const;
    // F1: the shortcuts and what each window does, in a small window of its own.
    void showHelp();
    QDialog *helpWindow() const { return m_help; }
    QString helpText() const;

private:
    void popUp(QWidget *widget, const QPoint &at);

    Form1 &m_form;
    std::vector<Action> m_actions;
    QPointer<QDialog> m_help;
};

// The program's actions beyond the fixed controls, registered on the window.
FormActions *installFormActions(Form1 &form);
