#include "engine/agwframe.h"

#include <QtEndian>

namespace {

constexpr qsizetype kPortOffset = 0;
constexpr qsizetype kKindOffset = 4;
constexpr qsizetype kPidOffset = 6;
constexpr qsizetype kCallFromOffset = 8;
constexpr qsizetype kCallToOffset = 18;
constexpr qsizetype kDataLengthOffset = 28;

void putCall(QByteArray &header, qsizetype offset, const QByteArray &call) {
    const qsizetype length = qMin(call.size(), kAgwMaxCallLength);
    for (qsizetype i = 0; i < length; ++i) {
        header[offset + i] = call[i];
    }
}

// The field's text up to its first NUL; the engine guarantees one, we do not rely on it.
QByteArray takeCall(const char *field) {
    qsizetype length = 0;
    while (length < kAgwCallFieldSize && field[length] != '\0') {
        ++length;
    }
    return QByteArray(field, length);
}

} // namespace

QByteArray encodeAgwFrame(const AgwFrame &frame) {
    QByteArray bytes(kAgwHeaderSize, '\0');
    bytes[kPortOffset] = static_cast<char>(frame.port);
    bytes[kKindOffset] = frame.kind;
    bytes[kPidOffset] = static_cast<char>(frame.pid);
    putCall(bytes, kCallFromOffset, frame.callFrom);
    putCall(bytes, kCallToOffset, frame.callTo);
    qToLittleEndian(static_cast<quint32>(frame.data.size()), bytes.data() + kDataLengthOffset);
    bytes += frame.data;
    return bytes;
}

void AgwFrameReader::append(QByteArrayView bytes) {
    if (broken_) {
        return;
    }
    buffer_.remove(0, consumed_);
    consumed_ = 0;
    buffer_.append(bytes);
}

std::optional<AgwFrame> AgwFrameReader::next() {
    if (broken_ || buffer_.size() - consumed_ < kAgwHeaderSize) {
        return std::nullopt;
    }
    const char *header = buffer_.constData() + consumed_;
    const quint32 dataLength = qFromLittleEndian<quint32>(header + kDataLengthOffset);
    if (dataLength > kAgwMaxDataLength) {
        broken_ = true;
        brokenLength_ = dataLength;
        buffer_.clear();
        consumed_ = 0;
        return std::nullopt;
    }
    if (buffer_.size() - consumed_ < kAgwHeaderSize + qsizetype(dataLength)) {
        return std::nullopt;
    }
    AgwFrame frame;
    frame.port = static_cast<quint8>(header[kPortOffset]);
    frame.kind = header[kKindOffset];
    frame.pid = static_cast<quint8>(header[kPidOffset]);
    frame.callFrom = takeCall(header + kCallFromOffset);
    frame.callTo = takeCall(header + kCallToOffset);
    frame.data = QByteArray(header + kAgwHeaderSize, dataLength);
    consumed_ += kAgwHeaderSize + dataLength;
    return frame;
}
