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
    void terminalLines_data();
    void terminalLines();
    void terminalOwnCall();
    void aNewClientStartsAFreshLine();
    void hostModeFromTheStart();
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
        << QByteArrayList{"connect 1 N0CALL [W1AW] [R1,,R2]"} << QByteArrayList{} << 2;
    *row("connect, lower-case v is no via")
        << 0 << false << block("C1AC W1AW v R1") << c00
        << QByteArrayList{"connect 1 N0CALL [W1AW v R1] []"} << QByteArrayList{} << 2;
    *row("CONNECT spelled out") << 0 << false << block("C1Aconnect W1AW") << c00
                                << QByteArrayList{"connect 1 N0CALL [W1AW] []"} << QByteArrayList{}
                                << 2;
    *row("connect to nobody") << 0 << false << block("C1AC") << c00
                              << QByteArrayList{"connect 1 N0CALL [] []"} << QByteArrayList{} << 2;
    *row("connect with V for a target")
        << 0 << false << block("C1AC V RELAY1") << c00
        << QByteArrayList{"connect 1 N0CALL [V RELAY1] []"} << QByteArrayList{} << 2;
    *row("connect on another stream and port")
        << 0 << false << block("C2JC W1AW") << c00 << QByteArrayList{"connect 1 N0CALL [W1AW] []"}
        << QByteArrayList{} << 0;
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
    *row("a connect on a second stream is a link of its own")
        << 1 << false << block("C1BC K2XYZ") << c00 << QByteArrayList{"connect 1 N0CALL [K2XYZ] []"}
        << QByteArrayList{} << 1;
    *row("a station linked on another stream")
        << 1 << false << block("C1BC w1aw")
        << block("C00Already connected on stream A") + block("S1B*** DISCONNECTED")
        << QByteArrayList{}
        << QByteArrayList{"Connect on B/V to w1aw refused: Already connected on stream A"} << 1;
    *row("a stream beyond MAXUSERS")
        << 0 << false << block("C1KC W1AW")
        << block("C00Can't CONNECT, K/V is beyond MAXUSERS 10/10") + block("S1K*** DISCONNECTED")
        << QByteArrayList{}
        << QByteArrayList{"Connect on K/V to W1AW refused: Can't CONNECT, K/V is beyond MAXUSERS "
                          "10/10"}
        << 0;
    *row("connect on the TNC's stream")
        << 0 << false << block("C10C W1AW") << block("C00EH?\r") << QByteArrayList{}
        << kUnknownHostRequest + QByteArrayList{block("C10C W1AW")} << 0;
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
    *row("disconnect a stream without the link")
        << 1 << false << block("C2AD")
        << block("C00Can't DISCONNECT, A/H Link state is: DISCONNECTED") << QByteArrayList{}
        << QByteArrayList{} << 1;
    *row("own call") << 0 << false << block("C1AMY n0abc ") << c00
                     << QByteArrayList{"unregister N0CALL", "register N0ABC"}
                     << QByteArrayList{"Own callsign N0CALL replaced by N0ABC, as the client asked"}
                     << 0;
    *row("MYCALL") << 0 << false << block("C1AMYCALL N0ABC") << c00
                   << QByteArrayList{"unregister N0CALL", "register N0ABC"}
                   << QByteArrayList{"Own callsign N0CALL replaced by N0ABC, as the client asked"}
                   << 0;
    *row("MYCALL for both ports")
        << 0 << false << block("C1AMYCALL N0BPQ/N0BPQ-1") << c00
        << QByteArrayList{"unregister N0CALL", "register N0BPQ"}
        << QByteArrayList{"Own callsign N0CALL replaced by N0BPQ, as the client asked"} << 0;
    *row("MY on the TNC's stream, SSID 0")
        << 0 << false << block("C10MY N0FBB-0") << c00
        << QByteArrayList{"unregister N0CALL", "register N0FBB"}
        << QByteArrayList{"Own callsign N0CALL replaced by N0FBB, as the client asked"} << 0;
    *row("MY and the call run together")
        << 0 << false << block("C1AMYn0xyz") << c00
        << QByteArrayList{"unregister N0CALL", "register N0XYZ"}
        << QByteArrayList{"Own callsign N0CALL replaced by N0XYZ, as the client asked"} << 0;
    *row("own call shown") << 0 << false << block("C1AMY") << block("C00MYCALL N0CALL\r")
                           << QByteArrayList{} << QByteArrayList{} << 0;
    *row("another MY command is a setting")
        << 0 << false << block("C20MYPTCALL N0BPQ") << block("C00MYPTCALL now N0BPQ\r")
        << QByteArrayList{} << QByteArrayList{} << 0;
    *row("empty data") << 1 << false << block("D1A") << QByteArray() << QByteArrayList{"send 5"}
                       << QByteArrayList{} << 1;
    for (const char *other : {"D1Bdata", "D2Adata"}) {
        *row(other) << 1 << false << block(other) << QByteArray() << QByteArrayList{}
                    << QByteArrayList{"ERROR AX25Send not accepted", "data"} << 1;
    }
    // The HF specials mean nothing on packet.
    for (const char *special : {"E", "T", "X"}) {
        *row(special) << 0 << false << block(special) << QByteArray() << QByteArrayList{}
                      << QByteArrayList{} << 0;
    }
    for (const char *other : {"D10data", "c20xflow off", "Y"}) {
        *row(other) << 0 << false << block(other) << QByteArray() << QByteArrayList{}
                    << kUnknownHostRequest + QByteArrayList{block(other)} << 0;
    }
    for (const char *unknown : {"C1A", "C1AX", "C3AS", "C1aS", "C", "C20XYZZY"}) {
        *row(unknown) << 0 << false << block(unknown) << block("C00EH?\r") << QByteArrayList{}
                      << kUnknownHostRequest + QByteArrayList{block(unknown)} << 0;
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
    // Other settings, on any port and stream, are answered with their full name; commands that
    // begin with C or D are settings too, not connects and disconnects.
    const std::pair<const char *, const char *> settings[] = {
        {"C20ECHO OFF", "ECHO now OFF\r"},
        {"C10XFLOW OFF", "XFLOW now OFF\r"},
        {"C1AMAXUSERS 1", "MAXUSERS now 1\r"},
        {"C1ACHECK 30", "CHECK now 30\r"},
        {"C1ADWAIT 0", "DWAIT now 0\r"},
        {"C1AHB", "HBAUD\r"},
        {"C20XFLOW OFF\r", "XFLOW now OFF\r"},
        {"C1AINTFACE", "INTFACE HOST\r"},
        {"C1ATRIES", "TRIES 0\r"},
    };
    for (const auto &[command, answer] : settings) {
        *row(command) << 1 << false << block(command) << block("C00" + QByteArray(answer))
                      << QByteArrayList{} << QByteArrayList{} << 1;
    }
    *row("an HF mode") << 0 << false << block("C20TOR") << c00 << QByteArrayList{}
                       << QByteArrayList{"TOR not carried out: Varnel carries packet links only"}
                       << 0;
    const QByteArray freeBytes = "C00FREE BYTES 10240\r";
    *row("status disconnected") << 0 << false << block("C20S")
                                << block(freeBytes + "A/V DISCONNECTED\r") << QByteArrayList{}
                                << QByteArrayList{} << 0;
    *row("status connected") << 1 << false << block("C20S")
                             << block(freeBytes + "A/V CONNECTED to W1AW\r") << QByteArrayList{}
                             << QByteArrayList{} << 1;
    *row("status connecting") << 2 << false << block("C20S")
                              << block(freeBytes + "A/V CONNECT in progress K1ABC\r")
                              << QByteArrayList{} << QByteArrayList{} << 2;
    *row("status disconnecting") << 3 << false << block("C20S")
                                 << block(freeBytes + "A/V DISC in progress W1AW\r")
                                 << QByteArrayList{} << QByteArrayList{} << 3;
    for (const char *poll : {"C10S", "C10STATUS", "C20S "}) {
        *row(poll) << 1 << false << block(poll) << block(freeBytes + "A/V CONNECTED to W1AW\r")
                   << QByteArrayList{} << QByteArrayList{} << 1;
    }
    *row("status on a stream shows that stream too")
        << 1 << false << block("C2Jstatus")
        << block(freeBytes + "A/V CONNECTED to W1AW\rJ/H DISCONNECTED\r") << QByteArrayList{}
        << QByteArrayList{} << 1;
    *row("query") << 2 << false << block("?") << c00 << QByteArrayList{} << QByteArrayList{} << 2;
    // The quit block is then also a terminal-mode request of its own.
    for (const char *quit : {"q", "Q"}) {
        *row(quit) << 1 << false << block(quit) << QByteArray("INTFACE was HOST\rcmd:\rEH?")
                   << QByteArrayList{} << QByteArrayList{} << 1;
    }
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
    StreamLink &link = s.links.at({'1', 'A'});
    link.state = LinkState(linkState);
    link.targetCall = "K1ABC";
    if (linkState != kDisconnected) {
        s.links.assignChannel({'1', 'A'}, 5);
    }
    if (linkState != kConnectInProgress) {
        link.connection.remoteCall = "W1AW";
    }
    fixture.engine.calls.clear();
    fixture.engine.disconnectResult = !engineRefuses;
    const qsizetype logged = fixture.frontEnd.lines.size();

    fixture.bridge.dispatchClientData(request);
    QCOMPARE(fixture.engine.calls, engineCalls);
    QCOMPARE(fixture.frontEnd.lines.mid(logged), log);
    QCOMPARE(int(s.links.at({'1', 'A'}).state), linkStateAfter);
    const QByteArray probeReply = fixture.probe();
    QCOMPARE(BridgeFixture::receive(fixture.client, reply.size() + probeReply.size()),
             reply + probeReply);
}

