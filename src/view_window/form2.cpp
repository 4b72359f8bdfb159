#include "view_window/form2.h"

#include "platform/desktop.h"
#include "platform/fonts.h"
#include "resources/resources.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>

namespace {

constexpr QSize kClientSize{680, 465};
constexpr QRect kPicture1{8, 8, 665, 449};
constexpr QRect kLabel1{8, 0, 649, 25};
constexpr QRect kText1{8, 32, 665, 425};

// The text box keeps the design margins to the window's edges: right 680 - 665
// and bottom 465 - 425 pixels. They are taken from the client area, not from the
// outer frame, whose borders and title bar differ from desktop to desktop.
constexpr int kText1WidthMargin = kClientSize.width() - kText1.width();    // 15
constexpr int kText1HeightMargin = kClientSize.height() - kText1.height(); // 40

} // namespace

Form2::Form2(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowIcon(Resources::appIcon());
    setFont(Platform::font(Platform::kArial, 12));
    resize(kClientSize);

    Picture1 = new ChartView(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFont(Platform::font(Platform::kArial, 9));
    Picture1->move(kPicture1.topLeft());

    Label1 = new QLabel(QStringLiteral("Time        Destination    |    ETA    |    Draught    /    Status"), Picture1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(kLabel1);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Opaque, so marks drawn under the heading strip do not show through it.
    Label1->setAutoFillBackground(true);
    Label1->hide();

    // Created after Picture1, so it lies over the chart.
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(kText1);
    Text1->setFont(Platform::font(Platform::kArial, 12));
    Text1->setReadOnly(true);
    Text1->setUndoRedoEnabled(false);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->hide();

    m_save = new QShortcut(QKeySequence::Save, this);
    connect(m_save, &QShortcut::activated, this, &Form2::saveChart);
    m_copy = new QShortcut(QKeySequence::Copy, this);
    connect(m_copy, &QShortcut::activated, this, &Form2::copyChart);
}

Form2::~Form2() = default;

void Form2::prepare(Module1::ViewChoice choice, const QString &caption)
{
    setCaption(caption);
    Picture1->clear();
    Text1->clear();
    const bool changes = choice == Module1::ViewChoice::Changes;
    Label1->setVisible(changes);
    Text1->setVisible(changes);
    // In the change list Ctrl+C belongs to the text box.
    m_save->setEnabled(!changes);
    m_copy->setEnabled(!changes);

    if (!m_placed) {
        placeInDesignState();
        m_placed = true;
    }
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void Form2::setCaption(const QString &caption)
{
    m_caption = caption;
    // QWidget turns "[*][*]" into a literal "[*]" and drops a lone "[*]".
    QString title = caption;
    title.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    setWindowTitle(title);
}

void Form2::placeInDesignState()
{
    setWindowState(Qt::WindowNoState);
    resize(kClientSize);
    QRect around;
    if (QWidget *active = QApplication::activeWindow(); active && active != this)
        around = active->frameGeometry();
    else if (QScreen *s = screen())
        around = s->availableGeometry();
    if (around.isValid())
        move(around.center() - QPoint(width() / 2, height() / 2));
}

void Form2::draw(const Module1::ChartPrimitive &primitive)
{
    Picture1->draw(primitive);
}

void Form2::appendChangeLine(const QString &lineWithCrLf)
{
    QString line = lineWithCrLf;
    if (line.endsWith(QLatin1String("\r\n")))
        line.chop(2);
    else if (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    Text1->appendPlainText(line);
}

void Form2::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const QSize client = event->size();
    Text1->resize(std::max(0, client.width() - kText1WidthMargin), std::max(0, client.height() - kText1HeightMargin));
}

void Form2::closeEvent(QCloseEvent *event)
{
    // Nothing of this view outlives it: the next one is placed and sized anew.
    m_placed = false;
    Text1->hide();
    Label1->hide();
    Text1->clear();
    Picture1->clear();
    event->accept();
    emit unloaded();
}

bool Form2::saveChartImage(const QString &path) const
{
    return Picture1->canvas().image().save(path, "PNG");
}

void Form2::copyChart() const
{
    QApplication::clipboard()->setImage(Picture1->canvas().image());
}

void Form2::saveChart()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save chart"), chartImageFileName(m_caption),
                                                      tr("PNG images (*.png)"));
    if (path.isEmpty())
        return;
    if (!saveChartImage(path))
        Platform::messageBox(this, m_caption, tr("The chart could not be saved to %1.").arg(path));
}

QString chartImageFileName(const QString &caption)
{
    QString name;
    name.reserve(caption.size());
    for (const QChar c : caption) {
        const bool forbidden = c.unicode() < 32 || QStringLiteral("\\/:*?\"<>|").contains(c);
        name += forbidden ? QLatin1Char('_') : c;
    }
    // Windows drops trailing dots and blanks from a name; an empty name would
    // leave only the extension.
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    if (name.isEmpty())
        name = QStringLiteral("chart");
    return name + QStringLiteral(".png");
}
