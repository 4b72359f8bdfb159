#include "main_window/passnotice.h"

#include "engine/module1.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

const QString kDetailsKey = QStringLiteral("Ctrl+I");

} // namespace

PassNotice::PassNotice(QWidget *window, QLabel *label)
    : QObject(window)
    , m_window(window)
    , m_label(label)
    , m_usual(label->text())
{
    auto *shortcut = new QShortcut(QKeySequence(kDetailsKey), window);
    connect(shortcut, &QShortcut::activated, this, &PassNotice::showDetails);
}

void PassNotice::passStarted()
{
    Module1::passReport = Module1::PassReport{};
    m_label->setText(m_usual);
    m_label->setToolTip(QString());
    if (m_details)
        m_detailsText->setPlainText(detailsText());
}

void PassNotice::passEnded()
{
    const Module1::PassReport &report = Module1::passReport;
    if (m_details)
        m_detailsText->setPlainText(detailsText());
    if (report.complete()) {
        m_label->setText(m_usual);
        m_label->setToolTip(QString());
        return;
    }
    // Cut in the middle, so that the start of what happened and the key to the
    // details both stay; the label never grows or moves.
    const QString notice = Module1::passNotice(report, kDetailsKey);
    m_label->setText(QFontMetrics(m_label->font()).elidedText(notice, Qt::ElideMiddle, m_label->width()));
    m_label->setToolTip(detailsText());
}

QString PassNotice::detailsText() const
{
    const Module1::PassReport &report = Module1::passReport;
    if (report.complete())
        return QStringLiteral("The last pass read every log file of its period.");
    return Module1::passDetails(report).join(QLatin1Char('\n'));
}

void PassNotice::showDetails()
{
    if (!m_details) {
        m_details = new QDialog(m_window);
        m_details->setObjectName(QStringLiteral("PassDetails"));
        m_details->setWindowTitle(Module1::kProgramTitle);
        m_details->setModal(false);
        m_details->resize(560, 220);
        m_detailsText = new QPlainTextEdit(m_details);
        m_detailsText->setReadOnly(true);
        m_detailsText->setLineWrapMode(QPlainTextEdit::NoWrap);
        (new QVBoxLayout(m_details))->addWidget(m_detailsText);
    }
    m_detailsText->setPlainText(detailsText());
    m_details->show();
    m_details->raise();
}
