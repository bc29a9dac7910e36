// The station's status as the bridge hands it to the front end, driven by the bridge's own
// events: the engine connection in each of its states, the client coming and going, a link from
// its connect request to its end with data waiting on the way, and start-up failures.
#include "support/bridgefixture.h"

#include "client/hostcodec.h"

#include <QTest>

using EngineState = PacketEngine::EngineState;

class StationStatusTest : public QObject {
    Q_OBJECT
private slots:
    void engineStates_data();
    void engineStates();
    void clientAndModeFollowTheClient();
    void linksFromRequestToEndWithDataWaiting();
    void startUpFailuresAreTheProblem_data();
    void startUpFailuresAreTheProblem();
    void anUnchangedStatusIsNotPassedOnAgain();
};

void StationStatusTest::engineStates_data() {
    QTest::addColumn<EngineState>("state");
    QTest::addColumn<QByteArray>("engine");
    QTest::addColumn<QByteArray>("problem");
    QTest::newRow("off") << EngineState::Off << QByteArray("off") << QByteArray();
    QTest::newRow("connecting") << EngineState::Connecting
                                << QByteArray("connecting to 127.0.0.1:8000") << QByteArray();
    QTest::newRow("unreachable") << EngineState::Unreachable
                                 << QByteArray("NOT REACHABLE at 127.0.0.1:8000, trying again")
                                 << QByteArray("the packet engine is not reachable");
    QTest::newRow("ready") << EngineState::Ready
                           << QByteArray("ready at 127.0.0.1:8000, version 2005.127")
                           << QByteArray();
}

void StationStatusTest::engineStates() {
    QFETCH(EngineState, state);
    QFETCH(QByteArray, engine);
    QFETCH(QByteArray, problem);
    BridgeFixture fixture;
    // From another state, so that the change is one.
    fixture.engine.setEngineState(state == EngineState::Ready ? EngineState::Connecting
                                                              : EngineState::Ready);
    fixture.engine.setEngineState(state);
    QCOMPARE(fixture.frontEnd.statuses.last().engine, engine);
    QCOMPARE(fixture.frontEnd.statuses.last().problem, problem);
}

void StationStatusTest::clientAndModeFollowTheClient() {
    BridgeFixture fixture;
    const QByteArray listening = "listening on 127.0.0.1:" + QByteArray::number(fixture.port);
    QCOMPARE(fixture.frontEnd.statuses.last().client, listening + ", terminal mode");

    QVERIFY(fixture.connectClient());
    const QByteArray connected =
        "connected from 127.0.0.1:" + QByteArray::number(fixture.client.localPort());
    QCOMPARE(fixture.frontEnd.statuses.last().client, connected + ", terminal mode");

    QVERIFY(fixture.deliver(fixture.client, "RESET\r"));
    QCOMPARE(fixture.frontEnd.statuses.last().client, connected + ", host mode");

    // The mode outlives the client.
    fixture.client.disconnectFromHost();
    QTRY_COMPARE(fixture.frontEnd.statuses.last().client, listening + ", host mode");
}

void StationStatusTest::linksFromRequestToEndWithDataWaiting() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient());
    QVERIFY(fixture.deliver(fixture.client, "RESET\r"));
    const auto shown = [&] { return fixture.frontEnd.statuses.last(); };
    QCOMPARE(shown().links, QByteArray("none"));
    QCOMPARE(shown().data, QByteArray("no link, FREE BYTES 10240"));

    QVERIFY(fixture.deliver(fixture.client, hostcodec::frame("C1AC W1AW-7")));
    QCOMPARE(shown().links, QByteArray("A/V W1AW-7 connect in progress, 0 bytes waiting"));

    fixture.engine.infoToReport.remoteCall = "W1AW-7";
    emit fixture.engine.OnAX25Connect(1);
    const QByteArray linkA = "A/V W1AW-7 connected, outgoing, ";
    QCOMPARE(shown().links, linkA + "0 bytes waiting");

    // A second link is shown beside the first, in stream order.
    fixture.engine.nextChannelId = 2;
    QVERIFY(fixture.deliver(fixture.client, hostcodec::frame("C2BC K2XYZ")));
    QCOMPARE(shown().links,
             linkA + "0 bytes waiting\nB/H K2XYZ connect in progress, 0 bytes waiting");
    emit fixture.engine.OnAX25Disconnect(2);
    QCOMPARE(shown().links, linkA + "0 bytes waiting");

    fixture.engine.heldBytes = 120;
    QVERIFY(fixture.deliver(fixture.client, hostcodec::frame("D1Ahello")));
    QCOMPARE(shown().links, linkA + "120 bytes waiting");
    QCOMPARE(shown().data, QByteArray("120 bytes waiting to be delivered, FREE BYTES 10120"));
    // Delivered without an event the bridge hears: the status catches up by itself.
    fixture.engine.heldBytes = 0;
    QTRY_COMPARE(shown().data, QByteArray("0 bytes waiting to be delivered, FREE BYTES 10240"));

    QVERIFY(fixture.deliver(fixture.client, hostcodec::frame("C1AD")));
    QCOMPARE(shown().links, QByteArray("A/V W1AW-7 disconnect in progress, 0 bytes waiting"));
    emit fixture.engine.OnAX25Disconnect(1);
    QCOMPARE(shown().links, QByteArray("none"));
    QCOMPARE(shown().problem, QByteArray());
}

void StationStatusTest::startUpFailuresAreTheProblem_data() {
    QTest::addColumn<bool>("listenPortTaken");
    QTest::addColumn<QByteArray>("enginePort");
    QTest::newRow("listen port taken") << true << QByteArray("8000");
    QTest::newRow("engine port out of range") << false << QByteArray("70000");
    QTest::newRow("both") << true << QByteArray("70000");
}

void StationStatusTest::startUpFailuresAreTheProblem() {
    QFETCH(bool, listenPortTaken);
    QFETCH(QByteArray, enginePort);
    BridgeFixture fixture("N0CALL,1,true," + enginePort, BridgeFixture::Load::Unloaded);
    QTcpServer squatter;
    QVERIFY(!listenPortTaken || squatter.listen(QHostAddress::LocalHost, fixture.port));
    fixture.bridge.Form_Load();

    const StationStatus &shown = fixture.frontEnd.statuses.last();
    QCOMPARE(shown.problem, fixture.frontEnd.fatalErrors.join("; "));
    QCOMPARE(fixture.frontEnd.fatalErrors.size(), int(listenPortTaken) + int(enginePort != "8000"));
    QCOMPARE(shown.engine, QByteArray("off"));
    QCOMPARE(shown.client.startsWith("not listening"), listenPortTaken);
}

void StationStatusTest::anUnchangedStatusIsNotPassedOnAgain() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient());
    const qsizetype passedOn = fixture.frontEnd.statuses.size();
    fixture.engine.setEngineState(EngineState::Off);
    emit fixture.engine.OnAX25Disconnect(9);
    QVERIFY(fixture.deliver(fixture.client, "\r"));
    QCOMPARE(fixture.frontEnd.statuses.size(), passedOn);
}

QTEST_GUILESS_MAIN(StationStatusTest)
#include "test_stationstatus.moc"
