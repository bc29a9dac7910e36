// The AGW control against the test engine: readiness, registration, links both ways, data with
// every byte value, retry-out, and an engine that is missing, silent, lost or talking garbage;
// with the test engine playing Dire Wolf and, where the two differ, QtSoundModem.
#include "engine/agwcontrol.h"
#include "support/keepalivesettings.h"
#include "support/loopback.h"
#include "support/testengine.h"

#include <QTcpServer>
#include <QTest>
#include <QtEndian>

namespace {

// Reconnecting takes a retry pause and, for a silent engine, the answer timeout as well.
constexpr int kReconnectWaitMs = 10000;
// Frames the control gives the engine ahead of its acknowledgements.
constexpr qsizetype kAheadFrames = 32;
// The most data a 'D' may carry: QtSoundModem's monitor copies a frame into a 512-byte buffer.
constexpr qsizetype kMaxDataFrameBytes = 256;

QByteArray everyByteValue(int repeat = 1) {
    QByteArray bytes;
    for (int r = 0; r < repeat; ++r) {
        for (int value = 0; value < 256; ++value) {
            bytes.append(char(value));
        }
    }
    return bytes;
}

// The data of the engine's 'D' frames joined, each frame checked to be small enough.
QByteArray dataFramesJoined(const TestEngine &engine) {
    QByteArray data;
    for (const AgwFrame &frame : engine.receivedOfKind('D')) {
        if (frame.data.size() > kMaxDataFrameBytes) {
            qWarning("a 'D' frame of %lld bytes", qlonglong(frame.data.size()));
            return {};
        }
        data += frame.data;
    }
    return data;
}

// The control with its events written down in order, one text each.
class Rig {
public:
    Rig() {
        QObject::connect(&control, &PacketEngine::OnReady, [this] { events << "ready"; });
        QObject::connect(&control, &PacketEngine::OnRegister,
                         [this](const QByteArray &call, bool ok) {
                             events << "register " + call + (ok ? " yes" : " no");
                         });
        QObject::connect(&control, &PacketEngine::OnAX25Connect,
                         [this](qint32 id) { events << "connect " + QByteArray::number(id); });
        QObject::connect(&control, &PacketEngine::OnAX25Disconnect,
                         [this](qint32 id) { events << "disconnect " + QByteArray::number(id); });
        QObject::connect(&control, &PacketEngine::OnAX25Receive,
                         [this](qint32 id, const QByteArray &data) {
                             events << "receive " + QByteArray::number(id);
                             received += data;
                         });
        QObject::connect(&control, &PacketEngine::OnRetryOut,
                         [this](qint32 id) { events << "retryout " + QByteArray::number(id); });
        QObject::connect(&control, &PacketEngine::closed, [this] { events << "closed"; });
        QObject::connect(&control, &PacketEngine::backlogChanged, [this](bool backlogged) {
            events << (backlogged ? "behind" : "caught up");
        });
        QObject::connect(&control, &PacketEngine::report,
                         [this](const QByteArray &line) { reports << line; });
    }

    void switchOn(quint16 port) {
        control.setEngineHost(QStringLiteral("127.0.0.1"));
        control.setEnginePort(port);
        control.setEnabled(true);
        control.setActive(true);
        control.setOnline(true);
    }

    // Starts the test engine and waits for the control to be ready.
    bool startReady() {
        if (!engine.start()) {
            return false;
        }
        switchOn(engine.port());
        return waitFor("ready");
    }

    bool waitFor(const QByteArray &event, qsizetype count = 1, int timeoutMs = 5000) {
        return QTest::qWaitFor([&] { return events.count(event) >= count; }, timeoutMs);
    }

    // An incoming link from K1ABC to N0CALL on the first port, as channel 1.
    bool incomingLink() {
        engine.linkUp(0, "K1ABC", "N0CALL", true);
        return waitFor("connect 1");
    }

    TestEngine engine;
    AgwControl control;
    QList<QByteArray> events;
    QList<QByteArray> reports;
    QByteArray received;
};

} // namespace

class AgwControlTest : public QObject {
    Q_OBJECT
private slots:
    void readyOnlyOnceVersionAndPortsAnswered();
    void registersOnEveryRealPort_data();
    void registersOnEveryRealPort();
    void registrationWithoutEngineOrValidCallsign();
    void connectRequestOnTheWire_data();
    void connectRequestOnTheWire();
    void connectThatCannotWorkEndsAtOnce_data();
    void connectThatCannotWorkEndsAtOnce();
    void outgoingLinkCarriesDataOnlyOnceUp();
    void outgoingLinkIsNamedAsTheEngineReportsIt();
    void disconnectWhileCallingRenewsTheConnection();
    void connectWhileTheConnectionIsRenewedWaitsForIt();
    void connectOnANewPathRenewsTheConnection();
    void engineBehindAsksForAPauseUntilCaughtUp();
    void dataIsPacedByWhatTheEngineStillHolds();
    void disconnectWaitsForTheDataUnlessRepeated_data();
    void disconnectWaitsForTheDataUnlessRepeated();
    void dataALinkCanNoLongerCarryIsReported();
    void engineWithoutOutstandingQueryGetsDataAtOnce();
    void incomingLinkGetsItsOwnChannel();
    void soundModemIsUsedOnItsOneLivePort();
    void retryOutThenDisconnect_data();
    void retryOutThenDisconnect();
    void callingOffBesideOtherLinksKeepsThem();
    void linksBeyondTheLimitAreRefused();
    void frameKindsTheControlDoesNotUseAreSkipped();
    void engineDownAtStartIsReportedOnceAndUsedWhenItComes();
    void failingEngineIsNotReportedOnEveryAttempt();
    void silentEngineIsGivenUpAndTriedAgain();
    void engineThatVanishesIsNoticedByKeepalive();
    void engineLostMidLinkTakesTheLinkDownAndComesBack();
    void absurdDataLengthDropsTheConnection();
    void engineStateFollowsTheConnection();
    void switchingOffTakesLinksDownFirst_data();
    void switchingOffTakesLinksDownFirst();
    void switchingOffWithoutConnectionStillCloses();
    void callerDuringSwitchingOffIsTakenDownToo();
};

