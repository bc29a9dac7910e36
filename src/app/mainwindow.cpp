#include "app/mainwindow.h"
#include "app/drawnrow.h"
#include "app/version.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDirIterator>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>

#include <algorithm>
#include <utility>

namespace {

// The log box shows new lines at most this long after they were logged.
constexpr int kLogRefreshMs = 50;

// The widest texts the boxes are meant to hold: a callsign of the most characters AX.25 allows,
// a two-digit radio port as the bridge writes it, the port filter's word.
const QString kWidestCallsign = QStringLiteral("WB0ABC-15");
const QString kWidestRadioPort = QStringLiteral(" 99");
const QString kWidestFilter = QStringLiteral("ANY");

// The window was laid out in twips; 15 twips are one pixel at 96 dots per inch.
constexpr int kTwipsPerPixel = 15;
constexpr int kDialogFontPoints = 8;
QRect twips(int left, int top, int width, int height) {
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

// Measured rather than asked: some monospaced fonts do not declare themselves fixed-pitch.
bool isMonospaced(const QFont &font) {
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(u'i') == metrics.horizontalAdvance(u'M');
}

QFont logFont() {
    // Courier New where it exists or a metric twin stands in for it; the system's fixed font
    // otherwise.
    QFont font(QStringLiteral("Courier New"), 9);
    if (!isMonospaced(font)) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(9);
    }
    return font;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent) {
    setWindowTitle(QString::fromLatin1(kProgramTitle));

    auto *client = new QWidget(this);
    // The layout was drawn for an 8-point dialog font; the row of boxes grows where the
    // platform's font or style needs more room.
    QFont dialogFont = client->font();
    dialogFont.setPointSize(kDialogFontPoints);
    client->setFont(dialogFont);
    setCentralWidget(client);

    viewOutput = new QPlainTextEdit(client);
    viewOutput->setObjectName(QStringLiteral("viewOutput"));
    viewOutput->setGeometry(twips(120, 120, 6855, 2655));
    viewOutput->setFont(logFont());
    viewOutput->setLineWrapMode(QPlainTextEdit::NoWrap);
    viewOutput->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewOutput->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    logRefresh_.setSingleShot(true);
    logRefresh_.setInterval(kLogRefreshMs);
    connect(&logRefresh_, &QTimer::timeout, this, &MainWindow::refreshLog);

    auto label = [client](const char *name, const char *caption) {
        auto *l = new QLabel(QString::fromLatin1(caption), client);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto lineBox = [client](const char *name) {
        auto *e = new QLineEdit(client);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    staticmycall = label("staticmycall", "MyCall:");
    MyCallbox = lineBox("MyCallbox");
    staticport = label("staticport", "AGW Port:");
    AGWport = lineBox("AGWport");
    AGWall = label("AGWall", "Accept:");
    anybox = lineBox("anybox");
    const int rowTaller = placeDrawnRow({
        {staticmycall, twips(120, 3000, 615, 255), {}},
        {MyCallbox, twips(720, 3000, 1215, 285), kWidestCallsign},
        {staticport, twips(2760, 3000, 855, 255), {}},
        {AGWport, twips(3600, 3000, 375, 285), kWidestRadioPort},
        {AGWall, twips(4920, 3000, 615, 255), {}},
        {anybox, twips(5640, 3000, 495, 285), kWidestFilter},
    });

    // Under the log and the boxes, as tall as its rows need in the font the system gives; the
    // window as wide as drawn or as the row of boxes came out, with the same margin.
    const QRect boxesArea = twips(0, 0, 7110, 3375);
    const QRect stripColumn = twips(120, 3375, 6855, 0).translated(0, rowTaller);
    statusStrip_ = new StatusStrip(client);
    statusStrip_->setObjectName(QStringLiteral("statusStrip"));
    statusStrip_->setGeometry(stripColumn.adjusted(0, 0, 0, statusStrip_->sizeHint().height()));
    client->setFixedSize(
        std::max(boxesArea.width(), anybox->geometry().right() + 1 + stripColumn.left()),
        statusStrip_->geometry().bottom() + 1 + stripColumn.left());

    setTabOrder(viewOutput, MyCallbox);
    setTabOrder(MyCallbox, AGWport);
    setTabOrder(AGWport, anybox);

    // Two entries that act when clicked, with no menus under them.
    QAction *helpfile = menuBar()->addAction(QStringLiteral("Help"));
    helpfile->setObjectName(QStringLiteral("helpfile"));
    connect(helpfile, &QAction::triggered, this, &MainWindow::helpfile_Click);
    QAction *about = menuBar()->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("about"));
    connect(about, &QAction::triggered, this, &MainWindow::about_Click);

    // Fixed layout: the controls keep their places whatever the window's size.
    adjustSize();
}

MainWindow::~MainWindow() {
    // The Help window has no owner; it must not outlive the program's last window.
    delete help_;
}

QLineEdit *MainWindow::box(Box which) const {
    switch (which) {
    case Box::MyCall:
        return MyCallbox;
    case Box::AgwPort:
        return AGWport;
    case Box::AnyBox:
        return anybox;
    }
    return MyCallbox;
}

void MainWindow::setBoxText(Box which, const QByteArray &text) {
    QLineEdit *target = box(which);
    target->setText(QString::fromLatin1(text));
    target->repaint();
}

void MainWindow::logAppended(const QByteArray &line) {
    // Each log line becomes a paragraph of the box.
    unshownLog_ += logTimes_.appended(line, QDateTime::currentSecsSinceEpoch());
    scheduleLogRefresh();
}

void MainWindow::logCut(const QByteArray &remainingText) {
    // What was not shown yet is in the remaining text, or cut away with the rest.
    unshownLog_ = logTimes_.cut(remainingText);
    unshownReplacesLog_ = true;
    scheduleLogRefresh();
}

void MainWindow::scheduleLogRefresh() {
    // Not restarted while it runs: a steady stream of lines must not put the refresh off.
    if (!logRefresh_.isActive()) {
        logRefresh_.start();
    }
}

void MainWindow::refreshLog() {
    // The last line break ends the last paragraph; it opens no new one.
    QString text = std::exchange(unshownLog_, QString());
    if (text.endsWith(u'\n')) {
        text.chop(1);
    }
    if (std::exchange(unshownReplacesLog_, false)) {
        viewOutput->setPlainText(text);
    } else {
        viewOutput->appendPlainText(text);
    }
    // New lines land at the end whatever the user selected, and the caret follows them there;
    // the lines' beginnings, with their times, stay in view.
    viewOutput->moveCursor(QTextCursor::End);
    viewOutput->horizontalScrollBar()->setValue(0);
}

void MainWindow::showStatus(const StationStatus &status) {
    statusStrip_->showStatus(status);
}

void MainWindow::fatalError(const QByteArray &) {
    // The window stays open and the log shows what went wrong.
}

void MainWindow::helpfile_Click() {
    if (!help_) {
        help_ = new HelpWindow;
        help_->setAttribute(Qt::WA_DeleteOnClose);
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

QByteArray aboutText() {
    return QByteArray(kProgramTitle) + " - a KAM host-mode TNC for AGW packet engines\r" +
           "Written by the Varnel developers\r" +
           "Report problems on the Varnel issue tracker, with the event log";
}

QIcon programIcon() {
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/icons"), {QStringLiteral("varnel.png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (sizes.hasNext()) {
        icon.addFile(sizes.next());
    }
    return icon;
}

void MainWindow::about_Click() {
    QString text = QString::fromLatin1(aboutText());
    text.replace(u'\r', u'\n'); // a label breaks lines at LF
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Varnel"), text, QMessageBox::Ok, this);
    box.exec();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    emit unloading();
    event->accept();
}
