// The host-mode codec and block cutter, checked on the edge cases of the format and against
// search-and-splice forms of the same rules on random input.
#include "client/hostblockcutter.h"
#include "client/hostcodec.h"

#include <QRandomGenerator>
#include <QTest>

using namespace hostcodec;

namespace {

const QByteArray F(1, kFend);
const QByteArray E(1, kFesc);
const QByteArray TF(1, kTfend);
const QByteArray TE(1, kTfesc);

// The escapes applied by search and splice, FESC first so that inserted FESCs are not doubled.
QByteArray splicedEscape(QByteArray text) {
    for (const auto &[from, to] : {std::pair{E, E + TE}, std::pair{F, E + TF}}) {
        for (qsizetype p = text.indexOf(from); p >= 0; p = text.indexOf(from, p + 2)) {
            text = text.left(p) + to + text.mid(p + 1);
        }
    }
    return text;
}

// The escapes removed by search and splice; the character left at a FESC's place is not
// looked at again.
QByteArray splicedUnescape(QByteArray text) {
    for (qsizetype p = text.indexOf(E); p >= 0; p = text.indexOf(E, p + 1)) {
        const QByteArray next = text.mid(p + 1, 1);
        const QByteArray replacement = next == TF ? F : next == TE ? E : next;
        text = text.left(p) + replacement + text.mid(p + 2);
    }
    return text;
}

// Blocks cut by searching the whole accumulated buffer after each arrival, bytes outside blocks
// kept until a cut passes them.
QList<QByteArray> splicedCut(QByteArray &buffer, const QByteArray &arrival) {
    QList<QByteArray> blocks;
    buffer += arrival;
    for (qsizetype p1 = buffer.indexOf(F); p1 >= 0; p1 = buffer.indexOf(F)) {
        const qsizetype p2 = buffer.indexOf(F, p1 + 1);
        if (p2 < 0) {
            break;
        }
        if (p2 == p1 + 1) {
            buffer.remove(0, p2);
            continue;
        }
        blocks << buffer.mid(p1, p2 - p1 + 1);
        buffer.remove(0, p2 + 1);
    }
    return blocks;
}

// Short texts rich in the framing characters.
QByteArray randomText(QRandomGenerator &random, int maxLength) {
    static const QByteArray alphabet = F + E + TF + TE + "aC1";
    QByteArray text(random.bounded(maxLength + 1), '\0');
    for (char &c : text) {
        c = alphabet[random.bounded(int(alphabet.size()))];
    }
    return text;
}

} // namespace

class HostCodecTest : public QObject {
    Q_OBJECT
private slots:
    void escapesBothWays_data();
    void escapesBothWays();
    void unescapeResolvesStrayEscapes_data();
    void unescapeResolvesStrayEscapes();
    void conversionsMatchSplicingOnRandomText();
    void blocksSplitIntoHeaderAndData_data();
    void blocksSplitIntoHeaderAndData();
    void cuttingMatchesWholeBufferSearchOnRandomStreams();
    void unfinishedBlockIsDroppedPastTheBound();
    void overLongBlocksAreDroppedInStreamOrder();
};

void HostCodecTest::escapesBothWays_data() {
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("escaped");
    QTest::newRow("FEND FESC A") << F + E + "A" << E + TF + E + TE + "A";
    QTest::newRow("nothing to escape") << QByteArray("C00 hello") << QByteArray("C00 hello");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("TFEND TFESC alone") << TF + TE << TF + TE;
}

void HostCodecTest::escapesBothWays() {
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, escaped);
    QCOMPARE(escape(plain), escaped);
    QCOMPARE(unescape(escaped), plain);
}

void HostCodecTest::unescapeResolvesStrayEscapes_data() {
    QTest::addColumn<QByteArray>("escaped");
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("FESC x keeps x") << E + "x" << QByteArray("x");
    QTest::newRow("FESC FESC TFEND") << E + E + TF << E + TF;
    QTest::newRow("trailing FESC dropped") << "ab" + E << QByteArray("ab");
    QTest::newRow("FESC alone") << E << QByteArray();
    QTest::newRow("FEND passes") << "a" + F << "a" + F;
}

void HostCodecTest::unescapeResolvesStrayEscapes() {
    QFETCH(QByteArray, escaped);
    QFETCH(QByteArray, plain);
    QCOMPARE(unescape(escaped), plain);
}

void HostCodecTest::conversionsMatchSplicingOnRandomText() {
    QRandomGenerator random(20240601);
    for (int i = 0; i < 20000; ++i) {
        const QByteArray text = randomText(random, 12);
        QCOMPARE(escape(text), splicedEscape(text));
        QCOMPARE(unescape(text), splicedUnescape(text));
    }
}