void AgwControlTest::readyOnlyOnceVersionAndPortsAnswered() {
    Rig rig;
    QVERIFY(rig.engine.start());
    rig.engine.answerQueries = false;
    rig.switchOn(rig.engine.port());
    QVERIFY(rig.engine.waitForFrames('G'));
    QCOMPARE(rig.engine.received.first().kind, 'R');

    AgwFrame version;
    version.kind = 'R';
    version.data = QByteArray::fromHex("d50700007f000000");
    rig.engine.send(version);
    // The port answer is still missing: registration could not know the ports yet.
    QVERIFY(!rig.waitFor("ready", 1, 300));

    AgwFrame ports;
    ports.kind = 'G';
    ports.data = TestEngine::kDireWolfPortInfo + '\0';
    rig.engine.send(ports);
    QVERIFY(rig.waitFor("ready"));
    QCOMPARE(rig.control.version(), QByteArray("2005.127"));
    QCOMPARE(rig.events, QList<QByteArray>{"ready"});
    QVERIFY(rig.reports.isEmpty());
}

void AgwControlTest::registersOnEveryRealPort_data() {
    QTest::addColumn<QByteArray>("portInfo");
    QTest::addColumn<char>("answerKind");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QList<int>>("framePorts");
    QTest::addColumn<QByteArray>("event");
    QTest::newRow("Dire Wolf, one sound card")
        << TestEngine::kDireWolfPortInfo << 'X' << true << QList<int>{0}
        << QByteArray("register n0call-0 yes");
    QTest::newRow("two real ports, one answer event")
        << QByteArray("2;Port1 a;Port2 INVALID CHANNEL;Port3 b;") << 'X' << true << QList<int>{0, 2}
        << QByteArray("register n0call-0 yes");
    QTest::newRow("'x' answer means registered")
        << TestEngine::kDireWolfPortInfo << 'x' << true << QList<int>{0}
        << QByteArray("register n0call-0 yes");
    QTest::newRow("refused") << TestEngine::kDireWolfPortInfo << 'X' << false << QList<int>{0}
                             << QByteArray("register n0call-0 no");
}

void AgwControlTest::registersOnEveryRealPort() {
    QFETCH(QByteArray, portInfo);
    QFETCH(char, answerKind);
    QFETCH(bool, accept);
    QFETCH(QList<int>, framePorts);
    QFETCH(QByteArray, event);
    Rig rig;
    rig.engine.portInfo = portInfo;
    rig.engine.registerAnswerKind = answerKind;
    rig.engine.acceptRegistrations = accept;
    QVERIFY(rig.startReady());

    rig.control.registerCall("n0call-0");
    QVERIFY(rig.waitFor(event));
    QVERIFY(rig.engine.waitForFrames('X', framePorts.size()));
    QList<int> sentPorts;
    for (const AgwFrame &frame : rig.engine.receivedOfKind('X')) {
        sentPorts << frame.port;
        QCOMPARE(frame.callFrom, QByteArray("N0CALL"));
    }
    QCOMPARE(sentPorts, framePorts);
    // Every port answers, yet the bridge hears of the registration once.
    QVERIFY(!rig.waitFor(event, 2, 200));

    // Withdrawn from the same ports.
    rig.control.unregisterCall(" N0CALL ");
    QVERIFY(rig.engine.waitForFrames('x', framePorts.size()));
    QList<int> withdrawnPorts;
    for (const AgwFrame &frame : rig.engine.receivedOfKind('x')) {
        withdrawnPorts << frame.port;
        QCOMPARE(frame.callFrom, QByteArray("N0CALL"));
    }
    QCOMPARE(withdrawnPorts, framePorts);
}

void AgwControlTest::registrationWithoutEngineOrValidCallsign() {
    Rig rig;
    rig.control.registerCall("N0CALL");
    QVERIFY(rig.startReady());
    QVERIFY(rig.engine.receivedOfKind('X').isEmpty());

    rig.control.registerCall("TOOLONGCALL");
    QVERIFY(rig.events.count() == 1); // nothing raised from inside the call
    QVERIFY(rig.waitFor("register TOOLONGCALL no"));
    QCOMPARE(rig.reports.size(), 1);
    QVERIFY(rig.reports[0].startsWith("ERROR cannot register TOOLONGCALL"));
    QVERIFY(rig.engine.receivedOfKind('X').isEmpty());
}

void AgwControlTest::connectRequestOnTheWire_data() {
    QTest::addColumn<qint32>("radioPort");
    QTest::addColumn<QByteArray>("ownCall");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("viaPath");
    QTest::addColumn<AgwFrame>("expected");

    AgwFrame direct;
    direct.kind = 'C';
    direct.callFrom = "N0CALL";
    direct.callTo = "W1AW-5";
    QTest::newRow("direct") << 1 << QByteArray("N0CALL") << QByteArray("W1AW-5") << QByteArray()
                            << direct;
    QTest::newRow("callsigns cleaned up")
        << 1 << QByteArray("n0call-0") << QByteArray(" w1aw-5\r\n") << QByteArray() << direct;
    QTest::newRow("a path of empty entries is direct")
        << 1 << QByteArray("N0CALL") << QByteArray("W1AW-5") << QByteArray(",,") << direct;

    AgwFrame thirdPort = direct;
    thirdPort.port = 2;
    QTest::newRow("third radio port")
        << 3 << QByteArray("N0CALL") << QByteArray("W1AW-5") << QByteArray() << thirdPort;

    AgwFrame via = direct;
    via.kind = 'v';
    via.data = QByteArray("\x02RELAY1\0\0\0\0RELAY2-3\0\0", 21);
    QTest::newRow("via two digipeaters") << 1 << QByteArray("N0CALL") << QByteArray("W1AW-5")
                                         << QByteArray("RELAY1,RELAY2-3") << via;
    QTest::newRow("empty entries skipped") << 1 << QByteArray("N0CALL") << QByteArray("W1AW-5")
                                           << QByteArray(",relay1,,RELAY2-3,") << via;

    AgwFrame seven = direct;
    seven.kind = 'v';
    seven.data = QByteArray(1, '\x07');
    QByteArray sevenPath;
    for (int i = 1; i <= 7; ++i) {
        seven.data += QByteArray("D" + QByteArray::number(i)).leftJustified(10, '\0');
        sevenPath += "D" + QByteArray::number(i) + ",";
    }
    QTest::newRow("seven digipeaters")
        << 1 << QByteArray("N0CALL") << QByteArray("W1AW-5") << sevenPath << seven;
}

