#pragma once

#include "engine/module1.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QWidget;

// The main window's notice line (Label3): what the lists leave out. The ship
// list is the last Search's, so what that Search left unread stays in the
// notice until a Search reads its whole period, whatever ship selections and
// views come after it; the latest other pass adds its own. The details are
// one keystroke (Ctrl+I) away in a small modeless window, which never
// interrupts a pass.
class PassNotice : public QObject
{
    Q_OBJECT
public:
    PassNotice(QWidget *window, QLabel *label);

    // A pass starts (`search`: a Search, which replaces the ship list).
    void passStarted(bool search);
    // The pass has ended: the engine's pass report, kept or shown.
    void passEnded(bool search);
    void showDetails();
    QDialog *detailsWindow() const { return m_details; }

private:
    Module1::PassReport shown() const;
    QString detailsText() const;
    void refresh();         // the label, its tooltip and an open details window

    QWidget *m_window;
    QLabel *m_label;
    QString m_usual;
    // What the Search whose ships List1 holds left out, and the latest other pass.
    Module1::PassReport m_search;
    Module1::PassReport m_latest;
    QPointer<QDialog> m_details;
    QPlainTextEdit *m_detailsText = nullptr;
};
