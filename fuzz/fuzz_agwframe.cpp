// The AGW frame reader on any byte stream, cut into pieces of any size, and the readiness
// answers parsed from any frame: the reader yields the same frames however the stream is cut,
// each within the limits, and a well-formed frame comes back as it was encoded.
#include "require.h"

#include "engine/agwframe.h"
#include "engine/agwradioports.h"
#include "engine/agwreplies.h"

#include <QList>

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// Every frame of stream in one piece, and whether the stream broke.
QList<AgwFrame> readWhole(QByteArrayView stream, bool &broken) {
    AgwFrameReader reader;
    reader.append(stream);
    QList<AgwFrame> frames;
    while (std::optional<AgwFrame> frame = reader.next()) {
        frames.append(*frame);
    }
    broken = reader.broken();
    return frames;
}

void checkFrame(const AgwFrame &frame) {
    VARNEL_REQUIRE(frame.data.size() <= qsizetype(kAgwMaxDataLength));
    VARNEL_REQUIRE(frame.callFrom.size() <= kAgwCallFieldSize);
    VARNEL_REQUIRE(frame.callTo.size() <= kAgwCallFieldSize);
    VARNEL_REQUIRE(!frame.callFrom.contains('\0') && !frame.callTo.contains('\0'));
    if (frame.callFrom.size() <= kAgwMaxCallLength && frame.callTo.size() <= kAgwMaxCallLength) {
        bool broken = false;
        const QList<AgwFrame> again = readWhole(encodeAgwFrame(frame), broken);
        VARNEL_REQUIRE(!broken && again.size() == 1 && again.first() == frame);
    }
    const QByteArray version = versionText(frame.data);
    VARNEL_REQUIRE(version.count('.') == 1);
    // Every frame port byte of a listed port names a listed port that has it.
    const AgwRadioPorts ports = AgwRadioPorts::fromPortList(frame.data);
    const QList<quint8> wirePorts = ports.wirePorts();
    VARNEL_REQUIRE(wirePorts.size() == ports.size());
    for (const quint8 wirePort : wirePorts) {
        const qint32 radioPort = ports.radioPort(wirePort);
        VARNEL_REQUIRE(ports.contains(radioPort) && ports.wirePort(radioPort) == wirePort);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const QByteArray stream = QByteArray::fromStdString(input.ConsumeRandomLengthString());
    bool brokenWhole = false;
    const QList<AgwFrame> whole = readWhole(stream, brokenWhole);

    AgwFrameReader reader;
    QList<AgwFrame> pieced;
    for (qsizetype offset = 0; offset < stream.size();) {
        const qsizetype piece = input.ConsumeIntegralInRange<qsizetype>(1, stream.size() - offset);
        reader.append(QByteArrayView(stream).sliced(offset, piece));
        offset += piece;
        while (std::optional<AgwFrame> frame = reader.next()) {
            checkFrame(*frame);
            pieced.append(*frame);
        }
    }
    VARNEL_REQUIRE(pieced == whole);
    VARNEL_REQUIRE(reader.broken() == brokenWhole);
    return 0;
}
