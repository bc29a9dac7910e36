#include "engine/agwreplies.h"

#include <QtEndian>

namespace {

constexpr qsizetype kVersionMinorOffset = 4;
constexpr qsizetype kVersionNumberSize = 4;

quint32 readNumberAt(QByteArrayView data, qsizetype offset) {
    if (data.size() < offset + kVersionNumberSize) {
        return 0;
    }
    return qFromLittleEndian<quint32>(data.constData() + offset);
}

} // namespace

QByteArray versionText(QByteArrayView data) {
    return QByteArray::number(readNumberAt(data, 0)) + '.' +
           QByteArray::number(readNumberAt(data, kVersionMinorOffset));
}
