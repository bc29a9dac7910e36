#include "bridge/streamlimits.h"

#include "bridge/blanks.h"

#include <algorithm>
#include <optional>

namespace {

// A whole number of streams, 0 to kMaxStreams; anything else is no value.
std::optional<int> readStreamCount(QByteArrayView text) {
    const QByteArray trimmed = trimBlanks(text);
    bool ok = false;
    const int count = trimmed.toInt(&ok);
    if (!ok || count < 0 || count > StreamLimits::kMaxStreams) {
        return std::nullopt;
    }
    return count;
}

} // namespace

void StreamLimits::setDual(std::array<int, 2> &byPort, QByteArrayView value) {
    const qsizetype slash = value.indexOf('/');
    const QByteArrayView hf = slash < 0 ? value : value.first(slash);
    const QByteArrayView vhf = slash < 0 ? value : value.sliced(slash + 1);
    if (const std::optional<int> count = readStreamCount(hf)) {
        byPort[portIndex('2')] = *count;
    }
    if (const std::optional<int> count = readStreamCount(vhf)) {
        byPort[portIndex('1')] = *count;
    }
}

int StreamLimits::streamsOn(char port) const {
    return singleLink() ? 1 : maxUsers_[portIndex(port)];
}

int StreamLimits::callerStreamsOn(char port) const {
    return std::min(users_[portIndex(port)], streamsOn(port));
}

QByteArray StreamLimits::show(const std::array<int, 2> &byPort) {
    return QByteArray::number(byPort[portIndex('2')]) + '/' +
           QByteArray::number(byPort[portIndex('1')]);
}
