// AGW frames on the wire: the header layout as Dire Wolf sends it, reassembly of frames that
// arrive in pieces, the data-length limit, and the two readiness answers.
#include "engine/agwframe.h"
#include "engine/agwradioports.h"
#include "engine/agwreplies.h"

#include <QTest>
#include <QtEndian>

namespace {

AgwFrame frame(char kind, quint8 port, const QByteArray &from, const QByteArray &to,
               const QByteArray &data, quint8 pid = 0) {
    AgwFrame f;
    f.kind = kind;
    f.port = port;
    f.callFrom = from;
    f.callTo = to;
    f.data = data;
    f.pid = pid;
    return f;
}

QByteArray everyByteValue() {
    QByteArray bytes;
    for (int value = 0; value < 256; ++value) {
        bytes.append(char(value));
    }
    return bytes;
}

QList<AgwFrame> readAll(AgwFrameReader &reader) {
    QList<AgwFrame> frames;
    while (const std::optional<AgwFrame> f = reader.next()) {
        frames.append(*f);
    }
    return frames;
}

// Several kinds, an empty data field, a frame with every byte value and one with a full
// callsign field: together they cross every header field at some split.
QList<AgwFrame> sampleFrames() {
    return {frame('R', 0, {}, {}, QByteArray::fromHex("d50700007f000000")),
            frame('C', 2, "N0TST-9", "N0TST-2",
                  "*** CONNECTED With Station N0TST-9\r" + QByteArray(1, '\0')),
            frame('D', 0, "N0TST-10", "N0TST-2", everyByteValue(), 0xF0),
            frame('y', 5, {}, {}, {})};
}

} // namespace

class AgwFrameTest : public QObject {
    Q_OBJECT
private slots:
    void encodesTheHeaderAsDireWolfSendsIt_data();
    void encodesTheHeaderAsDireWolfSendsIt();
    void decodesFramesSplitAtEveryByteBoundary();
    void decodesFramesArrivingOneByteAtATime();
    void dataLengthLimitBreaksTheStream_data();
    void dataLengthLimitBreaksTheStream();
    void callsignFieldWithoutNulReadsTenCharacters();
    void overlongCallsignIsCutToFitItsField();
    void versionAnswer_data();
    void versionAnswer();
    void radioPortsFromThePortAnswer_data();
    void radioPortsFromThePortAnswer();
};

void AgwFrameTest::encodesTheHeaderAsDireWolfSendsIt_data() {
    QTest::addColumn<AgwFrame>("frame");
    QTest::addColumn<QByteArray>("hex");
    // As Dire Wolf 1.6 sends them (fromHex skips the blanks).
    QTest::newRow("version answer")
        << frame('R', 0, {}, {}, QByteArray::fromHex("d50700007f000000"))
        << QByteArray("00 00 00 00 52 00 00 00 00 00 00 00 00 00 00 00"
                      "00 00 00 00 00 00 00 00 00 00 00 00 08 00 00 00"
                      "00 00 00 00 d5 07 00 00 7f 00 00 00");
    QTest::newRow("registration answer")
        << frame('X', 0, "N0TST-2", {}, QByteArray(1, '\1'))
        << QByteArray("00 00 00 00 58 00 00 00 4e 30 54 53 54 2d 32 00"
                      "00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00"
                      "00 00 00 00 01");
    QTest::newRow("retry-out") << frame('d', 0, "N0NONE-5", "N0TST-2",
                                        "*** DISCONNECTED RETRYOUT With N0NONE-5\r" +
                                            QByteArray(1, '\0'))
                               << QByteArray("00 00 00 00 64 00 00 00 4e 30 4e 4f 4e 45 2d 35"
                                             "00 00 4e 30 54 53 54 2d 32 00 00 00 29 00 00 00"
                                             "00 00 00 00 2a 2a 2a 20 44 49 53 43 4f 4e 4e 45"
                                             "43 54 45 44 20 52 45 54 52 59 4f 55 54 20 57 69"
                                             "74 68 20 4e 30 4e 4f 4e 45 2d 35 0d 00");
    QTest::newRow("connected data on the fourth port, with its PID")
        << frame('D', 3, "AB1CD", "EF2GH", "hi", 0xF0)
        << QByteArray("03 00 00 00 44 00 f0 00 41 42 31 43 44 00 00 00"
                      "00 00 45 46 32 47 48 00 00 00 00 00 02 00 00 00"
                      "00 00 00 00 68 69");
}

