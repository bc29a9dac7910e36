// MAXUSERS and USERS as the client writes them: dual-port values, HF half first, each half a
// stream count that the KAM takes or leaves.
#include "bridge/streamlimits.h"

#include <QTest>

class StreamLimitsTest : public QObject {
    Q_OBJECT
private slots:
    void dualPortValues_data();
    void dualPortValues();
};

void StreamLimitsTest::dualPortValues_data() {
    QTest::addColumn<QByteArray>("maxUsers");
    QTest::addColumn<QByteArray>("users");
    QTest::addColumn<int>("streamsOn1");
    QTest::addColumn<int>("streamsOn2");
    QTest::addColumn<int>("callerStreamsOn1");
    QTest::addColumn<int>("callerStreamsOn2");
    QTest::newRow("defaults") << QByteArray() << QByteArray() << 10 << 10 << 1 << 1;
    QTest::newRow("LinBPQ: one HF, ten VHF")
        << QByteArray("1/10") << QByteArray() << 10 << 1 << 1 << 1;
    QTest::newRow("one value sets both")
        << QByteArray("4") << QByteArray(" 3 ") << 4 << 4 << 3 << 3;
    QTest::newRow("VHF half only") << QByteArray("/5") << QByteArray("/2") << 5 << 10 << 2 << 1;
    QTest::newRow("HF half only") << QByteArray("5/") << QByteArray("2/") << 10 << 5 << 1 << 2;
    QTest::newRow("callers no more than streams")
        << QByteArray("2/2") << QByteArray("26/26") << 2 << 2 << 2 << 2;
    QTest::newRow("not stream counts leave the half")
        << QByteArray("x/27") << QByteArray("-1/y") << 10 << 10 << 1 << 1;
    QTest::newRow("0/0: one link in all, on either port")
        << QByteArray("0/0") << QByteArray("1/1") << 1 << 1 << 1 << 1;
    QTest::newRow("0 closes a port") << QByteArray("0/3") << QByteArray("1/1") << 3 << 0 << 1 << 0;
}

void StreamLimitsTest::dualPortValues() {
    QFETCH(QByteArray, maxUsers);
    QFETCH(QByteArray, users);
    StreamLimits limits;
    if (!maxUsers.isEmpty()) {
        limits.setMaxUsers(maxUsers);
    }
    if (!users.isEmpty()) {
        limits.setUsers(users);
    }
    QFETCH(int, streamsOn1);
    QFETCH(int, streamsOn2);
    QFETCH(int, callerStreamsOn1);
    QFETCH(int, callerStreamsOn2);
    QCOMPARE(limits.streamsOn('1'), streamsOn1);
    QCOMPARE(limits.streamsOn('2'), streamsOn2);
    QCOMPARE(limits.callerStreamsOn('1'), callerStreamsOn1);
    QCOMPARE(limits.callerStreamsOn('2'), callerStreamsOn2);
}

QTEST_GUILESS_MAIN(StreamLimitsTest)
#include "test_streamlimits.moc"
