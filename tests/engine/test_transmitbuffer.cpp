// One link's transmit buffer: when data goes as it comes and when it is packed, how far ahead the
// engine is supplied, the bytes it counts as held, and what an unpaced buffer does.
#include "engine/transmitbuffer.h"

#include <QTest>

namespace {

constexpr qsizetype kFrame = TransmitBuffer::kFrameBytes;
constexpr qsizetype kAhead = TransmitBuffer::kMaxOutstandingFrames;

QByteArray pattern(qsizetype size, qsizetype start = 0) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = char((start + i) % 251);
    }
    return bytes;
}

// Hands over every frame the buffer lets go now; returns their sizes, and their bytes in data.
QList<qsizetype> handOver(TransmitBuffer &buffer, QByteArray *data = nullptr) {
    QList<qsizetype> sizes;
    for (QByteArrayView frame = buffer.nextFrame(); !frame.isEmpty(); frame = buffer.nextFrame()) {
        sizes << frame.size();
        if (data) {
            data->append(frame);
        }
        buffer.handedOver(frame.size());
    }
    return sizes;
}

// The engine answers 'Y' with the frames it still holds.
void answer(TransmitBuffer &buffer, quint32 frames) {
    buffer.askedOutstanding();
    buffer.outstandingAnswered(frames);
}

} // namespace

class TransmitBufferTest : public QObject {
    Q_OBJECT
private slots:
    void shortDataOnAnIdleLinkGoesAtOnce();
    void shortDataWhileTheEngineHoldsFramesIsPacked();
    void shortRestGoesOnceTheClientPauses();
    void engineIsSuppliedOnlySoFarAhead();
    void answerCountsOnlyFramesHandedOverBeforeTheQuestion();
    void heldBytesAreTheRoomTaken_data();
    void heldBytesAreTheRoomTaken();
    void unpacedHandsEverythingOverAtOnce();
    void clearingReturnsWhatWasNotDelivered();
    void longStreamComesOutWholeAndInOrder();
};

void TransmitBufferTest::shortDataOnAnIdleLinkGoesAtOnce() {
    TransmitBuffer buffer;
    buffer.append("hello\r");
    QCOMPARE(handOver(buffer), QList<qsizetype>{6});
    QCOMPARE(buffer.outstandingFrames(), 1);
    answer(buffer, 0);
    QVERIFY(buffer.isEmpty());
    // Idle again: the next line goes at once too.
    buffer.append("again\r");
    QCOMPARE(handOver(buffer), QList<qsizetype>{6});
}

void TransmitBufferTest::shortDataWhileTheEngineHoldsFramesIsPacked() {
    TransmitBuffer buffer;
    buffer.append(pattern(16));
    QCOMPARE(handOver(buffer), QList<qsizetype>{16});
    // Blocks of 16 bytes while the first is out: only full frames go.
    QByteArray sent = pattern(16);
    for (int i = 1; i < 40; ++i) {
        buffer.append(pattern(16, 16 * i));
        handOver(buffer, &sent);
    }
    QCOMPARE(buffer.outstandingFrames(), 3); // 16 bytes, then two full frames
    QCOMPARE(buffer.waitingBytes(), 40 * 16 - 16 - 2 * kFrame);
    QCOMPARE(sent, pattern(16 + 2 * kFrame));
}

void TransmitBufferTest::shortRestGoesOnceTheClientPauses() {
    TransmitBuffer buffer;
    buffer.append(pattern(kFrame + 10));
    QCOMPARE(handOver(buffer), QList<qsizetype>{kFrame});
    // The rest came within the last tick: the client may still be writing.
    buffer.tick();
    QVERIFY(handOver(buffer).isEmpty());
    buffer.append("more");
    buffer.tick();
    QVERIFY(handOver(buffer).isEmpty());
    // A whole tick without data: the client has paused.
    buffer.tick();
    QCOMPARE(handOver(buffer), QList<qsizetype>{14});
    // Later short data is packed again until the next pause.
    buffer.append("x");
    QVERIFY(handOver(buffer).isEmpty());
}

void TransmitBufferTest::engineIsSuppliedOnlySoFarAhead() {
    TransmitBuffer buffer;
    buffer.append(pattern((kAhead + 8) * kFrame));
    QCOMPARE(handOver(buffer).size(), kAhead);
    QCOMPARE(buffer.waitingBytes(), 8 * kFrame);
    // The engine still holds all of them: nothing more goes.
    answer(buffer, quint32(kAhead));
    QVERIFY(handOver(buffer).isEmpty());
    // Five acknowledged: five more go.
    answer(buffer, quint32(kAhead - 5));
    QCOMPARE(handOver(buffer).size(), 5);
    // An engine that counts more frames than it was given (it split them) holds them all.
    answer(buffer, 1000);
    QCOMPARE(buffer.outstandingFrames(), kAhead);
    QVERIFY(handOver(buffer).isEmpty());
}