void AgwControlTest::connectRequestOnTheWire() {
    QFETCH(qint32, radioPort);
    QFETCH(QByteArray, ownCall);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, viaPath);
    QFETCH(AgwFrame, expected);
    Rig rig;
    rig.engine.portInfo = "2;Port1 a;Port2 INVALID CHANNEL;Port3 c;";
    QVERIFY(rig.startReady());
    QCOMPARE(rig.control.ax25Connect(radioPort, ownCall, target, viaPath), 1);
    QVERIFY(rig.engine.waitForFrames(expected.kind));
    QCOMPARE(rig.engine.receivedOfKind(expected.kind).first(), expected);
    QVERIFY(rig.reports.isEmpty());

    // The status texts go on showing what the client typed.
    ConnectionInfo info;
    QVERIFY(rig.control.connectionInfo(1, info));
    QCOMPARE(info.radioPort, radioPort);
    QCOMPARE(info.ownCall, ownCall);
    QCOMPARE(info.remoteCall, target);
    QCOMPARE(info.viaPath, viaPath);
}

void AgwControlTest::connectThatCannotWorkEndsAtOnce_data() {
    QTest::addColumn<bool>("engineUp");
    QTest::addColumn<qint32>("radioPort");
    QTest::addColumn<QByteArray>("ownCall");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("viaPath");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("engine not connected")
        << false << 1 << QByteArray("N0CALL") << QByteArray("W1AW") << QByteArray()
        << QByteArray("not connected to the AGW engine 127.0.0.1:");
    QTest::newRow("radio port the engine lacks")
        << true << 2 << QByteArray("N0CALL") << QByteArray("W1AW") << QByteArray()
        << QByteArray("has no radio port 2");
    QTest::newRow("radio port 0") << true << 0 << QByteArray("N0CALL") << QByteArray("W1AW")
                                  << QByteArray() << QByteArray("has no radio port 0");
    QTest::newRow("no own callsign") << true << 1 << QByteArray() << QByteArray("W1AW")
                                     << QByteArray() << QByteArray("own callsign \"\"");
    QTest::newRow("empty target") << true << 1 << QByteArray("N0CALL") << QByteArray()
                                  << QByteArray() << QByteArray("\"\" is not a valid");
    QTest::newRow("target with a blank")
        << true << 1 << QByteArray("N0CALL") << QByteArray("NNECT N0CALL") << QByteArray()
        << QByteArray("\"NNECT N0CALL\" is not a valid");
    QTest::newRow("bad digipeater")
        << true << 1 << QByteArray("N0CALL") << QByteArray("W1AW") << QByteArray("RELAY1,RELAY-99")
        << QByteArray("digipeater \"RELAY-99\"");
    QTest::newRow("eight digipeaters")
        << true << 1 << QByteArray("N0CALL") << QByteArray("W1AW") << QByteArray("A,B,C,D,E,F,G,H")
        << QByteArray("more than 7 digipeaters");
}

void AgwControlTest::connectThatCannotWorkEndsAtOnce() {
    QFETCH(bool, engineUp);
    QFETCH(qint32, radioPort);
    QFETCH(QByteArray, ownCall);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, viaPath);
    QFETCH(QByteArray, reason);
    Rig rig;
    if (engineUp) {
        QVERIFY(rig.startReady());
        rig.events.clear();
    }
    const qint32 channelId = rig.control.ax25Connect(radioPort, ownCall, target, viaPath);
    QVERIFY(channelId >= 1);
    // The bridge stores the id only after the call returns: nothing may come before that.
    QVERIFY(rig.events.isEmpty());
    QVERIFY(rig.waitFor("disconnect " + QByteArray::number(channelId)));
    QCOMPARE(rig.reports.size(), 1);
    QVERIFY2(rig.reports[0].startsWith("ERROR connect to " + target + " not possible: "),
             rig.reports[0]);
    QVERIFY2(rig.reports[0].contains(reason), rig.reports[0]);
    QVERIFY(rig.engine.receivedOfKind('C').isEmpty());
    QVERIFY(rig.engine.receivedOfKind('v').isEmpty());
    ConnectionInfo info;
    QVERIFY(!rig.control.connectionInfo(channelId, info));
}

void AgwControlTest::outgoingLinkCarriesDataOnlyOnceUp() {
    Rig rig;
    QVERIFY(rig.startReady());
    QCOMPARE(rig.control.ax25Connect(1, "N0CALL", "W1AW", {}), 1);
    QVERIFY(rig.engine.waitForFrames('C'));
    // Dire Wolf throws away data sent while connecting; the bridge must hear it was not taken.
    QVERIFY(!rig.control.ax25Send(1, "too early"));

    rig.engine.linkUp(0, "W1AW", "N0CALL", false);
    QVERIFY(rig.waitFor("connect 1"));
    const QByteArray data = everyByteValue(2) + "x";
    QVERIFY(rig.control.ax25Send(1, data));
    QVERIFY(rig.engine.waitForFrames('D', 3));
    QByteArray sent;
    QList<qsizetype> sizes;
    for (const AgwFrame &frame : rig.engine.receivedOfKind('D')) {
        QCOMPARE(frame.pid, quint8(0xF0));
        QCOMPARE(frame.port, quint8(0));
        QCOMPARE(frame.callFrom, QByteArray("N0CALL"));
        QCOMPARE(frame.callTo, QByteArray("W1AW"));
        sizes << frame.data.size();
        sent += frame.data;
    }
    QCOMPARE(sizes, (QList<qsizetype>{256, 256, 1}));
    QCOMPARE(sent, data);

    rig.engine.data(0, "W1AW", "N0CALL", everyByteValue());
    QVERIFY(rig.waitFor("receive 1"));
    QCOMPARE(rig.received, everyByteValue());
    QVERIFY(!rig.control.ax25Send(2, "no such channel"));
}

