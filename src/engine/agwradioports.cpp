#include "engine/agwradioports.h"

#include <optional>

namespace {

// Radio ports count from 1; by Dire Wolf's count the frame's port byte is one less, and it holds
// at most 255.
constexpr qint32 kMaxRadioPort = 256;

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

bool isOff(QByteArrayView field) {
    return field.endsWith(" INVALID CHANNEL") || field.endsWith(" Disabled");
}

// The frame port byte of a listed port: the index of the sound-card channel the description
// ends with (" Ch B" is 1), else Dire Wolf's N-1.
quint8 wirePortOf(qint32 radioPort, QByteArrayView field) {
    constexpr QByteArrayView kChannel = " Ch ";
    const qsizetype letterAt = field.size() - 1;
    if (field.size() > kChannel.size() &&
        field.sliced(letterAt - kChannel.size(), kChannel.size()) == kChannel &&
        field[letterAt] >= 'A' && field[letterAt] <= 'Z') {
        return quint8(field[letterAt] - 'A');
    }
    return quint8(radioPort - 1);
}

} // namespace

AgwRadioPorts AgwRadioPorts::fromPortList(QByteArrayView data) {
    const qsizetype nul = data.indexOf('\0');
    const QByteArrayView text = nul < 0 ? data : data.first(nul);
    AgwRadioPorts ports;
    qsizetype start = text.indexOf(';'); // the count comes first
    while (start >= 0) {
        const qsizetype end = text.indexOf(';', start + 1);
        const QByteArrayView field =
            end < 0 ? text.sliced(start + 1) : text.sliced(start + 1, end - start - 1);
        const std::optional<qint32> port = portNumber(field);
        if (port && !isOff(field)) {
            ports.wirePorts_[*port] = wirePortOf(*port, field);
        }
        start = end;
    }
    return ports;
}

quint8 AgwRadioPorts::wirePort(qint32 radioPort) const {
    const auto it = wirePorts_.find(radioPort);
    return it == wirePorts_.end() ? quint8(radioPort - 1) : it->second;
}

QList<quint8> AgwRadioPorts::wirePorts() const {
    QList<quint8> ports;
    for (const auto &[radioPort, wirePort] : wirePorts_) {
        ports.append(wirePort);
    }
    return ports;
}

qint32 AgwRadioPorts::radioPort(quint8 wirePort) const {
    for (const auto &[radioPort, port] : wirePorts_) {
        if (port == wirePort) {
            return radioPort;
        }
    }
    return wirePort + 1;
}