void AgwFrameTest::encodesTheHeaderAsDireWolfSendsIt() {
    QFETCH(AgwFrame, frame);
    QFETCH(QByteArray, hex);
    const QByteArray bytes = QByteArray::fromHex(hex);
    QCOMPARE(encodeAgwFrame(frame).toHex(), bytes.toHex());
    AgwFrameReader reader;
    reader.append(bytes);
    QCOMPARE(readAll(reader), QList<AgwFrame>{frame});
}

void AgwFrameTest::decodesFramesSplitAtEveryByteBoundary() {
    const QList<AgwFrame> frames = sampleFrames();
    QByteArray stream;
    for (const AgwFrame &f : frames) {
        stream += encodeAgwFrame(f);
    }
    for (qsizetype split = 0; split <= stream.size(); ++split) {
        AgwFrameReader reader;
        reader.append(stream.first(split));
        QList<AgwFrame> decoded = readAll(reader);
        reader.append(stream.sliced(split));
        decoded += readAll(reader);
        QVERIFY2(decoded == frames, qPrintable(QStringLiteral("split at %1").arg(split)));
        QVERIFY(!reader.broken());
    }
}

void AgwFrameTest::decodesFramesArrivingOneByteAtATime() {
    const QList<AgwFrame> frames = sampleFrames();
    QByteArray stream;
    for (const AgwFrame &f : frames) {
        stream += encodeAgwFrame(f);
    }
    AgwFrameReader reader;
    QList<AgwFrame> decoded;
    for (char byte : stream) {
        reader.append(QByteArrayView(&byte, 1));
        decoded += readAll(reader);
    }
    QCOMPARE(decoded, frames);
}

void AgwFrameTest::dataLengthLimitBreaksTheStream_data() {
    QTest::addColumn<quint32>("length");
    QTest::addColumn<bool>("broken");
    QTest::newRow("at the limit") << kAgwMaxDataLength << false;
    QTest::newRow("one over") << kAgwMaxDataLength + 1 << true;
    QTest::newRow("negative as a signed number") << quint32(0xFFFFFFFF) << true;
}

void AgwFrameTest::dataLengthLimitBreaksTheStream() {
    QFETCH(quint32, length);
    QFETCH(bool, broken);
    QByteArray header = encodeAgwFrame(frame('D', 0, "A", "B", {}));
    qToLittleEndian(length, header.data() + 28);
    AgwFrameReader reader;
    reader.append(header);
    QVERIFY(!reader.next());
    QCOMPARE(reader.broken(), broken);
    if (broken) {
        QCOMPARE(reader.brokenLength(), length);
        // Nothing after the break is believed, not even a well-formed frame.
        reader.append(encodeAgwFrame(frame('R', 0, {}, {}, {})));
        QVERIFY(!reader.next());
    } else {
        reader.append(QByteArray(qsizetype(length), 'x'));
        const std::optional<AgwFrame> f = reader.next();
        QVERIFY(f);
        QCOMPARE(f->data.size(), qsizetype(length));
    }
}

void AgwFrameTest::callsignFieldWithoutNulReadsTenCharacters() {
    QByteArray bytes = encodeAgwFrame(frame('C', 0, {}, {}, {}));
    for (int i = 0; i < 10; ++i) {
        bytes[8 + i] = 'A' + i;
        bytes[18 + i] = 'K' + i;
    }
    AgwFrameReader reader;
    reader.append(bytes);
    const std::optional<AgwFrame> f = reader.next();
    QVERIFY(f);
    QCOMPARE(f->callFrom, QByteArray("ABCDEFGHIJ"));
    QCOMPARE(f->callTo, QByteArray("KLMNOPQRST"));
}

void AgwFrameTest::overlongCallsignIsCutToFitItsField() {
    const QByteArray bytes = encodeAgwFrame(frame('C', 0, "ABCDEFGHIJKL", "N0CALL", {}));
    QCOMPARE(bytes.size(), kAgwHeaderSize);
    QCOMPARE(bytes.sliced(8, 10), QByteArray("ABCDEFGHI") + '\0');
    QCOMPARE(bytes.sliced(18, 6), QByteArray("N0CALL"));
}

