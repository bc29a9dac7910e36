// The whole path: a headless varnel process between the test engine and a KAM client on
// loopback. The client resets the KAM into host mode, connects, exchanges data, disconnects;
// then the program is stopped and must take its leave of the engine properly.
#include "client/hostcodec.h"
#include "support/kamclient.h"
#include "support/loopback.h"
#include "support/programtest.h"
#include "support/testengine.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>

#include <csignal>

namespace {

QString varnelPath;

constexpr int kTimeoutMs = 10000;
// Under Wine (tests/windows) a program takes seconds to start, more on a busy machine.
constexpr int kStartTimeoutMs = 60000;

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

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void resetConnectDataBothWaysDisconnect();
};

void EndToEndTest::resetConnectDataBothWaysDisconnect() {
    TestEngine engine;
    QVERIFY(engine.start());
    const quint16 listenPort = freeLoopbackPort();

    QProcess varnel;
    varnel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QByteArray fields =
        "N0CALL,1,true," + QByteArray::number(engine.port()) + "," + QByteArray::number(listenPort);
    varnel.start(varnelPath, {QStringLiteral("--headless"), QString::fromLatin1(fields)});
    QVERIFY(varnel.waitForStarted());
    auto stopped = qScopeGuard([&] {
        if (varnel.state() != QProcess::NotRunning) {
            varnel.kill();
            varnel.waitForFinished();
        }
    });

    QVERIFY(engine.waitForFrames('X', 1, kStartTimeoutMs));
    QCOMPARE(engine.receivedOfKind('X').first().callFrom, QByteArray("N0CALL"));

    KamClient client;
    QVERIFY(client.connectTo(listenPort));
    client.write("RESET\r");
    QVERIFY(client.expect("\300\300S00\300"));

    client.write(block("C1AC W1AW"));
    QVERIFY(client.expect(block("C00")));
    QVERIFY(engine.waitForFrames('C', 1, kTimeoutMs));
    const AgwFrame connect = engine.receivedOfKind('C').first();
    QCOMPARE(connect.callFrom, QByteArray("N0CALL"));
    QCOMPARE(connect.callTo, QByteArray("W1AW"));

    engine.linkUp(0, "W1AW", "N0CALL", false);
    QVERIFY(client.expect(block("S1A*** CONNECTED to W1AW")));

    client.write(block("D1A" + hostcodec::escape(everyByteValue())));
    QVERIFY(engine.waitForFrames('D', 1, kTimeoutMs));
    QCOMPARE(engine.receivedOfKind('D').first().data, everyByteValue());

    engine.data(0, "W1AW", "N0CALL", everyByteValue());
    QVERIFY(client.expect(block("D1A" + hostcodec::escape(everyByteValue()))));

    client.write(block("C1AD"));
    QVERIFY(client.expect(block("C00")));
    QVERIFY(engine.waitForFrames('d', 1, kTimeoutMs));
    QVERIFY(client.expect(block("S1A*** DISCONNECTED")));

    // Stopped, the program withdraws its callsign and closes its engine connection.
    ::kill(varnel.processId(), SIGTERM);
    QVERIFY(varnel.waitForFinished(kTimeoutMs));
    QCOMPARE(varnel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(varnel.exitCode(), 0);
    QTRY_VERIFY(!engine.hasClient());
    QVERIFY(engine.waitForFrames('x'));
    QCOMPARE(engine.receivedOfKind('x').first().callFrom, QByteArray("N0CALL"));

    // Line ends are the platform's: CR LF from the Windows build.
    const QByteArray log = varnel.readAllStandardOutput().replace("\r\n", "\n");
    QVERIFY2(log.contains("EVENT: PE is ready\nAGWPE version 2005.127\n"), log.constData());
    QVERIFY2(!log.contains("ERROR"), log.constData());
}

int main(int argc, char **argv) {
    return runProgramTest<EndToEndTest>(argc, argv, varnelPath);
}
#include "test_endtoend.moc"