void InterpretersTest::freeBytesIsTheRoomLeft_data() {
    QTest::addColumn<qsizetype>("held");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("nothing held") << qsizetype(0)
                                  << QByteArray("C00FREE BYTES 10240\rA/V CONNECTED to W1AW\r");
    QTest::newRow("a line in flight")
        << qsizetype(100) << QByteArray("C00FREE BYTES 10140\rA/V #100(2) CONNECTED to W1AW\r");
    QTest::newRow("exactly full") << qsizetype(10240)
                                  << QByteArray(
                                         "C00FREE BYTES 0\rA/V #10240(2) CONNECTED to W1AW\r");
    QTest::newRow("more than the buffer holds")
        << qsizetype(11000) << QByteArray("C00FREE BYTES 0\rA/V #11000(2) CONNECTED to W1AW\r");
}

void InterpretersTest::freeBytesIsTheRoomLeft() {
    QFETCH(qsizetype, held);
    QFETCH(QByteArray, reply);
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    fixture.setHostModeWithLinkUp("W1AW");
    fixture.engine.heldBytes = held;
    fixture.engine.heldFrames = 2;
    fixture.bridge.dispatchClientData(block("C20S"));
    const QByteArray expected = block(reply);
    QCOMPARE(BridgeFixture::receive(fixture.client, expected.size()), expected);
}

