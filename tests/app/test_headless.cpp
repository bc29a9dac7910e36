// Varnel without a window: the log on standard output, SIGTERM ends it with status 0.
#include "support/loopback.h"
#include "support/programtest.h"

#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

QString varnelPath;

} // namespace

class HeadlessTest : public QObject {
    Q_OBJECT
private slots:
    void logLinesGoToStandardOutputAndSigtermEndsCleanly();
    void optionErrorsExitNonZeroWithoutADisplay();
};

void HeadlessTest::logLinesGoToStandardOutputAndSigtermEndsCleanly() {
    QProcess varnel;
    const QByteArray fields = "N0CALL,1,true," + QByteArray::number(freeLoopbackPort()) + "," +
                              QByteArray::number(freeLoopbackPort()) + ",x";
    varnel.setProgram(varnelPath);
    varnel.setArguments({QStringLiteral("--headless"), QString::fromLatin1(fields)});
    varnel.start();
    QVERIFY(varnel.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        (varnel.waitForReadyRead(100),
         varnel.peek(1 << 16).contains("ERROR too many command line arguments\n")),
        5000);
    ::kill(varnel.processId(), SIGTERM);
    QVERIFY(varnel.waitForFinished(10000));
    QCOMPARE(varnel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(varnel.exitCode(), 0);
}

void HeadlessTest::optionErrorsExitNonZeroWithoutADisplay() {
    QProcess varnel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    varnel.setProcessEnvironment(environment);
    varnel.start(varnelPath, {QStringLiteral("--no-such-option")});
    QVERIFY(varnel.waitForFinished(5000));
    QCOMPARE(varnel.exitCode(), 2);
    QVERIFY(varnel.readAllStandardError().contains("unknown option --no-such-option"));
}

int main(int argc, char **argv) {
    return runProgramTest<HeadlessTest>(argc, argv, varnelPath);
}
#include "test_headless.moc"