void AgwControlTest::outgoingLinkIsNamedAsTheEngineReportsIt() {
    Rig rig;
    QVERIFY(rig.startReady());
    QCOMPARE(rig.control.ax25Connect(1, "N0CALL", "n0call-1 ", {}), 1);
    QVERIFY(rig.engine.waitForFrames('C'));
    ConnectionInfo info;
    QVERIFY(rig.control.connectionInfo(1, info));
    QCOMPARE(info.remoteCall, QByteArray("n0call-1 ")); // still calling: as asked
    rig.engine.linkUp(0, "N0CALL-1", "N0CALL", false);
    QVERIFY(rig.waitFor("connect 1"));
    QVERIFY(rig.control.connectionInfo(1, info));
    QCOMPARE(info.remoteCall, QByteArray("N0CALL-1"));
    QCOMPARE(info.ownCall, QByteArray("N0CALL"));
}

void AgwControlTest::disconnectWhileCallingRenewsTheConnection() {
    Rig rig;
    QVERIFY(rig.startReady());
    rig.control.ax25Connect(1, "N0CALL", "W1AW", {});
    QVERIFY(rig.engine.waitForFrames('C'));
    QVERIFY(rig.control.ax25Disconnect(1));
    QVERIFY(rig.waitFor("disconnect 1"));
    QCOMPARE(rig.reports, QList<QByteArray>{"Connect attempt to W1AW stopped: renewing the AGW "
                                            "engine connection"});
    // A 'd' would be ignored while the engine calls; a new connection ends the attempt.
    QVERIFY(rig.engine.receivedOfKind('d').isEmpty());
    QVERIFY(rig.waitFor("ready", 2));
    QCOMPARE(rig.engine.connectionCount(), 2);
    QVERIFY(!rig.control.ax25Disconnect(1));
}

void AgwControlTest::connectWhileTheConnectionIsRenewedWaitsForIt() {
    Rig rig;
    QVERIFY(rig.startReady());
    rig.control.ax25Connect(1, "N0CALL", "W1AW", {});
    QVERIFY(rig.engine.waitForFrames('C'));
    QVERIFY(rig.control.ax25Disconnect(1));
    // The client calls the right station at once, before the fresh connection is ready.
    QCOMPARE(rig.control.ax25Connect(1, "N0CALL", "K1ABC", {}), 2);
    QVERIFY(rig.waitFor("ready", 2));
    QVERIFY(rig.engine.waitForFrames('C', 2));
    QCOMPARE(rig.engine.received.last().callTo, QByteArray("K1ABC"));
    QCOMPARE(rig.reports.size(), 1); // the stopped attempt, and no error
    rig.engine.linkUp(0, "K1ABC", "N0CALL", false);
    QVERIFY(rig.waitFor("connect 2"));
    QVERIFY(!rig.events.contains("disconnect 2"));
}

void AgwControlTest::connectOnANewPathRenewsTheConnection() {
    Rig rig;
    QVERIFY(rig.startReady());
    rig.control.ax25Connect(1, "N0CALL", "W1AW", "RELAY1");
    QVERIFY(rig.engine.waitForFrames('v'));
    rig.engine.linkDown(0, "W1AW", "N0CALL", true);
    QVERIFY(rig.waitFor("disconnect 1"));
    // The same path again: the engine's record serves.
    rig.control.ax25Connect(1, "N0CALL", "W1AW", "RELAY1");
    QVERIFY(rig.engine.waitForFrames('v', 2));
    rig.engine.linkDown(0, "W1AW", "N0CALL", true);
    QVERIFY(rig.waitFor("disconnect 2"));
    QCOMPARE(rig.engine.connectionCount(), 1);

    // Direct now: the engine would call through RELAY1 again, so the request waits for a
    // fresh connection and goes out there, after its version and port queries.
    QCOMPARE(rig.control.ax25Connect(1, "N0CALL", "W1AW", {}), 3);
    QVERIFY(rig.waitFor("ready", 2));
    QVERIFY(rig.engine.waitForFrames('C'));
    QCOMPARE(rig.engine.connectionCount(), 2);
    QCOMPARE(rig.engine.received.last().kind, 'C');
    rig.engine.linkUp(0, "W1AW", "N0CALL", false);
    QVERIFY(rig.waitFor("connect 3"));
    QVERIFY(!rig.events.contains("disconnect 3"));

    // Through RELAY1 again, and called off before the fresh connection is there: it never goes.
    rig.engine.linkDown(0, "W1AW", "N0CALL");
    QVERIFY(rig.waitFor("disconnect 3"));
    QCOMPARE(rig.control.ax25Connect(1, "N0CALL", "W1AW", "RELAY1"), 4);
    QVERIFY(rig.control.ax25Disconnect(4));
    QVERIFY(rig.waitFor("ready", 3));
    QVERIFY(rig.waitFor("disconnect 4"));
    QCOMPARE(rig.engine.receivedOfKind('v').size(), 2);
}

void AgwControlTest::engineBehindAsksForAPauseUntilCaughtUp() {
    Rig rig;
    QVERIFY(rig.startReady());
    QVERIFY(rig.incomingLink());
    rig.engine.setReading(false);
    // Data goes in until the control asks for a pause, as the bridge's client would send it;
    // the kernel's buffers take megabytes first.
    const QByteArray chunk = everyByteValue(16);
    QByteArray sent;
    constexpr qsizetype kGiveUpBytes = 64 * 1024 * 1024;
    while (!rig.events.contains("behind") && sent.size() < kGiveUpBytes) {
        QVERIFY(rig.control.ax25Send(1, chunk));
        sent += chunk;
        QCoreApplication::processEvents();
    }
    QVERIFY(rig.events.contains("behind"));

    rig.engine.setReading(true);
    QVERIFY(rig.waitFor("caught up"));
    QVERIFY(rig.engine.waitForFrames('D', sent.size() / 256, 30000));
    QByteArray arrived;
    for (const AgwFrame &frame : rig.engine.receivedOfKind('D')) {
        arrived += frame.data;
    }
    QVERIFY(arrived == sent);
}