void HostCodecTest::blocksSplitIntoHeaderAndData_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QByteArrayList>("fields"); // type, port, stream, data
    QTest::newRow("single FEND") << F << QByteArrayList{"", "", "", ""};
    QTest::newRow("FEND FEND") << F + F << QByteArrayList{"", "", "", ""};
    QTest::newRow("quit") << F + "q" + F << QByteArrayList{"q", "", "", ""};
    QTest::newRow("type and port") << F + "C1" + F << QByteArrayList{"C", "1", "", ""};
    QTest::newRow("header only") << F + "C1A" + F << QByteArrayList{"C", "1", "A", ""};
    QTest::newRow("disconnect") << F + "C1AD" + F << QByteArrayList{"C", "1", "A", "D"};
    QTest::newRow("data keeps escapes")
        << F + "D1Ax" + E + TF + F << QByteArrayList{"D", "1", "A", "x" + E + TF};
}

void HostCodecTest::blocksSplitIntoHeaderAndData() {
    QFETCH(QByteArray, block);
    QFETCH(QByteArrayList, fields);
    QCOMPARE(checkFraming(block), Framing::Ok);
    const BlockFields split = splitBlock(block);
    QByteArrayList parts;
    for (qsizetype i = 0; i < 3; ++i) {
        parts << split.header.toByteArray().mid(i, 1);
    }
    QCOMPARE(parts << split.data.toByteArray(), fields);
}

void HostCodecTest::cuttingMatchesWholeBufferSearchOnRandomStreams() {
    QRandomGenerator random(7);
    for (int stream = 0; stream < 2000; ++stream) {
        QByteArray pending;
        QByteArray referenceBuffer;
        for (int arrival = 0; arrival < 8; ++arrival) {
            const QByteArray bytes = randomText(random, 10);
            QList<QByteArray> blocks;
            HostBlockCutter cutter(pending, bytes);
            while (std::optional<CutBlock> cut = cutter.next()) {
                blocks << cut->block;
            }
            QCOMPARE(blocks, splicedCut(referenceBuffer, bytes));
            // The same unfinished block waits, without the bytes that can never be in one.
            const qsizetype opening = referenceBuffer.indexOf(F);
            QCOMPARE(pending, opening < 0 ? QByteArray() : referenceBuffer.mid(opening));
        }
    }
}

void HostCodecTest::unfinishedBlockIsDroppedPastTheBound() {
    QByteArray pending;
    const QByteArray longest = F + QByteArray(kMaxPendingClientBytes - 1, 'a');

    HostBlockCutter filling(pending, longest);
    QVERIFY(!filling.next());
    QCOMPARE(pending.size(), kMaxPendingClientBytes);

    HostBlockCutter overflowing(pending, "b");
    const std::optional<CutBlock> dropped = overflowing.next();
    QVERIFY(dropped && dropped->block.isEmpty());
    QCOMPARE(dropped->droppedBytes, kMaxPendingClientBytes + 1);
    QVERIFY(!overflowing.next());
    QVERIFY(pending.isEmpty());

    // The rest of the overlong block is outside any block; its closing FEND and the next
    // block's opening one count as one.
    // The cutter only views its arrival: the bytes must outlive it.
    const QByteArray rest = "cc" + F + F + "C20S" + F;
    HostBlockCutter recovering(pending, rest);
    const std::optional<CutBlock> next = recovering.next();
    QVERIFY(next);
    QCOMPARE(next->block, F + "C20S" + F);
    QCOMPARE(next->droppedBytes, 0);
}

void HostCodecTest::overLongBlocksAreDroppedInStreamOrder() {
    // Two over-long blocks with short ones around them, in one arrival: each dropped block is
    // reported where it stood, and a complete block is no exception to the bound.
    QByteArray pending;
    const QByteArray tooLong = F + QByteArray(kMaxPendingClientBytes, 'd') + F;
    const QByteArray arrival = frame("C20S") + tooLong + frame("?") + tooLong + tooLong + F + "C1A";
    HostBlockCutter cutter(pending, arrival);
    QList<std::pair<QByteArray, qsizetype>> cuts;
    while (std::optional<CutBlock> cut = cutter.next()) {
        cuts.append({cut->block, cut->droppedBytes});
    }
    const qsizetype dropped = kMaxPendingClientBytes + 1;
    QCOMPARE(
        cuts,
        (QList<std::pair<QByteArray, qsizetype>>{
            {frame("C20S"), 0}, {{}, dropped}, {frame("?"), 0}, {{}, dropped}, {{}, dropped}}));
    QCOMPARE(pending, F + "C1A");
}

QTEST_GUILESS_MAIN(HostCodecTest)
#include "test_hostcodec.moc"
