// The bridge's handling of the engine's events, with the engine double: start-up of the
// control, readiness and registration, and every row of the link-state transition table.
// Blocks for the client are read by a real client on loopback.
#include "support/bridgefixture.h"

#include <QTest>

#include <algorithm>
#include <iterator>

namespace {

const QByteArray F = "\300";

QByteArray block(const QByteArray &content) {
    return F + content + F;
}

enum class Event { Connect, Disconnect, Receive, RetryOut };

} // namespace

class EngineEventsTest : public QObject {
    Q_OBJECT
private slots:
    void startEngineSwitchesTheControlOn_data();
    void startEngineSwitchesTheControlOn();
    void readyLogsAndRegistersTheOwnCall_data();
    void readyLogsAndRegistersTheOwnCall();
    void registrationShowsTheCall();
    void linkStateTransitions_data();
    void linkStateTransitions();
    void refusedLinkWhoseDisconnectFailsIsLogged();
    void connectEventAsksForConnectionInformationFirst();
    void withoutClientCallersAreRefusedAndDataLogged();
    void linkBlocksCarryTheLinksPortAndStream();
    void callerIsAnnouncedOnTheClientsPort();
    void streamsCarryLinksOfTheirOwn();
    void connectsThatCannotGoOutAreRefusedOnTheirStream_data();
    void connectsThatCannotGoOutAreRefusedOnTheirStream();
};

void EngineEventsTest::startEngineSwitchesTheControlOn_data() {
    QTest::addColumn<QByteArray>("enginePort");
    QTest::addColumn<QByteArrayList>("calls");
    const auto on = [](const QByteArray &port) {
        return QByteArrayList{"host 127.0.0.1", "port " + port, "enabled 1", "active 1",
                              "online 1"};
    };
    QTest::newRow("default") << QByteArray("8000") << on("8000");
    QTest::newRow("half to the even neighbour, down") << QByteArray("8000.5") << on("8000");
    QTest::newRow("half to the even neighbour, up") << QByteArray("8001.5") << on("8002");
    QTest::newRow("highest port") << QByteArray("65535") << on("65535");
    QTest::newRow("zero") << QByteArray("0") << QByteArrayList{};
    QTest::newRow("beyond TCP") << QByteArray("65536") << QByteArrayList{};
    QTest::newRow("negative") << QByteArray("-8000") << QByteArrayList{};
    QTest::newRow("beyond 32 bits") << QByteArray("1E20") << QByteArrayList{};
}

void EngineEventsTest::startEngineSwitchesTheControlOn() {
    QFETCH(QByteArray, enginePort);
    QFETCH(QByteArrayList, calls);
    BridgeFixture fixture("N0CALL,1,true," + enginePort);
    QCOMPARE(fixture.engine.calls, calls);
    if (calls.isEmpty()) {
        QCOMPARE(fixture.frontEnd.fatalErrors.size(), 1);
        QVERIFY(fixture.frontEnd.fatalErrors[0].startsWith("ERROR engine port "));
        QVERIFY(fixture.frontEnd.lines.contains(fixture.frontEnd.fatalErrors[0]));
    } else {
        QVERIFY(fixture.frontEnd.fatalErrors.isEmpty());
    }
}

void EngineEventsTest::readyLogsAndRegistersTheOwnCall_data() {
    QTest::addColumn<QByteArray>("myCall");
    QTest::addColumn<QByteArrayList>("calls");
    QTest::newRow("own callsign") << QByteArray("N0CALL") << QByteArrayList{"register N0CALL"};
    QTest::newRow("none") << QByteArray("") << QByteArrayList{};
}

void EngineEventsTest::readyLogsAndRegistersTheOwnCall() {
    QFETCH(QByteArray, myCall);
    QFETCH(QByteArrayList, calls);
    BridgeFixture fixture(myCall + ",1,true,8000");
    fixture.engine.calls.clear();
    fixture.frontEnd.lines.clear();
    fixture.frontEnd.boxes.remove(FrontEnd::Box::MyCall);
    emit fixture.engine.OnReady(false); // not examined
    QCOMPARE(fixture.frontEnd.lines,
             (QByteArrayList{"EVENT: PE is ready", "AGWPE version 2005.127"}));
    QCOMPARE(fixture.engine.calls, calls);
    QVERIFY(!fixture.frontEnd.boxes.contains(FrontEnd::Box::MyCall));
}