void AgwControlTest::dataIsPacedByWhatTheEngineStillHolds() {
    Rig rig;
    QVERIFY(rig.startReady());
    QVERIFY(rig.incomingLink());
    rig.engine.outstandingFrames = quint32(kAheadFrames);
    const QByteArray data = everyByteValue(kAheadFrames + 16);
    QVERIFY(rig.control.ax25Send(1, data));
    QCOMPARE(rig.control.bytesHeld(1), data.size());
    // The engine gets its frames ahead; the rest waits, and the client is asked to pause.
    QVERIFY(rig.engine.waitForFrames('D', kAheadFrames));
    QVERIFY(rig.waitFor("behind"));
    QVERIFY(rig.engine.waitForFrames('Y', 2));
    QCOMPARE(rig.engine.receivedOfKind('D').size(), kAheadFrames);
    const AgwFrame query = rig.engine.receivedOfKind('Y').first();
    QCOMPARE(query.callFrom, QByteArray("N0CALL"));
    QCOMPARE(query.callTo, QByteArray("K1ABC"));

    // It reports everything acknowledged: the rest follows, and nothing is held any more.
    rig.engine.outstandingFrames = 0;
    QVERIFY(rig.engine.waitForFrames('D', kAheadFrames + 16));
    QVERIFY(rig.waitFor("caught up"));
    QTRY_COMPARE(rig.control.bytesHeld(1), 0);
    QByteArray arrived;
    for (const AgwFrame &frame : rig.engine.receivedOfKind('D')) {
        arrived += frame.data;
    }
    QVERIFY(arrived == data);
    QVERIFY(rig.reports.isEmpty());
}

void AgwControlTest::disconnectWaitsForTheDataUnlessRepeated_data() {
    QTest::addColumn<bool>("insist");
    QTest::newRow("the data is delivered first") << false;
    QTest::newRow("a second disconnect goes at once") << true;
}

void AgwControlTest::disconnectWaitsForTheDataUnlessRepeated() {
    QFETCH(bool, insist);
    Rig rig;
    QVERIFY(rig.startReady());
    QVERIFY(rig.incomingLink());
    rig.engine.outstandingFrames = 3;
    QVERIFY(rig.control.ax25Send(1, everyByteValue(3)));
    QVERIFY(rig.control.ax25Disconnect(1));
    QVERIFY(rig.engine.waitForFrames('Y', 2));
    QVERIFY(rig.engine.receivedOfKind('d').isEmpty());
    if (insist) {
        QVERIFY(rig.control.ax25Disconnect(1));
        QVERIFY(!rig.control.ax25Send(1, "after the disconnect"));
    } else {
        rig.engine.outstandingFrames = 0;
    }
    QVERIFY(rig.waitFor("disconnect 1"));
    // Dire Wolf drops what the link still holds at the 'd', so it comes after the data.
    QCOMPARE(rig.engine.received.last().kind, 'd');
    QCOMPARE(rig.engine.receivedOfKind('D').size(), 3);
    const QList<QByteArray> lost = {"ERROR 768 bytes for K1ABC not delivered: the link went down"};
    QCOMPARE(rig.reports, insist ? lost : QList<QByteArray>{});
}

void AgwControlTest::dataALinkCanNoLongerCarryIsReported() {
    Rig rig;
    QVERIFY(rig.startReady());
    QVERIFY(rig.incomingLink());
    rig.engine.outstandingFrames = 1000;
    QVERIFY(rig.control.ax25Send(1, everyByteValue(kAheadFrames + 2)));
    QVERIFY(rig.engine.waitForFrames('Y'));
    rig.engine.linkDown(0, "K1ABC", "N0CALL", true);
    QVERIFY(rig.waitFor("disconnect 1"));
    QCOMPARE(rig.reports,
             QList<QByteArray>{"ERROR " + QByteArray::number((kAheadFrames + 2) * 256) +
                               " bytes for K1ABC not delivered: retries ran out"});
    QCOMPARE(rig.control.bytesHeld(1), 0);

    // The engine lost with data held: the same, once.
    rig.engine.linkUp(0, "K1ABC", "N0CALL", true);
    QVERIFY(rig.waitFor("connect 2"));
    QVERIFY(rig.control.ax25Send(2, "x"));
    rig.engine.dropClient();
    QVERIFY(rig.waitFor("disconnect 2"));
    QCOMPARE(rig.reports.size(), 3);
    QVERIFY(rig.reports.contains(
        "ERROR 1 bytes for K1ABC not delivered: the AGW engine connection ended"));
}

void AgwControlTest::engineWithoutOutstandingQueryGetsDataAtOnce() {
    Rig rig;
    rig.engine.answerOutstanding = false;
    QVERIFY(rig.startReady());
    QVERIFY(rig.incomingLink());
    const QByteArray data = everyByteValue(kAheadFrames + 8);
    QVERIFY(rig.control.ax25Send(1, data));
    QVERIFY(rig.engine.waitForFrames('D', kAheadFrames));
    // No answer to 'Y': after a short wait everything goes, and that is said once.
    QVERIFY(rig.engine.waitForFrames('D', kAheadFrames + 8, 10000));
    QCOMPARE(rig.reports.size(), 1);
    QVERIFY2(rig.reports[0].endsWith("does not answer the 'Y' query: data goes to it at once, "
                                     "unpaced, and FREE BYTES stays at its highest"),
             rig.reports[0]);
    QCOMPARE(rig.control.bytesHeld(1), 0);
    QVERIFY(rig.control.ax25Send(1, data));
    QCOMPARE(rig.control.bytesHeld(1), 0);
    QVERIFY(rig.engine.waitForFrames('D', 2 * (kAheadFrames + 8)));
    QCOMPARE(dataFramesJoined(rig.engine), data + data);
    // A disconnect has nothing to wait for.
    QVERIFY(rig.control.ax25Disconnect(1));
    QVERIFY(rig.waitFor("disconnect 1"));
    QCOMPARE(rig.reports.size(), 1);
}

