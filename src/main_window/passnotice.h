#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QWidget;

// The main window's notice line (Label3) after a pass that did not read every
// file it should have: a short line until the next pass starts, and the
// details one keystroke (Ctrl+I) away in a small modeless window, which never
// interrupts a pass.
class PassNotice : public QObject
{
    Q_OBJECT
public:
    PassNotice(QWidget *window, QLabel *label);

    // A pass starts: the usual notice comes back.
    void passStarted();
    // The pass has ended: what the engine's pass report says, cut to fit the label.
    void passEnded();
    void showDetails();
    QDialog *detailsWindow() const { return m_details; }

private:
    QString detailsText() const;

    QWidget *m_window;
    QLabel *m_label;
    QString m_usual;
    QPointer<QDialog> m_details;
    QPlainTextEdit *m_detailsText = nullptr;
};
