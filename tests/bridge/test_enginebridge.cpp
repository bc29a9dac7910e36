// The bridge with the real AGW control against the test engine, driven by a KAM client on
// loopback: the port filter, the via path, and the link state after a retry-out, an
// impossible connect or a lost engine.
#include "bridge/bridge.h"
#include "client/hostcodec.h"
#include "engine/agwcontrol.h"
#include "support/kamclient.h"
#include "support/loopback.h"
#include "support/recorderfrontend.h"
#include "support/testengine.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

namespace {

constexpr int kTimeoutMs = 5000;
// Reconnecting to the engine takes a retry pause first.
constexpr int kReconnectWaitMs = 10000;

QByteArray block(const QByteArray &content) {
    return hostcodec::frame(content);
}

// A bridge on the real control, with the test engine listening on enginePort.
class Rig {
public:
    explicit Rig(const QByteArray &fields = "N0CALL,1,true")
        : bridge(frontEnd, control, options(fields)) {
        engine.start(enginePort);
        bridge.Form_Load();
    }

    BridgeOptions options(const QByteArray &fields) const {
        BridgeOptions o;
        o.commandLine =
            fields + "," + QByteArray::number(enginePort) + "," + QByteArray::number(listenPort);
        return o;
    }

    bool logged(const QByteArray &line, qsizetype count = 1, int timeoutMs = kTimeoutMs) {
        return QTest::qWaitFor([&] { return frontEnd.lines.count(line) >= count; }, timeoutMs);
    }

    // Ready, own callsign registered, a client connected and in host mode.
    bool readyInHostMode() {
        if (!logged("EVENT: PE is ready") || !engine.waitForFrames('X')) {
            return false;
        }
        if (!client.connectTo(listenPort)) {
            return false;
        }
        client.write("RESET\r");
        return expect("\300\300S00\300");
    }

    void request(const QByteArray &content) { client.request(content); }
    bool expect(const QByteArray &bytes) { return client.expect(bytes); }

    // Nothing came for the client but what answers a probe sent now.
    bool nothingElse() {
        request("?");
        return expect(block("C00"));
    }

    quint16 enginePort = freeLoopbackPort();
    quint16 listenPort = freeLoopbackPort();
    TestEngine engine;
    RecorderFrontEnd frontEnd;
    AgwControl control;
    Bridge bridge;
    KamClient client;
};

} // namespace

class EngineBridgeTest : public QObject {
    Q_OBJECT
private slots:
    void portFilterForIncomingLinks_data();
    void portFilterForIncomingLinks();
    void viaPathAndRetryOutEndTheAttempt();
    void connectThatCannotWorkReportsDisconnected();
    void engineLostMidLinkDisconnectsAndComesBack();
    void remoteCallIsTheEnginesSpelling();
    void callerWithNobodyToTalkToIsRefused();
    void retryOutOfARefusedLinkIsNotTheClients();
};

void EngineBridgeTest::portFilterForIncomingLinks_data() {
    QTest::addColumn<QByteArray>("fields");
    QTest::addColumn<quint8>("framePort");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("any port") << QByteArray("N0CALL,1,true") << quint8(1) << true;
    QTest::newRow("the configured port") << QByteArray("N0CALL,2,false") << quint8(1) << true;
    QTest::newRow("another port") << QByteArray("N0CALL,1,false") << quint8(1) << false;
}

void EngineBridgeTest::portFilterForIncomingLinks() {
    QFETCH(QByteArray, fields);
    QFETCH(quint8, framePort);
    QFETCH(bool, accepted);
    Rig rig(fields);
    rig.engine.portInfo = "2;Port1 a;Port2 b;";
    QVERIFY(rig.readyInHostMode());
    rig.engine.linkUp(framePort, "K1ABC", "N0CALL", true);
    if (accepted) {
        QVERIFY(rig.expect(block("S1A*** CONNECTED to K1ABC")));
        QCOMPARE(int(rig.bridge.state().links.at({'1', 'A'}).state), int(kConnected));
    } else {
        // Refused at once: the engine is asked to disconnect, the client hears nothing.
        QVERIFY(rig.engine.waitForFrames('d'));
        const AgwFrame request = rig.engine.receivedOfKind('d').first();
        QCOMPARE(request.port, framePort);
        QCOMPARE(request.callFrom, QByteArray("N0CALL"));
        QCOMPARE(request.callTo, QByteArray("K1ABC"));
        QVERIFY(rig.nothingElse());
        QCOMPARE(int(rig.bridge.state().links.at({'1', 'A'}).state), int(kDisconnected));
        // Nor is the refused caller taken for a station of the client's.
        QVERIFY(rig.bridge.state().links.busyStreams().isEmpty());
    }
}