void EngineEventsTest::registrationShowsTheCall() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient());
    fixture.frontEnd.lines.clear();
    const QByteArray sent =
        fixture.clientGets([&] { emit fixture.engine.OnRegister("K1ABC-2", false); });
    QCOMPARE(fixture.frontEnd.boxes.value(FrontEnd::Box::MyCall), QByteArray("K1ABC-2"));
    QCOMPARE(sent, QByteArray());
    QVERIFY(fixture.frontEnd.lines.isEmpty());
}

void EngineEventsTest::linkStateTransitions_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("acceptAny");
    QTest::addColumn<Event>("event");
    QTest::addColumn<int>("eventChannel");
    QTest::addColumn<int>("eventPort");
    QTest::addColumn<int>("stateAfter");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArrayList>("engineCalls");

    // Stream A's link is on channel 5 unless it is free, and the configured radio port is 1. An
    // event for channel 9 is for another link. A connect event always asks for the connection
    // information first. Callers may take stream A only, as by default.
    const QByteArray connected = block("S1A*** CONNECTED to K1ABC");
    const QByteArray disconnected = block("S1A*** DISCONNECTED");
    const QByteArrayList info9 = {"info 9"};
    const QByteArrayList refuse9 = {"info 9", "disconnect 9"};
    const QByteArrayList busy9 = {"info 9", "send 9", "disconnect 9"};
    const auto row = [](const char *name) { return &QTest::newRow(name); };

    *row("connect, 0, any port") << 0 << true << Event::Connect << 9 << 2 << 1 << connected
                                 << info9;
    *row("connect, 0, configured port")
        << 0 << false << Event::Connect << 9 << 1 << 1 << connected << info9;
    *row("connect, 0, port refused")
        << 0 << false << Event::Connect << 9 << 2 << 0 << QByteArray() << refuse9;
    *row("connect, 2, same channel, filter not applied")
        << 2 << false << Event::Connect << 5 << 2 << 1 << connected << QByteArrayList{"info 5"};
    *row("connect, 1, same channel again")
        << 1 << true << Event::Connect << 5 << 1 << 1 << QByteArray() << QByteArrayList{"info 5"};
    for (int state = 1; state <= 3; ++state) {
        *row(("connect, " + QByteArray::number(state) + ", a caller finds no stream").constData())
            << state << true << Event::Connect << 9 << 1 << state << QByteArray() << busy9;
    }
    for (int state = 0; state <= 3; ++state) {
        const QByteArray name = "disconnect, " + QByteArray::number(state);
        *row(name + ", same channel")
            << state << true << Event::Disconnect << 5 << 0 << 0
            << (state == 0 ? QByteArray() : disconnected) << QByteArrayList{};
        *row(name + ", other channel") << state << true << Event::Disconnect << 9 << 0 << state
                                       << QByteArray() << QByteArrayList{};
    }
    // FEND and FESC in received data reach the client escaped.
    const QByteArray data = block("D1Aa\333\334b\333\335c");
    *row("receive, 1, same channel")
        << 1 << true << Event::Receive << 5 << 0 << 1 << data << QByteArrayList{};
    *row("receive, other channel")
        << 1 << true << Event::Receive << 9 << 0 << 1 << QByteArray() << QByteArrayList{};
    // Retry-out is news only about a link the client has.
    for (int state = 0; state <= 3; ++state) {
        const QByteArray name = "retry out, " + QByteArray::number(state);
        *row(name + ", same channel")
            << state << true << Event::RetryOut << 5 << 0 << state
            << (state == 0 ? QByteArray() : block("S1A*** retry count exceeded"))
            << QByteArrayList{};
        *row(name + ", other channel") << state << true << Event::RetryOut << 9 << 0 << state
                                       << QByteArray() << QByteArrayList{};
    }
}

