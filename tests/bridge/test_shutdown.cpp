// Shutdown: the client socket closes, the own callsign is withdrawn, the engine control is
// switched off and takes its link down before it closes; the client hears nothing of it.
#include "bridge/bridge.h"
#include "client/hostcodec.h"
#include "engine/agwcontrol.h"
#include "support/loopback.h"
#include "support/recorderfrontend.h"
#include "support/testengine.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

constexpr int kTimeoutMs = 5000;

// A bridge on the real control, between the test engine and a loopback client.
struct Rig {
    explicit Rig(const QByteArray &myCall) {
        engine.start();
        listenPort = freeLoopbackPort();
        options.commandLine = myCall + ",1,true," + QByteArray::number(engine.port()) + "," +
                              QByteArray::number(listenPort);
    }
    TestEngine engine;
    quint16 listenPort = 0;
    BridgeOptions options;
    RecorderFrontEnd frontEnd;
    AgwControl control;
};

// The kinds of the frames the engine received, in order.
QByteArray kinds(const QList<AgwFrame> &frames) {
    QByteArray result;
    for (const AgwFrame &frame : frames) {
        result += frame.kind;
    }
    return result;
}

} // namespace

class ShutdownTest : public QObject {
    Q_OBJECT
private slots:
    void linkGoesDownCleanlyAndTheClientHearsNothing();
    void anEmptyCallsignSendsNothingInvalid();
};

void ShutdownTest::linkGoesDownCleanlyAndTheClientHearsNothing() {
    Rig rig("N0CALL");
    Bridge bridge(rig.frontEnd, rig.control, rig.options);
    bridge.Form_Load();
    QVERIFY(rig.engine.waitForFrames('X', 1, kTimeoutMs));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, rig.listenPort);
    QVERIFY(client.waitForConnected(kTimeoutMs));
    client.write("RESET\r");
    QByteArray reply;
    QTRY_COMPARE((reply += client.readAll()), QByteArray("\300\300S00\300"));
    client.write(hostcodec::frame("C1AC W1AW"));
    QVERIFY(rig.engine.waitForFrames('C', 1, kTimeoutMs));
    rig.engine.linkUp(0, "W1AW", "N0CALL", false);
    reply.clear();
    QTRY_COMPARE((reply += client.readAll()),
                 hostcodec::frame("C00") + hostcodec::frame("S1A*** CONNECTED to W1AW"));
    const qsizetype linesBefore = rig.frontEnd.lines.size();
    const qsizetype framesBefore = rig.engine.received.size();

    QSignalSpy closed(&rig.control, &PacketEngine::closed);
    bridge.Form_Unload();
    QVERIFY(closed.wait(kTimeoutMs));

    // The engine saw the unregister, then the disconnect of the link, then the close.
    const QList<AgwFrame> shutdownFrames = rig.engine.received.mid(framesBefore);
    QCOMPARE(kinds(shutdownFrames), QByteArray("xd"));
    QCOMPARE(shutdownFrames[0].callFrom, QByteArray("N0CALL"));
    QCOMPARE(shutdownFrames[1].callFrom, QByteArray("N0CALL"));
    QCOMPARE(shutdownFrames[1].callTo, QByteArray("W1AW"));
    QTRY_VERIFY(!rig.engine.hasClient());

    // The client was closed without a word.
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(client.readAll(), QByteArray());
    QCOMPARE(rig.frontEnd.boxes.value(FrontEnd::Box::MyCall), QByteArray());
    QCOMPARE(rig.frontEnd.lines.size(), linesBefore + 1);
    QVERIFY2(rig.frontEnd.lines.last().startsWith("Link A/V ended: W1AW, 0 bytes sent, 0 received, "
                                                  "up 0:00:0") &&
                 rig.frontEnd.lines.last().endsWith(", Varnel is shutting down"),
             rig.frontEnd.lines.last());
}

void ShutdownTest::anEmptyCallsignSendsNothingInvalid() {
    Rig rig("");
    Bridge bridge(rig.frontEnd, rig.control, rig.options);
    bridge.Form_Load();
    QTRY_VERIFY(rig.frontEnd.lines.contains("EVENT: PE is ready"));
    const qsizetype framesBefore = rig.engine.received.size();

    QSignalSpy closed(&rig.control, &PacketEngine::closed);
    bridge.Form_Unload();
    QVERIFY(closed.wait(kTimeoutMs));

    QCOMPARE(kinds(rig.engine.received.mid(framesBefore)), QByteArray());
    QTRY_VERIFY(!rig.engine.hasClient());
}

QTEST_GUILESS_MAIN(ShutdownTest)
#include "test_shutdown.moc"
