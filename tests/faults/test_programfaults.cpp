// Faults met by the real program, headless between the test engine and a KAM client: a listen
// port already taken, a client flooding without FEND, an engine talking garbage and an engine
// restarted during a link. Each ends in a clear outcome, with nothing lost that could be kept.
#include "faults/procstats.h"
#include "support/programtest.h"
#include "support/varnelrig.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QtEndian>

namespace {

QString varnelPath;

// A 10 MB flood must leave varnel well inside this: it holds at most one arrival and one
// unfinished block of the client's bytes.
constexpr qint64 kMaxFloodResidentKiB = 50 * 1024;

const QByteArray kStatusConnected = "C00FREE BYTES 10240\rA/V CONNECTED to K1ABC\r";

// An AGW header that announces more data than any engine sends.
QByteArray absurdLengthHeader() {
    QByteArray header = encodeAgwFrame(AgwFrame{0, 'D', 0xF0, "K1ABC", "N0CALL", {}});
    qToLittleEndian<quint32>(0x7FFFFFFF, header.data() + 28);
    return header + "and whatever follows";
}

// Well-framed frames of every kind with random headers and data: for no link of ours.
QByteArray randomFrames() {
    QRandomGenerator random(3);
    const auto randomBytes = [&](qsizetype size) {
        QByteArray bytes(size, '\0');
        for (char &c : bytes) {
            c = char(random.bounded(256));
        }
        return bytes;
    };
    QByteArray frames;
    for (int i = 0; i < 500; ++i) {
        AgwFrame frame;
        frame.port = quint8(random.bounded(256));
        frame.kind = char(random.bounded(256));
        frame.pid = quint8(random.bounded(256));
        frame.callFrom = randomBytes(random.bounded(10));
        frame.callTo = randomBytes(random.bounded(10));
        frame.data = randomBytes(random.bounded(2000));
        // The readiness answers would change the ports and version varnel goes by.
        if (frame.kind == 'G' || frame.kind == 'R') {
            continue;
        }
        frames += encodeAgwFrame(frame);
    }
    return frames;
}

} // namespace

class ProgramFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void listenPortTakenEndsWithAClearError();
    void floodWithoutFendKeepsMemoryBounded_data();
    void floodWithoutFendKeepsMemoryBounded();
    void engineGarbageNeverStopsTheProgram_data();
    void engineGarbageNeverStopsTheProgram();
    void engineRestartedDuringALink();
};

