// The host-mode and terminal-mode interpreters: what each request sends to the client, asks of
// the engine, logs and changes. Requests go through dispatchClientData; replies are read by a
// real client on loopback.
#include "support/bridgefixture.h"

#include <QTest>

namespace {

const QByteArray F = "\300";

QByteArray block(const QByteArray &content) {
    return F + content + F;
}

const QByteArrayList kUnknownHostRequest = {"ERROR Unknown Hostmode Client request>"};

} // namespace

class InterpretersTest : public QObject {
    Q_OBJECT
private slots:
    void hostRequests_data();
    void hostRequests();
    void freeBytesIsTheRoomLeft_data();
    void freeBytesIsTheRoomLeft();
    void connectStoresTheChannelForData();
    void dataIsUnescapedAndARefusalLogged();
    void ownCallIsShown();
    void connectOnAnUnusableRadioPortIsRefused();
    void badFramingIsLoggedAndGoesNoFurther();
    void terminalDialogue_data();
    void terminalDialogue();
};

void InterpretersTest::hostRequests_data() {
    QTest::addColumn<int>("linkState");
    QTest::addColumn<bool>("engineRefuses");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArrayList>("engineCalls");
    QTest::addColumn<QByteArrayList>("log");
    QTest::addColumn<int>("linkStateAfter");

    const QByteArray c00 = block("C00");
    const auto row = [](const char *name) { return &QTest::newRow(name); };
    *row("connect") << 0 << false << block("C1AC W1AW") << c00
                    << QByteArrayList{"connect 1 N0CALL [W1AW] []"} << QByteArrayList{} << 2;
    *row("connect via") << 0 << false << block("C1AC W1AW V RELAY1 RELAY2") << c00
                        << QByteArrayList{"connect 1 N0CALL [W1AW] [RELAY1,RELAY2]"}
                        << QByteArrayList{} << 2;
    *row("connect via, blanks kept as commas")
        << 0 << false << block("C1AC W1AW V R1  R2 ") << c00
        << QByteArrayList{"connect 1 N0CALL [W1AW] [R1,,R2,]"} << QByteArrayList{} << 2;
    *row("connect, lower-case v is no via")
        << 0 << false << block("C1AC W1AW v R1") << c00
        << QByteArrayList{"connect 1 N0CALL [W1AW v R1] []"} << QByteArrayList{} << 2;
    *row("CONNECT: only the first letter counts")
        << 0 << false << block("C1ACONNECT W1AW") << c00
        << QByteArrayList{"connect 1 N0CALL [NNECT W1AW] []"} << QByteArrayList{} << 2;
    *row("connect to nobody") << 0 << false << block("C1AC") << c00
                              << QByteArrayList{"connect 1 N0CALL [] []"} << QByteArrayList{} << 2;
    *row("connect with V at the second character")
        << 0 << false << block("C1AC V RELAY1") << c00
        << QByteArrayList{"connect 1 N0CALL [] [RELAY1]"} << QByteArrayList{} << 2;
    *row("connect while connected")
        << 1 << false << block("C1AC W1AW")
        << block("C00Can't RECONNECT, A/V Link state is: CONNECTED to W1AW") << QByteArrayList{}
        << QByteArrayList{} << 1;
    *row("connect while connecting")
        << 2 << false << block("C1AC W1AW")
        << block("C00Can't RECONNECT, A/V Link state is: CONNECT in progress K1ABC")
        << QByteArrayList{} << QByteArrayList{} << 2;
    *row("connect while disconnecting")
        << 3 << false << block("C1AC W1AW")
        << block("C00Can't RECONNECT, A/V Link state is: DISC in progress W1AW") << QByteArrayList{}
        << QByteArrayList{} << 3;
    *row("disconnect while disconnected")
        << 0 << false << block("C1AD")
        << block("C00Can't DISCONNECT, A/V Link state is: DISCONNECTED") << QByteArrayList{}
        << QByteArrayList{} << 0;
    *row("disconnect") << 1 << false << block("C1ADISCONNECT") << c00
                       << QByteArrayList{"disconnect 5"} << QByteArrayList{} << 3;
    *row("disconnect again") << 3 << false << block("C1AD") << c00 << QByteArrayList{"disconnect 5"}
                             << QByteArrayList{} << 3;
    *row("disconnect refused") << 1 << true << block("C1AD") << c00
                               << QByteArrayList{"disconnect 5"}
                               << QByteArrayList{"ERROR disconnect method fail5"} << 3;
    *row("own call") << 0 << false << block("C1AMY n0abc ") << c00
                     << QByteArrayList{"unregister N0CALL", "register N0ABC"} << QByteArrayList{}
                     << 0;
    *row("MYCALL") << 0 << false << block("C1AMYCALL N0ABC") << c00
                   << QByteArrayList{"unregister N0CALL", "register CALL N0ABC"} << QByteArrayList{}
                   << 0;
    *row("own call empty") << 0 << false << block("C1AMY") << c00
                           << QByteArrayList{"unregister N0CALL", "register "} << QByteArrayList{}
                           << 0;
    *row("empty data") << 1 << false << block("D1A") << QByteArray() << QByteArrayList{"send 5"}
                       << QByteArrayList{} << 1;
    for (const char *other : {"D1Bdata", "D2Adata", "C1A", "Q", "C1AX", "C20ECHO OFF",
                              "C10XFLOW OFF", "c20xflow off", "C20XFLOW OFF\r", "C20S "}) {
        *row(other) << 0 << false << block(other) << QByteArray() << QByteArrayList{}
                    << kUnknownHostRequest + QByteArrayList{block(other)} << 0;
    }
    for (const char *command :
         {"C20XFLOW OFF",      "C20ECHO ON",       "C20XMITECHO ON",   "C20TXFLOW OFF",
          "C20TRFLOW OFF",     "C20AUTOCR 0",      "C20AUTOLF OFF",    "C20CRADD OFF",
          "C20MAXUSERS 10/10", "C20CRSUP OFF/OFF", "C20LFADD OFF/OFF", "C20LFSUP OFF/OFF",
          "C20ARQID 0",        "C20ARQBBS OFF",    "C20PTHUFF ON",     "C20USERS 1",
          "C20FR 5",           "C20TX 50",         "C20SL 10",         "C20PE 63",
          "C20CH 30",          "C20HB 1200",       "C20MAX 4",         "C20RET 10",
          "C20M OFF"}) {
        *row(command) << 0 << false << block(command) << c00 << QByteArrayList{} << QByteArrayList{}
                      << 0;
    }
    const QByteArray freeBytes = "C00FREE BYTES 936\r";
    *row("status disconnected") << 0 << false << block("C20S")
                                << block(freeBytes + "A/V DISCONNECTED\r") << QByteArrayList{}
                                << QByteArrayList{} << 0;
    *row("status connected") << 1 << false << block("C20S")
                             << block(freeBytes + "A/V CONNECTED to W1AW") << QByteArrayList{}
                             << QByteArrayList{} << 1;
    *row("status connecting") << 2 << false << block("C20S")
                              << block(freeBytes + "A/V CONNECT in progress K1ABC")
                              << QByteArrayList{} << QByteArrayList{} << 2;
    *row("status disconnecting") << 3 << false << block("C20S")
                                 << block(freeBytes + "A/V DISC in progress W1AW")
                                 << QByteArrayList{} << QByteArrayList{} << 3;
    *row("query") << 2 << false << block("?") << c00 << QByteArrayList{} << QByteArrayList{} << 2;
    // The quit block is then also a terminal-mode request of its own.
    *row("quit") << 1 << false << block("q") << QByteArray("INTFACE was HOST\rcmd:\rEH?")
                 << QByteArrayList{} << QByteArrayList{} << 1;
}

