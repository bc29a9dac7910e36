// The client connection over real loopback TCP: the terminal dialogue, how host-mode arrivals
// are cut into blocks, one client at a time, what outlives a client, listening failures, and
// bounded memory under floods, slow readers and random streams.
#include "client/hostblockcutter.h"
#include "support/bridgefixture.h"
#include "support/keepalivesettings.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {

const QByteArray F = "\300";

QByteArray block(const QByteArray &content) {
    return F + content + F;
}

const QByteArray kStatusDisconnected = block("C00FREE BYTES 10240\rA/V DISCONNECTED\r");

} // namespace

class ClientConnectionTest : public QObject {
    Q_OBJECT
private slots:
    void terminalDialogueLeadsToHostMode();
    void hostArrivalsAreCutIntoBlocks_data();
    void hostArrivalsAreCutIntoBlocks();
    void secondClientIsRefusedAndFirstUndisturbed();
    void clientThatVanishesIsNoticedByKeepalive();
    void nextClientFindsModeBufferAndLink();
    void floodIsDroppedAndTheNextBlockAnswered_data();
    void floodIsDroppedAndTheNextBlockAnswered();
    void overLongBlockIsDroppedHoweverItArrives_data();
    void overLongBlockIsDroppedHoweverItArrives();
    void slowClientGetsEveryReplyInOrder();
    void requestsWaitWhileTheEngineIsBehind();
    void clientThatStopsReadingIsDropped();
    void listenFailureIsFatalAndSaysWhy_data();
    void listenFailureIsFatalAndSaysWhy();
    void relistenFailureIsFatal();
    void randomStreamsKeepTheBufferBounded();
};

void ClientConnectionTest::terminalDialogueLeadsToHostMode() {
    BridgeFixture fixture;
    QTcpSocket &client = fixture.client;
    QVERIFY(fixture.connectClient(client));
    const QList<std::pair<QByteArray, QByteArray>> dialogue = {
        {"\r", "cmd:\r"},
        {"\x03 X", "cmd:\r"},
        {"*", "ENTER YOUR CALLSIGN=>\rcmd:"},
        {"F00BAR\r\r", "MYCALL now F00BAR\rcmd:"},
        {"\rINTFACE HOST\r", "INTFACE was TERMINAL\rcmd:"},
        {"RESET\r", "\300\300S00\300"},
        // A terminal request now is a host-mode block.
        {block("C20S"), kStatusDisconnected},
    };
    for (const auto &[request, reply] : dialogue) {
        client.write(request);
        QCOMPARE(BridgeFixture::receive(client, reply.size()), reply);
    }
}

void ClientConnectionTest::hostArrivalsAreCutIntoBlocks_data() {
    QTest::addColumn<QByteArrayList>("arrivals");
    QTest::addColumn<QByteArray>("replies");

    const QByteArray c00 = block("C00");
    QTest::newRow("block split over two arrivals")
        << QByteArrayList{F + "C2", "0S" + F} << kStatusDisconnected;
    QTest::newRow("two blocks in one arrival")
        << QByteArrayList{block("C20S") + block("?")} << kStatusDisconnected + c00;
    QTest::newRow("FEND FEND opens one block")
        << QByteArrayList{F + block("C20S")} << kStatusDisconnected;
    QTest::newRow("a shared FEND opens no block")
        << QByteArrayList{block("C20S") + "?" + F, block("C20ECHO ON")}
        << kStatusDisconnected + c00;
    QTest::newRow("leading garbage")
        << QByteArrayList{"abc" + block("C20S")} << kStatusDisconnected;
    // The terminal mode knows no host blocks, the quit block included.
    QTest::newRow("quit: the rest is terminal mode's")
        << QByteArrayList{block("q") + block("C1AD"), block("q")}
        << QByteArray("INTFACE was HOST\rcmd:\rEH?EH?EH?");
}

