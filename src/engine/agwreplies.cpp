#include "engine/agwreplies.h"

#include <QtEndian>

#include <bitset>
#include <optional>

namespace {

constexpr qsizetype kVersionMinorOffset = 4;
constexpr qsizetype kVersionNumberSize = 4;

quint32 readNumberAt(QByteArrayView data, qsizetype offset) {
    if (data.size() < offset + kVersionNumberSize) {
        return 0;
    }
    return qFromLittleEndian<quint32>(data.constData() + offset);
}

// N of "PortN" or "PortN description", or nothing when the field names no usable port.
std::optional<qint32> portNumber(QByteArrayView field) {
    if (!field.startsWith("Port")) {
        return std::nullopt;
    }
    qsizetype i = 4;
    qint32 number = 0;
    while (i < field.size() && field[i] >= '0' && field[i] <= '9' && number <= kMaxRadioPort) {
        number = number * 10 + (field[i] - '0');
        ++i;
    }
    if (i == 4 || number < 1 || number > kMaxRadioPort || (i < field.size() && field[i] != ' ')) {
        return std::nullopt;
    }
    return number;
}

} // namespace

QByteArray versionText(QByteArrayView data) {
    return QByteArray::number(readNumberAt(data, 0)) + '.' +
           QByteArray::number(readNumberAt(data, kVersionMinorOffset));
}

QList<qint32> realRadioPorts(QByteArrayView data) {
    const qsizetype nul = data.indexOf('\0');
    const QByteArrayView text = nul < 0 ? data : data.first(nul);
    std::bitset<kMaxRadioPort + 1> listed;
    qsizetype start = text.indexOf(';'); // the count comes first
    while (start >= 0) {
        const qsizetype end = text.indexOf(';', start + 1);
        const QByteArrayView field =
            end < 0 ? text.sliced(start + 1) : text.sliced(start + 1, end - start - 1);
        const std::optional<qint32> port = portNumber(field);
        if (port && !field.endsWith(" INVALID CHANNEL")) {
            listed.set(*port);
        }
        start = end;
    }
    QList<qint32> ports;
    for (qint32 port = 1; port <= kMaxRadioPort; ++port) {
        if (listed.test(port)) {
            ports.append(port);
        }
    }
    return ports;
}