void ProgramFaultsTest::listenPortTakenEndsWithAClearError() {
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
    const QByteArray port = QByteArray::number(occupant.serverPort());
    QProcess varnel;
    varnel.start(varnelPath,
                 {QStringLiteral("--headless"),
                  QString::fromLatin1("N0CALL,1,true," + QByteArray::number(freeLoopbackPort()) +
                                      "," + port)});
    QVERIFY(varnel.waitForFinished(VarnelRig::kTimeoutMs));
    QCOMPARE(varnel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(varnel.exitCode(), 1);
    const QByteArray error = varnel.readAllStandardError();
    QVERIFY2(error.startsWith("varnel: ERROR cannot listen on 127.0.0.1 port " + port + ": "),
             error.constData());
    // The occupant keeps its port and its clients.
    QVERIFY(occupant.isListening());
}

void ProgramFaultsTest::floodWithoutFendKeepsMemoryBounded_data() {
    QTest::addColumn<QByteArray>("floodStart");
    QTest::addColumn<bool>("blockDropped");
    QTest::newRow("outside any block") << QByteArray() << false;
    QTest::newRow("a block never closed") << QByteArray("\300") << true;
}

void ProgramFaultsTest::floodWithoutFendKeepsMemoryBounded() {
    QFETCH(QByteArray, floodStart);
    QFETCH(bool, blockDropped);
    VarnelRig rig(varnelPath);
    QVERIFY(rig.start());
    QVERIFY(rig.readyInHostMode());
    QVERIFY(rig.linkUp());

    constexpr qsizetype kFloodBytes = 10 * 1000 * 1000;
    rig.client.write(floodStart + QByteArray(kFloodBytes, 'a'));
    // Answered once the whole flood is through: the request after it is the next block.
    rig.client.request("C20S");
    QVERIFY(rig.expectBlock(kStatusConnected));
    // The link carried on: data still flows both ways.
    rig.client.request("D1Aafter the flood");
    QVERIFY(rig.engine.waitForFrames('D', 1, VarnelRig::kTimeoutMs));
    QCOMPARE(rig.engine.receivedOfKind('D').first().data, QByteArray("after the flood"));
    QCOMPARE(rig.log().contains("BLOCK ERROR no closing FEND"), blockDropped);

    if (procstats::kResidentMemoryIsMeaningful) {
        const qint64 peak = procstats::peakResidentKiB(rig.varnel.processId());
        QVERIFY(peak > 0);
        QVERIFY2(peak < kMaxFloodResidentKiB, QByteArray::number(peak) + " KiB");
    }
    QVERIFY(rig.stop());
}

void ProgramFaultsTest::engineGarbageNeverStopsTheProgram_data() {
    QTest::addColumn<QByteArray>("garbage");
    QTest::addColumn<bool>("streamBroken");
    QTest::newRow("an absurd data length") << absurdLengthHeader() << true;
    QTest::newRow("random frames of every kind") << randomFrames() << false;
}

void ProgramFaultsTest::engineGarbageNeverStopsTheProgram() {
    QFETCH(QByteArray, garbage);
    QFETCH(bool, streamBroken);
    VarnelRig rig(varnelPath);
    QVERIFY(rig.start());
    QVERIFY(rig.readyInHostMode());
    QVERIFY(rig.linkUp());

    rig.engine.sendBytes(garbage);
    if (streamBroken) {
        // A stream out of step cannot be trusted: the link is reported gone, the engine
        // connection made again and the own callsign registered on it.
        QVERIFY(rig.expectBlock("S1A*** DISCONNECTED"));
        QVERIFY(rig.registered(2));
        QCOMPARE(rig.engine.connectionCount(), 2);
        QVERIFY2(rig.log().contains("the stream is out of step"), rig.log().constData());
        QVERIFY(rig.linkUp());
    }
    // Whichever way, the link is up and carries data to the client.
    rig.engine.data(0, "K1ABC", "N0CALL", "still here");
    QVERIFY(rig.expectBlock("D1Astill here"));
    rig.client.request("C20S");
    QVERIFY(rig.expectBlock(kStatusConnected));
    QVERIFY(rig.stop());
}

void ProgramFaultsTest::engineRestartedDuringALink() {
    VarnelRig rig(varnelPath);
    QVERIFY(rig.start());
    QVERIFY(rig.readyInHostMode());
    QVERIFY(rig.linkUp());

    // The engine exits: its port refuses connections until it is back.
    const quint16 enginePort = rig.engine.port();
    rig.engine.stop();
    QVERIFY(rig.expectBlock("S1A*** DISCONNECTED"));
    rig.client.request("C20S");
    QVERIFY(rig.expectBlock("C00FREE BYTES 10240\rA/V DISCONNECTED\r"));

    QVERIFY(rig.engine.start(enginePort));
    QVERIFY(rig.registered(2));
    QVERIFY(rig.linkUp());
    rig.client.request("D1Aback again");
    QVERIFY(rig.engine.waitForFrames('D', 1, VarnelRig::kTimeoutMs));
    QCOMPARE(rig.engine.receivedOfKind('D').first().data, QByteArray("back again"));
    QVERIFY(rig.stop());
    QVERIFY(rig.log().contains("ERROR AGW engine 127.0.0.1:" + QByteArray::number(enginePort)));
}

int main(int argc, char **argv) {
    return runProgramTest<ProgramFaultsTest>(argc, argv, varnelPath);
}
#include "test_programfaults.moc"