void EngineBridgeTest::viaPathAndRetryOutEndTheAttempt() {
    Rig rig;
    QVERIFY(rig.readyInHostMode());
    rig.request("C1AC W1AW V RELAY1  RELAY2-1 ");
    QVERIFY(rig.expect(block("C00")));
    QVERIFY(rig.engine.waitForFrames('v'));
    const AgwFrame request = rig.engine.receivedOfKind('v').first();
    QCOMPARE(request.callFrom, QByteArray("N0CALL"));
    QCOMPARE(request.callTo, QByteArray("W1AW"));
    QCOMPARE(request.data, QByteArray("\x02RELAY1\0\0\0\0RELAY2-1\0\0", 21));

    rig.engine.linkDown(0, "W1AW", "N0CALL", true);
    QVERIFY(rig.expect(block("S1A*** retry count exceeded")));
    QVERIFY(rig.expect(block("S1A*** DISCONNECTED")));
    rig.request("C20S");
    QVERIFY(rig.expect(block("C00FREE BYTES 10240\rA/V DISCONNECTED\r")));
}

void EngineBridgeTest::connectThatCannotWorkReportsDisconnected() {
    Rig rig;
    QVERIFY(rig.readyInHostMode());
    rig.request("C1ACONNECT NOT A CALL");
    QVERIFY(rig.expect(block("C00")));
    QVERIFY(rig.expect(block("S1A*** DISCONNECTED")));
    QVERIFY(rig.frontEnd.lines.contains("ERROR connect to NOT A CALL not possible: \"NOT A "
                                        "CALL\" is not a valid AX.25 callsign"));
    QVERIFY(rig.engine.receivedOfKind('C').isEmpty());
    QCOMPARE(int(rig.bridge.state().links.at({'1', 'A'}).state), int(kDisconnected));
}

void EngineBridgeTest::engineLostMidLinkDisconnectsAndComesBack() {
    Rig rig;
    QVERIFY(rig.readyInHostMode());
    rig.engine.linkUp(0, "K1ABC", "N0CALL", true);
    QVERIFY(rig.expect(block("S1A*** CONNECTED to K1ABC")));

    rig.engine.dropClient();
    QVERIFY(rig.expect(block("S1A*** DISCONNECTED")));
    QCOMPARE(int(rig.bridge.state().links.at({'1', 'A'}).state), int(kDisconnected));
    QVERIFY(std::any_of(
        rig.frontEnd.lines.begin(), rig.frontEnd.lines.end(),
        [](const QByteArray &line) { return line.startsWith("ERROR AGW engine 127.0.0.1:"); }));

    // Back again: ready once more, the own callsign registered on the new connection.
    QVERIFY(rig.logged("EVENT: PE is ready", 2, kReconnectWaitMs));
    QVERIFY(rig.engine.waitForFrames('X', 2));
    rig.engine.linkUp(0, "K1ABC", "N0CALL", true);
    QVERIFY(rig.expect(block("S1A*** CONNECTED to K1ABC")));
}

void EngineBridgeTest::remoteCallIsTheEnginesSpelling() {
    Rig rig;
    QVERIFY(rig.readyInHostMode());
    rig.request("C1AC n0call-1 ");
    QVERIFY(rig.expect(block("C00")));
    rig.request("C20S");
    QVERIFY(rig.expect(block("C00FREE BYTES 10240\rA/V CONNECT in progress n0call-1\r")));
    QVERIFY(rig.engine.waitForFrames('C'));
    QCOMPARE(rig.engine.receivedOfKind('C').first().callTo, QByteArray("N0CALL-1"));
    rig.engine.linkUp(0, "N0CALL-1", "N0CALL", false);
    QVERIFY(rig.expect(block("S1A*** CONNECTED to N0CALL-1")));
    rig.request("C20S");
    QVERIFY(rig.expect(block("C00FREE BYTES 10240\rA/V CONNECTED to N0CALL-1\r")));
}

void EngineBridgeTest::callerWithNobodyToTalkToIsRefused() {
    Rig rig;
    QVERIFY(rig.logged("EVENT: PE is ready") && rig.engine.waitForFrames('X'));
    rig.engine.linkUp(0, "K1ABC", "N0CALL", true);
    QVERIFY(rig.engine.waitForFrames('d'));
    QCOMPARE(rig.engine.receivedOfKind('d').first().callTo, QByteArray("K1ABC"));
    QVERIFY(rig.logged("Incoming link from K1ABC refused: no client connected"));

    // The next client finds no link it never heard of and may call out.
    QVERIFY(rig.client.connectTo(rig.listenPort));
    rig.client.write("RESET\r");
    QVERIFY(rig.expect("\300\300S00\300"));
    rig.request("C1AC W1AW");
    QVERIFY(rig.expect(block("C00")));
    QVERIFY(rig.engine.waitForFrames('C'));
}

void EngineBridgeTest::retryOutOfARefusedLinkIsNotTheClients() {
    Rig rig;
    QVERIFY(rig.readyInHostMode());
    rig.engine.answerDisconnects = false;
    rig.engine.linkUp(0, "K1ABC", "N0CALL", true);
    QVERIFY(rig.expect(block("S1A*** CONNECTED to K1ABC")));
    // A second caller is refused; its retries run out while the first link goes on.
    rig.engine.linkUp(0, "K2XYZ", "N0CALL", true);
    QVERIFY(rig.engine.waitForFrames('d'));
    rig.engine.linkDown(0, "K2XYZ", "N0CALL", true);
    QVERIFY(rig.nothingElse());
    QCOMPARE(int(rig.bridge.state().links.at({'1', 'A'}).state), int(kConnected));
}

QTEST_GUILESS_MAIN(EngineBridgeTest)
#include "test_enginebridge.moc"