void AgwControlTest::incomingLinkGetsItsOwnChannel() {
    Rig rig;
    QVERIFY(rig.startReady());
    QVERIFY(rig.incomingLink());
    ConnectionInfo info;
    QVERIFY(rig.control.connectionInfo(1, info));
    QCOMPARE(info.radioPort, 1);
    QCOMPARE(info.remoteCall, QByteArray("K1ABC"));
    QCOMPARE(info.ownCall, QByteArray("N0CALL"));

    // The peer reset the link: the same link goes on, no second connect event.
    rig.engine.linkUp(0, "K1ABC", "N0CALL", true);
    // Another station on the second port is a link of its own.
    rig.engine.linkUp(1, "K2XYZ-3", "N0CALL", true);
    QVERIFY(rig.waitFor("connect 2"));
    QCOMPARE(rig.events, (QList<QByteArray>{"ready", "connect 1", "connect 2"}));
    QVERIFY(rig.control.connectionInfo(2, info));
    QCOMPARE(info.radioPort, 2);

    // Data for a pair that has no link is dropped; data for each link goes to its channel.
    rig.engine.data(0, "K9ZZZ", "N0CALL", "stray");
    rig.engine.data(1, "K2XYZ-3", "N0CALL", "two");
    rig.engine.data(0, "K1ABC", "N0CALL", everyByteValue());
    QVERIFY(rig.waitFor("receive 1"));
    QCOMPARE(rig.events.mid(3), (QList<QByteArray>{"receive 2", "receive 1"}));
    QCOMPARE(rig.received, "two" + everyByteValue());

    // Requests on an incoming link go own call first, the reverse of the event.
    QVERIFY(rig.control.ax25Send(1, "hello"));
    QVERIFY(!rig.control.ax25Disconnect(7));
    QVERIFY(rig.control.ax25Disconnect(1));
    QVERIFY(rig.engine.waitForFrames('d'));
    for (const AgwFrame &frame :
         {rig.engine.receivedOfKind('D')[0], rig.engine.receivedOfKind('d')[0]}) {
        QCOMPARE(frame.callFrom, QByteArray("N0CALL"));
        QCOMPARE(frame.callTo, QByteArray("K1ABC"));
    }
    QVERIFY(rig.waitFor("disconnect 1"));
    // The link is gone: no second request, and no data for it.
    QVERIFY(!rig.control.ax25Disconnect(1));
    QVERIFY(!rig.control.ax25Send(1, "late"));
}

void AgwControlTest::soundModemIsUsedOnItsOneLivePort() {
    Rig rig;
    rig.engine.playQtSoundModem();
    QVERIFY(rig.startReady());
    // Asked on every port a sound modem has; its modem B answered, as Port1.
    for (const char kind : {'R', 'G'}) {
        QList<int> asked;
        for (const AgwFrame &frame : rig.engine.receivedOfKind(kind)) {
            asked << frame.port;
        }
        QCOMPARE(asked, (QList<int>{0, 1, 2, 3}));
    }
    rig.control.registerCall("N0CALL");
    QVERIFY(rig.waitFor("register N0CALL yes"));
    QCOMPARE(rig.engine.receivedOfKind('X').size(), 1);
    QCOMPARE(rig.engine.receivedOfKind('X').first().port, quint8(1));

    // A caller on modem B is on radio port 1, and its link is carried on B.
    rig.engine.linkUp(1, "K1ABC", "N0CALL", true);
    QVERIFY(rig.waitFor("connect 1"));
    ConnectionInfo info;
    QVERIFY(rig.control.connectionInfo(1, info));
    QCOMPARE(info.radioPort, 1);
    QCOMPARE(info.remoteCall, QByteArray("K1ABC"));
    rig.engine.data(1, "K1ABC", "N0CALL", "hello\r");
    QVERIFY(rig.waitFor("receive 1"));
    // The client writes a kilobyte at once; it goes out in frames that the engine survives.
    const QByteArray data = everyByteValue(4);
    QVERIFY(rig.control.ax25Send(1, data));
    QVERIFY(rig.engine.waitForFrames('D', data.size() / kMaxDataFrameBytes));
    QTRY_COMPARE(dataFramesJoined(rig.engine), data);
    QVERIFY(rig.engine.waitForFrames('Y'));
    for (const AgwFrame &frame : rig.engine.receivedOfKind('D') + rig.engine.receivedOfKind('Y')) {
        QCOMPARE(frame.port, quint8(1));
    }
    QTRY_COMPARE(rig.control.bytesHeld(1), 0);
    rig.engine.linkDown(1, "K1ABC", "N0CALL");
    QVERIFY(rig.waitFor("disconnect 1"));

    // A call on radio port 1 goes out on B too, as does its disconnect.
    QCOMPARE(rig.control.ax25Connect(1, "N0CALL", "W1AW", {}), 2);
    QVERIFY(rig.engine.waitForFrames('C'));
    QCOMPARE(rig.engine.receivedOfKind('C').first().port, quint8(1));
    rig.engine.linkUp(1, "W1AW", "N0CALL", false);
    QVERIFY(rig.waitFor("connect 2"));
    QVERIFY(rig.control.ax25Disconnect(2));
    QVERIFY(rig.waitFor("disconnect 2"));
    QCOMPARE(rig.engine.receivedOfKind('d').first().port, quint8(1));
    QCOMPARE(rig.events,
             (QList<QByteArray>{"ready", "register N0CALL yes", "connect 1", "receive 1",
                                "disconnect 1", "connect 2", "disconnect 2"}));
    QVERIFY(rig.reports.isEmpty());
}

void AgwControlTest::retryOutThenDisconnect_data() {
    QTest::addColumn<bool>("qtSoundModem");
    QTest::newRow("Dire Wolf's RETRYOUT text") << false;
    QTest::newRow("QtSoundModem's one text for every disconnect") << true;
}