void TransmitBufferTest::answerCountsOnlyFramesHandedOverBeforeTheQuestion() {
    TransmitBuffer buffer;
    buffer.append(pattern(2 * kFrame));
    QCOMPARE(handOver(buffer).size(), 2);
    buffer.askedOutstanding();
    buffer.append(pattern(3 * kFrame));
    QCOMPARE(handOver(buffer).size(), 3);
    // "None left" speaks of the first two only; the three after the question are still out.
    buffer.outstandingAnswered(0);
    QCOMPARE(buffer.outstandingFrames(), 3);
    QCOMPARE(buffer.heldBytes(), 3 * kFrame);
    // An answer nobody asked for changes nothing.
    buffer.outstandingAnswered(0);
    QCOMPARE(buffer.outstandingFrames(), 3);
}

void TransmitBufferTest::heldBytesAreTheRoomTaken_data() {
    QTest::addColumn<qsizetype>("written");
    QTest::addColumn<quint32>("engineHolds");
    QTest::addColumn<qsizetype>("held");
    QTest::addColumn<qsizetype>("frames");
    QTest::newRow("nothing written") << qsizetype(0) << 0u << qsizetype(0) << qsizetype(0);
    QTest::newRow("one line, not yet acknowledged")
        << qsizetype(100) << 1u << qsizetype(100) << qsizetype(1);
    QTest::newRow("one line, acknowledged") << qsizetype(100) << 0u << qsizetype(0) << qsizetype(0);
    // The engine has the newest three frames, 300 bytes wait behind them: two frames more.
    QTest::newRow("more than the engine is given")
        << kAhead * kFrame + 300 << 3u << 3 * kFrame + 300 << qsizetype(5);
}

void TransmitBufferTest::heldBytesAreTheRoomTaken() {
    QFETCH(qsizetype, written);
    QFETCH(quint32, engineHolds);
    QFETCH(qsizetype, held);
    QFETCH(qsizetype, frames);
    TransmitBuffer buffer;
    buffer.append(pattern(written));
    handOver(buffer);
    QCOMPARE(buffer.heldBytes(), written);
    answer(buffer, engineHolds);
    QCOMPARE(buffer.heldBytes(), held);
    QCOMPARE(buffer.heldFrames(), frames);
    QCOMPARE(buffer.isEmpty(), held == 0);
}

void TransmitBufferTest::unpacedHandsEverythingOverAtOnce() {
    TransmitBuffer buffer;
    buffer.append(pattern((kAhead + 8) * kFrame));
    handOver(buffer);
    QVERIFY(buffer.heldBytes() > 0);
    // The engine cannot be asked: what it was given counts as gone, the rest goes now.
    buffer.setUnpaced();
    QCOMPARE(handOver(buffer).size(), 8);
    QVERIFY(buffer.isEmpty());
    buffer.append("a");
    buffer.append(pattern(300));
    QCOMPARE(handOver(buffer), (QList<qsizetype>{kFrame, 45}));
    QCOMPARE(buffer.heldBytes(), 0);
}

void TransmitBufferTest::clearingReturnsWhatWasNotDelivered() {
    TransmitBuffer buffer;
    buffer.append(pattern(kAhead * kFrame + 50));
    handOver(buffer);
    buffer.askedOutstanding();
    QCOMPARE(buffer.clear(), kAhead * kFrame + 50);
    QVERIFY(buffer.isEmpty());
    QVERIFY(!buffer.isAskingOutstanding());
    QCOMPARE(buffer.clear(), 0);
    // Usable again, from idle.
    buffer.append("x");
    QCOMPARE(handOver(buffer), QList<qsizetype>{1});
}

void TransmitBufferTest::longStreamComesOutWholeAndInOrder() {
    // Blocks of odd sizes, acknowledged as they go: the frames carry the very stream, in order.
    TransmitBuffer buffer;
    const QByteArray stream = pattern(200 * 1024);
    QByteArray sent;
    for (qsizetype at = 0; at < stream.size(); at += 77) {
        buffer.append(QByteArrayView(stream).sliced(at, qMin(qsizetype(77), stream.size() - at)));
        handOver(buffer, &sent);
        answer(buffer, quint32(buffer.outstandingFrames() / 2));
    }
    while (!buffer.isEmpty()) {
        answer(buffer, 0);
        buffer.tick();
        buffer.tick();
        handOver(buffer, &sent);
    }
    QVERIFY(sent == stream);
}

QTEST_GUILESS_MAIN(TransmitBufferTest)
#include "test_transmitbuffer.moc"
