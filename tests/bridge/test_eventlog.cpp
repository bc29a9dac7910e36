// The event log keeps its bound: it is cut only when a line would take it past 30000
// characters, and then to its last 5000 plus the new line.
#include "bridge/bridge.h"
#include "support/fakeengine.h"
#include "support/recorderfrontend.h"

#include <QTest>

class EventLogTest : public QObject {
    Q_OBJECT
private slots:
    void cutHappensOnlyPastTheBound_data();
    void cutHappensOnlyPastTheBound();
    void linesKeepTheirOwnLineBreaks();
};

void EventLogTest::cutHappensOnlyPastTheBound_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<bool>("cut");
    // A 9-character message makes an 11-character line.
    QTest::newRow("sum exactly 30000: kept") << 30000 - 11 << 30000 << false;
    QTest::newRow("sum 30001: cut") << 30000 - 10 << 5011 << true;
    QTest::newRow("short log") << 100 << 111 << false;
}

void EventLogTest::cutHappensOnlyPastTheBound() {
    QFETCH(int, before);
    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    Bridge bridge(frontEnd, engine, BridgeOptions{});
    // Fill with whole lines of 100 characters, then one shorter line to reach the length.
    const QByteArray filler(98, 'x');
    for (int i = 0; i < before / 100; ++i) {
        bridge.logLine(filler);
    }
    if (before % 100 >= 2) {
        bridge.logLine(QByteArray(before % 100 - 2, 'y'));
    }
    QCOMPARE(bridge.logText().size(), before);
    const QByteArray tail = bridge.logText().right(5000);

    bridge.logLine("123456789");

    QTEST(int(bridge.logText().size()), "after");
    QVERIFY(bridge.logText().endsWith("123456789\r\n"));
    QFETCH(bool, cut);
    QCOMPARE(frontEnd.cuts.size(), cut ? 1 : 0);
    if (cut) {
        QCOMPARE(frontEnd.cuts[0], tail);
        QCOMPARE(bridge.logText(), tail + "123456789\r\n");
    }
}

void EventLogTest::linesKeepTheirOwnLineBreaks() {
    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    Bridge bridge(frontEnd, engine, BridgeOptions{});
    bridge.logLine("");
    bridge.logLine("a\r\nb");
    bridge.logLine(QByteArray("\xC0\xFF", 2));
    QCOMPARE(bridge.logText(), QByteArray("\r\na\r\nb\r\n\xC0\xFF\r\n"));
}

QTEST_GUILESS_MAIN(EventLogTest)
#include "test_eventlog.moc"
