// A million "D1A" blocks through the bridge in process: cut from the client's stream,
// unescaped and handed to the engine, with the engine's data going back the other way to a
// client on loopback; every block arrives whole and resident memory does not grow.
#include "client/hostcodec.h"
#include "faults/procstats.h"
#include "support/bridgefixture.h"

#include <QCoreApplication>
#include <QTest>

namespace {

constexpr qint64 kBlocks = 1000 * 1000;
constexpr qsizetype kBlocksPerRound = 16;
constexpr qsizetype kPieceBytes = 4 * 1024;
// The client reads its replies every so many rounds, as a mail client keeps up with the link.
constexpr qint64 kRoundsPerDrain = 64;
// Rounds before memory is first measured: long enough for every buffer to reach its size.
constexpr qint64 kWarmUpRounds = 5000;
// Allocator noise; growth with the blocks would be hundreds of MiB.
constexpr qint64 kMaxGrowthKiB = 1024;

// Link data with every byte value in it, FEND and FESC included.
QByteArray linkData() {
    QByteArray data;
    for (int value = 0; value < 256; value += 2) {
        data.append(char(value)).append(char(255 - value));
    }
    return data.left(200);
}

} // namespace

class SoakTest : public QObject {
    Q_OBJECT
private slots:
    void millionBlocksWithoutGrowth();
};

void SoakTest::millionBlocksWithoutGrowth() {
    BridgeFixture fixture;
    QVERIFY(fixture.hostModeWithLinkUp());
    fixture.frontEnd.lines.clear();
    Bridge &bridge = fixture.bridge;
    FakeEngine &engine = fixture.engine;
    const qint64 replyBytes = hostcodec::frame("D1A" + hostcodec::escape(linkData())).size();
    qint64 replyBytesReceived = 0;

    const QByteArray data = linkData();
    QByteArray round;
    for (qsizetype i = 0; i < kBlocksPerRound; ++i) {
        round += hostcodec::frame("D1A" + hostcodec::escape(data));
    }
    QByteArrayList pieces;
    for (qsizetype offset = 0; offset < round.size(); offset += kPieceBytes) {
        pieces.append(round.mid(offset, kPieceBytes));
    }

    const qint64 self = QCoreApplication::applicationPid();
    qint64 residentAfterWarmUp = 0;
    for (qint64 roundNumber = 0; roundNumber < kBlocks / kBlocksPerRound; ++roundNumber) {
        for (const QByteArray &piece : pieces) {
            bridge.dispatchClientData(piece);
        }
        emit engine.OnAX25Receive(1, data);
        if (roundNumber % kRoundsPerDrain == 0) {
            QCoreApplication::processEvents();
            replyBytesReceived += fixture.client.readAll().size();
        }
        if (engine.sentData.size() != kBlocksPerRound ||
            engine.sentData.count(data) != kBlocksPerRound) {
            QFAIL(qPrintable(QStringLiteral("round %1: %2 blocks reached the engine whole")
                                 .arg(roundNumber)
                                 .arg(engine.sentData.count(data))));
        }
        engine.calls.clear();
        engine.sentData.clear();
        if (roundNumber == kWarmUpRounds) {
            residentAfterWarmUp = procstats::residentKiB(self);
        }
    }
    const qint64 rounds = kBlocks / kBlocksPerRound;
    QTRY_COMPARE_WITH_TIMEOUT(replyBytesReceived += fixture.client.readAll().size(),
                              rounds * replyBytes, BridgeFixture::kTimeoutMs);
    QVERIFY(bridge.state().clientBuffer.isEmpty());
    QVERIFY2(fixture.frontEnd.lines.isEmpty(), fixture.frontEnd.lines.value(0).constData());

    if (!procstats::kResidentMemoryIsMeaningful) {
        QSKIP("resident memory is not the program's own under AddressSanitizer");
    }
    const qint64 growth = procstats::residentKiB(self) - residentAfterWarmUp;
    QVERIFY2(residentAfterWarmUp > 0 && growth < kMaxGrowthKiB,
             qPrintable(QStringLiteral("grew by %1 KiB").arg(growth)));
}

QTEST_GUILESS_MAIN(SoakTest)
#include "test_soak.moc"