void InterpretersTest::connectStoresTheChannelForData() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    fixture.engine.nextChannelId = 7;
    fixture.bridge.dispatchClientData(block("C1AC W1AW") + block("D1Ahello"));
    QCOMPARE(fixture.bridge.state().links.at({'1', 'A'}).channelId, 7);
    QCOMPARE(fixture.engine.calls.last(), "send 7");
    QCOMPARE(fixture.engine.sentData, QByteArrayList{"hello"});
}

void InterpretersTest::dataIsUnescapedAndARefusalLogged() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    fixture.setHostModeWithLinkUp();
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
    QVERIFY(fixture.bridge.state().links.at({'1', 'A'}).isFree());
    QCOMPARE(fixture.frontEnd.lines.last(),
             "Connect on A/V to W1AW refused: Can't CONNECT, radio port out of range");
    const QByteArray refusal =
        block("C00Can't CONNECT, radio port out of range") + block("S1A*** DISCONNECTED");
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
    QCOMPARE(fixture.frontEnd.lines.mid(logged), QByteArrayList{});
    QCOMPARE(fixture.bridge.state().myCall, "N0CALL");
    const QByteArray probeReply = fixture.probe();
    QCOMPARE(BridgeFixture::receive(fixture.client, reply.size() + probeReply.size()),
             reply + probeReply);
}

