// The Windows build's window under Wine and Xvfb: varnel.exe between the test engine and a KAM
// client. The screen is kept as screenshots/wine-main-window.png for a person to look at, and
// its boxes are checked to show their text and their captions whole; then the window is asked
// to close as Windows asks it (taskkill without /F sends WM_CLOSE; a window program has no
// console for Ctrl+C) and the program shuts down as closing the window does.
#include "client/hostcodec.h"
#include "support/programtest.h"
#include "support/screenshotchecks.h"
#include "support/varnelrig.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTest>

namespace {

QString wrapperPath;

// Wine starts a window program in a few seconds once its prefix exists.
constexpr int kStartTimeoutMs = 60000;
constexpr int kTimeoutMs = 10000;
// Two grabs this far apart alike: Wine has finished drawing.
constexpr int kSettleMs = 300;

// The part of the screen that is not the empty (black) root window.
QRect drawnArea(const QImage &screen) {
    QRect area;
    for (int y = 0; y < screen.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            if (qGray(line[x]) > 0) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

// Waits until something is drawn and the screen has stopped changing: the window is up and its
// log is filled in.
bool waitForSettledScreen(QImage &screen) {
    QImage previous;
    return QTest::qWaitFor(
        [&] {
            QTest::qWait(kSettleMs);
            previous = screen;
            screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
                QImage::Format_RGB32);
            return !drawnArea(screen).isEmpty() && screen == previous;
        },
        kTimeoutMs);
}

} // namespace

class WineWindowTest : public QObject {
    Q_OBJECT
private slots:
    void windowAtWorkThenClosed();
};

void WineWindowTest::windowAtWorkThenClosed() {
    VarnelRig rig(wrapperPath);
    rig.headless = false;
    QVERIFY(rig.start());
    QVERIFY(rig.engine.waitForFrames('X', 1, kStartTimeoutMs));

    KamClient &client = rig.client;
    QVERIFY(client.connectTo(rig.listenPort));
    client.write("RESET\r");
    QVERIFY(client.expect("\300\300S00\300"));
    client.request("C1AC W1AW");
    QVERIFY(client.expect(hostcodec::frame("C00")));
    rig.engine.linkUp(0, "W1AW", "N0CALL", false);
    QVERIFY(client.expect(hostcodec::frame("S1A*** CONNECTED to W1AW")));
    client.request("C20BOGUS");

    QImage screen;
    QVERIFY(waitForSettledScreen(screen));
    const QRect window = drawnArea(screen);
    QVERIFY2(window.width() > 300 && window.height() > 200,
             qPrintable(QStringLiteral("drawn: %1x%2").arg(window.width()).arg(window.height())));
    QDir().mkpath(QStringLiteral(VARNEL_SCREENSHOT_DIR));
    QVERIFY(
        screen.copy(window).save(QStringLiteral(VARNEL_SCREENSHOT_DIR "/wine-main-window.png")));
    QCOMPARE(unreadableBoxes(screen.copy(window)).join(u','), QString());

    QCOMPARE(QProcess::execute(
                 QStringLiteral("/usr/lib/wine/wine64"),
                 {QStringLiteral("taskkill"), QStringLiteral("/IM"), QStringLiteral("varnel.exe")}),
             0);
    QVERIFY(rig.varnel.waitForFinished(kTimeoutMs + kTimeoutMs));
    QCOMPARE(rig.varnel.exitCode(), 0);
    QVERIFY(rig.engine.waitForFrames('x'));
}

int main(int argc, char **argv) {
    return runProgramTest<WineWindowTest, QGuiApplication>(argc, argv, wrapperPath);
}
#include "test_winewindow.moc"