void AgwControlTest::retryOutThenDisconnect() {
    QFETCH(bool, qtSoundModem);
    Rig rig;
    if (qtSoundModem) {
        rig.engine.playQtSoundModem();
    }
    QVERIFY(rig.startReady());
    const quint8 wirePort = qtSoundModem ? 1 : 0;
    rig.control.ax25Connect(1, "N0CALL", "W1AW", {});
    QVERIFY(rig.engine.waitForFrames('C'));
    // The call runs out of retries: it never came up, and it was not called off.
    rig.engine.linkDown(wirePort, "W1AW", "N0CALL", true);
    QVERIFY(rig.waitFor("disconnect 1"));
    QCOMPARE(rig.events, (QList<QByteArray>{"ready", "retryout 1", "disconnect 1"}));
}

void AgwControlTest::callingOffBesideOtherLinksKeepsThem() {
    Rig rig;
    QVERIFY(rig.startReady() && rig.incomingLink());
    // As Dire Wolf, the engine ignores a 'd' while it calls.
    rig.engine.answerDisconnects = false;
    QCOMPARE(rig.control.ax25Connect(1, "N0CALL", "W1AW", {}), 2);
    QVERIFY(rig.engine.waitForFrames('C'));
    QVERIFY(rig.control.ax25Disconnect(2));
    QVERIFY(rig.waitFor("disconnect 2"));
    QVERIFY(rig.engine.waitForFrames('d'));
    QCOMPARE(rig.engine.received.last().callTo, QByteArray("W1AW"));

    // The engine calls on and the station answers: the link goes down again unseen.
    rig.engine.linkUp(0, "W1AW", "N0CALL", false);
    QVERIFY(rig.engine.waitForFrames('d', 2));
    rig.engine.linkDown(0, "W1AW", "N0CALL", false);
    QVERIFY(rig.control.ax25Send(1, "still here"));
    QVERIFY(rig.engine.waitForFrames('D'));
    QCOMPARE(rig.engine.connectionCount(), 1);
    QCOMPARE(rig.events, (QList<QByteArray>{"ready", "connect 1", "disconnect 2"}));
}

void AgwControlTest::linksBeyondTheLimitAreRefused() {
    Rig rig;
    QVERIFY(rig.startReady());
    constexpr int kLimit = 64;
    for (int i = 1; i <= kLimit + 1; ++i) {
        rig.engine.linkUp(0, "K" + QByteArray::number(i), "N0CALL", true);
    }
    QVERIFY(rig.engine.waitForFrames('d'));
    QCOMPARE(rig.engine.receivedOfKind('d').first().callTo, "K" + QByteArray::number(kLimit + 1));
    QCOMPARE(rig.events.count(), 1 + kLimit);
    QCOMPARE(rig.reports, QList<QByteArray>{"ERROR incoming link from K65 refused: too many links "
                                            "open"});
}

void AgwControlTest::frameKindsTheControlDoesNotUseAreSkipped() {
    Rig rig;
    QVERIFY(rig.startReady());
    AgwFrame monitor;
    monitor.kind = 'U';
    monitor.data = "monitored frame text";
    AgwFrame unknown;
    unknown.kind = 'Z';
    AgwFrame link;
    link.kind = 'C';
    link.callFrom = "K1ABC";
    link.callTo = "N0CALL";
    // Three frames in one write, the one that matters last.
    rig.engine.sendBytes(encodeAgwFrame(monitor) + encodeAgwFrame(unknown) + encodeAgwFrame(link));
    QVERIFY(rig.waitFor("connect 1"));
    QVERIFY(rig.reports.isEmpty());
}

void AgwControlTest::engineDownAtStartIsReportedOnceAndUsedWhenItComes() {
    Rig rig;
    const quint16 port = freeLoopbackPort();
    rig.switchOn(port);
    QTRY_COMPARE(rig.reports.size(), 1);
    QCOMPARE(rig.reports[0],
             "ERROR AGW engine 127.0.0.1:" + QByteArray::number(port) + ": Connection refused");

    QVERIFY(rig.engine.start(port));
    QVERIFY(rig.waitFor("ready", 1, kReconnectWaitMs));
    QCOMPARE(rig.reports.size(), 1);
}

void AgwControlTest::failingEngineIsNotReportedOnEveryAttempt() {
    Rig rig;
    rig.engine.answerQueries = false;
    // Every connection breaks in a new way: a different absurd length each time.
    QObject::connect(&rig.engine, &TestEngine::frameReceived, [&rig](const AgwFrame &frame) {
        if (frame.kind == 'G') {
            QByteArray header = encodeAgwFrame(AgwFrame{});
            qToLittleEndian(quint32(kAgwMaxDataLength + rig.engine.connectionCount()),
                            header.data() + 28);
            rig.engine.sendBytes(header);
        }
    });
    QVERIFY(rig.engine.start());
    rig.switchOn(rig.engine.port());
    QTRY_VERIFY_WITH_TIMEOUT(rig.engine.connectionCount() >= 5, 4 * kReconnectWaitMs);
    QCOMPARE(rig.reports.size(), 3);
    QVERIFY(rig.reports[0].startsWith("ERROR AGW engine 127.0.0.1:"));
    QVERIFY(rig.reports[0].contains("65537"));
    QVERIFY(rig.events.isEmpty());
}

void AgwControlTest::silentEngineIsGivenUpAndTriedAgain() {
    Rig rig;
    rig.engine.answerQueries = false;
    QVERIFY(rig.engine.start());
    rig.switchOn(rig.engine.port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.reports.size(), 1, kReconnectWaitMs);
    QVERIFY2(rig.reports[0].endsWith(": no answer to the version and port queries within 3 s"),
             rig.reports[0]);
    rig.engine.answerQueries = true;
    QVERIFY(rig.waitFor("ready", 1, kReconnectWaitMs));
    QVERIFY(rig.engine.connectionCount() >= 2);
}

void AgwControlTest::engineThatVanishesIsNoticedByKeepalive() {
    Rig rig;
    QVERIFY(rig.startReady());
    QCOMPARE(keepAliveTowards(rig.engine.port()), kQuickKeepAlive);
}