void AgwFrameTest::versionAnswer_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("Dire Wolf") << QByteArray::fromHex("d50700007f000000") << QByteArray("2005.127");
    QTest::newRow("short answer") << QByteArray::fromHex("0100") << QByteArray("0.0");
    QTest::newRow("no data") << QByteArray() << QByteArray("0.0");
}

void AgwFrameTest::versionAnswer() {
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, version);
    QCOMPARE(versionText(data), version);
}

void AgwFrameTest::radioPortsFromThePortAnswer_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<qint32>>("radioPorts");
    QTest::addColumn<QList<quint8>>("wirePorts");
    QTest::newRow("Dire Wolf, one sound card")
        << QByteArray("1;Port1 first soundcard mono;Port2 INVALID CHANNEL;Port3 INVALID CHANNEL;"
                      "Port4 INVALID CHANNEL;Port5 INVALID CHANNEL;Port6 INVALID CHANNEL;") +
               '\0'
        << QList<qint32>{1} << QList<quint8>{0};
    QTest::newRow("count ignored, ports from the names")
        << QByteArray("1;Port1 a;Port2 INVALID CHANNEL;Port3 b;") + '\0' << QList<qint32>{1, 3}
        << QList<quint8>{0, 2};
    QTest::newRow("QtSoundModem, modem B only") << QByteArray("1;Port1 with SoundCard Ch B;") + '\0'
                                                << QList<qint32>{1} << QList<quint8>{1};
    QTest::newRow("sound modem listing its four channels")
        << QByteArray("4;Port1 Disabled;Port2 with SoundCard Ch B;Port3 Disabled;"
                      "Port4 with SoundCard Ch D;") +
               '\0'
        << QList<qint32>{2, 4} << QList<quint8>{1, 3};
    QTest::newRow("no channel letter") << QByteArray("2;Port1 Ch b;Port2 Ch BB;Port3 Ch ;")
                                       << QList<qint32>{1, 2, 3} << QList<quint8>{0, 1, 2};
    QTest::newRow("text after the NUL ignored")
        << QByteArray("1;Port1 a;") + '\0' + "Port2 b;" << QList<qint32>{1} << QList<quint8>{0};
    QTest::newRow("no trailing semicolon")
        << QByteArray("2;Port2 b;Port1 a") << QList<qint32>{1, 2} << QList<quint8>{0, 1};
    QTest::newRow("bare PortN") << QByteArray("1;Port4;") << QList<qint32>{4} << QList<quint8>{3};
    QTest::newRow("highest port the frame can carry")
        << QByteArray("1;Port256 x;Port257 y;Port0 z;Port99999999999 w;") << QList<qint32>{256}
        << QList<quint8>{255};
    QTest::newRow("not ports") << QByteArray("3;port1 x;Port;Portx y;Port1x z;;") << QList<qint32>{}
                               << QList<quint8>{};
    QTest::newRow("empty") << QByteArray() << QList<qint32>{} << QList<quint8>{};
}

void AgwFrameTest::radioPortsFromThePortAnswer() {
    QFETCH(QByteArray, data);
    QFETCH(QList<qint32>, radioPorts);
    QFETCH(QList<quint8>, wirePorts);
    const AgwRadioPorts ports = AgwRadioPorts::fromPortList(data);
    QCOMPARE(ports.size(), radioPorts.size());
    QCOMPARE(ports.wirePorts(), wirePorts);
    for (qsizetype i = 0; i < radioPorts.size(); ++i) {
        QVERIFY(ports.contains(radioPorts[i]));
        QCOMPARE(ports.wirePort(radioPorts[i]), wirePorts[i]);
        QCOMPARE(ports.radioPort(wirePorts[i]), radioPorts[i]);
    }
    // Frames on a port the list does not name are counted as Dire Wolf counts them.
    if (!wirePorts.contains(quint8(200))) {
        QCOMPARE(ports.radioPort(200), 201);
    }
}

QTEST_GUILESS_MAIN(AgwFrameTest)
#include "test_agwframe.moc"
