// The bridge with the real AGW control against the test engine, driven by a KAM client on
// loopback: links both ways, data with every byte value, the port filter, the via path,
// retry-out, and an engine that is missing at start or lost mid-link.
#include "app/bridge.h"
#include "client/hostcodec.h"
#include "engine/agwcontrol.h"
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

QByteArray everyByteValue() {
    QByteArray bytes;
    for (int value = 0; value < 256; ++value) {
        bytes.append(char(value));
    }
    return bytes;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A bridge on the real control; the test engine listens on enginePort unless told not to.
class Rig {
public:
    explicit Rig(const QByteArray &fields = "N0CALL,1,true", bool engineRunning = true)
        : bridge(frontEnd, control, options(fields)) {
        if (engineRunning) {
            engine.start(enginePort);
        }
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
        client.connectToHost(QHostAddress::LocalHost, listenPort);
        if (!client.waitForConnected(kTimeoutMs)) {
            return false;
        }
        client.write("RESET\r");
        return expect("\300\300S00\300");
    }

    void request(const QByteArray &content) { client.write(block(content)); }

    // Waits until the client has received bytes next and takes them; what came before them
    // is the unexpected part, kept for a failure message.
    bool expect(const QByteArray &bytes) {
        const bool arrived = QTest::qWaitFor(
            [&] {
                received_ += client.readAll();
                return received_.startsWith(bytes);
            },
            kTimeoutMs);
        if (!arrived) {
            qWarning("client got %s, expected %s", received_.toHex(' ').constData(),
                     bytes.toHex(' ').constData());
            return false;
        }
        received_.remove(0, bytes.size());
        return true;
    }

    // Nothing came for the client but what answers a probe sent now.
    bool nothingElse() {
        request("?");
        return expect(block("C00"));
    }

    quint16 enginePort = freePort();
    quint16 listenPort = freePort();
    TestEngine engine;
    RecorderFrontEnd frontEnd;
    AgwControl control;
    Bridge bridge;
    QTcpSocket client;

private:
    QByteArray received_;
};

} // namespace

class EngineBridgeTest : public QObject {
    Q_OBJECT
private slots:
    void incomingLinkCarriesEveryByteValueBothWays();
    void portFilterForIncomingLinks_data();
    void portFilterForIncomingLinks();
    void outgoingLinkShowsTheCallAsTyped();
    void viaPathAndRetryOutEndTheAttempt();
    void connectThatCannotWorkReportsDisconnected();
    void engineDownAtStartIsUsedOnceItComes();
    void engineLostMidLinkDisconnectsAndComesBack();
};

void EngineBridgeTest::incomingLinkCarriesEveryByteValueBothWays() {
    Rig rig;
    QVERIFY(rig.readyInHostMode());
    QCOMPARE(rig.engine.receivedOfKind('X').first().callFrom, QByteArray("N0CALL"));
    QVERIFY(rig.frontEnd.lines.contains("AGWPE version 2005.127"));

    rig.engine.linkUp(0, "K1ABC", "N0CALL", true);
    QVERIFY(rig.expect(block("S1A*** CONNECTED to K1ABC")));

    rig.engine.data(0, "K1ABC", "N0CALL", everyByteValue());
    QVERIFY(rig.expect(block("D1A" + hostcodec::escape(everyByteValue()))));

    rig.request("D1A" + hostcodec::escape(everyByteValue()));
    QVERIFY(rig.engine.waitForFrames('D'));
    const AgwFrame sent = rig.engine.receivedOfKind('D').first();
    QCOMPARE(sent.data, everyByteValue());
    QCOMPARE(sent.callFrom, QByteArray("N0CALL"));
    QCOMPARE(sent.callTo, QByteArray("K1ABC"));

    rig.request("C1AD");
    QVERIFY(rig.expect(block("C00")));
    QVERIFY(rig.expect(block("S1A*** DISCONNECTED")));
    QCOMPARE(int(rig.bridge.state().linkState), int(kDisconnected));
    QVERIFY(rig.nothingElse());
}

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
        QCOMPARE(int(rig.bridge.state().linkState), int(kConnected));
    } else {
        // Refused at once: the engine is asked to disconnect, the client hears nothing.
        QVERIFY(rig.engine.waitForFrames('d'));
        const AgwFrame request = rig.engine.receivedOfKind('d').first();
        QCOMPARE(request.port, framePort);
        QCOMPARE(request.callFrom, QByteArray("N0CALL"));
        QCOMPARE(request.callTo, QByteArray("K1ABC"));
        QVERIFY(rig.nothingElse());
        QCOMPARE(int(rig.bridge.state().linkState), int(kDisconnected));
        QCOMPARE(rig.bridge.state().remoteCall, QByteArray("K1ABC"));
    }
}