void AgwControlTest::engineLostMidLinkTakesTheLinkDownAndComesBack() {
    Rig rig;
    QVERIFY(rig.startReady());
    QVERIFY(rig.incomingLink());
    rig.engine.dropClient();
    QVERIFY(rig.waitFor("disconnect 1"));
    QCOMPARE(rig.reports.size(), 1);
    QVERIFY(rig.reports[0].startsWith("ERROR AGW engine 127.0.0.1:"));
    QVERIFY(!rig.control.ax25Send(1, "gone"));

    QVERIFY(rig.waitFor("ready", 2, kReconnectWaitMs));
    // Registrations died with the connection; the own callsign can be registered again.
    rig.control.registerCall("N0CALL");
    QVERIFY(rig.waitFor("register N0CALL yes"));
    // A link on the new connection gets a new channel id.
    rig.engine.linkUp(0, "K1ABC", "N0CALL", true);
    QVERIFY(rig.waitFor("connect 2"));
}

void AgwControlTest::engineStateFollowsTheConnection() {
    using State = PacketEngine::EngineState;
    Rig rig;
    QList<State> states;
    QObject::connect(&rig.control, &PacketEngine::engineStateChanged,
                     [&] { states << rig.control.engineState(); });
    QCOMPARE(rig.control.engineState(), State::Off);
    const quint16 port = freeLoopbackPort();
    rig.switchOn(port);
    QCOMPARE(rig.control.engineAddress(), "127.0.0.1:" + QByteArray::number(port));
    QVERIFY(states.isEmpty()); // raised from the event loop, not inside the operation

    // Unreachable through the attempts that follow, until the engine is ready.
    QTRY_COMPARE(states, (QList<State>{State::Connecting, State::Unreachable}));
    QVERIFY(rig.engine.start(port));
    QVERIFY(rig.waitFor("ready", 1, kReconnectWaitMs));
    QCOMPARE(states.last(), State::Ready);
    QCOMPARE(states.size(), 3);

    rig.engine.dropClient();
    QVERIFY(rig.waitFor("ready", 2, kReconnectWaitMs));
    rig.control.setActive(false);
    QVERIFY(rig.waitFor("closed"));
    QCOMPARE(states, (QList<State>{State::Connecting, State::Unreachable, State::Ready,
                                   State::Unreachable, State::Ready, State::Off}));
}

void AgwControlTest::absurdDataLengthDropsTheConnection() {
    Rig rig;
    QVERIFY(rig.startReady());
    QVERIFY(rig.incomingLink());
    QByteArray header = encodeAgwFrame(AgwFrame{0, 'D', 0, "K1ABC", "N0CALL", {}});
    header[28] = '\xFF';
    header[29] = '\xFF';
    header[30] = '\xFF';
    header[31] = '\x7F';
    rig.engine.sendBytes(header + "whatever follows");
    QVERIFY(rig.waitFor("disconnect 1"));
    QCOMPARE(rig.reports.size(), 1);
    QVERIFY2(rig.reports[0].endsWith("a frame announces 2147483647 data bytes, more than 65536: "
                                     "the stream is out of step"),
             rig.reports[0]);
    QVERIFY(rig.waitFor("ready", 2, kReconnectWaitMs));
    QCOMPARE(rig.engine.connectionCount(), 2);
}

void AgwControlTest::switchingOffTakesLinksDownFirst_data() {
    QTest::addColumn<bool>("engineConfirms");
    QTest::newRow("engine confirms the disconnect") << true;
    QTest::newRow("engine stays silent") << false;
}

void AgwControlTest::switchingOffTakesLinksDownFirst() {
    QFETCH(bool, engineConfirms);
    Rig rig;
    rig.engine.answerDisconnects = engineConfirms;
    QVERIFY(rig.startReady());
    QVERIFY(rig.incomingLink());
    // The engine has not yet delivered the last line: the short wait does not wait for it.
    rig.engine.outstandingFrames = 1;
    QVERIFY(rig.control.ax25Send(1, "last line\r"));
    rig.control.setActive(false);
    QVERIFY(rig.engine.waitForFrames('d'));
    QCOMPARE(rig.engine.receivedOfKind('d').first().callTo, QByteArray("K1ABC"));
    QVERIFY(rig.waitFor("closed"));
    QCOMPARE(rig.events.mid(2), (QList<QByteArray>{"disconnect 1", "closed"}));
    QCOMPARE(rig.reports,
             QList<QByteArray>{"ERROR 10 bytes for K1ABC not delivered: Varnel is shutting down"});
    QTRY_VERIFY(!rig.engine.hasClient());
}

void AgwControlTest::switchingOffWithoutConnectionStillCloses() {
    Rig rig;
    rig.control.setActive(false);
    QVERIFY(rig.events.isEmpty());
    QVERIFY(rig.waitFor("closed"));
}

void AgwControlTest::callerDuringSwitchingOffIsTakenDownToo() {
    Rig rig;
    rig.engine.answerDisconnects = false;
    QVERIFY(rig.startReady());
    QVERIFY(rig.incomingLink());
    rig.control.setActive(false);
    QVERIFY(rig.engine.waitForFrames('d'));
    rig.engine.linkUp(0, "K2XYZ", "N0CALL", true);
    QVERIFY(rig.engine.waitForFrames('d', 2));
    QCOMPARE(rig.engine.receivedOfKind('d').last().callTo, QByteArray("K2XYZ"));
    // The late caller is never announced as connected; the wait covers its disconnect too.
    rig.engine.linkDown(0, "K1ABC", "N0CALL");
    QVERIFY(rig.waitFor("disconnect 1"));
    QVERIFY(rig.engine.hasClient());
    rig.engine.linkDown(0, "K2XYZ", "N0CALL");
    QVERIFY(rig.waitFor("closed"));
    QCOMPARE(rig.events,
             (QList<QByteArray>{"ready", "connect 1", "disconnect 1", "disconnect 2", "closed"}));
}

QTEST_GUILESS_MAIN(AgwControlTest)
#include "test_agwcontrol.moc"