void EngineEventsTest::linkStateTransitions() {
    QFETCH(int, state);
    QFETCH(bool, acceptAny);
    QFETCH(Event, event);
    QFETCH(int, eventChannel);
    QFETCH(int, eventPort);
    QFETCH(int, stateAfter);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArrayList, engineCalls);

    BridgeFixture fixture;
    QVERIFY(fixture.connectClient());
    BridgeState &s = fixture.bridge.state();
    StreamLink &link = s.links.at({'1', 'A'});
    link.state = LinkState(state);
    link.connection.remoteCall = "K1ABC";
    if (state != kDisconnected) {
        s.links.assignChannel({'1', 'A'}, 5);
    }
    s.acceptAny = acceptAny;
    fixture.engine.calls.clear();
    fixture.engine.infoToReport.radioPort = eventPort;
    fixture.engine.infoToReport.remoteCall = "K1ABC";

    const QByteArray received = fixture.clientGets([&] {
        switch (event) {
        case Event::Connect:
            emit fixture.engine.OnAX25Connect(eventChannel);
            break;
        case Event::Disconnect:
            emit fixture.engine.OnAX25Disconnect(eventChannel);
            break;
        case Event::Receive:
            emit fixture.engine.OnAX25Receive(eventChannel, "a\300b\333c");
            break;
        case Event::RetryOut:
            emit fixture.engine.OnRetryOut(eventChannel);
            break;
        }
    });
    QCOMPARE(received, sent);
    QCOMPARE(int(s.links.at({'1', 'A'}).state), stateAfter);
    QCOMPARE(fixture.engine.calls, engineCalls);
}

void EngineEventsTest::refusedLinkWhoseDisconnectFailsIsLogged() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient());
    fixture.bridge.state().acceptAny = false;
    fixture.engine.infoToReport.radioPort = 2;
    fixture.engine.disconnectResult = false;
    fixture.frontEnd.lines.clear();
    const QByteArray sent = fixture.clientGets([&] { emit fixture.engine.OnAX25Connect(-7); });
    QCOMPARE(sent, QByteArray());
    QCOMPARE(fixture.frontEnd.lines,
             QByteArrayList{"Disconnect nonauthorized accept failed iChannelId -7"});
    QVERIFY(fixture.bridge.state().links.busyStreams().isEmpty());
}

void EngineEventsTest::connectEventAsksForConnectionInformationFirst() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient());
    BridgeState &s = fixture.bridge.state();
    fixture.engine.infoToReport = {2, "N0CALL", "K2XYZ", "RELAY1", 11, 12, 13};
    s.acceptAny = true;
    emit fixture.engine.OnAX25Connect(9);
    const ConnectionInfo &connection = s.links.at({'1', 'A'}).connection;
    QCOMPARE(connection.radioPort, 2);
    QCOMPARE(connection.ownCall, QByteArray("N0CALL"));
    QCOMPARE(connection.remoteCall, QByteArray("K2XYZ"));
    QCOMPARE(connection.viaPath, QByteArray("RELAY1"));
    QCOMPARE(connection.num1, 11);
    QCOMPARE(connection.num2, 12);
    QCOMPARE(connection.num3, 13);

    // A second caller finds the one stream for callers busy and leaves the first link's
    // information as it was.
    fixture.engine.calls.clear();
    fixture.engine.infoToReport = {1, "N0CALL", "K3OTH", "", 0, 0, 0};
    emit fixture.engine.OnAX25Connect(10);
    QCOMPARE(fixture.engine.calls, (QByteArrayList{"info 10", "send 10", "disconnect 10"}));
    QCOMPARE(fixture.engine.sentData, QByteArrayList{"*** N0CALL busy, try later\r"});
    QCOMPARE(fixture.frontEnd.lines.last(),
             "Incoming link from K3OTH refused as busy: no free stream on port 1 takes calls "
             "(USERS 1/1)");
    QCOMPARE(connection.remoteCall, QByteArray("K2XYZ"));
    QCOMPARE(s.links.busyStreams().size(), 1);
}