void ClientConnectionTest::hostArrivalsAreCutIntoBlocks() {
    QFETCH(QByteArrayList, arrivals);
    QFETCH(QByteArray, replies);

    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    for (const QByteArray &arrival : arrivals) {
        QVERIFY(fixture.deliver(fixture.client, arrival));
    }
    const QByteArray probeReply = fixture.probe();
    QCOMPARE(BridgeFixture::receive(fixture.client, replies.size() + probeReply.size()),
             replies + probeReply);
}

void ClientConnectionTest::secondClientIsRefusedAndFirstUndisturbed() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QTcpSocket second;
    QSignalSpy refused(&second, &QTcpSocket::errorOccurred);
    second.connectToHost(QHostAddress::LocalHost, fixture.port);
    QVERIFY(refused.wait(BridgeFixture::kTimeoutMs));
    QCOMPARE(second.error(), QAbstractSocket::ConnectionRefusedError);

    fixture.client.write("\r");
    QCOMPARE(BridgeFixture::receive(fixture.client, 5), "cmd:\r");
}

void ClientConnectionTest::clientThatVanishesIsNoticedByKeepalive() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QCOMPARE(keepAliveTowards(fixture.client.localPort()), kQuickKeepAlive);
}

void ClientConnectionTest::nextClientFindsModeBufferAndLink() {
    BridgeFixture fixture;
    QVERIFY(fixture.hostModeWithLinkUp("W1AW"));
    QVERIFY(fixture.deliver(fixture.client, F + "C2"));
    fixture.engine.calls.clear();

    fixture.client.disconnectFromHost();
    QTRY_VERIFY(fixture.frontEnd.lines.contains("client disconnect winsock close"));
    QTcpSocket next;
    QVERIFY(fixture.connectClient(next));
    next.write("0S" + F);
    const QByteArray status = block("C00FREE BYTES 10240\rA/V CONNECTED to W1AW\r");
    QCOMPARE(BridgeFixture::receive(next, status.size()), status);
    QCOMPARE(fixture.engine.calls, QByteArrayList{});
}

void ClientConnectionTest::floodIsDroppedAndTheNextBlockAnswered_data() {
    QTest::addColumn<QByteArray>("floodStart");
    QTest::addColumn<int>("blockErrors");
    QTest::newRow("outside any block") << QByteArray() << 0;
    QTest::newRow("a block never closed") << F << 1;
}

void ClientConnectionTest::floodIsDroppedAndTheNextBlockAnswered() {
    QFETCH(QByteArray, floodStart);
    QFETCH(int, blockErrors);

    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QVERIFY(fixture.enterHostMode());
    constexpr qsizetype kFloodBytes = 10 * 1024 * 1024;
    fixture.client.write(floodStart + QByteArray(kFloodBytes, 'a') + block("C20S"));
    QCOMPARE(BridgeFixture::receive(fixture.client, kStatusDisconnected.size()),
             kStatusDisconnected);
    QVERIFY(fixture.bridge.state().clientBuffer.isEmpty());
    const auto isBlockError = [](const QByteArray &line) { return line.startsWith("BLOCK ERROR"); };
    QCOMPARE(
        std::count_if(fixture.frontEnd.lines.cbegin(), fixture.frontEnd.lines.cend(), isBlockError),
        blockErrors);
}

void ClientConnectionTest::overLongBlockIsDroppedHoweverItArrives_data() {
    QTest::addColumn<qsizetype>("dataSize");
    QTest::addColumn<qsizetype>("pieceSize"); // 0: the whole stream in one arrival
    QTest::addColumn<bool>("carried");
    // F + "D1A" + data is the unfinished block; the longest that may wait is one byte short of
    // 32 KiB.
    const qsizetype longest = kMaxPendingClientBytes - 4;
    QTest::newRow("longest, at once") << longest << qsizetype(0) << true;
    QTest::newRow("longest, in pieces") << longest << qsizetype(1000) << true;
    QTest::newRow("a byte more, at once") << longest + 1 << qsizetype(0) << false;
    QTest::newRow("a byte more, in pieces") << longest + 1 << qsizetype(1000) << false;
    QTest::newRow("40000 bytes at once") << qsizetype(40000) << qsizetype(0) << false;
    QTest::newRow("40000 bytes, the FEND with the second piece")
        << qsizetype(40000) << qsizetype(30000) << false;
    QTest::newRow("40000 bytes in small pieces") << qsizetype(40000) << qsizetype(1000) << false;
}

