// The bridge's handling of the engine's events, with the engine double: start-up of the
// control, readiness and registration, and every row of the link-state transition table.
// Blocks for the client are read by a real client on loopback.
#include "app/bridge.h"
#include "support/fakeengine.h"
#include "support/loopback.h"
#include "support/recorderfrontend.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>

namespace {

constexpr int kTimeoutMs = 5000;
const QByteArray F = "\300";

QByteArray block(const QByteArray &content) {
    return F + content + F;
}

// A loaded bridge on the engine double, with a client connected.
class Rig {
public:
    explicit Rig(const QByteArray &fields = "N0CALL,1,true,8000")
        : bridge(frontEnd, engine, options(fields)) {
        bridge.Form_Load();
    }

    bool connectClient() {
        client.connectToHost(QHostAddress::LocalHost, listenPort);
        return QTest::qWaitFor(
            [&] { return frontEnd.lines.contains("accept winsock connection from client"); },
            kTimeoutMs);
    }

    // Everything the client receives because of action; a marker block sent after it shows
    // where that ends, silence included.
    QByteArray clientGets(const std::function<void()> &action) {
        action();
        const QByteArray marker = block("MARK");
        bridge.sendBlock("MARK");
        QByteArray received;
        (void)QTest::qWaitFor(
            [&] {
                received += client.readAll();
                return received.endsWith(marker);
            },
            kTimeoutMs);
        return received.endsWith(marker) ? received.chopped(marker.size()) : "(no marker)";
    }

    BridgeOptions options(const QByteArray &fields) {
        BridgeOptions o;
        o.commandLine = fields + "," + QByteArray::number(listenPort);
        return o;
    }

    quint16 listenPort = freeLoopbackPort();
    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    QTcpSocket client;
    Bridge bridge;
};

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
    Rig rig("N0CALL,1,true," + enginePort);
    QCOMPARE(rig.engine.calls, calls);
    if (calls.isEmpty()) {
        QCOMPARE(rig.frontEnd.fatalErrors.size(), 1);
        QVERIFY(rig.frontEnd.fatalErrors[0].startsWith("ERROR engine port "));
        QVERIFY(rig.frontEnd.lines.contains(rig.frontEnd.fatalErrors[0]));
    } else {
        QVERIFY(rig.frontEnd.fatalErrors.isEmpty());
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
    Rig rig(myCall + ",1,true,8000");
    rig.engine.calls.clear();
    rig.frontEnd.lines.clear();
    rig.frontEnd.boxes.remove(FrontEnd::Box::MyCall);
    emit rig.engine.OnReady(false); // not examined
    QCOMPARE(rig.frontEnd.lines, (QByteArrayList{"EVENT: PE is ready", "AGWPE version 2005.127"}));
    QCOMPARE(rig.engine.calls, calls);
    QVERIFY(!rig.frontEnd.boxes.contains(FrontEnd::Box::MyCall));
}

void EngineEventsTest::registrationShowsTheCall() {
    Rig rig;
    QVERIFY(rig.connectClient());
    rig.frontEnd.lines.clear();
    const QByteArray sent = rig.clientGets([&] { emit rig.engine.OnRegister("K1ABC-2", false); });
    QCOMPARE(rig.frontEnd.boxes.value(FrontEnd::Box::MyCall), QByteArray("K1ABC-2"));
    QCOMPARE(sent, QByteArray());
    QVERIFY(rig.frontEnd.lines.isEmpty());
}

void EngineEventsTest::linkStateTransitions_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("acceptAny");
    QTest::addColumn<Event>("event");
    QTest::addColumn<int>("eventChannel");
    QTest::addColumn<int>("eventPort");
    QTest::addColumn<int>("stateAfter");
    QTest::addColumn<int>("channelAfter");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArrayList>("engineCalls");

    // The link is on channel 5 and the configured radio port is 1. An event for channel 9 is
    // for another link. A connect event always asks for the connection information first.
    const QByteArray connected = block("S1A*** CONNECTED to K1ABC");
    const QByteArray disconnected = block("S1A*** DISCONNECTED");
    const QByteArrayList info9 = {"info 9"};
    const QByteArrayList refuse9 = {"info 9", "disconnect 9"};
    const QByteArrayList refuse5 = {"info 5", "disconnect 5"};
    const auto row = [](const char *name) { return &QTest::newRow(name); };