void InterpretersTest::hostRequests() {
    QFETCH(int, linkState);
    QFETCH(bool, engineRefuses);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArrayList, engineCalls);
    QFETCH(QByteArrayList, log);
    QFETCH(int, linkStateAfter);

    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    BridgeState &s = fixture.bridge.state();
    s.linkState = quint8(linkState);
    s.channelId = 5;
    s.connection.remoteCall = "W1AW";
    s.targetCall = "K1ABC";
    fixture.engine.calls.clear();
    fixture.engine.disconnectResult = !engineRefuses;
    const qsizetype logged = fixture.frontEnd.lines.size();

    fixture.bridge.dispatchClientData(request);
    QCOMPARE(fixture.engine.calls, engineCalls);
    QCOMPARE(fixture.frontEnd.lines.mid(logged), log);
    QCOMPARE(int(s.linkState), linkStateAfter);
    const QByteArray probeReply = fixture.probe();
    QCOMPARE(BridgeFixture::receive(fixture.client, reply.size() + probeReply.size()),
             reply + probeReply);
}

void InterpretersTest::freeBytesIsTheRoomLeft_data() {
    QTest::addColumn<qsizetype>("held");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("nothing held") << qsizetype(0) << QByteArray("C00FREE BYTES 936\r");
    QTest::newRow("a line in flight") << qsizetype(100) << QByteArray("C00FREE BYTES 836\r");
    QTest::newRow("exactly full") << qsizetype(936) << QByteArray("C00FREE BYTES 0\r");
    QTest::newRow("more than a KAM holds") << qsizetype(8000) << QByteArray("C00FREE BYTES 0\r");
}

void InterpretersTest::freeBytesIsTheRoomLeft() {
    QFETCH(qsizetype, held);
    QFETCH(QByteArray, reply);
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    fixture.bridge.state().linkState = kConnected;
    fixture.bridge.state().connection.remoteCall = "W1AW";
    fixture.engine.heldBytes = held;
    fixture.bridge.dispatchClientData(block("C20S"));
    const QByteArray expected = block(reply + "A/V CONNECTED to W1AW");
    QCOMPARE(BridgeFixture::receive(fixture.client, expected.size()), expected);
}

