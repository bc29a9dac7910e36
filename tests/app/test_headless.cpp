// Varnel without a window: the log on standard output and in the --log-file, SIGTERM ends it
// with status 0; a log file that cannot be opened ends it at once with status 1.
#include "support/loopback.h"
#include "support/programtest.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
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
    void logFileGetsEveryLineWithItsTime();
    void logFileThatCannotBeOpenedIsFatal();
    void clientDeviceThatCannotBeUsedIsFatal_data();
    void clientDeviceThatCannotBeUsedIsFatal();
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

void HeadlessTest::logFileGetsEveryLineWithItsTime() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("varnel.log"));
    QProcess varnel;
    const QByteArray fields = "N0CALL,1,true," + QByteArray::number(freeLoopbackPort()) + "," +
                              QByteArray::number(freeLoopbackPort()) + ",x";
    varnel.start(varnelPath, {QStringLiteral("--headless"), QStringLiteral("--log-file"), path,
                              QString::fromLatin1(fields)});
    QVERIFY(varnel.waitForStarted());
    // Flushed per line: there while the program runs. Both lines are awaited: a loaded machine
    // (the sanitizers, tests in parallel) may take a while over the engine's.
    const auto linesWritten = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(linesWritten() >= 2, 5000);
    ::kill(varnel.processId(), SIGTERM);
    QVERIFY(varnel.waitForFinished(10000));
    QCOMPARE(varnel.exitCode(), 0);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> written = file.readAll().split('\n');
    const QList<QByteArray> printed = varnel.readAllStandardOutput().split('\n');
    QCOMPARE(written.size(), printed.size());
    QVERIFY(written.size() >= 3); // the fields' error and the engine's, then the last line end
    QCOMPARE(written.last(), QByteArray());
    static const QRegularExpression stamp(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d) (.*)$)"));
    for (qsizetype i = 0; i + 1 < written.size(); ++i) {
        const QRegularExpressionMatch line = stamp.match(QString::fromUtf8(written[i]));
        QVERIFY2(line.hasMatch(), written[i].constData());
        QCOMPARE(line.captured(2).toUtf8(), printed[i]);
        const QDateTime when = QDateTime::fromString(line.captured(1), Qt::ISODate);
        QVERIFY(qAbs(when.secsTo(QDateTime::currentDateTime())) < 60);
    }
}

void HeadlessTest::logFileThatCannotBeOpenedIsFatal() {
    QTemporaryDir dir;
    QProcess varnel;
    varnel.start(varnelPath,
                 {QStringLiteral("--headless"), QStringLiteral("--log-file"),
                  dir.filePath(QStringLiteral("missing/varnel.log")),
                  QStringLiteral("N0CALL,1,true,") + QString::number(freeLoopbackPort())});
    QVERIFY(varnel.waitForFinished(5000));
    QCOMPARE(varnel.exitCode(), 1);
    const QByteArray error = varnel.readAllStandardError();
    QVERIFY2(error.startsWith("varnel: cannot open the log file ") &&
                 error.contains("missing/varnel.log: "),
             error.constData());
    QCOMPARE(varnel.readAllStandardOutput(), QByteArray());
}

void HeadlessTest::clientDeviceThatCannotBeUsedIsFatal_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("device"); // in a folder of the test's own
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("no such serial port")
        << "--serial"
        << "ttyUSB9" << QByteArray("ERROR cannot open the serial port ");
    QTest::newRow("a file where the pseudo-terminal's link goes")
        << "--pty"
        << "notes.txt" << QByteArray("ERROR cannot make the pseudo-terminal ");
}

void HeadlessTest::clientDeviceThatCannotBeUsedIsFatal() {
    QFETCH(QString, option);
    QFETCH(QString, device);
    QFETCH(QByteArray, error);
    QTemporaryDir dir;
    QFile notes(dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    QProcess varnel;
    varnel.start(varnelPath,
                 {QStringLiteral("--headless"), option, dir.filePath(device),
                  QStringLiteral("N0CALL,1,true,") + QString::number(freeLoopbackPort())});
    QVERIFY(varnel.waitForFinished(5000));
    QCOMPARE(varnel.exitCode(), 1);
    const QByteArray message = varnel.readAllStandardError();
    QVERIFY2(message.contains(error + dir.filePath(device).toUtf8()), message.constData());
    QVERIFY(notes.exists());
}

int main(int argc, char **argv) {
    return runProgramTest<HeadlessTest>(argc, argv, varnelPath);
}
#include "test_headless.moc"