void EngineEventsTest::withoutClientCallersAreRefusedAndDataLogged() {
    BridgeFixture fixture;
    BridgeState &s = fixture.bridge.state();
    fixture.engine.calls.clear();
    fixture.engine.infoToReport.radioPort = 1;
    fixture.engine.infoToReport.remoteCall = "K1ABC";
    emit fixture.engine.OnAX25Connect(9);
    QCOMPARE(fixture.engine.calls, (QByteArrayList{"info 9", "disconnect 9"}));
    QCOMPARE(fixture.frontEnd.lines.last(),
             QByteArray("Incoming link from K1ABC refused: no client connected"));
    QVERIFY(s.links.busyStreams().isEmpty());

    // The client's own link outlives the client; what it brings meanwhile is not lost unseen.
    fixture.setHostModeWithLinkUp("W1OWN");
    emit fixture.engine.OnAX25Receive(1, "hello");
    QCOMPARE(fixture.frontEnd.lines.last(),
             QByteArray("ERROR no client connected: dropped 5 bytes received from W1OWN"));
}

void EngineEventsTest::linkBlocksCarryTheLinksPortAndStream() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient());
    QVERIFY(fixture.enterHostMode());
    fixture.engine.infoToReport.remoteCall = "W1AW";
    fixture.engine.nextChannelId = 3;
    const QByteArray received = fixture.clientGets([&] {
        fixture.bridge.dispatchClientData(block("C1JC W1AW"));
        emit fixture.engine.OnAX25Connect(3);
        emit fixture.engine.OnAX25Receive(3, "hi\300");
        fixture.bridge.dispatchClientData(block("D1Jthere") + block("C1JD"));
        emit fixture.engine.OnRetryOut(3);
        emit fixture.engine.OnAX25Disconnect(3);
    });
    QCOMPARE(received, block("C00") + block("S1J*** CONNECTED to W1AW") + block("D1Jhi\333\334") +
                           block("C00") + block("S1J*** retry count exceeded") +
                           block("S1J*** DISCONNECTED"));
    QCOMPARE(fixture.engine.sentData, QByteArrayList{"there"});
}

void EngineEventsTest::callerIsAnnouncedOnTheClientsPort() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient());
    QVERIFY(fixture.enterHostMode());
    fixture.engine.infoToReport.remoteCall = "K1ABC";
    fixture.engine.infoToReport.radioPort = 1;
    const QByteArray received = fixture.clientGets([&] {
        // A client on the KAM's second port: its settings and polls go there.
        fixture.bridge.dispatchClientData(block("C2AMAXUSERS 1"));
        emit fixture.engine.OnAX25Connect(4);
        fixture.bridge.dispatchClientData(block("D2Ahello") + block("C20S"));
    });
    QCOMPARE(received, block("C00MAXUSERS now 1\r") + block("S2A*** CONNECTED to K1ABC") +
                           block("C00FREE BYTES 10240\rA/H CONNECTED to K1ABC\r"));
    QCOMPARE(fixture.engine.calls.last(), "send 4");
}