void ClientConnectionTest::overLongBlockIsDroppedHoweverItArrives() {
    QFETCH(qsizetype, dataSize);
    QFETCH(qsizetype, pieceSize);
    QFETCH(bool, carried);
    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    Bridge bridge(frontEnd, engine, BridgeOptions());
    bridge.initState();
    bridge.state().hostMode = 1;
    BridgeFixture::setLinkUp(bridge);

    const QByteArray data(dataSize, 'd');
    const QByteArray stream = block("D1A" + data) + block("D1Aafter");
    for (qsizetype at = 0; at<stream.size(); at += pieceSize> 0 ? pieceSize : stream.size()) {
        bridge.dispatchClientData(stream.mid(at, pieceSize > 0 ? pieceSize : -1));
    }
    const QByteArrayList sent = carried ? QByteArrayList{data, "after"} : QByteArrayList{"after"};
    QCOMPARE(engine.sentData, sent);
    const auto isDropLine = [](const QByteArray &line) {
        return line.startsWith("BLOCK ERROR no closing FEND within 32767 bytes; dropped ");
    };
    QCOMPARE(std::count_if(frontEnd.lines.cbegin(), frontEnd.lines.cend(), isDropLine),
             carried ? 0 : 1);
    QVERIFY(bridge.state().clientBuffer.isEmpty());
}

void ClientConnectionTest::slowClientGetsEveryReplyInOrder() {
    BridgeFixture fixture;
    QTcpSocket &client = fixture.client;
    QVERIFY(fixture.connectClient(client));
    QVERIFY(fixture.enterHostMode());
    // The client reads little at a time, so replies back up in the bridge.
    client.setReadBufferSize(16 * 1024);
    constexpr int kRequests = 100000;
    QByteArray requests;
    QByteArray expected;
    for (int i = 0; i < kRequests; ++i) {
        const bool status = i % 2 == 0;
        requests += status ? block("C20S") : block("?");
        expected += status ? kStatusDisconnected : block("C00");
    }
    client.write(requests);
    QByteArray received;
    QVERIFY(QTest::qWaitFor(
        [&] {
            received += client.readAll();
            return received.size() >= expected.size();
        },
        60000));
    QCOMPARE(received.size(), expected.size());
    QVERIFY(received == expected);
}

void ClientConnectionTest::requestsWaitWhileTheEngineIsBehind() {
    BridgeFixture fixture;
    QVERIFY(fixture.hostModeWithLinkUp());

    emit fixture.engine.backlogChanged(true);
    // The next client, too, is held: the engine is still behind.
    fixture.client.disconnectFromHost();
    QTRY_VERIFY(fixture.frontEnd.lines.contains("client disconnect winsock close"));
    QTcpSocket next;
    QVERIFY(fixture.connectClient(next));
    next.write(block("D1Afirst") + block("D1Asecond"));
    QTest::qWait(200);
    QCOMPARE(fixture.engine.sentData, QByteArrayList{});

    emit fixture.engine.backlogChanged(false);
    QTRY_COMPARE(fixture.engine.sentData, (QByteArrayList{"first", "second"}));
}

