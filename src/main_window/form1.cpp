#include "main_window/form1.h"

#include "engine/module1.h"
#include "main_window/actions.h"
#include "main_window/listbox.h"
#include "main_window/maplink.h"
#include "main_window/reportlink.h"
#include "main_window/passnotice.h"
#include "main_window/settingsfile.h"
#include "main_window/windowhost.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "resources/resources.h"
#include "view_window/form2.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// The photograph box's size: a picture is read only as far as the box shows it.
constexpr int kPictureWidth = 203;
constexpr int kPictureHeight = 136;

const QString kPeriodTip = QStringLiteral("検索するログファイルの期間を指定します。対象とする期間が長いと処理に時間がかかることがあります。");
const QString kMmsiTip = QStringLiteral("検索するMMSIコードを記入します。");
const QString kAreaTip = QStringLiteral("指定した座標付近のログを検索します。");
const QString kLatitudeTip = QStringLiteral("緯度を指定します。");
const QString kLongitudeTip = QStringLiteral("経度を指定します。");
const QString kChartTip = QStringLiteral("受信回数／速度のグラフを表示します。");
const QString kChangesTip = QStringLiteral("目的地、到着予定時刻、ドラフトの変化のあった時刻とその内容を表示します。");
const QString kKmlTip = QStringLiteral("Google Earth で航跡を表示します。");
const QString kAltitudeTip = QStringLiteral("速度を高度で表現します。一定の高度での表示も選択できます。");

template <class W>
W *place(QWidget *parent, const QString &name, int x, int y, int width, int height)
{
    W *widget = new W(parent);
    widget->setObjectName(name);
    widget->setGeometry(x, y, width, height);
    return widget;
}

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

void warn(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::fflush(stderr);
}

QString today()
{
    return Platform::localDate().toString(QStringLiteral("yyyyMMdd"));
}

} // namespace

Form1::Form1(QWidget *parent)
    : QWidget(parent)
    , m_host(std::make_unique<WindowHost>(*this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Module1::kProgramTitle);
    setWindowIcon(Resources::appIcon());
    setFont(Platform::font(Platform::kArial, 12));
    setFixedSize(747, 489);

    createControls();
    chainTabOrder();
    Module1::setHost(m_host.get());
    m_mapLink = new MapLink(*this);
    m_reportLink = new ReportLink(*this);
    m_host->setShellFailureHandler([this] { m_mapLink->shellOpenFailed(); });
    m_actions = installFormActions(*this);

    connect(Text1[0], &QLineEdit::textChanged, this, &Form1::setPic);
    for (int k = 0; k < 3; ++k)
        connect(Check1[k], &QCheckBox::toggled, Frame1[k], &QWidget::setVisible);
    connect(Command1, &QPushButton::clicked, this, [this] { runCommand(&Module1::searchCommand); });
    connect(Command2, &QPushButton::clicked, this, [this] { runCommand(&Module1::openView); });
    // Clearing the list also changes its selection, to nothing; only a
    // selected ship starts a pass.
    connect(List1, &QListWidget::itemSelectionChanged, this, [this] {
        if (WindowHost::selectedRow(List1) >= 0)
            runCommand(&Module1::shipSelection);
    });
    // A click on the ship already selected lists its days again, for the
    // period and criteria as they stand now.
    connect(List1, &ListBox::selectedItemClicked, this, [this] { runCommand(&Module1::shipSelection); });

    load();
    Text1[7]->setFocus();
}

Form1::~Form1()
{
    if (Module1::host() == m_host.get())
        Module1::setHost(nullptr);
}

