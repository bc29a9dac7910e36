#include "splicereference.h"

#include "client/hostcodec.h"

namespace splicereference {

namespace {

// Replaces the one character at position by the two given, the way the old code did it:
// the text before, the pair, the text after, joined into a new text.
QByteArray splice(const QByteArray &text, qsizetype position, char first, char second) {
    const QByteArray leftPart = text.left(position);
    const QByteArray rightPart = text.mid(position + 1);
    return leftPart + first + second + rightPart;
}

} // namespace

QByteArray escape(QByteArray datablock) {
    using namespace hostcodec;
    qsizetype fescPos = datablock.indexOf(kFesc);
    while (fescPos >= 0) {
        datablock = splice(datablock, fescPos, kFesc, kTfesc);
        fescPos = datablock.indexOf(kFesc, fescPos + 2);
    }
    qsizetype fendPos = datablock.indexOf(kFend);
    while (fendPos >= 0) {
        datablock = splice(datablock, fendPos, kFesc, kTfend);
        fendPos = datablock.indexOf(kFend, fendPos + 2);
    }
    return datablock;
}

QByteArray unescape(QByteArray datablock) {
    using namespace hostcodec;
    qsizetype fescPos = datablock.indexOf(kFesc);
    while (fescPos >= 0) {
        const QByteArray leftPart = datablock.left(fescPos);
        const char next = fescPos + 1 < datablock.size() ? datablock[fescPos + 1] : '\0';
        if (next == kTfend || next == kTfesc) {
            datablock = leftPart + (next == kTfend ? kFend : kFesc) + datablock.mid(fescPos + 2);
        } else {
            datablock = leftPart + datablock.mid(fescPos + 1);
        }
        fescPos = datablock.indexOf(kFesc, fescPos + 1);
    }
    return datablock;
}

} // namespace splicereference
