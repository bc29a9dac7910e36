// The real window at work under Xvfb: the bridge on the real control between the test engine
// and a KAM client. Screenshots of the main window, the Help window and the About box are kept
// in the build folder (screenshots/) for a person to look at.
#include "app/mainwindow.h"
#include "bridge/bridge.h"
#include "client/hostcodec.h"
#include "engine/agwcontrol.h"
#include "support/loopback.h"
#include "support/testengine.h"

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

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void windowAtWorkHelpAndAbout();
};

void ScreenshotTest::windowAtWorkHelpAndAbout() {
    TestEngine engine;
    QVERIFY(engine.start());
    const quint16 listenPort = freeLoopbackPort();
    BridgeOptions options;
    options.commandLine =
        "N0CALL,1,true," + QByteArray::number(engine.port()) + "," + QByteArray::number(listenPort);
    MainWindow window;
    AgwControl control;
    Bridge bridge(window, control, options);
    bridge.Form_Load();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(engine.waitForFrames('X', 1, kTimeoutMs));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, listenPort);
    QVERIFY(client.waitForConnected(kTimeoutMs));
    client.write("RESET\r");
    QTRY_COMPARE(bridge.state().hostMode, quint8(1));
    client.write(hostcodec::frame("C1AC W1AW"));
    QVERIFY(engine.waitForFrames('C', 1, kTimeoutMs));
    client.write(hostcodec::frame("C20BOGUS"));

    const auto *log = window.findChild<QPlainTextEdit *>(QStringLiteral("viewOutput"));
    QTRY_VERIFY(log->toPlainText().contains(QStringLiteral("C20BOGUS")));
    QVERIFY(
        log->toPlainText().startsWith(QStringLiteral("EVENT: PE is ready\n"
                                                     "AGWPE version 2005.127\n"
                                                     "accept winsock connection from client\n"
                                                     "ERROR Unknown Hostmode Client request>")));
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("MyCallbox"))->text(), "N0CALL");
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("AGWport"))->text(), " 1");
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("anybox"))->text(), "ANY");
    QVERIFY(window.grab().save(screenshotPath("main-window")));

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