void InterpretersTest::connectStoresTheChannelForData() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    fixture.engine.nextChannelId = 7;
    fixture.bridge.dispatchClientData(block("C1AC W1AW") + block("D1Ahello"));
    QCOMPARE(fixture.bridge.state().channelId, 7);
    QCOMPARE(fixture.engine.calls.last(), "send 7");
    QCOMPARE(fixture.engine.sentData, QByteArrayList{"hello"});
}

void InterpretersTest::dataIsUnescapedAndARefusalLogged() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    fixture.engine.sendResult = false;
    const qsizetype logged = fixture.frontEnd.lines.size();
    fixture.bridge.dispatchClientData(block("D1Aa\333\334b\333\335c"));
    const QByteArray plain = "a\300b\333c";
    QCOMPARE(fixture.engine.sentData, QByteArrayList{plain});
    QCOMPARE(fixture.frontEnd.lines.mid(logged),
             (QByteArrayList{"ERROR AX25Send not accepted", plain}));
}

void InterpretersTest::ownCallIsShown() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    fixture.bridge.dispatchClientData(block("C1AMY  k1abc-7 "));
    QCOMPARE(fixture.bridge.state().myCall, "K1ABC-7");
    QCOMPARE(fixture.frontEnd.boxes.value(FrontEnd::Box::MyCall), "K1ABC-7");
}

void InterpretersTest::connectOnAnUnusableRadioPortIsRefused() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    fixture.bridge.state().agwPort = 1e20;
    fixture.engine.calls.clear();
    fixture.bridge.dispatchClientData(block("C1AC W1AW"));
    QCOMPARE(fixture.engine.calls, QByteArrayList{});
    QCOMPARE(int(fixture.bridge.state().linkState), int(kDisconnected));
    QCOMPARE(fixture.frontEnd.lines.last(), "ERROR radio port 1E+20 out of range");
    const QByteArray refusal = block("C00Can't CONNECT, radio port out of range");
    QCOMPARE(BridgeFixture::receive(fixture.client, refusal.size()), refusal);
}

void InterpretersTest::badFramingIsLoggedAndGoesNoFurther() {
    BridgeFixture fixture("N0CALL,1,true,8000", BridgeFixture::Load::Unloaded);
    const QByteArray block = F + "D1Axy" + F;
    const std::optional<hostcodec::BlockFields> good = fixture.bridge.extractBlock(block);
    QVERIFY(good);
    QCOMPARE(good->header.toByteArray(), QByteArray("D1A"));
    QCOMPARE(good->data.toByteArray(), QByteArray("xy"));
    QVERIFY(!fixture.bridge.extractBlock("C1AD" + F));
    QVERIFY(!fixture.bridge.extractBlock(F + "C1AD"));
    QVERIFY(!fixture.bridge.extractBlock(QByteArray()));
    QCOMPARE(fixture.frontEnd.lines,
             (QByteArrayList{"BLOCK ERROR first byte not FEND", "BLOCK ERROR last byte not FEND",
                             "BLOCK ERROR first byte not FEND"}));
}

void InterpretersTest::terminalDialogue_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("hostModeAfter");

    QTest::newRow("CR") << QByteArray("\r") << QByteArray("cmd:\r") << false;
    QTest::newRow("Ctrl-C X") << QByteArray("\x03 X") << QByteArray("cmd:\r") << false;
    QTest::newRow("status block") << block("C20S") << QByteArray("cmd:\r") << false;
    QTest::newRow("*") << QByteArray("*") << QByteArray("ENTER YOUR CALLSIGN=>\rcmd:") << false;
    QTest::newRow("F00BAR") << QByteArray("F00BAR\r\r") << QByteArray("MYCALL now F00BAR\rcmd:")
                            << false;
    QTest::newRow("INTFACE HOST") << QByteArray("\rINTFACE HOST\r")
                                  << QByteArray("INTFACE was TERMINAL\rcmd:") << false;
    QTest::newRow("quit block") << block("q") << QByteArray("EH?") << false;
    QTest::newRow("RESET") << QByteArray("RESET\r") << QByteArray("\300\300S00\300") << true;
    for (const char *unknown : {"RESET", "reset\r", "RESET\rX", "FOOBAR\r\r", "\r\r", ""}) {
        QTest::newRow(unknown) << QByteArray(unknown) << QByteArray() << false;
    }
}

void InterpretersTest::terminalDialogue() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(bool, hostModeAfter);

    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    const qsizetype logged = fixture.frontEnd.lines.size();
    fixture.bridge.dispatchClientData(request);
    QCOMPARE(fixture.bridge.state().hostMode == 1, hostModeAfter);
    const QByteArrayList log =
        reply.isEmpty() ? QByteArrayList{"ERROR Unknown Terminal mode Client request>", request}
                        : QByteArrayList{};
    QCOMPARE(fixture.frontEnd.lines.mid(logged), log);
    QCOMPARE(fixture.bridge.state().myCall, "N0CALL");
    const QByteArray probeReply = fixture.probe();
    QCOMPARE(BridgeFixture::receive(fixture.client, reply.size() + probeReply.size()),
             reply + probeReply);
}

QTEST_GUILESS_MAIN(InterpretersTest)
#include "test_interpreters.moc"