void InterpretersTest::terminalLines_data() {
    QTest::addColumn<QByteArrayList>("arrivals");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArrayList>("log");
    QTest::addColumn<bool>("hostModeAfter");

    const auto row = [](const char *name) { return &QTest::newRow(name); };
    const QByteArrayList none;
    const auto unknown = [](const QByteArray &request) {
        return QByteArrayList{"ERROR Unknown Terminal mode Client request>", request};
    };
    *row("INTFACE HOST without a CR before it")
        << QByteArrayList{"INTFACE HOST\r"} << QByteArray("INTFACE was TERMINAL\rcmd:") << none
        << false;
    *row("INTFACE cut short, lower case")
        << QByteArrayList{"intf host\r"} << QByteArray("INTFACE was TERMINAL\rcmd:") << none
        << false;
    *row("a line in pieces") << QByteArrayList{"RES", "E", "T\r"} << QByteArray("\300\300S00\300")
                             << none << true;
    *row("reset in lower case") << QByteArrayList{"reset\r"} << QByteArray("\300\300S00\300")
                                << none << true;
    *row("two settings in one arrival")
        << QByteArrayList{"ECHO OFF\rMAXUSERS 1/10\r"}
        << QByteArray("ECHO now OFF\rcmd:MAXUSERS now 1/10\rcmd:") << none << false;
    *row("a setting shown") << QByteArrayList{"PACLEN 128\r", "PACL\r"}
                            << QByteArray("PACLEN now 128\rcmd:PACLEN 128\rcmd:") << none << false;
    *row("empty lines") << QByteArrayList{"\r\r", "  \r"} << QByteArray("cmd:\rcmd:\rcmd:\r")
                        << none << false;
    *row("editing: backspace, cancel, LF")
        << QByteArrayList{"MARX\bK 1400\r\n", "junk\x18RING OFF\r"}
        << QByteArray("MARK now 1400\rcmd:RING now OFF\rcmd:") << none << false;
    *row("Ctrl-C, then CR") << QByteArrayList{"\x03", "\r"} << QByteArray("cmd:\r") << none
                            << false;
    *row("unknown line") << QByteArrayList{"FOOBAR\r\r"} << QByteArray("EH?\rcmd:cmd:\r")
                         << unknown("FOOBAR") << false;
    *row("a link command needs host mode")
        << QByteArrayList{"C W1AW\r"} << QByteArray("EH?\rcmd:") << unknown("C W1AW") << false;
    *row("the quit block and a CR")
        << QByteArrayList{"\300q\300\r"} << QByteArray("EH?cmd:\r") << none << false;
    *row("another block and a CR") << QByteArrayList{"\300\377", "\300\r"}
                                   << QByteArray("EH?cmd:\r") << unknown("\300\377\300") << false;
    *row("autobaud at the start of a line")
        << QByteArrayList{"\r*"} << QByteArray("cmd:\rENTER YOUR CALLSIGN=>\rcmd:") << none
        << false;
    *row("status") << QByteArrayList{"STATUS\r"}
                   << QByteArray("FREE BYTES 10240\rA/V DISCONNECTED\rcmd:") << none << false;
    *row("too long a line") << QByteArrayList{QByteArray(300, 'A') + "\r"}
                            << QByteArray("EH?\rcmd:") << unknown(QByteArray(256, 'A')) << false;
    // After the switch, the rest of the arrival is host mode's, and the other way round.
    *row("a block after RESET") << QByteArrayList{"RESET\r\300C10S\300"}
                                << QByteArray("\300\300S00\300\300C00FREE BYTES 10240\rA/V "
                                              "DISCONNECTED\r\300")
                                << none << true;
    *row("a line after the quit block")
        << QByteArrayList{"RESET\r", "\300Q\300ECHO OFF\r"}
        << QByteArray("\300\300S00\300INTFACE was HOST\rcmd:\rEH?ECHO now OFF\rcmd:") << none
        << false;
}

void InterpretersTest::terminalLines() {
    QFETCH(QByteArrayList, arrivals);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArrayList, log);
    QFETCH(bool, hostModeAfter);

    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    const qsizetype logged = fixture.frontEnd.lines.size();
    const QByteArray received = fixture.clientGets([&] {
        for (const QByteArray &arrival : arrivals) {
            fixture.bridge.dispatchClientData(arrival);
        }
    });
    QCOMPARE(received, reply);
    QCOMPARE(fixture.frontEnd.lines.mid(logged), log);
    QCOMPARE(fixture.bridge.state().hostMode == 1, hostModeAfter);
}

void InterpretersTest::terminalOwnCall() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    fixture.engine.calls.clear();
    const QByteArray received =
        fixture.clientGets([&] { fixture.bridge.dispatchClientData("MYCALL n0bpq/n0bpq\rMY\r"); });
    QCOMPARE(received, QByteArray("MYCALL now N0BPQ\rcmd:MYCALL N0BPQ\rcmd:"));
    QCOMPARE(fixture.engine.calls, (QByteArrayList{"unregister N0CALL", "register N0BPQ"}));
    QCOMPARE(fixture.frontEnd.boxes.value(FrontEnd::Box::MyCall), "N0BPQ");
}

void InterpretersTest::hostModeFromTheStart() {
    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    BridgeOptions options;
    options.commandLine = "N0CALL,1,true,8000," + QByteArray::number(freeLoopbackPort());
    options.startInHostMode = true;
    Bridge bridge(frontEnd, engine, options);
    bridge.Form_Load();
    QCOMPARE(bridge.state().hostMode, 1);
    engine.calls.clear();
    bridge.dispatchClientData(block("C10MY N0FBB-0"));
    QCOMPARE(engine.calls, (QByteArrayList{"unregister N0CALL", "register N0FBB"}));
}

void InterpretersTest::aNewClientStartsAFreshLine() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    fixture.bridge.dispatchClientData("garbage without an end");
    fixture.client.disconnectFromHost();
    QTcpSocket next;
    QVERIFY(
        QTest::qWaitFor([&] { return fixture.connectClient(next); }, BridgeFixture::kTimeoutMs));
    fixture.bridge.dispatchClientData("ECHO OFF\r");
    const QByteArray expected = "ECHO now OFF\rcmd:";
    QCOMPARE(BridgeFixture::receive(next, expected.size()), expected);
}

QTEST_GUILESS_MAIN(InterpretersTest)
#include "test_interpreters.moc"