void EngineBridgeTest::outgoingLinkShowsTheCallAsTyped() {
    Rig rig;
    QVERIFY(rig.readyInHostMode());
    rig.request("C1AC w1aw-0");
    QVERIFY(rig.expect(block("C00")));
    QVERIFY(rig.engine.waitForFrames('C'));
    QCOMPARE(rig.engine.receivedOfKind('C').first().callTo, QByteArray("W1AW"));

    rig.engine.linkUp(0, "W1AW", "N0CALL", false);
    QVERIFY(rig.expect(block("S1A*** CONNECTED to w1aw-0")));
    rig.request("D1Ahello\r");
    QVERIFY(rig.engine.waitForFrames('D'));
    QCOMPARE(rig.engine.receivedOfKind('D').first().data, QByteArray("hello\r"));

    // The remote station hangs up.
    rig.engine.linkDown(0, "W1AW", "N0CALL");
    QVERIFY(rig.expect(block("S1A*** DISCONNECTED")));
    QVERIFY(rig.nothingElse());
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
    QVERIFY(rig.expect(block("S1A***retry count exceeded")));
    QVERIFY(rig.expect(block("S1A*** DISCONNECTED")));
    rig.request("C20S");
    QVERIFY(rig.expect(block("C00FREE BYTES 936\rA/V DISCONNECTED\r")));
}

void EngineBridgeTest::connectThatCannotWorkReportsDisconnected() {
    Rig rig;
    QVERIFY(rig.readyInHostMode());
    rig.request("C1ACONNECT N0CALL");
    QVERIFY(rig.expect(block("C00")));
    QVERIFY(rig.expect(block("S1A*** DISCONNECTED")));
    QVERIFY(rig.frontEnd.lines.contains("ERROR connect to NNECT N0CALL not possible: \"NNECT "
                                        "N0CALL\" is not a valid AX.25 callsign"));
    QVERIFY(rig.engine.receivedOfKind('C').isEmpty());
    QCOMPARE(int(rig.bridge.state().linkState), int(kDisconnected));
}

void EngineBridgeTest::engineDownAtStartIsUsedOnceItComes() {
    Rig rig("N0CALL,1,true", false);
    QVERIFY(rig.logged("ERROR AGW engine 127.0.0.1:" + QByteArray::number(rig.enginePort) +
                       ": Connection refused"));
    QVERIFY(rig.engine.start(rig.enginePort));
    QVERIFY(rig.logged("EVENT: PE is ready", 1, kReconnectWaitMs));
    QVERIFY(rig.engine.waitForFrames('X'));
}

void EngineBridgeTest::engineLostMidLinkDisconnectsAndComesBack() {
    Rig rig;
    QVERIFY(rig.readyInHostMode());
    rig.engine.linkUp(0, "K1ABC", "N0CALL", true);
    QVERIFY(rig.expect(block("S1A*** CONNECTED to K1ABC")));

    rig.engine.dropClient();
    QVERIFY(rig.expect(block("S1A*** DISCONNECTED")));
    QCOMPARE(int(rig.bridge.state().linkState), int(kDisconnected));
    QVERIFY(std::any_of(
        rig.frontEnd.lines.begin(), rig.frontEnd.lines.end(),
        [](const QByteArray &line) { return line.startsWith("ERROR AGW engine 127.0.0.1:"); }));

    // Back again: ready once more, the own callsign registered on the new connection.
    QVERIFY(rig.logged("EVENT: PE is ready", 2, kReconnectWaitMs));
    QVERIFY(rig.engine.waitForFrames('X', 2));
    rig.engine.linkUp(0, "K1ABC", "N0CALL", true);
    QVERIFY(rig.expect(block("S1A*** CONNECTED to K1ABC")));
}

QTEST_GUILESS_MAIN(EngineBridgeTest)
#include "test_enginebridge.moc"