void EngineEventsTest::streamsCarryLinksOfTheirOwn() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient());
    QVERIFY(fixture.enterHostMode());
    FakeEngine &engine = fixture.engine;
    engine.engineStateValue = PacketEngine::EngineState::Ready;
    const auto up = [&](qint32 channelId, const QByteArray &remoteCall) {
        engine.infoToReport.remoteCall = remoteCall;
        emit engine.OnAX25Connect(channelId);
    };
    fixture.frontEnd.lines.clear();
    const QByteArray received = fixture.clientGets([&] {
        // Two calls out on J and I, as a node does for two users, and callers on A to C.
        fixture.bridge.dispatchClientData(block("C10USERS 3") + block("C1JC W1AW"));
        engine.nextChannelId = 2;
        fixture.bridge.dispatchClientData(block("C1IC K2XYZ"));
        up(1, "W1AW");
        up(2, "K2XYZ");
        up(3, "K3CAL");
        fixture.bridge.dispatchClientData(block("D1Ito K2XYZ") + block("D1Jto W1AW"));
        emit engine.OnAX25Receive(3, "from K3CAL");
        fixture.bridge.dispatchClientData(block("C10S"));
        // The other station ends one link; the others go on.
        emit engine.OnAX25Disconnect(2);
        fixture.bridge.dispatchClientData(block("D1Jmore") + block("C10S"));
    });
    QCOMPARE(received,
             block("C00USERS now 3\r") + block("C00") + block("C00") +
                 block("S1J*** CONNECTED to W1AW") + block("S1I*** CONNECTED to K2XYZ") +
                 block("S1A*** CONNECTED to K3CAL") + block("D1Afrom K3CAL") +
                 block("C00FREE BYTES 10240\rA/V CONNECTED to K3CAL\rI/V CONNECTED to "
                       "K2XYZ\rJ/V CONNECTED to W1AW\r") +
                 block("S1I*** DISCONNECTED") +
                 block("C00FREE BYTES 10240\rA/V CONNECTED to K3CAL\rJ/V CONNECTED to W1AW\r"));
    QByteArrayList sends;
    std::copy_if(engine.calls.begin(), engine.calls.end(), std::back_inserter(sends),
                 [](const QByteArray &call) { return call.startsWith("send"); });
    QCOMPARE(sends, (QByteArrayList{"send 2", "send 1", "send 1"}));
    QCOMPARE(engine.sentData, (QByteArrayList{"to K2XYZ", "to W1AW", "more"}));
    QCOMPARE(fixture.frontEnd.lines.first(4),
             (QByteArrayList{"Link J/V up: W1AW, outgoing", "Link I/V up: K2XYZ, outgoing",
                             "Link A/V up: K3CAL, incoming",
                             "Link I/V ended: K2XYZ, 8 bytes sent, 0 received, up 0:00:00, "
                             "ended by the remote station"}));
}

void EngineEventsTest::connectsThatCannotGoOutAreRefusedOnTheirStream_data() {
    QTest::addColumn<QByteArray>("setUp"); // blocks before the connect on stream C
    QTest::addColumn<bool>("engineTakesConnects");
    QTest::addColumn<QByteArray>("refusal");
    QTest::newRow("a station linked on another stream")
        << block("C1AC W1AW") << true << QByteArray("Already connected on stream A");
    QTest::newRow("beyond MAXUSERS") << block("C10MAXUSERS 4/2") << true
                                     << QByteArray("Can't CONNECT, C/V is beyond MAXUSERS 4/2");
    QTest::newRow("one link in all, in use")
        << block("C10MAXUSERS 0/0") + block("C2AC K2XYZ") << true
        << QByteArray("Can't CONNECT, C/V is beyond MAXUSERS 0/0");
    QTest::newRow("no engine") << QByteArray() << false
                               << QByteArray("Can't CONNECT, the packet engine is not ready");
}

void EngineEventsTest::connectsThatCannotGoOutAreRefusedOnTheirStream() {
    QFETCH(QByteArray, setUp);
    QFETCH(bool, engineTakesConnects);
    QFETCH(QByteArray, refusal);
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient());
    QVERIFY(fixture.enterHostMode());
    fixture.engine.connectsTaken = engineTakesConnects;
    fixture.bridge.dispatchClientData(setUp);
    fixture.engine.calls.clear();
    const QByteArray received =
        fixture.clientGets([&] { fixture.bridge.dispatchClientData(block("C1CC w1aw")); });
    // The stream's outcome comes at once, for clients that wait for it.
    QVERIFY2(received.endsWith(block("C00" + refusal) + block("S1C*** DISCONNECTED")), received);
    QCOMPARE(fixture.engine.calls, QByteArrayList{});
    QCOMPARE(fixture.frontEnd.lines.last(), "Connect on C/V to w1aw refused: " + refusal);
}

QTEST_GUILESS_MAIN(EngineEventsTest)
#include "test_engineevents.moc"