void Form1::createControls()
{
    const QFont fieldFont = Platform::font(Platform::kGothic, 14.25);
    const QFont listFont = Platform::font(Platform::kPGothic, 9);

    auto label = [this](int index, const QString &text, QWidget *parent, int x, int y, int w, int h) {
        QLabel *l = place<QLabel>(parent, indexed("Label1", index), x, y, w, h);
        l->setText(text);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // Captions overlap the fields beside them; the fields must stay on top.
        l->lower();
        Label1[index] = l;
        return l;
    };
    auto field = [this, &fieldFont](int index, QWidget *parent, int x, int y, int w, int h) {
        QLineEdit *t = place<QLineEdit>(parent, indexed("Text1", index), x, y, w, h);
        t->setFont(fieldFont);
        t->setMaxLength(std::numeric_limits<int>::max());
        Text1[index] = t;
        return t;
    };

    label(10, QStringLiteral("Period"), this, 8, 8, 65, 25);
    field(7, this, 64, 8, 97, 23)->setToolTip(kPeriodTip);
    label(11, QStringLiteral("_AIS_FMT.log  -"), this, 168, 8, 129, 25);
    field(8, this, 288, 8, 97, 23)->setToolTip(kPeriodTip);
    label(14, QStringLiteral("_AIS_FMT.log"), this, 392, 8, 137, 25);

    label(0, QStringLiteral("MMSI"), this, 8, 40, 65, 25);
    field(0, this, 64, 40, 105, 23)->setToolTip(kMmsiTip);

    label(4, QStringLiteral("Area"), this, 8, 72, 65, 25);
    static constexpr const char *areaCaptions[3] = {"A)", "B)", "C)"};
    // Latitude, longitude and range fields, then the "N", ", E" and "+-" labels.
    static constexpr int areaControls[3][6] = {
        {4, 5, 6, 5, 6, 7}, {9, 10, 11, 8, 9, 15}, {12, 13, 14, 16, 17, 18}};
    for (int k = 0; k < 3; ++k) {
        const int y = 72 + 32 * k;
        QCheckBox *box = place<QCheckBox>(this, indexed("Check1", k), 64, y, 41, 17);
        box->setText(QLatin1String(areaCaptions[k]));
        box->setToolTip(kAreaTip);
        Check1[k] = box;

        QFrame *row = place<QFrame>(this, indexed("Frame1", k), 112, y, 377, 25);
        row->setFrameShape(QFrame::NoFrame);
        row->setFont(listFont);
        row->hide();
        Frame1[k] = row;

        const int *c = areaControls[k];
        // The row's small captions stand level with the large text of the
        // fields instead of hanging at their top edge.
        label(c[3], QStringLiteral("N"), row, 0, 0, 49, 25)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        field(c[0], row, 16, 0, 89, 23)->setToolTip(kLatitudeTip);
        label(c[4], QStringLiteral(", E"), row, 112, 0, 33, 25)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        field(c[1], row, 136, 0, 89, 23)->setToolTip(kLongitudeTip);
        label(c[5], QStringLiteral("+-"), row, 240, 0, 17, 25)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        field(c[2], row, 256, 0, 89, 23);
    }
    static constexpr const char *initialArea[9] = {"33.7761", "131.0082", "0.002", "33.8714", "130.9956",
                                                  "0.002",   "33.9683",  "130.9747", "0.02"};
    for (std::size_t k = 0; k < SettingsFile::kCount; ++k)
        Text1[SettingsFile::kFields[k]]->setText(QLatin1String(initialArea[k]));

    Command1 = place<QPushButton>(this, QStringLiteral("Command1"), 48, 168, 249, 33);
    Command1->setText(QStringLiteral("Search"));

    Label2 = place<QLabel>(this, QStringLiteral("Label2"), 304, 176, 209, 17);
    Label2->setFont(listFont);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto image = [this](int index, const QPixmap &pixmap, int x, int y) {
        QLabel *i = place<QLabel>(this, indexed("Image1", index), x, y, 32, 32);
        i->setPixmap(pixmap);
        i->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        Image1[index] = i;
    };
    image(0, Resources::arrowDown(), 152, 208);

    label(12, QStringLiteral("MMSI   Name"), this, 16, 248, 249, 25);
    label(13, QStringLiteral("Date (log file)"), this, 320, 248, 137, 25);

    auto list = [this, &listFont](const QString &name, int x, int y, int w, int h) {
        ListBox *l = place<ListBox>(this, name, x, y, w, h);
        l->setFont(listFont);
        l->setSortingEnabled(false);
        l->setUniformItemSizes(true);
        // A list box shows what fits and cuts the rest, without a scroll bar
        // eating into its height or an ellipsis hiding the end of a name.
        l->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        l->setTextElideMode(Qt::ElideNone);
        return l;
    };
    List1 = list(QStringLiteral("List1"), 8, 272, 257, 208);
    image(1, Resources::arrowRight(), 272, 288);
    List2 = list(QStringLiteral("List2"), 312, 272, 129, 208);
    image(2, Resources::arrowRight(), 448, 288);

    Command2 = place<QPushButton>(this, QStringLiteral("Command2"), 488, 288, 249, 33);
    Command2->setText(QStringLiteral("Open"));
    Command2->setEnabled(false);

    // An exclusive group, unlike auto-exclusive buttons, may start with no
    // button checked; once the user has chosen, one stays chosen.
    m_options = new QButtonGroup(this);
    m_options->setExclusive(true);
    auto option = [this](int index, const QString &caption, const QString &tip, int y) {
        QRadioButton *o = place<QRadioButton>(this, indexed("Option1", index), 496, y, 249, 19);
        o->setText(caption);
        o->setToolTip(tip);
        m_options->addButton(o, index);
        Option1[index] = o;
        return o;
    };
    option(0, QStringLiteral("Number of times / Speed"), kChartTip, 328);
    option(2, QStringLiteral("Destinations, ETA, Draught"), kChangesTip, 360)
        ->setFont(Platform::font(Platform::kArial, 11.25));
    option(3, QStringLiteral("Google Earth"), kKmlTip, 392);

    Combo1 = place<QComboBox>(this, QStringLiteral("Combo1"), 520, 416, 209, 20);
    Combo1->setEditable(false);
    Combo1->setFont(listFont);
    Combo1->addItems({QStringLiteral("Speed expressed by altitude"), QStringLiteral("Speed expressed by altitude(X10)"),
                      QStringLiteral("Constant altitude")});
    Combo1->setToolTip(kAltitudeTip);

    Picture1 = place<QLabel>(this, QStringLiteral("Picture1"), 520, 24, kPictureWidth, kPictureHeight);
    Picture1->setFont(listFont);
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setScaledContents(false);
    Picture1->setFocusPolicy(Qt::TabFocus);

    Label3 = place<QLabel>(this, QStringLiteral("Label3"), 448, 464, 297, 25);
    Label3->setFont(Platform::font(Platform::kArial, 9.75));
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3->setText(QStringLiteral("Ver 1.0  -  Esc stops a search"));
    m_notice = new PassNotice(this, Label3);
}

