// Callsigns go to the engine in one spelling, and only when AX.25 can carry them.
#include "engine/callsign.h"

#include <QTest>

class CallsignTest : public QObject {
    Q_OBJECT
private slots:
    void canonicalSpelling_data();
    void canonicalSpelling();
    void validity_data();
    void validity();
};

void CallsignTest::canonicalSpelling_data() {
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("already canonical") << QByteArray("N0CALL-7") << QByteArray("N0CALL-7");
    QTest::newRow("lower case") << QByteArray("n0call") << QByteArray("N0CALL");
    QTest::newRow("blanks and line ends") << QByteArray(" \tN0CALL\r\n ") << QByteArray("N0CALL");
    QTest::newRow("SSID 0 dropped") << QByteArray("n0call-0") << QByteArray("N0CALL");
    QTest::newRow("SSID 10 kept") << QByteArray("N0CALL-10") << QByteArray("N0CALL-10");
    QTest::newRow("inner blank kept") << QByteArray("NNECT N0CALL") << QByteArray("NNECT N0CALL");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void CallsignTest::canonicalSpelling() {
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, wire);
    QCOMPARE(canonicalCallsign(typed), wire);
}

void CallsignTest::validity_data() {
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << QByteArray("N0CALL") << true;
    QTest::newRow("one character") << QByteArray("A") << true;
    QTest::newRow("six characters with SSID 15") << QByteArray("ABCDEF-15") << true;
    QTest::newRow("SSID 1") << QByteArray("RELAY-1") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("seven characters") << QByteArray("ABCDEFG") << false;
    QTest::newRow("SSID 16") << QByteArray("N0CALL-16") << false;
    QTest::newRow("SSID 0 spelt out") << QByteArray("N0CALL-0") << false;
    QTest::newRow("SSID with a leading zero") << QByteArray("N0CALL-05") << false;
    QTest::newRow("dash without SSID") << QByteArray("N0CALL-") << false;
    QTest::newRow("SSID not a number") << QByteArray("N0CALL-A") << false;
    QTest::newRow("two dashes") << QByteArray("N0-CALL-1") << false;
    QTest::newRow("no base") << QByteArray("-1") << false;
    QTest::newRow("lower case") << QByteArray("n0call") << false;
    QTest::newRow("inner blank") << QByteArray("NNECT N0CALL") << false;
    QTest::newRow("eight-bit character") << QByteArray("N\xC0"
                                                       "CALL")
                                         << false;
}

void CallsignTest::validity() {
    QFETCH(QByteArray, call);
    QFETCH(bool, valid);
    QCOMPARE(isValidCallsign(call), valid);
}

QTEST_GUILESS_MAIN(CallsignTest)
#include "test_callsign.moc"