void ClientConnectionTest::clientThatStopsReadingIsDropped() {
    BridgeFixture fixture;
    QTcpSocket &client = fixture.client;
    QVERIFY(fixture.hostModeWithLinkUp());
    client.setReadBufferSize(4096);

    // Radio data keeps coming while the client reads nothing.
    const auto dropped = [&] {
        return std::any_of(fixture.frontEnd.lines.cbegin(), fixture.frontEnd.lines.cend(),
                           [](const QByteArray &line) {
                               return line.startsWith("Winsock Error client not reading");
                           });
    };
    const QByteArray data(2000, 'x');
    for (qsizetype sent = 0; !dropped() && sent < 64 * 1024 * 1024; sent += data.size()) {
        emit fixture.engine.OnAX25Receive(1, data);
        QCoreApplication::processEvents();
    }
    QVERIFY(dropped());
    QTRY_VERIFY(fixture.frontEnd.lines.contains("client disconnect winsock close"));

    // The link and host mode are still there for the next client.
    QTcpSocket next;
    QVERIFY(fixture.connectClient(next));
    next.write(block("C20S"));
    const QByteArray status = block("C00FREE BYTES 10240\rA/V CONNECTED to \r");
    QCOMPARE(BridgeFixture::receive(next, status.size()), status);
}

void ClientConnectionTest::listenFailureIsFatalAndSaysWhy_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("port"); // command-line field; "taken" for a port in use
    QTest::addColumn<QByteArray>("named");

    QTest::newRow("port in use") << "127.0.0.1" << QByteArray("taken") << QByteArray("127.0.0.1");
    QTest::newRow("port 0") << "127.0.0.1" << QByteArray("0") << QByteArray("port 0");
    QTest::newRow("port past 65535")
        << "127.0.0.1" << QByteArray("65536") << QByteArray("port 65536");
    QTest::newRow("port 1e20") << "127.0.0.1" << QByteArray("1e20") << QByteArray("port 1e+20");
    QTest::newRow("address not local")
        << "192.0.2.1" << QByteArray("8100") << QByteArray("192.0.2.1 port 8100");
}

void ClientConnectionTest::listenFailureIsFatalAndSaysWhy() {
    QFETCH(QString, address);
    QFETCH(QByteArray, port);
    QFETCH(QByteArray, named);

    QTcpServer occupant;
    if (port == "taken") {
        QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
        port = QByteArray::number(occupant.serverPort());
        named += " port " + port;
    }
    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    BridgeOptions options;
    options.commandLine = "N0CALL,1,true,8000," + port;
    options.listenAddress = QHostAddress(address);
    Bridge bridge(frontEnd, engine, options);
    bridge.Form_Load();
    QCOMPARE(frontEnd.fatalErrors.size(), 1);
    const QByteArray message = frontEnd.fatalErrors.first();
    QVERIFY2(message.startsWith("ERROR") && message.contains(named), message);
    QCOMPARE(frontEnd.lines.last(), message);
}

void ClientConnectionTest::relistenFailureIsFatal() {
    BridgeFixture fixture;
    QVERIFY(fixture.connectClient(fixture.client));
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost, fixture.port));
    fixture.client.disconnectFromHost();
    QTRY_COMPARE(fixture.frontEnd.fatalErrors.size(), 1);
    QVERIFY(fixture.frontEnd.fatalErrors.first().startsWith(
        "ERROR cannot listen on 127.0.0.1 port " + QByteArray::number(fixture.port)));
}

void ClientConnectionTest::randomStreamsKeepTheBufferBounded() {
    RecorderFrontEnd frontEnd;
    FakeEngine engine;
    Bridge bridge(frontEnd, engine, BridgeOptions());
    bridge.initState();
    // Pieces that steer the bridge through both modes, the link commands and the bound.
    const QByteArrayList pieces = {
        F,          "\333",        "q",    "?",       "C1AC X V Y", "C1AD",
        "C1AMY Z",  "D1A\333\334", "C20S", "RESET\r", "\r",         QByteArray(20000, 'a'),
        "\xff\x00z"};
    QRandomGenerator random(1);
    for (int arrival = 0; arrival < 3000; ++arrival) {
        QByteArray bytes;
        for (int n = random.bounded(8); n >= 0; --n) {
            bytes += pieces[random.bounded(int(pieces.size()))];
        }
        bridge.dispatchClientData(bytes);
        QVERIFY(bridge.state().clientBuffer.size() <= kMaxPendingClientBytes);
    }
}

QTEST_GUILESS_MAIN(ClientConnectionTest)
#include "test_clientconnection.moc"