void Form1::chainTabOrder()
{
    QWidget *const order[] = {Text1[7],  Text1[8],   Text1[0],   Check1[0],  Text1[4],  Text1[5],
                              Text1[6],  Command1,   List1,      List2,      Option1[0], Option1[2],
                              Option1[3], Combo1,    Command2,   Picture1,   Check1[1], Check1[2],
                              Text1[9],  Text1[10],  Text1[11],  Text1[12],  Text1[13], Text1[14]};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form1::load()
{
    Text1[7]->setText(today());
    Text1[8]->setText(today());
    Combo1->setCurrentIndex(0);
    readSettings();
}

void Form1::readSettings()
{
    if (!Platform::fileExists(SettingsFile::kFileName))
        return;
    SettingsFile::Values values;
    for (std::size_t k = 0; k < SettingsFile::kCount; ++k)
        values[k] = Text1[SettingsFile::kFields[k]]->text();
    QString error;
    if (!SettingsFile::read(SettingsFile::kFileName, values, &error)) {
        warn(QStringLiteral("%1: not read, the area fields keep their initial texts: %2")
                 .arg(SettingsFile::kFileName, error));
        return;
    }
    for (std::size_t k = 0; k < SettingsFile::kCount; ++k)
        Text1[SettingsFile::kFields[k]]->setText(values[k]);
}

void Form1::writeSettings()
{
    SettingsFile::Values values;
    for (std::size_t k = 0; k < SettingsFile::kCount; ++k)
        values[k] = Text1[SettingsFile::kFields[k]]->text();
    QString error;
    if (!SettingsFile::write(SettingsFile::kFileName, values, &error))
        warn(QStringLiteral("%1: not written: %2").arg(SettingsFile::kFileName, error));
}

void Form1::setPic(const QString &mmsi)
{
    // The length test comes first: typing in the MMSI field costs no file
    // access until the ninth character.
    if (mmsi.size() != 9) {
        Picture1->clear();
        return;
    }
    const QString path = QStringLiteral("../pics/") + mmsi + QStringLiteral(".jpg");
    if (!Platform::fileExists(path)) {
        Picture1->clear();
        return;
    }
    // Only the part the box shows is decoded, so a huge photograph costs no
    // more than a small one.
    QImageReader reader(path);
    reader.setAutoTransform(false);
    reader.setClipRect(QRect(0, 0, kPictureWidth, kPictureHeight));
    const QImage image = reader.read();
    if (image.isNull()) {
        Picture1->clear();
        return;
    }
    Picture1->setPixmap(QPixmap::fromImage(image));
}

void Form1::setExitHandler(std::function<void()> handler)
{
    m_exitHandler = std::move(handler);
}

void Form1::setShellOpener(std::function<bool(const QString &)> opener)
{
    m_host->setShellOpener(std::move(opener));
}

bool Form1::passRunning() const
{
    return m_passDepth > 0;
}

Form2 *Form1::viewWindow()
{
    if (!m_form2) {
        m_form2 = std::make_unique<Form2>();
        connect(m_form2.get(), &Form2::unloaded, this, &Form1::viewWindowUnloaded);
        // The window manager keeps the view above this window, as it would a
        // dialog of it, so a click on the greyed main window never hides the
        // view behind it. Not a child widget: that would be disabled with the
        // main window for the whole view.
        winId();
        m_form2->winId();
        m_form2->windowHandle()->setTransientParent(windowHandle());
    }
    return m_form2.get();
}

void Form1::viewWindowUnloaded()
{
    // When the program ends it closes the view window itself; the main window
    // must not come back then.
    if (m_host->ending())
        return;
    setEnabled(true);
    show();
    raise();
    activateWindow();
}

void Form1::runCommand(void (*command)())
{
    runPass(command, command == &Module1::searchCommand);
}

void Form1::runPass(const std::function<void()> &pass)
{
    runPass(pass, false);
}

void Form1::runPass(const std::function<void()> &command, bool search)
{
    // The Search command selects its first ship at its end, which runs the ship
    // selection inside it; only the outermost command starts and ends the pass.
    // An Escape stops the pass under way and nothing more: the ship selection
    // that a stopped Search runs at its end starts afresh.
    const bool outermost = m_passDepth == 0;
    m_host->clearStop();
    if (outermost) {
        m_notice->passStarted(search);
        qApp->installEventFilter(this);
    }
    ++m_passDepth;
    struct Leave
    {
        Form1 *form;
        bool outermost;
        bool search;
        ~Leave()
        {
            --form->m_passDepth;
            if (outermost) {
                qApp->removeEventFilter(form);
                form->m_notice->passEnded(search);
            }
        }
    } leave{this, outermost, search};
    command();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && passRunning() &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
        m_host->requestStop();
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    // Ending the program can deliver a second close to this window (the
    // application closes what is still open); the settings are written once.
    if (m_closing)
        return;
    m_closing = true;
    m_host->setEnding();
    writeSettings();
    exitProgram();
}

void Form1::exitProgram()
{
    if (m_exitHandler) {
        m_exitHandler();
        return;
    }
    if (passRunning()) {
        // We are inside the reader's event-loop turns, several frames deep in a
        // command; there is no clean way back out of them, so the process ends here.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(0);
    }
    if (m_form2)
        m_form2->close();
    QCoreApplication::quit();
}
