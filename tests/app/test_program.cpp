// The program's runs as a whole, on the engine double: however the end is asked for, the bridge
// shuts down once and the program ends.
#include "app/mainwindow.h"
#include "app/program.h"
#include "support/fakeengine.h"
#include "support/loopback.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>

namespace {

// A run that has not ended by then never will: the test ends it with this status.
constexpr int kHangMs = 8000;
constexpr int kHangStatus = 99;

ProgramOptions optionsOnFreePort(quint16 &listenPort) {
    listenPort = freeLoopbackPort();
    ProgramOptions options;
    options.commandLine = "N0CALL,1,true,8000," + QByteArray::number(listenPort);
    return options;
}

void endHangingRun() {
    QTimer::singleShot(kHangMs, qApp, [] {
        QApplication::closeAllWindows();
        QCoreApplication::exit(kHangStatus);
    });
}

} // namespace

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void sigtermWithHelpOpenShutsDownOnceAndEnds();
    void relistenFailureShutsDownBeforeExiting();
    void windowWritesTheLogFileOrSaysWhyNot_data();
    void windowWritesTheLogFileOrSaysWhyNot();
};

void ProgramTest::sigtermWithHelpOpenShutsDownOnceAndEnds() {
    FakeEngine engine;
    quint16 listenPort = 0;
    QTimer::singleShot(0, qApp, [] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<MainWindow *>(widget)) {
                window->helpfile_Click();
            }
        }
        // The second signal, as a service manager may send, must not shut down again.
        std::raise(SIGTERM);
        std::raise(SIGTERM);
    });
    endHangingRun();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(runWindow(optionsOnFreePort(listenPort), engine), 0);
    QVERIFY2(clock.elapsed() < kHangMs / 2, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(engine.calls.count("unregister N0CALL"), 1);
    QCOMPARE(engine.calls.count("active 0"), 1);
    QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
            std::none_of(QApplication::topLevelWidgets().cbegin(),
                         QApplication::topLevelWidgets().cend(),
                         [](const QWidget *widget) { return widget->isVisible(); }));
}

void ProgramTest::relistenFailureShutsDownBeforeExiting() {
    FakeEngine engine;
    quint16 listenPort = 0;
    const ProgramOptions options = optionsOnFreePort(listenPort);
    QTcpSocket client;
    QTcpServer occupant;
    QTimer::singleShot(0, qApp, [&] { client.connectToHost(QHostAddress::LocalHost, listenPort); });
    // Once the client is in, nothing listens: another program takes the port meanwhile.
    QTimer::singleShot(500, qApp, [&] {
        if (occupant.listen(QHostAddress::LocalHost, listenPort)) {
            client.disconnectFromHost();
        }
    });
    endHangingRun();
    QCOMPARE(runHeadless(options, engine), 1);
    QVERIFY(occupant.isListening());
    QCOMPARE(engine.calls.count("unregister N0CALL"), 1);
    QCOMPARE(engine.calls.count("active 0"), 1);
}

void ProgramTest::windowWritesTheLogFileOrSaysWhyNot_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("opens");
    QTest::newRow("opens") << "varnel.log" << true;
    QTest::newRow("cannot be opened") << "missing/varnel.log" << false;
}

void ProgramTest::windowWritesTheLogFileOrSaysWhyNot() {
    QFETCH(QString, fileName);
    QFETCH(bool, opens);
    QTemporaryDir dir;
    FakeEngine engine;
    quint16 listenPort = 0;
    ProgramOptions options = optionsOnFreePort(listenPort);
    options.logFile = dir.filePath(fileName);
    options.commandLine += ",x"; // a log line at start-up
    QString shownLog;
    // Once the log box has shown its first lines, the window is closed.
    QTimer::singleShot(200, qApp, [&] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<MainWindow *>(widget)) {
                shownLog = window->findChild<QPlainTextEdit *>()->toPlainText();
                window->close();
            }
        }
    });
    endHangingRun();
    QCOMPARE(runWindow(options, engine), 0);
    const bool saysWhyNot = shownLog.contains(
        QStringLiteral("ERROR cannot open the log file %1: ").arg(options.logFile));
    QCOMPARE(saysWhyNot, !opens);
    QFile file(options.logFile);
    QCOMPARE(file.open(QIODevice::ReadOnly), opens);
    QVERIFY(shownLog.contains(u"ERROR too many command line arguments"));
    if (opens) {
        QVERIFY(file.readAll().endsWith(" ERROR too many command line arguments\n"));
    }
}

QTEST_MAIN(ProgramTest)
#include "test_program.moc"
