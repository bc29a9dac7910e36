#include "client/hostcodec.h"

namespace hostcodec {

QByteArray frame(QByteArrayView text) {
    QByteArray framed;
    framed.reserve(text.size() + 2);
    framed.append(kFend).append(text).append(kFend);
    return framed;
}

bool isFramed(QByteArrayView block, QByteArrayView content) {
    return block.size() == content.size() + 2 && block.front() == kFend && block.back() == kFend &&
           block.sliced(1, content.size()) == content;
}

QByteArray escape(QByteArrayView data) {
    QByteArray escaped;
    escaped.reserve(data.size());
    for (char c : data) {
        if (c == kFend) {
            escaped.append(kFesc).append(kTfend);
        } else if (c == kFesc) {
            escaped.append(kFesc).append(kTfesc);
        } else {
            escaped.append(c);
        }
    }
    return escaped;
}

QByteArray unescape(QByteArrayView data) {
    QByteArray plain;
    plain.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data[i] != kFesc) {
            plain.append(data[i]);
            continue;
        }
        if (++i == data.size()) {
            break; // a FESC with nothing after it escapes nothing
        }
        const char escaped = data[i];
        plain.append(escaped == kTfend ? kFend : escaped == kTfesc ? kFesc : escaped);
    }
    return plain;
}

Framing checkFraming(QByteArrayView block) {
    if (block.isEmpty() || block.front() != kFend) {
        return Framing::FirstByteNotFend;
    }
    if (block.back() != kFend) {
        return Framing::LastByteNotFend;
    }
    return Framing::Ok;
}

BlockFields splitBlock(QByteArrayView block) {
    constexpr qsizetype kHeaderLength = 3;
    const QByteArrayView inside =
        block.size() >= 2 ? block.sliced(1, block.size() - 2) : QByteArrayView();
    const auto character = [inside](qsizetype i) {
        return i < inside.size() ? QByteArray(1, inside[i]) : QByteArray();
    };
    BlockFields fields;
    fields.type = character(0);
    fields.port = character(1);
    fields.stream = character(2);
    if (inside.size() > kHeaderLength) {
        fields.data = inside.sliced(kHeaderLength).toByteArray();
    }
    return fields;
}

} // namespace hostcodec
