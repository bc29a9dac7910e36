// The real window at work under Xvfb: the bridge on the real control between the test engine
// and a KAM client. Screenshots of the main window (with the engine unreachable, with three links
// up and data waiting, after the links ended), the Help window and the About box are kept in the
// build folder (screenshots/) for a person to look at; every label and box is checked to fit.
#include "app/mainwindow.h"
#include "bridge/bridge.h"
#include "client/hostcodec.h"
#include "engine/agwcontrol.h"
#include "support/loopback.h"
#include "support/screenshotchecks.h"
#include "support/testengine.h"
#include "support/windowchecks.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kTimeoutMs = 5000;

QString screenshotPath(const char *name) {
    QDir().mkpath(QStringLiteral(VARNEL_SCREENSHOT_DIR));
    return QStringLiteral(VARNEL_SCREENSHOT_DIR "/%1.png").arg(QString::fromLatin1(name));
}

QString statusOf(const MainWindow &window, const char *row) {
    return window.findChild<QLabel *>(QString::fromLatin1(row))->text();
}

BridgeOptions stationOptions(quint16 enginePort, quint16 listenPort) {
    BridgeOptions options;
    options.commandLine =
        "N0CALL,1,true," + QByteArray::number(enginePort) + "," + QByteArray::number(listenPort);
    return options;
}

// The main window with the bridge on the real control, loaded and shown.
struct ShownStation {
    ShownStation(quint16 enginePort, quint16 listenPort)
        : bridge(window, control, stationOptions(enginePort, listenPort)) {
        bridge.Form_Load();
        window.show();
    }

    MainWindow window;
    AgwControl control;
    Bridge bridge;
};

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void windowWithTheEngineUnreachable();
    void windowAtWorkHelpAndAbout();
};

void ScreenshotTest::windowWithTheEngineUnreachable() {
    ShownStation station(freeLoopbackPort(), freeLoopbackPort());
    MainWindow &window = station.window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(statusOf(window, "engineStatus").startsWith("NOT REACHABLE at 127.0.0.1:"));
    QVERIFY(statusOf(window, "problemStatus").contains("is not reachable"));
    QTRY_VERIFY(!window.findChild<QPlainTextEdit *>()->toPlainText().isEmpty());
    QCOMPARE((cutLabels(window) + cutBoxes(window)).join(u','), QString());
    QVERIFY(window.grab().save(screenshotPath("main-window-engine-unreachable")));
}

void ScreenshotTest::windowAtWorkHelpAndAbout() {
    TestEngine engine;
    QVERIFY(engine.start());
    const quint16 listenPort = freeLoopbackPort();
    ShownStation station(engine.port(), listenPort);
    MainWindow &window = station.window;
    const Bridge &bridge = station.bridge;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(engine.waitForFrames('X', 1, kTimeoutMs));

    engine.answerConnects = true;
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, listenPort);
    QVERIFY(client.waitForConnected(kTimeoutMs));
    client.write("RESET\r");
    QTRY_COMPARE(bridge.state().hostMode, quint8(1));
    // Three links: two called out, one caller on the next stream that takes calls.
    client.write(hostcodec::frame("C10USERS 3") + hostcodec::frame("C1AC W1AW") +
                 hostcodec::frame("C1BC K2XYZ"));
    QTRY_VERIFY(statusOf(window, "linkStatus").contains("K2XYZ connected"));
    engine.linkUp(0, "K3CAL", "N0CALL", true);
    QTRY_VERIFY(statusOf(window, "linkStatus").contains("K3CAL connected"));
    client.write(hostcodec::frame("C20BOGUS"));
    // The engine holds the data it was given: it stays waiting for delivery.
    engine.outstandingFrames = 4;
    client.write(hostcodec::frame("D1A" + QByteArray(200, 'x')));
    QTRY_COMPARE(statusOf(window, "dataStatus"),
                 "200 bytes waiting to be delivered, FREE BYTES 10040");
    QCOMPARE(statusOf(window, "linkStatus"), "A/V W1AW connected, outgoing, 200 bytes waiting\n"
                                             "B/V K2XYZ connected, outgoing, 0 bytes waiting\n"
                                             "C/V K3CAL connected, incoming, 0 bytes waiting");

    const auto *log = window.findChild<QPlainTextEdit *>(QStringLiteral("viewOutput"));
    QTRY_VERIFY(log->toPlainText().contains(QStringLiteral("C20BOGUS")));
    QVERIFY(withoutTimes(log->toPlainText())
                .startsWith(QStringLiteral("EVENT: PE is ready\n"
                                           "AGWPE version 2005.127\n"
                                           "accept winsock connection from client\n"
                                           "Link A/V up: W1AW, outgoing\n"
                                           "Link B/V up: K2XYZ, outgoing\n"
                                           "Link C/V up: K3CAL, incoming\n"
                                           "ERROR Unknown Hostmode Client request>")));
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("MyCallbox"))->text(), "N0CALL");
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("AGWport"))->text(), " 1");
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("anybox"))->text(), "ANY");
    QVERIFY(statusOf(window, "clientStatus").startsWith("connected from 127.0.0.1:"));
    QCOMPARE(statusOf(window, "problemStatus"), "none");
    QCOMPARE((cutLabels(window) + cutBoxes(window)).join(u','), QString());
    const QImage shot = window.grab().toImage();
    QVERIFY(shot.save(screenshotPath("main-window")));
    // What the Wine test can only see in its screenshot reads here too.
    QCOMPARE(unreadableBoxes(shot).join(u','), QString());

    // Delivered, then taken down by the other station.
    engine.outstandingFrames = 0;
    QTRY_COMPARE(statusOf(window, "dataStatus"),
                 "0 bytes waiting to be delivered, FREE BYTES 10240");
    for (const char *remote : {"W1AW", "K2XYZ", "K3CAL"}) {
        engine.linkDown(0, remote, "N0CALL");
    }
    QTRY_COMPARE(statusOf(window, "linkStatus"), "none");
    QCOMPARE(statusOf(window, "dataStatus"), "no link, FREE BYTES 10240");
    QCOMPARE((cutLabels(window) + cutBoxes(window)).join(u','), QString());
    QVERIFY(window.grab().save(screenshotPath("main-window-link-ended")));

    // Help reads readme.txt from the working directory: the build folder has it.
    QVERIFY(QDir::setCurrent(QStringLiteral(VARNEL_BUILD_DIR)));
    window.helpfile_Click();
    HelpWindow *help = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *candidate = qobject_cast<HelpWindow *>(w)) {
            help = candidate;
        }
    }
    QVERIFY(help);
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QVERIFY(help->findChild<QPlainTextEdit *>()->toPlainText().startsWith("VARNEL 1.6 - HELP"));
    QVERIFY(help->grab().save(screenshotPath("help-window")));
    help->close();

    bool aboutSaved = false;
    QTimer::singleShot(200, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box) {
            aboutSaved = box->grab().save(screenshotPath("about-box"));
            box->accept();
        }
    });
    window.about_Click();
    QVERIFY(aboutSaved);
}

QTEST_MAIN(ScreenshotTest)
#include "test_screenshots.moc"