    *row("connect, 0, any port") << 0 << true << Event::Connect << 9 << 2 << 1 << 9 << connected
                                 << info9;
    *row("connect, 0, configured port")
        << 0 << false << Event::Connect << 9 << 1 << 1 << 9 << connected << info9;
    *row("connect, 0, port refused")
        << 0 << false << Event::Connect << 9 << 2 << 0 << 5 << QByteArray() << refuse9;
    *row("connect, 2, same channel, filter not applied")
        << 2 << false << Event::Connect << 5 << 2 << 1 << 5 << connected
        << QByteArrayList{"info 5"};
    *row("connect, 2, other channel")
        << 2 << true << Event::Connect << 9 << 1 << 2 << 5 << QByteArray() << refuse9;
    *row("connect, 1, other channel")
        << 1 << true << Event::Connect << 9 << 1 << 1 << 5 << QByteArray() << refuse9;
    *row("connect, 1, same channel")
        << 1 << true << Event::Connect << 5 << 1 << 1 << 5 << QByteArray() << refuse5;
    *row("connect, 3") << 3 << true << Event::Connect << 9 << 1 << 3 << 5 << QByteArray()
                       << refuse9;
    for (int state = 0; state <= 3; ++state) {
        const QByteArray name = "disconnect, " + QByteArray::number(state);
        *row(name + ", same channel") << state << true << Event::Disconnect << 5 << 0 << 0 << 5
                                      << disconnected << QByteArrayList{};
        *row(name + ", other channel") << state << true << Event::Disconnect << 9 << 0 << state << 5
                                       << QByteArray() << QByteArrayList{};
    }
    // FEND and FESC in received data reach the client escaped.
    const QByteArray data = block("D1Aa\333\334b\333\335c");
    *row("receive, 1, same channel")
        << 1 << true << Event::Receive << 5 << 0 << 1 << 5 << data << QByteArrayList{};
    *row("receive, 0, same channel: data after the link went down still goes")
        << 0 << true << Event::Receive << 5 << 0 << 0 << 5 << data << QByteArrayList{};
    *row("receive, other channel")
        << 1 << true << Event::Receive << 9 << 0 << 1 << 5 << QByteArray() << QByteArrayList{};
    for (int state = 0; state <= 3; ++state) {
        *row(("retry out, " + QByteArray::number(state)).constData())
            << state << true << Event::RetryOut << 9 << 0 << state << 5
            << block("S1A***retry count exceeded") << QByteArrayList{};
    }
}

void EngineEventsTest::linkStateTransitions() {
    QFETCH(int, state);
    QFETCH(bool, acceptAny);
    QFETCH(Event, event);
    QFETCH(int, eventChannel);
    QFETCH(int, eventPort);
    QFETCH(int, stateAfter);
    QFETCH(int, channelAfter);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArrayList, engineCalls);

    Rig rig;
    QVERIFY(rig.connectClient());
    BridgeState &s = rig.bridge.state();
    s.linkState = quint8(state);
    s.channelId = 5;
    s.acceptAny = acceptAny;
    rig.engine.calls.clear();
    rig.engine.infoToReport.radioPort = eventPort;
    rig.engine.infoToReport.remoteCall = "K1ABC";

    const QByteArray received = rig.clientGets([&] {
        switch (event) {
        case Event::Connect:
            emit rig.engine.OnAX25Connect(eventChannel);
            break;
        case Event::Disconnect:
            emit rig.engine.OnAX25Disconnect(eventChannel);
            break;
        case Event::Receive:
            emit rig.engine.OnAX25Receive(eventChannel, "a\300b\333c");
            break;
        case Event::RetryOut:
            emit rig.engine.OnRetryOut(eventChannel, "W1AW", "N0CALL", "text");
            break;
        }
    });
    QCOMPARE(received, sent);
    QCOMPARE(int(s.linkState), stateAfter);
    QCOMPARE(s.channelId, double(channelAfter));
    QCOMPARE(rig.engine.calls, engineCalls);
}

void EngineEventsTest::refusedLinkWhoseDisconnectFailsIsLogged() {
    Rig rig;
    QVERIFY(rig.connectClient());
    rig.bridge.state().linkState = kConnected;
    rig.engine.disconnectResult = false;
    rig.frontEnd.lines.clear();
    const QByteArray sent = rig.clientGets([&] { emit rig.engine.OnAX25Connect(-7); });
    QCOMPARE(sent, QByteArray());
    QCOMPARE(rig.frontEnd.lines,
             QByteArrayList{"Disconnect nonauthorized accept failed iChannelId -7"});
    QCOMPARE(rig.bridge.state().disconnectOk, false);
    QCOMPARE(int(rig.bridge.state().linkState), int(kConnected));
}

void EngineEventsTest::connectEventAsksForConnectionInformationFirst() {
    Rig rig;
    BridgeState &s = rig.bridge.state();
    s.linkState = kConnected;
    rig.engine.infoToReport = {2, "N0CALL", "K2XYZ", "RELAY1", 11, 12, 13};
    emit rig.engine.OnAX25Connect(9);
    // A refused link still leaves what the query reported: the status texts show that call.
    QCOMPARE(s.connPort, 2);
    QCOMPARE(s.connText1, QByteArray("N0CALL"));
    QCOMPARE(s.remoteCall, QByteArray("K2XYZ"));
    QCOMPARE(s.connText3, QByteArray("RELAY1"));
    QCOMPARE(s.connNum1, 11);
    QCOMPARE(s.connNum2, 12);
    QCOMPARE(s.connNum3, 13);
    QCOMPARE(s.connInfoOk, true);
}

QTEST_GUILESS_MAIN(EngineEventsTest)
#include "test_engineevents.moc"
