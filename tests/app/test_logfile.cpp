// --log-file: the line's date and time with its offset, appending, a line flushed as it is
// written, the size bound with one older file kept, a file that cannot be opened, and the front
// end that feeds it.
#include "app/logfile.h"
#include "support/recorderfrontend.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

namespace {

QByteArray contents(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QDateTime at(int offsetSeconds) {
    return QDateTime(QDate(2026, 3, 7), QTime(9, 5, 1), QTimeZone(offsetSeconds));
}

} // namespace

class LogFileTest : public QObject {
    Q_OBJECT
private slots:
    void lineHasTheLocalTimeWithItsOffset_data();
    void lineHasTheLocalTimeWithItsOffset();
    void linesAreAppendedAndFlushedOneByOne();
    void pastTheLimitTheFileBecomesTheOlderOne();
    void fileThatCannotBeOpenedSaysWhy();
    void frontEndPassesEverythingOnAndWritesTheLines();
};

void LogFileTest::lineHasTheLocalTimeWithItsOffset_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("stamp");
    QTest::newRow("east, with minutes") << (5 * 3600 + 30 * 60) << QByteArray("+05:30");
    QTest::newRow("west") << -(4 * 3600) << QByteArray("-04:00");
    QTest::newRow("zero is an offset too, not Z") << 0 << QByteArray("+00:00");
}

void LogFileTest::lineHasTheLocalTimeWithItsOffset() {
    QFETCH(int, offset);
    QFETCH(QByteArray, stamp);
    // Log text is one character per byte; the file is UTF-8.
    QCOMPARE(logFileLine(at(offset), "caf\xE9"), "2026-03-07T09:05:01" + stamp + " caf\xC3\xA9\n");
}

void LogFileTest::linesAreAppendedAndFlushedOneByOne() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("varnel.log"));
    {
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("from an earlier run\n");
    }
    LogFile log(path);
    QVERIFY(log.open());
    log.write("EVENT: PE is ready", at(0));
    // Readable at once, while the file is still open: a killed program loses nothing.
    QCOMPARE(contents(path), "from an earlier run\n2026-03-07T09:05:01+00:00 EVENT: PE is ready\n");
    log.write("AGWPE version 2005.127");
    QVERIFY(contents(path).endsWith(" AGWPE version 2005.127\n"));
}

void LogFileTest::pastTheLimitTheFileBecomesTheOlderOne() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("varnel.log"));
    const QByteArray line = logFileLine(at(0), "line 0");
    const qint64 limit = 3 * line.size(); // three lines to a file
    LogFile log(path, limit);
    QVERIFY(log.open());
    for (int i = 0; i < 8; ++i) {
        log.write("line " + QByteArray::number(i), at(0));
        QVERIFY(QFileInfo(path).size() <= limit);
    }
    // Lines 0 to 2 went with the first rotation, 3 to 5 are the older file now.
    const auto lines = [](int first, int last) {
        QByteArray text;
        for (int i = first; i <= last; ++i) {
            text += logFileLine(at(0), "line " + QByteArray::number(i));
        }
        return text;
    };
    QCOMPARE(contents(path + ".1"), lines(3, 5));
    QCOMPARE(contents(path), lines(6, 7));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

void LogFileTest::fileThatCannotBeOpenedSaysWhy() {
    QTemporaryDir dir;
    LogFile log(dir.filePath(QStringLiteral("no such folder/varnel.log")));
    QVERIFY(!log.open());
    QVERIFY(!log.errorString().isEmpty());
    log.write("goes nowhere, harmlessly");
    LogFile folder(dir.path());
    QVERIFY(!folder.open());
}

void LogFileTest::frontEndPassesEverythingOnAndWritesTheLines() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("varnel.log"));
    LogFile log(path);
    QVERIFY(log.open());
    RecorderFrontEnd shown;
    LogFileFrontEnd frontEnd(shown, log);
    frontEnd.setBoxText(FrontEnd::Box::MyCall, "N0CALL");
    frontEnd.logAppended("first\r\n");
    frontEnd.logCut("first\r\n");
    frontEnd.logAppended("ERROR second\r\n");
    frontEnd.fatalError("ERROR second");
    StationStatus status;
    status.links = "none";
    frontEnd.showStatus(status);

    QCOMPARE(shown.boxes.value(FrontEnd::Box::MyCall), QByteArray("N0CALL"));
    QCOMPARE(shown.lines, (QByteArrayList{"first", "ERROR second"}));
    QCOMPARE(shown.cuts, QByteArrayList{"first\r\n"});
    QCOMPARE(shown.fatalErrors, QByteArrayList{"ERROR second"});
    QCOMPARE(shown.statuses, QList<StationStatus>{status});
    // A cut of the window's log leaves the file alone.
    const QList<QByteArray> written = contents(path).split('\n');
    QCOMPARE(written.size(), 3);
    QVERIFY(written[0].endsWith(" first"));
    QVERIFY(written[1].endsWith(" ERROR second"));
}

QTEST_GUILESS_MAIN(LogFileTest)
#include "test_logfile.moc"
